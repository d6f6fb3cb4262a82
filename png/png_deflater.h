// Deflate for a PNG's pixel data made in pieces on several threads. Each
// piece is raw deflate data that ends on a byte boundary (a sync flush)
// and is not the last block, so pieces laid end to end between the
// stream's header and its end make one zlib stream, as IDAT chunks hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace talvik::png {

enum class PngDeflateLibrary {
    Isal,  // Intel ISA-L's igzip: many times faster than zlib at its fastest
    Zlib,
};

struct PngDeflate {
    PngDeflateLibrary library = PngDeflateLibrary::Zlib;
    int level = 1;              // ISA-L 0 to 3, zlib 1 to 9
    bool runs_only = false;     // zlib: matches at distance one only (Z_RLE)
};

// Whether this build has the library (zlib always).
bool has_png_deflate_library(PngDeflateLibrary library);

// The previews' setting: ISA-L's level 1 where this build has it (Debian
// has it on x86 and arm64), else zlib's level 1 on runs.
PngDeflate preview_png_deflate();

// One per thread.
class PngPieceDeflater {
public:
    // Throws std::invalid_argument if the build lacks the library or the
    // level is out of its range.
    explicit PngPieceDeflater(const PngDeflate& setting);
    ~PngPieceDeflater();
    PngPieceDeflater(const PngPieceDeflater&) = delete;
    PngPieceDeflater& operator=(const PngPieceDeflater&) = delete;

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
size_t png_piece_bound(size_t size);

// The zlib stream's two header bytes.
std::vector<uint8_t> zlib_stream_head(const PngDeflate& setting);
// The stream's end after the pieces: an empty last block, then the Adler-32
// of all the data.
std::vector<uint8_t> zlib_stream_end(uint32_t adler);
// The Adler-32 of two runs of data back to back from the checksum of each.
uint32_t adler32_joined(uint32_t first, uint32_t second, size_t second_size);

}  // namespace talvik::png
