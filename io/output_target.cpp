#include "io/output_target.h"

#include "io/input_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace talvik::io {
namespace {

// Linux gives up after 40 links too.
constexpr int kMaxLinks = 40;

[[noreturn]] void refuse(const std::string& path, const std::string& shown_as, mode_t mode) {
    std::string what = "cannot write \"" + shown_as + "\": ";
    if (shown_as != path) what += "its symlink leads to \"" + path + "\", which ";
    // A folder gets the system's own words, as a write onto it would.
    if (S_ISDIR(mode)) throw std::runtime_error(what + (shown_as != path ? "is a folder" : std::strerror(EISDIR)));
    throw std::runtime_error(what + (shown_as != path ? "is " : "it is ") + file_kind(mode) +
                             ", not a regular file; refusing to replace it");
}

std::string link_text(const std::string& path) {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0) throw std::runtime_error("cannot read the symlink \"" + path + "\": " + std::strerror(errno));
        if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(n));
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

void check_replaceable(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return;  // nothing there yet (or unreachable: the write says why)
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) refuse(path, path, st.st_mode);
}

std::string output_target(const std::string& path) {
    std::string at = path;
    for (int links = 0;; ++links) {
        struct stat st {};
        if (lstat(at.c_str(), &st) != 0) return at;
        if (S_ISREG(st.st_mode)) return at;
        if (!S_ISLNK(st.st_mode)) refuse(at, path, st.st_mode);
        if (links == kMaxLinks)
            throw std::runtime_error("output \"" + path + "\" is a symlink chain over " +
                                     std::to_string(kMaxLinks) + " links long (a loop?)");
        const std::string target = link_text(at);
        const size_t slash = at.rfind('/');
        at = target[0] == '/' || slash == std::string::npos ? target : at.substr(0, slash + 1) + target;
    }
}

}  // namespace talvik::io
