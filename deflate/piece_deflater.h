// Deflate for one stream made in pieces on several threads, as a PNG's
// pixel data is. Each piece is raw deflate data that ends on a byte
// boundary (a sync flush) and is not the last block, so pieces laid end to
// end between the stream's header and its end make one zlib stream, as
// IDAT chunks hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "deflate/deflate_library.h"

namespace talvik::deflate {

// One per thread.
class PieceDeflater {
public:
    // ISA-L or zlib. Throws std::invalid_argument if the build lacks the
    // library or the level is out of its range.
    explicit PieceDeflater(const PieceSetting& setting);
    ~PieceDeflater();
    PieceDeflater(const PieceDeflater&) = delete;
    PieceDeflater& operator=(const PieceDeflater&) = delete;

    // Deflates `size` bytes of `in` as one piece into `out`; returns its
    // size, or 0 when it does not fit in `capacity` bytes. Throws
    // std::runtime_error if the library reports an error.
    size_t deflate(const uint8_t* in, size_t size, uint8_t* out, size_t capacity);

    // The Adler-32 of `in` continued from `adler` (1 for none yet).
    uint32_t adler32(uint32_t adler, const uint8_t* in, size_t size) const;

    class Engine;

private:
    std::unique_ptr<Engine> engine_;
};

// Room that holds any piece of `size` bytes.
size_t piece_bound(size_t size);

// The zlib stream's two header bytes.
std::vector<uint8_t> zlib_stream_head(const PieceSetting& setting);
// The stream's end after the pieces: an empty last block, then the Adler-32
// of all the data.
std::vector<uint8_t> zlib_stream_end(uint32_t adler);
// The Adler-32 of two runs of data back to back from the checksum of each.
uint32_t adler32_joined(uint32_t first, uint32_t second, size_t second_size);

}  // namespace talvik::deflate
