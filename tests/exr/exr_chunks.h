// Test helpers: ST-map planes, reading EXR files back through OpenEXR, and
// the chunks of a scan-line file as OpenEXR's Core reader locates them.
#pragma once

#include <ImfHeader.h>

#include <cstdint>
#include <string>
#include <vector>

#include "exr/chunk_st_map_writer.h"
#include "io/st_map_bands.h"
#include "io/st_map_view.h"

namespace talvik::exr::test {

// Host planes, row 0 at the bottom.
struct Planes {
    int width, height;
    std::vector<float> s, t;
    Planes(int w, int h);
    io::StMapView view() const { return {width, height, s.data(), t.data()}; }
};

// Every value distinct and smooth across the frame, as lens maps are.
Planes smooth_planes(int width, int height);
// Random finite floats that deflate cannot shrink.
Planes noise_planes(int width, int height, uint32_t seed);

struct ReadBack {
    Imf::Header header;
    std::vector<float> r, g;  // file order: the data window's top line first
};
ReadBack read_with_openexr(const std::string& path);

// The file's values in host planes again (row 0 at the bottom) compare bit
// for bit with `planes`; the message names the first difference.
std::string first_difference(const ReadBack& file, const Planes& planes);

struct FileChunk {
    int y = 0;                 // first line
    uint64_t unpacked_size = 0;
    uint64_t data_offset = 0;  // where `packed` starts in the file
    std::string packed;        // as stored in the file
};
// Every chunk, in line order; throws std::runtime_error if Core refuses one.
std::vector<FileChunk> read_chunks(const std::string& path);

// Writes `bands` to `path` with `writer` itself (no temporary, no rename):
// channels R and G, the data window the display window, at (0, 0).
void write_chunk_file(const std::string& path, ChunkStMapWriter& writer, io::StMapBands& bands,
                      Imf::Compression compression);

// The file's bytes before its offset table: magic number, version field and
// header.
std::string header_bytes(const std::string& path);

// What the ZIP compressor deflated for this chunk: the zlib stream inflated
// when the chunk is smaller than its lines, otherwise the stored lines put
// through the ZIP byte split and predictor here. Throws if zlib fails or
// the stream inflates to another size.
std::string deflated_bytes(const FileChunk& chunk);

}  // namespace talvik::exr::test
