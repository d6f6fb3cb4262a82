#include "io/replace_file.h"

#include "io/output_target.h"
#include "io/temporary_name.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace talvik::io {
namespace {

std::atomic<unsigned> next_serial{0};

std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Whether a folder's entries reach the disk; file systems that cannot
// flush a folder say so with EINVAL and have nothing to flush.
int flush_folder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int error = fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
    close(fd);
    return error;
}

}  // namespace

ReplaceFile::ReplaceFile(const std::string& final_path) : given_path_(final_path) {
    if (final_path.empty() || final_path.back() == '/')
        throw std::invalid_argument("output \"" + final_path + "\" names a folder, not a file");
    final_path_ = output_target(final_path);
    temp_path_ = temporary_path_for(final_path_, next_serial++);
    lock_fd_ = create_locked_temporary(temp_path_);
    if (lock_fd_ < 0) fail_to_create(errno ? errno : EACCES);
}

ReplaceFile::~ReplaceFile() {
    // Removed before the lock is let go, so no cleaner sees it unlocked.
    if (!committed_) std::remove(temp_path_.c_str());
    if (lock_fd_ >= 0) close(lock_fd_);
}

void ReplaceFile::fail_to_create(int error) const {
    throw std::runtime_error("cannot write \"" + given_path_ + "\": cannot create a file in folder \"" +
                             folder_of(final_path_) +
                             "\": " + std::strerror(error));
}

FileSeal ReplaceFile::commit_sealed() {
    FileSeal seal;
    try {
        seal = file_seal(temp_path_);
    } catch (...) {
        std::remove(temp_path_.c_str());
        throw;
    }
    commit();
    return seal;
}

void ReplaceFile::commit() {
    try {
        // What is there may have changed since the write began.
        check_replaceable(final_path_);
    } catch (...) {
        std::remove(temp_path_.c_str());
        throw;
    }
    // The file's bytes reach the disk before its name does, so a machine
    // that crashes leaves the old file or the whole new one, never a
    // renamed file cut short.
    if (fsync(lock_fd_) != 0 && errno != EINVAL) {
        const int error = errno;
        std::remove(temp_path_.c_str());
        throw std::runtime_error("cannot write \"" + given_path_ + "\": flushing it failed: " + std::strerror(error));
    }
    if (std::rename(temp_path_.c_str(), final_path_.c_str()) != 0) {
        const int error = errno;
        std::remove(temp_path_.c_str());
        throw std::runtime_error("cannot write \"" + given_path_ + "\": " + std::strerror(error));
    }
    committed_ = true;
    // Then the rename itself.
    if (const int error = flush_folder(folder_of(final_path_)))
        throw std::runtime_error("wrote \"" + given_path_ + "\" but flushing its folder failed: " +
                                 std::strerror(error));
}

}  // namespace talvik::io
