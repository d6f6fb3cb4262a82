#include "io/replace_file.h"

#include "io/output_target.h"
#include "io/temporary_name.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace talvik::io {
namespace {

std::atomic<unsigned> next_serial{0};

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
    const size_t slash = final_path_.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : final_path_.substr(0, slash);
    throw std::runtime_error("cannot write \"" + given_path_ + "\": cannot create a file in folder \"" + folder +
                             "\": " + std::strerror(error));
}

void ReplaceFile::commit() {
    try {
        // What is there may have changed since the write began.
        check_replaceable(final_path_);
    } catch (...) {
        std::remove(temp_path_.c_str());
        throw;
    }
    if (std::rename(temp_path_.c_str(), final_path_.c_str()) != 0) {
        const int error = errno;
        std::remove(temp_path_.c_str());
        throw std::runtime_error("cannot write \"" + given_path_ + "\": " + std::strerror(error));
    }
    committed_ = true;
}

}  // namespace talvik::io
