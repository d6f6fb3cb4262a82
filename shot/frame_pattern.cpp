#include "shot/frame_pattern.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <stdexcept>

#include "shot/frame_range.h"
#include "shot/usage_error.h"

namespace talvik::shot {
namespace {

// Widths beyond this are certainly typos and would only make huge names.
constexpr int kMaxWidth = 32;

[[noreturn]] void fail(std::string_view pattern, const std::string& what) {
    throw UsageError("bad output pattern \"" + std::string(pattern) + "\": " + what);
}

struct Field {
    size_t begin = 0;
    size_t end = 0;
    int width = 0;
};

// If a printf-style frame field starts at `at` (which holds '%'), fills
// `field` and returns true.
bool printf_field_at(std::string_view pattern, size_t at, Field& field) {
    size_t i = at + 1;
    size_t digits_begin = i;
    while (i < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[i]))) ++i;
    if (i >= pattern.size() || pattern[i] != 'd') return false;
    const std::string_view digits = pattern.substr(digits_begin, i - digits_begin);
    if (!digits.empty() && digits.front() != '0')
        fail(pattern, "\"%" + std::string(digits) +
                          "d\" would pad with spaces; use \"%0" + std::string(digits) + "d\"");
    int width = 0;
    for (char c : digits) {
        width = width * 10 + (c - '0');
        if (width > kMaxWidth)
            fail(pattern, "padding width over " + std::to_string(kMaxWidth));
    }
    field = {at, i + 1, width};
    return true;
}

// printf's "%%" is one '%'.
std::string unescape_percent(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
    }
    return out;
}

std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

FramePattern FramePattern::parse(std::string_view pattern) {
    if (pattern.empty()) fail(pattern, "empty");
    FramePattern result;
    result.text_ = std::string(pattern);
    bool found = false;
    Field field;
    size_t i = 0;
    while (i < pattern.size()) {
        Field here;
        bool is_field = false;
        if (pattern[i] == '#') {
            size_t j = i;
            while (j < pattern.size() && pattern[j] == '#') ++j;
            if (j - i > static_cast<size_t>(kMaxWidth))
                fail(pattern, "padding width over " + std::to_string(kMaxWidth));
            here = {i, j, static_cast<int>(j - i)};
            is_field = true;
        } else if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == '%') {
            i += 2;
            continue;
        } else if (pattern[i] == '%') {
            is_field = printf_field_at(pattern, i, here);
        }
        if (!is_field) {
            ++i;
            continue;
        }
        if (found) fail(pattern, "more than one frame field");
        found = true;
        field = here;
        i = here.end;
    }
    if (found) {
        result.prefix_ = unescape_percent(pattern.substr(0, field.begin));
        result.suffix_ = unescape_percent(pattern.substr(field.end));
        result.width_ = field.width;
    } else {
        result.prefix_ = unescape_percent(pattern);
    }
    return result;
}

std::string FramePattern::path_for(int frame) const {
    if (!has_frame_field()) return prefix_;
    char digits[48];
    std::snprintf(digits, sizeof digits, "%0*d", width_, frame);
    return prefix_ + digits + suffix_;
}

std::optional<int> FramePattern::frame_of(std::string_view path) const {
    if (!has_frame_field() || path.size() <= prefix_.size() + suffix_.size()) return std::nullopt;
    if (path.substr(0, prefix_.size()) != prefix_ || path.substr(path.size() - suffix_.size()) != suffix_)
        return std::nullopt;
    const std::string_view digits = path.substr(prefix_.size(), path.size() - prefix_.size() - suffix_.size());
    int frame = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), frame);
    if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    // "1.01.exr" parses as frame 1 but is not the name frame 1 gets.
    if (path_for(frame) != path) return std::nullopt;
    return frame;
}

std::string FramePattern::fixed_folder() const { return folder_of(prefix_); }

std::string FramePattern::file_name_prefix() const {
    const bool field_in_folder = has_frame_field() && suffix_.find('/') != std::string::npos;
    if (field_in_folder) return suffix_.substr(suffix_.rfind('/') + 1);
    return prefix_.substr(prefix_.rfind('/') + 1);  // npos + 1 == 0
}

std::string FramePattern::nuke_text() const {
    if (!has_frame_field()) return prefix_;
    return prefix_ + (width_ == 0 ? std::string("%d") : std::string(static_cast<size_t>(width_), '#')) + suffix_;
}

void check_pattern_fits_frames(const FramePattern& pattern, const std::vector<int>& frames) {
    if (frames.size() > 1 && !pattern.has_frame_field())
        throw UsageError("output \"" + pattern.text() + "\" has no frame field (#### or %04d) but " +
                                    std::to_string(frames.size()) + " frames are to be rendered (" +
                                    format_frames(frames) + ")");
}

}  // namespace talvik::shot
