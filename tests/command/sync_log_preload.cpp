// Preloaded into talvik-stmap by the durability test: logs every fsync
// (the inode, and whether a file or a folder) and every rename (the inode
// renamed and the name it takes) to the file TALVIK_SYNC_LOG names, one
// line each, in the order the calls are made.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void log_line(const char* line) {
    const char* path = std::getenv("TALVIK_SYNC_LOG");
    if (!path) return;
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    // One write per line: lines of different threads never interleave.
    const ssize_t ignored = write(fd, line, std::strlen(line));
    (void)ignored;
    close(fd);
}

template <typename F>
F real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int fsync(int fd) {
    struct stat st {};
    if (fstat(fd, &st) == 0) {
        char line[96];
        std::snprintf(line, sizeof line, "fsync %s %llu\n", S_ISDIR(st.st_mode) ? "folder" : "file",
                      static_cast<unsigned long long>(st.st_ino));
        log_line(line);
    }
    return real<int (*)(int)>("fsync")(fd);
}

extern "C" int rename(const char* from, const char* to) {
    struct stat st {};
    const int result = (lstat(from, &st), real<int (*)(const char*, const char*)>("rename")(from, to));
    if (result == 0) {
        char line[4200];
        std::snprintf(line, sizeof line, "rename %llu %s\n", static_cast<unsigned long long>(st.st_ino), to);
        log_line(line);
    }
    return result;
}
