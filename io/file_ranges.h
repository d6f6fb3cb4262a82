// Writing and copying byte ranges of open files at given offsets, across
// short writes and interrupted calls: what the writers that build a file
// from pieces, or copy pieces of their last file, share.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>

namespace talvik::io {

// Writes every byte of `pieces` at `offset`; throws std::runtime_error
// with the system's reason ("write failed: No space left on device").
// `pieces` is used up.
void write_at(int fd, uint64_t offset, iovec* pieces, size_t count);
void write_at(int fd, uint64_t offset, const void* bytes, size_t size);

// `size` bytes of `from` at `from_at` to `to` at `to_at`: in the kernel
// where it can, else through a buffer. Throws std::runtime_error naming the
// reason, or saying the source ended early.
void copy_range(int from, uint64_t from_at, int to, uint64_t to_at, uint64_t size);

}  // namespace talvik::io
