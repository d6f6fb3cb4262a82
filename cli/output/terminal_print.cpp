#include "cli/output/terminal_print.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "shot/terminal_text.h"

namespace talvik::cli {
namespace {

void print_escaped(std::FILE* to, std::string_view line) {
    const std::string text = shot::terminal_text(line) + "\n";
    std::fwrite(text.data(), 1, text.size(), to);
}

}  // namespace

void print_message(std::FILE* to, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::vector<char> text(static_cast<std::size_t>(std::max(length, 0)) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    print_escaped(to, std::string_view(text.data(), text.size() - 1));
}

void print_lines(std::FILE* to, const std::string& text) {
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        print_escaped(to, std::string_view(text).substr(start, end - start));
        start = end + 1;
    }
}

void print_line(std::FILE* out, const std::string& line) {
    errno = 0;
    if (std::fputs(line.c_str(), out) < 0 || std::fputc('\n', out) == EOF || std::fflush(out) != 0)
        throw std::runtime_error(std::string("cannot write to standard output: ") + std::strerror(errno ? errno : EIO));
}

}  // namespace talvik::cli
