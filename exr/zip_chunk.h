// The bytes of one ZIP / ZIPS chunk of an ST map before deflate, built
// straight from the host's planes: each line's A values, when the map has
// them, then its G values, then its R values (channels in name order); A as
// 16-bit halves, G and R as 32-bit floats, all little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

#include "io/st_map_view.h"

namespace talvik::exr {

// Lines per chunk: ZIP packs 16 lines, ZIPS one.
constexpr int kZipChunkLines = 16;
constexpr int kZipsChunkLines = 1;

// Bytes of one pixel in a chunk: G and R, and A when the map has one.
inline size_t pixel_bytes(bool alpha) { return 2 * sizeof(float) + (alpha ? sizeof(uint16_t) : 0); }

// Uncompressed size of `lines` lines of the map.
inline size_t chunk_bytes(const io::StMapView& map, int lines) {
    return static_cast<size_t>(map.width) * static_cast<size_t>(lines) * pixel_bytes(map.a != nullptr);
}

// Host row holding the data window's `line`-th line from the top.
inline int host_row_of_line(const io::StMapView& map, int line) { return map.height - 1 - line; }

// The lines as stored when a chunk does not shrink: plain (A,) G, R per line.
void raw_chunk(const io::StMapView& map, int first_line, int lines, uint8_t* out);

// The lines as OpenEXR's ZIP compressor feeds them to deflate: the raw bytes
// split into the even-indexed bytes followed by the odd-indexed ones, then
// delta-coded over the whole chunk (out[0] = b[0],
// out[i] = b[i] - b[i-1] + 128, modulo 256).
void predicted_zip_chunk(const io::StMapView& map, int first_line, int lines, uint8_t* out);

}  // namespace talvik::exr
