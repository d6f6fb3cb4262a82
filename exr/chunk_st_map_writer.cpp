#include "exr/chunk_st_map_writer.h"

#include <ImfChannelList.h>
#include <ImfCompression.h>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>

#include "exr/exr_file_header.h"
#include "exr/zip_chunk.h"
#include "io/file_ranges.h"
#include "io/write_cancelled.h"

namespace talvik::exr {

using io::copy_range;
using io::write_at;

namespace {

constexpr size_t kChunkPrefix = 2 * sizeof(int32_t);  // line number, data size
// Output room a deflater gets beyond a chunk's raw size: ISA-L wants 3 bytes
// more than its stream, libdeflate 9.
constexpr size_t kDeflateRoom = 64;

void put_le32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

struct ChunkStMapWriter::Worker {
    explicit Worker(deflate::Library library) : deflater(library) {}
    deflate::StreamDeflater deflater;
    std::unique_ptr<uint8_t[]> scratch;
    size_t capacity = 0;
};

// One file being written: the bands made and packed on the workers, each
// into a slot of the sink, which writes them in order and holds the first
// error. The chunks' offsets are each band's place in the file plus the
// chunk's place in its band.
class ChunkStMapWriter::Pipeline {
public:
    Pipeline(ChunkStMapWriter& writer, int fd, const Layout& layout, io::StMapBands& map, uint64_t chunks_at,
             const std::atomic<bool>* cancel)
        : w_(writer), layout_(layout), map_(map), cancel_(cancel), sink_(writer.sink_) {
        band_lines_ = band_lines(layout.width, layout.lines_per_chunk);
        bands_ = (layout.height + band_lines_ - 1) / band_lines_;
        chunks_per_band_ = band_lines_ / layout.lines_per_chunk;
        sink_.start(fd, chunks_at, bands_, cancel);
    }

    void run() {
        const int threads = std::max(1, map_.threads());
        // The band's chunks stored raw at most, and room for the last one's
        // deflate to run past its raw size.
        const size_t slot_bytes =
            chunk_bytes_of(band_lines_) + kChunkPrefix * static_cast<size_t>(chunks_per_band_) + kDeflateRoom;
        sink_.reserve(static_cast<size_t>(std::min(bands_, 2 * threads)), slot_bytes, threads);
        while (static_cast<int>(w_.workers_.size()) < threads)
            w_.workers_.push_back(std::make_unique<Worker>(w_.library_));
        if (layout_.compressed) {
            const size_t chunk_raw = chunk_bytes_of(layout_.lines_per_chunk);
            for (int i = 0; i < threads; ++i) {
                Worker& worker = *w_.workers_[static_cast<size_t>(i)];
                if (worker.capacity < chunk_raw) {
                    worker.scratch.reset(new uint8_t[chunk_raw]);
                    worker.capacity = chunk_raw;
                }
            }
        }
        w_.offsets_.assign(static_cast<size_t>((layout_.height + layout_.lines_per_chunk - 1) / layout_.lines_per_chunk), 0);
        map_.reserve(band_lines_);
        map_.run(bands_, [this](int worker, int band) { band_task(worker, band); });
        if (const std::exception_ptr error = sink_.error()) {
            if (error_from_map_) throw io::MapBandFailed{error};
            std::rethrow_exception(error);
        }
        if (cancelled()) throw io::WriteCancelled("stopped");
        if (!sink_.complete()) throw std::logic_error("bands left unwritten");
        // Each chunk's place in its band, moved to the band's place.
        for (size_t chunk = 0; chunk < w_.offsets_.size(); ++chunk)
            w_.offsets_[chunk] += sink_.offset(static_cast<int>(chunk / static_cast<size_t>(chunks_per_band_)));
    }

    uint64_t end() const { return sink_.end(); }

private:
    size_t chunk_bytes_of(int lines) const {
        return static_cast<size_t>(layout_.width) * static_cast<size_t>(lines) * pixel_bytes(layout_.alpha);
    }
    bool cancelled() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }

    void band_task(int worker, int band) {
        try {
            if (sink_.stopped()) return;
            io::OrderedChunkSink::Slot* slot = sink_.acquire(band);
            if (!slot) return;
            const int first_line = band * band_lines_;
            const int lines = std::min(band_lines_, layout_.height - first_line);
            // EXR lines run top-down, the map's rows bottom-up.
            io::StMapView view;
            try {
                view = map_.band(worker, layout_.height - first_line - lines, lines);
            } catch (...) {
                fail(std::current_exception(), true);
                return;
            }
            if (sink_.stopped()) return;
            // The header's channels are what the band must bring.
            if ((view.a != nullptr) != layout_.alpha)
                throw std::logic_error(layout_.alpha ? "a band without the A channel" : "a band with an A channel");
            Worker& packer = *w_.workers_[static_cast<size_t>(worker)];
            if (layout_.compressed) {
                if (band == 0) {
                    fit_codes(view, lines, packer);
                } else if (!wait_for_codes()) {
                    return;
                }
            }
            const size_t size = pack(view, band, lines, packer, slot->bytes.get());
            sink_.put(*slot, band + 1, size);
        } catch (...) {
            fail(std::current_exception(), false);
        }
    }

    // Fits the frame's codes to its top chunk, predicted as ZIP packs it
    // (the first band is taken first, so the others never wait for nothing).
    void fit_codes(const io::StMapView& view, int lines, Worker& worker) {
        const int sample_lines = std::min(kZipChunkLines, lines);
        if (worker.capacity < chunk_bytes(view, sample_lines)) {
            worker.scratch.reset(new uint8_t[chunk_bytes(view, sample_lines)]);
            worker.capacity = chunk_bytes(view, sample_lines);
        }
        predicted_zip_chunk(view, 0, sample_lines, worker.scratch.get());
        w_.codes_.fit(worker.scratch.get(), chunk_bytes(view, sample_lines));
        {
            std::lock_guard<std::mutex> lock(codes_mutex_);
            codes_ready_ = true;
        }
        codes_fitted_.notify_all();
    }

    // False when work stops first. Wakes now and then to see a stop.
    bool wait_for_codes() {
        std::unique_lock<std::mutex> lock(codes_mutex_);
        while (!codes_ready_) {
            if (sink_.stopped()) return false;
            codes_fitted_.wait_for(lock, std::chrono::milliseconds(20));
        }
        return !sink_.stopped();
    }

    // The band's chunks, packed back to back into `out`; returns their
    // size. `view` row 0 is the band's bottom line. Each chunk's place in
    // the band goes to the offset table.
    size_t pack(const io::StMapView& view, int band, int lines, Worker& worker, uint8_t* out) {
        const int first_line = band * band_lines_;
        uint8_t* const start = out;
        size_t chunk = static_cast<size_t>(band) * static_cast<size_t>(chunks_per_band_);
        for (int line = 0; line < lines; line += layout_.lines_per_chunk, ++chunk) {
            const int n = std::min(layout_.lines_per_chunk, lines - line);
            const size_t raw = chunk_bytes(view, n);
            uint8_t* data = out + kChunkPrefix;
            size_t size = 0;
            if (layout_.compressed) {
                predicted_zip_chunk(view, line, n, worker.scratch.get());
                // Readers take a chunk of the raw size as stored: the
                // deflated stream must be strictly smaller, else the raw
                // lines are kept. Decided here, not by the buffer's size:
                // deflaters differ in how much spare room they want.
                size = worker.deflater.compress(worker.scratch.get(), raw, data, raw + kDeflateRoom, &w_.codes_);
                if (size >= raw) size = 0;
            }
            if (size == 0) {
                raw_chunk(view, line, n, data);
                size = raw;
            }
            put_le32(out, static_cast<uint32_t>(layout_.top + first_line + line));
            put_le32(out + 4, static_cast<uint32_t>(size));
            w_.offsets_[chunk] = static_cast<uint64_t>(out - start);
            out += kChunkPrefix + size;
        }
        return static_cast<size_t>(out - start);
    }

    void fail(std::exception_ptr error, bool from_map) {
        if (sink_.fail(error) && from_map) error_from_map_ = true;
        codes_fitted_.notify_all();
    }

    ChunkStMapWriter& w_;
    const Layout layout_;
    io::StMapBands& map_;
    const std::atomic<bool>* cancel_;
    io::OrderedChunkSink& sink_;
    int band_lines_ = 0, bands_ = 0, chunks_per_band_ = 0;
    std::mutex codes_mutex_;
    std::condition_variable codes_fitted_;
    bool codes_ready_ = false;  // w_.codes_ fitted to this frame; guarded by codes_mutex_
    bool error_from_map_ = false;  // set by the thread whose error was first; read after the run
};

ChunkStMapWriter::ChunkStMapWriter() : ChunkStMapWriter(deflate::stream_libraries().front()) {}
ChunkStMapWriter::ChunkStMapWriter(deflate::Library library) : library_(library) {}
ChunkStMapWriter::~ChunkStMapWriter() { forget(); }

bool ChunkStMapWriter::writes(const Imf::Header& header) {
    const Imf::Compression c = header.compression();
    return c == Imf::ZIP_COMPRESSION || c == Imf::ZIPS_COMPRESSION || c == Imf::NO_COMPRESSION;
}

int ChunkStMapWriter::band_lines(int width, int lines_per_chunk) {
    const size_t chunk = static_cast<size_t>(std::max(width, 1)) * 2 * sizeof(float) * static_cast<size_t>(lines_per_chunk);
    return lines_per_chunk * static_cast<int>(std::max<size_t>(1, kBandBytes / chunk));
}

ChunkStMapWriter::Layout ChunkStMapWriter::layout_of(const Imf::Header& header) {
    const Imath::Box2i& data = header.dataWindow();
    Layout layout;
    layout.width = data.max.x - data.min.x + 1;
    layout.height = data.max.y - data.min.y + 1;
    layout.top = data.min.y;
    layout.alpha = header.channels().findChannel("A") != nullptr;
    switch (header.compression()) {
        case Imf::ZIP_COMPRESSION: layout.lines_per_chunk = kZipChunkLines; layout.compressed = true; break;
        case Imf::ZIPS_COMPRESSION: layout.lines_per_chunk = kZipsChunkLines; layout.compressed = true; break;
        case Imf::NO_COMPRESSION: layout.lines_per_chunk = 1; break;
        default: throw std::invalid_argument("the chunk writer only writes ZIP, ZIPS and uncompressed files");
    }
    return layout;
}

void ChunkStMapWriter::forget() {
    if (kept_fd_ >= 0) ::close(kept_fd_);
    kept_fd_ = -1;
}

void ChunkStMapWriter::keep(int fd, const Layout& layout, uint64_t chunks_at, uint64_t end) {
    forget();
    kept_fd_ = fcntl(fd, F_DUPFD_CLOEXEC, 0);  // none: nothing to reuse
    kept_layout_ = layout;
    kept_chunks_at_ = chunks_at;
    kept_end_ = end;
}

void ChunkStMapWriter::write(int fd, const Imf::Header& header, io::StMapBands& map,
                             const std::atomic<bool>* cancel) {
    const Layout layout = layout_of(header);
    const io::StMapView g = map.geometry();
    if (layout.width != g.width || layout.height != g.height)
        throw std::invalid_argument("the header's data window is not the map's size");
    forget();
    last_reused_ = false;
    const std::string head = exr_file_header(header);
    const uint64_t table_at = head.size();
    const size_t count = static_cast<size_t>((layout.height + layout.lines_per_chunk - 1) / layout.lines_per_chunk);
    const uint64_t chunks_at = table_at + count * sizeof(uint64_t);
    write_at(fd, 0, head.data(), head.size());
    Pipeline pipeline(*this, fd, layout, map, chunks_at, cancel);
    pipeline.run();

    // The offset table: where each chunk starts, in line order.
    std::vector<uint8_t> table(count * sizeof(uint64_t));
    for (size_t i = 0; i < count; ++i)
        for (int b = 0; b < 8; ++b) table[i * 8 + b] = static_cast<uint8_t>(offsets_[i] >> (8 * b));
    write_at(fd, table_at, table.data(), table.size());
    keep(fd, layout, chunks_at, pipeline.end());
}

bool ChunkStMapWriter::can_write_again(const Imf::Header& header) const {
    return kept_fd_ >= 0 && writes(header) && layout_of(header) == kept_layout_;
}

void ChunkStMapWriter::write_again(int fd, const Imf::Header& header) {
    last_reused_ = false;
    if (!can_write_again(header)) throw std::logic_error("no kept file with this chunk layout");
    const Layout layout = layout_of(header);
    const std::string head = exr_file_header(header);
    const uint64_t table_at = head.size();
    const uint64_t chunks_at = table_at + offsets_.size() * sizeof(uint64_t);
    // The chunks move by the difference in header size.
    std::vector<uint8_t> table(offsets_.size() * sizeof(uint64_t));
    for (size_t i = 0; i < offsets_.size(); ++i) {
        const uint64_t at = offsets_[i] - kept_chunks_at_ + chunks_at;
        for (int b = 0; b < 8; ++b) table[i * 8 + b] = static_cast<uint8_t>(at >> (8 * b));
    }
    iovec pieces[2] = {{const_cast<char*>(head.data()), head.size()}, {table.data(), table.size()}};
    write_at(fd, 0, pieces, 2);
    copy_range(kept_fd_, kept_chunks_at_, fd, chunks_at, kept_end_ - kept_chunks_at_);
    for (uint64_t& at : offsets_) at = at - kept_chunks_at_ + chunks_at;
    keep(fd, layout, chunks_at, kept_end_ - kept_chunks_at_ + chunks_at);
    last_reused_ = true;
}

}  // namespace talvik::exr
