// Scan-line ST maps with our own chunks (ZIP, ZIPS and no compression):
// the map comes in bands of whole chunks, each band made and packed on a
// worker thread, and the packed bands go to the file in order while later
// bands are made. A few bands per thread are held, never the frame.
// Compressed frames are deflated with Huffman codes fitted once to the
// frame's top chunk.
// OpenEXR serializes the header; the offset table and chunks are ours, laid
// out as any OpenEXR reader expects.
#pragma once

#include <ImfHeader.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "deflate/stream_deflater.h"
#include "io/ordered_chunk_sink.h"
#include "io/st_map_bands.h"

namespace talvik::exr {

// Watches the hand-over of slots between bands being packed and bands being
// written (pieces indexed by band), so that tests can hold a write and see
// what the other bands do meanwhile; unset outside tests.
using BandHandOver = io::ChunkSinkWatcher;

class ChunkStMapWriter {
public:
    // Deflates with this build's preferred library, or the one given.
    ChunkStMapWriter();
    explicit ChunkStMapWriter(deflate::Library library);
    ~ChunkStMapWriter();
    ChunkStMapWriter(const ChunkStMapWriter&) = delete;
    ChunkStMapWriter& operator=(const ChunkStMapWriter&) = delete;

    // Whether this writer writes `header`'s compression.
    static bool writes(const Imf::Header& header);

    // Writes the whole file to `fd` (open for reading and writing, empty)
    // from offset 0. `header` is the file's: ZIP, ZIPS or none, channels G
    // and R as FLOAT (and A as HALF, which every band must then bring), data
    // window as wide and tall as the map. `cancel` is checked between
    // bands: a cancelled write throws io::WriteCancelled.
    // Throws std::runtime_error naming the reason, or io::MapBandFailed
    // holding what a band threw.
    void write(int fd, const Imf::Header& header, io::StMapBands& map, const std::atomic<bool>* cancel);

    // Whether the last completed write's file is kept and has the chunk
    // layout `header` gives.
    bool can_write_again(const Imf::Header& header) const;
    // Writes `header` and the chunks of that file, copied from it (to `fd`
    // as for write). Throws std::logic_error unless can_write_again.
    void write_again(int fd, const Imf::Header& header);

    // Drops the last file: the next write_again returns false.
    void forget();

    // For tests: who watches the hand-over of slots (null: nobody).
    void watch_hand_over(BandHandOver* watcher) { sink_.watch(watcher); }

    // Whether the last write copied the chunks of the one before.
    bool last_write_reused() const { return last_reused_; }

    // Lines per band for a map `width` wide: whole chunks of about
    // kBandBytes, at least one chunk.
    static int band_lines(int width, int lines_per_chunk);
    static constexpr size_t kBandBytes = size_t(2) << 20;

private:
    struct Layout {
        int width = 0, height = 0, top = 0, lines_per_chunk = 0;
        bool compressed = false;
        bool alpha = false;  // an A channel before G and R
        bool operator==(const Layout& o) const {
            return width == o.width && height == o.height && top == o.top &&
                   lines_per_chunk == o.lines_per_chunk && compressed == o.compressed && alpha == o.alpha;
        }
    };
    struct Worker;
    class Pipeline;

    static Layout layout_of(const Imf::Header& header);
    void keep(int fd, const Layout& layout, uint64_t chunks_at, uint64_t end);

    deflate::Library library_;
    // Bands packed on the workers, written in line order.
    io::OrderedChunkSink sink_;
    std::vector<std::unique_ptr<Worker>> workers_;
    std::vector<uint64_t> offsets_;  // of the last write's chunks
    // Fitted to each compressed frame's top chunk before any chunk of it is
    // deflated, so a frame's bytes depend on its map alone.
    deflate::FittedCodes codes_;
    // The last completed file, kept open to copy its chunks from.
    int kept_fd_ = -1;
    Layout kept_layout_;
    uint64_t kept_chunks_at_ = 0, kept_end_ = 0;
    bool last_reused_ = false;
};

}  // namespace talvik::exr
