#include "io/input_file.h"

#include <sys/stat.h>

#include <stdexcept>

namespace talvik::io {

const char* file_kind(mode_t mode) {
    if (S_ISREG(mode)) return "a regular file";
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISLNK(mode)) return "a symlink";
    return "something other than a file";
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void check_input_file(const std::string& path, const std::string& what) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return;
    throw std::runtime_error(what + " \"" + path + "\" is " + file_kind(st.st_mode) + ", not a regular file");
}

}  // namespace talvik::io
