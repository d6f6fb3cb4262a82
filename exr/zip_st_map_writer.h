// ZIP and ZIPS ST maps with our own chunk compression: every thread
// prepares and deflates whole chunks straight from the host's planes, and
// the finished chunks go to the file in order while the rest compress.
// OpenEXR serializes the header; the offset table and chunks are ours, laid
// out as any OpenEXR reader expects.
#pragma once

#include <ImfHeader.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "io/st_map_view.h"
#include "exr/zlib_deflater.h"

namespace talvik::exr {

class ZipStMapWriter {
public:
    ZipStMapWriter();
    ~ZipStMapWriter();
    ZipStMapWriter(const ZipStMapWriter&) = delete;
    ZipStMapWriter& operator=(const ZipStMapWriter&) = delete;

    // Writes the whole file to `fd` (open for writing, empty) from offset 0.
    // `header` is the file's: ZIP or ZIPS, channels G and R as FLOAT, data
    // window as wide and tall as `map`. `threads` threads compress, the
    // caller one of them (0 counts as 1). `cancel` is checked between
    // chunks: a cancelled write throws io::WriteCancelled. With
    // `map_unchanged` the caller promises `map` holds the values of this
    // writer's last completed write, whose chunks are then written again
    // without compressing. Throws std::runtime_error naming the reason.
    void write(int fd, const Imf::Header& header, const io::StMapView& map, int threads,
               const std::atomic<bool>* cancel, bool map_unchanged);

    // Drops the kept chunks: the next write compresses whatever it is told.
    void forget() { chunks_valid_ = false; }

    // Whether the last write reused the chunks before it.
    bool last_write_reused() const { return last_reused_; }

private:
    struct Chunk {
        std::unique_ptr<uint8_t[]> bytes;  // line number, data size, data
        size_t capacity = 0;
        size_t size = 0;
    };
    struct Worker {
        ZlibDeflater deflater;
        std::unique_ptr<uint8_t[]> scratch;
        size_t capacity = 0;
    };
    struct Layout {
        int width = 0, height = 0, top = 0, lines_per_chunk = 0;
        bool operator==(const Layout& o) const {
            return width == o.width && height == o.height && top == o.top && lines_per_chunk == o.lines_per_chunk;
        }
    };
    class Frame;

    void compress_chunk(const io::StMapView& map, int index, Worker& worker);
    void compress_all(Frame& frame, const io::StMapView& map, int threads);

    Layout layout_;
    bool chunks_valid_ = false;
    bool last_reused_ = false;
    std::vector<Chunk> chunks_;
    std::vector<std::unique_ptr<Worker>> workers_;
};

}  // namespace talvik::exr
