#include "cli/replace_file.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace talvik::cli {
namespace {

std::atomic<unsigned> next_serial{0};

}  // namespace

ReplaceFile::ReplaceFile(std::string final_path) : final_path_(std::move(final_path)) {
    const size_t slash = final_path_.rfind('/');
    const size_t name_at = slash == std::string::npos ? 0 : slash + 1;
    if (name_at == final_path_.size())
        throw std::invalid_argument("output \"" + final_path_ + "\" names a folder, not a file");
    temp_path_ = final_path_.substr(0, name_at) + '.' + final_path_.substr(name_at) + ".tmp-" +
                 std::to_string(getpid()) + '-' + std::to_string(next_serial++);
}

ReplaceFile::~ReplaceFile() {
    if (!committed_) std::remove(temp_path_.c_str());
}

void ReplaceFile::fail_to_create(int error) const {
    const size_t slash = final_path_.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : final_path_.substr(0, slash);
    throw std::runtime_error("cannot write \"" + final_path_ + "\": cannot create a file in folder \"" + folder +
                             "\": " + std::strerror(error));
}

void ReplaceFile::commit() {
    if (std::rename(temp_path_.c_str(), final_path_.c_str()) != 0) {
        const int error = errno;
        std::remove(temp_path_.c_str());
        throw std::runtime_error("cannot write \"" + final_path_ + "\": " + std::strerror(error));
    }
    committed_ = true;
}

}  // namespace talvik::cli
