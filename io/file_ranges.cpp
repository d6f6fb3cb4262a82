#include "io/file_ranges.h"

#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace talvik::io {
namespace {

[[noreturn]] void throw_errno(const char* what) {
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

}  // namespace

void write_at(int fd, uint64_t offset, iovec* pieces, size_t count) {
    size_t first = 0;
    while (first < count) {
        const int n = static_cast<int>(std::min<size_t>(count - first, IOV_MAX));
        const ssize_t written = pwritev(fd, pieces + first, n, static_cast<off_t>(offset));
        if (written < 0) {
            if (errno == EINTR) continue;
            throw_errno("write failed");
        }
        if (written == 0) throw std::runtime_error("write failed: no progress");
        offset += static_cast<uint64_t>(written);
        size_t left = static_cast<size_t>(written);
        while (first < count && left >= pieces[first].iov_len) left -= pieces[first++].iov_len;
        if (left) {
            pieces[first].iov_base = static_cast<uint8_t*>(pieces[first].iov_base) + left;
            pieces[first].iov_len -= left;
        }
    }
}

void write_at(int fd, uint64_t offset, const void* bytes, size_t size) {
    iovec piece{const_cast<void*>(bytes), size};
    write_at(fd, offset, &piece, 1);
}

void copy_range(int from, uint64_t from_at, int to, uint64_t to_at, uint64_t size) {
    while (size > 0) {
        loff_t in = static_cast<loff_t>(from_at), out = static_cast<loff_t>(to_at);
        const ssize_t n = copy_file_range(from, &in, to, &out, size, 0);
        if (n > 0) {
            from_at += static_cast<uint64_t>(n);
            to_at += static_cast<uint64_t>(n);
            size -= static_cast<uint64_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) throw std::runtime_error("the last file ended early");
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) throw_errno("copy failed");
        std::vector<uint8_t> buffer(std::min<uint64_t>(size, uint64_t(4) << 20));
        while (size > 0) {
            const ssize_t got = pread(from, buffer.data(), std::min<uint64_t>(size, buffer.size()),
                                      static_cast<off_t>(from_at));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) throw_errno("read failed");
            if (got == 0) throw std::runtime_error("the last file ended early");
            write_at(to, to_at, buffer.data(), static_cast<size_t>(got));
            from_at += static_cast<uint64_t>(got);
            to_at += static_cast<uint64_t>(got);
            size -= static_cast<uint64_t>(got);
        }
    }
}

}  // namespace talvik::io
