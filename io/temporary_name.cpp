#include "io/temporary_name.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace talvik::io {
namespace {

constexpr const char* kMark = ".talvik-tmp-";

std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

long limit_of(const std::string& folder, int name, long fallback) {
    errno = 0;
    const long v = pathconf(folder.c_str(), name);
    return v > 0 ? v : fallback;
}

// Cuts `text` to at most `bytes` bytes without splitting a UTF-8 sequence.
std::string cut(const std::string& text, size_t bytes) {
    if (text.size() <= bytes) return text;
    size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

bool all_of(const std::string& s, const char* allowed) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::strchr(allowed, c)) return false;
    return true;
}

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Removes the temporary at `path` if its lock can be taken now: its writer is
// gone. The lock is held while unlinking, and the name must still be the file
// locked, so a live writer's file is never the one removed.
bool remove_if_abandoned(const std::string& path) {
    struct stat named {};
    if (lstat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return false;
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat opened {};
    bool removed = false;
    if (fstat(fd, &opened) == 0 && same_file(named, opened) && flock(fd, LOCK_EX | LOCK_NB) == 0) {
        struct stat now {};
        removed = lstat(path.c_str(), &now) == 0 && same_file(now, opened) && unlink(path.c_str()) == 0;
    }
    close(fd);
    return removed;
}

// The descriptor of a new file at `path`, locked before any other process
// can see it: made unnamed (O_TMPFILE) and locked, then linked to its name.
int create_unnamed_then_link(const std::string& path) {
#ifdef O_TMPFILE
    const int fd = open(folder_of(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (flock(fd, LOCK_EX) != 0 || linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
#else
    (void)path;
    errno = EOPNOTSUPP;
    return -1;
#endif
}

}  // namespace

const std::string& this_host_tag() {
    static const std::string tag = [] {
        char name[256] = {};
        gethostname(name, sizeof name - 1);
        uint32_t hash = 2166136261u;  // FNV-1a
        for (const char* c = name; *c; ++c) hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619u;
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08x", hash);
        return std::string(hex);
    }();
    return tag;
}

std::string temporary_path_for(const std::string& final_path, unsigned serial, long name_max, long path_max) {
    const size_t slash = final_path.rfind('/');
    const std::string folder_part = slash == std::string::npos ? "" : final_path.substr(0, slash + 1);
    const std::string name = final_path.substr(folder_part.size());
    if (name_max <= 0) name_max = limit_of(folder_of(final_path), _PC_NAME_MAX, NAME_MAX);
    if (path_max <= 0) path_max = limit_of(folder_of(final_path), _PC_PATH_MAX, PATH_MAX);
    const std::string tail = std::string(kMark) + this_host_tag() + '-' + std::to_string(getpid()) + '-' +
                             std::to_string(serial);
    // Room for the copy of the name: within the name limit, and the whole
    // path within the path limit (which counts the terminating NUL).
    long room = name_max - 1 - static_cast<long>(tail.size());
    room = std::min(room, path_max - 1 - static_cast<long>(folder_part.size() + 1 + tail.size()));
    return folder_part + '.' + cut(name, static_cast<size_t>(std::max(room, 0L))) + tail;
}

bool parse_temporary_name(const std::string& file_name, TemporaryName& out) {
    if (file_name.empty() || file_name[0] != '.') return false;
    const size_t mark = file_name.rfind(kMark);
    if (mark == std::string::npos) return false;
    const std::string rest = file_name.substr(mark + std::strlen(kMark));  // host-pid-serial
    const size_t dash1 = rest.find('-');
    const size_t dash2 = dash1 == std::string::npos ? dash1 : rest.find('-', dash1 + 1);
    if (dash2 == std::string::npos) return false;
    const std::string host = rest.substr(0, dash1);
    const std::string pid = rest.substr(dash1 + 1, dash2 - dash1 - 1);
    const std::string serial = rest.substr(dash2 + 1);
    if (host.size() != 8 || !all_of(host, "0123456789abcdef") || !all_of(pid, "0123456789") ||
        pid.size() > 9 || !all_of(serial, "0123456789"))
        return false;
    out.final_name = file_name.substr(1, mark - 1);
    out.host = host;
    out.pid = static_cast<pid_t>(std::atol(pid.c_str()));
    return out.pid > 0;
}

int create_locked_temporary(const std::string& temp_path) {
    const int fd = create_unnamed_then_link(temp_path);
    if (fd >= 0) return fd;
    // A file system without unnamed files (or without /proc): created, then
    // locked at once; a cleaner would have to run in between to be wrong.
    if (errno == EEXIST) return -1;
    const int created = open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (created < 0) return -1;
    if (flock(created, LOCK_EX) != 0) {
        const int error = errno;
        unlink(temp_path.c_str());
        close(created);
        errno = error;
        return -1;
    }
    return created;
}

int remove_stale_temporaries(const std::string& folder) {
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return 0;
    int removed = 0;
    while (const dirent* entry = readdir(dir)) {
        TemporaryName t;
        if (!parse_temporary_name(entry->d_name, t)) continue;
        if (remove_if_abandoned((folder.empty() ? "." : folder) + "/" + entry->d_name)) ++removed;
    }
    closedir(dir);
    return removed;
}

}  // namespace talvik::io
