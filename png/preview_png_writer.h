// A quick look at an ST map: the preview pattern pushed through the map,
// saved as an 8-bit RGB PNG, top line first.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "deflate/piece_deflater.h"
#include "io/ordered_chunk_sink.h"
#include "png/preview_pattern.h"
#include "png/preview_picture.h"
#include "io/replace_file.h"
#include "io/st_map_view.h"
#include "io/write_cancelled.h"

namespace talvik::png {

struct PreviewOptions {
    // Wider maps are shrunk to this width (aspect kept) by picking map
    // pixels, never averaging them, so unsolved pixels stay visible.
    // 0: full size.
    int max_width = 1920;
    PreviewSampling sampling = PreviewSampling::Bilinear;
    // Set from elsewhere (a signal) to stop a write in flight: the writer
    // then throws WriteCancelled and leaves nothing behind. Null: never.
    const std::atomic<bool>* cancel = nullptr;
    deflate::PieceSetting deflate = deflate::preferred_piece_setting();
};

constexpr const char* kPreviewIdentityKey = "talvik/identity";

// Writes previews as their maps are made: each band of the map, as it
// passes on a worker thread, becomes its preview lines, filtered and
// deflated there into IDAT chunks that go to the file in order. A few
// bands' chunks are held, never the picture. The file is written under a
// temporary name and renamed into place when complete; the last one is
// kept open so that the next preview of the same map can copy its pixels.
// One preview at a time per writer.
class PreviewPngWriter {
public:
    PreviewPngWriter();
    ~PreviewPngWriter();
    PreviewPngWriter(const PreviewPngWriter&) = delete;
    PreviewPngWriter& operator=(const PreviewPngWriter&) = delete;

    // Starts the preview at `path` of a map of `geometry`'s size and place
    // (planes unused). Throws std::runtime_error naming the file, or
    // std::invalid_argument for bad arguments.
    void begin(const std::string& path, const io::StMapView& geometry, const PreviewOptions& options,
               const std::string& identity);
    // Buffers for `workers` threads and bands of up to `band_rows` rows,
    // made before the bands are.
    void reserve(int workers, int band_rows);
    // On `worker`: the preview's lines from the map rows first_row ..
    // first_row + band.height - 1 (`band` row 0 being first_row). Bands
    // sharing no row may come on several threads at once, in any order;
    // top-down keeps the fewest waiting. Throws std::runtime_error naming
    // the file when it cannot be written.
    void take(int worker, const io::StMapView& band, int first_row);
    // After every band: ends the file and renames it into place. Throws
    // io::WriteCancelled, leaving nothing, when a cancel came.
    void finish();
    // Removes the file begun, if any.
    void abandon();

    // Whether the last finished preview was of a map of this size and
    // place, with these options.
    bool can_write_again(const io::StMapView& geometry, const PreviewOptions& options) const;
    // Writes that preview again at `path` under `identity`, copying its
    // pixel chunks from its file. Throws std::logic_error unless
    // can_write_again.
    void write_again(const std::string& path, const std::string& identity);
    // Lets the last file go.
    void forget();

    // Whether the last preview written copied the pixels of the one before.
    bool last_write_reused() const { return last_reused_; }
    // The size and hash of the last file finished, taken before its rename.
    const io::FileSeal& last_seal() const { return last_seal_; }

private:
    struct Worker;
    // What the preview begun, or the last one, shows.
    struct Made {
        io::StMapView geometry;
        int max_width = 0;
        PreviewSampling sampling = PreviewSampling::Bilinear;
        deflate::PieceSetting deflate;
    };
    // What the stream's end needs of a piece of it, by its first line.
    struct PieceSum {
        int end = 0;          // the line after it
        uint32_t adler = 1;   // of its filtered lines
        size_t raw_size = 0;  // their size
    };

    bool cancelled() const { return options_.cancel && options_.cancel->load(std::memory_order_relaxed); }
    [[noreturn]] void fail(const std::string& reason) const;
    void end_file();
    // Closes the file and renames it into place, keeping it open to copy
    // its pixels, at pixels_at .. end, from.
    void commit(uint64_t pixels_at, uint64_t end);

    PreviewPicture picture_;
    PreviewOptions options_;
    std::string path_;
    std::optional<io::ReplaceFile> output_;
    int fd_ = -1;
    Made made_;
    uint64_t pixels_at_ = 0;  // where the file begun has its first IDAT chunk
    std::vector<std::unique_ptr<Worker>> workers_;

    // Each band's lines as one IDAT chunk, pieces indexed by line, written
    // in line order.
    io::OrderedChunkSink sink_;
    // Written by the thread that makes the piece, read once all are in.
    std::vector<PieceSum> sums_;

    // The last finished file, open to copy its pixel chunks from.
    int kept_fd_ = -1;
    uint64_t kept_pixels_at_ = 0, kept_end_ = 0;
    bool last_reused_ = false;
    io::FileSeal last_seal_;
};

// A whole map's preview through a PreviewPngWriter, on all cores. The
// preview shows the map's whole box; where the box reaches beyond the
// format, the format's edge is a line just outside it. The pattern spans
// the format. Throws std::runtime_error (std::invalid_argument for bad
// arguments) naming the file and the problem; nothing is left behind on
// failure. `identity`, what the map was made from, is kept in an iTXt
// chunk under kPreviewIdentityKey, before the pixels, so that a re-run can
// tell whether the file is current; empty: no chunk.
void write_preview_png(const std::string& path, const io::StMapView& map,
                       const PreviewOptions& options = {}, const std::string& identity = "");

// The identity text a preview was written with; empty when the file is not
// a PNG or has none.
std::string read_preview_identity(const std::string& path);

}  // namespace talvik::png
