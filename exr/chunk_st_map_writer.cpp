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

// One band's packed chunks, back to back, and each chunk's size.
struct ChunkStMapWriter::Slot {
    std::unique_ptr<uint8_t[]> bytes;
    size_t capacity = 0;
    size_t size = 0;
    std::vector<uint64_t> chunk_sizes;
};

struct ChunkStMapWriter::Worker {
    explicit Worker(DeflateLibrary library) : deflater(library) {}
    ZlibDeflater deflater;
    std::unique_ptr<uint8_t[]> scratch;
    size_t capacity = 0;
};

// One file being written: the bands made, packed and written, the first
// error, and whether to stop. Band b is packed into slot b % slots once
// band b - slots is in the file, so a worker may wait for the writer.
class ChunkStMapWriter::Pipeline {
public:
    Pipeline(ChunkStMapWriter& writer, int fd, const Layout& layout, io::StMapBands& map, uint64_t chunks_at,
             const std::atomic<bool>* cancel)
        : w_(writer), fd_(fd), layout_(layout), map_(map), cancel_(cancel), write_at_(chunks_at) {
        band_lines_ = band_lines(layout.width, layout.lines_per_chunk);
        bands_ = (layout.height + band_lines_ - 1) / band_lines_;
        chunks_per_band_ = band_lines_ / layout.lines_per_chunk;
        done_.reset(new std::atomic<bool>[static_cast<size_t>(bands_)]);
        for (int b = 0; b < bands_; ++b) done_[b].store(false, std::memory_order_relaxed);
    }

    void run() {
        const int threads = std::max(1, map_.threads());
        const size_t slots = static_cast<size_t>(std::min(bands_, 2 * threads));
        // The band's chunks stored raw at most, and room for the last one's
        // deflate to run past its raw size.
        const size_t slot_bytes =
            chunk_bytes_of(band_lines_) + kChunkPrefix * static_cast<size_t>(chunks_per_band_) + kDeflateRoom;
        while (w_.slots_.size() < slots) w_.slots_.push_back(std::make_unique<Slot>());
        for (size_t i = 0; i < slots; ++i) {
            Slot& slot = *w_.slots_[i];
            if (slot.capacity < slot_bytes) {
                slot.bytes.reset(new uint8_t[slot_bytes]);
                slot.capacity = slot_bytes;
            }
            slot.chunk_sizes.resize(static_cast<size_t>(chunks_per_band_));
        }
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
        slot_count_ = static_cast<int>(slots);
        pieces_.resize(slots);
        w_.offsets_.assign(static_cast<size_t>((layout_.height + layout_.lines_per_chunk - 1) / layout_.lines_per_chunk), 0);
        map_.reserve(band_lines_);
        map_.run(bands_, [this](int worker, int band) { band_task(worker, band); });
        if (error_ && error_from_map_) throw io::MapBandFailed{error_};
        if (error_) std::rethrow_exception(error_);
        if (cancelled()) throw io::WriteCancelled("stopped");
        if (written_ != bands_) throw std::logic_error("bands left unwritten");
    }

    uint64_t end() const { return write_at_; }

private:
    size_t chunk_bytes_of(int lines) const {
        return static_cast<size_t>(layout_.width) * static_cast<size_t>(lines) * pixel_bytes(layout_.alpha);
    }
    bool cancelled() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }
    bool stopping() const { return stop_.load(std::memory_order_relaxed) || cancelled(); }

    void band_task(int worker, int band) {
        try {
            if (!wait_for_slot(band)) return;
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
            if (stopping()) return;
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
            pack(view, first_line, lines, packer, *w_.slots_[static_cast<size_t>(band % slot_count_)]);
            done_[band].store(true, std::memory_order_seq_cst);
            write_ready();
        } catch (...) {
            fail(std::current_exception(), false);
        }
    }

    // False when work stops first. Wakes now and then to see a cancel,
    // which comes from a signal handler and notifies nobody.
    bool wait_for_slot(int band) {
        if (stopping()) return false;
        if (band < written_.load() + slot_count_) return true;
        std::unique_lock<std::mutex> lock(slot_mutex_);
        while (band >= written_.load() + slot_count_) {
            if (stopping()) return false;
            if (w_.hand_over_) w_.hand_over_->waiting_for_slot(band);
            slot_freed_.wait_for(lock, std::chrono::milliseconds(20));
        }
        return !stopping();
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
            std::lock_guard<std::mutex> lock(slot_mutex_);
            codes_ready_ = true;
        }
        slot_freed_.notify_all();
    }

    // False when work stops first.
    bool wait_for_codes() {
        std::unique_lock<std::mutex> lock(slot_mutex_);
        while (!codes_ready_) {
            if (stopping()) return false;
            slot_freed_.wait_for(lock, std::chrono::milliseconds(20));
        }
        return !stopping();
    }

    // The band's chunks, packed back to back into the slot. `view` row 0
    // is the band's bottom line.
    void pack(const io::StMapView& view, int first_line, int lines, Worker& worker, Slot& slot) {
        uint8_t* out = slot.bytes.get();
        int chunk = 0;
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
            slot.chunk_sizes[static_cast<size_t>(chunk)] = kChunkPrefix + size;
            out += kChunkPrefix + size;
        }
        slot.size = static_cast<size_t>(out - slot.bytes.get());
    }

    // Writes the packed bands that follow those in the file, unless another
    // thread is writing; looks again after letting go, as a band finished
    // meanwhile by a thread that found the writer busy would wait forever.
    void write_ready() {
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(writing_, std::try_to_lock);
                if (!lock.owns_lock()) return;
                int next = written_.load();
                while (next < bands_ && done_[next].load() && !stop_.load()) {
                    size_t count = 0;
                    uint64_t at = write_at_;
                    int end = next;
                    size_t chunk = static_cast<size_t>(next) * static_cast<size_t>(chunks_per_band_);
                    for (; end < bands_ && done_[end].load() && count < pieces_.size(); ++end, ++count) {
                        const Slot& slot = *w_.slots_[static_cast<size_t>(end % slot_count_)];
                        pieces_[count] = {slot.bytes.get(), slot.size};
                        for (size_t c = 0; c < slot.chunk_sizes.size() && chunk < w_.offsets_.size(); ++c) {
                            w_.offsets_[chunk++] = at;
                            at += slot.chunk_sizes[c];
                        }
                    }
                    write_slots(next, end, count);
                    write_at_ = at;
                    next = end;
                    written_.store(next);
                    slot_freed_.notify_all();
                }
            }
            const int next = written_.load();
            if (next >= bands_ || !done_[next].load() || stop_.load()) return;
        }
    }

    // The packed bands [first, end), gathered in pieces_, to the file. Their
    // slots are not free until written_ says so.
    void write_slots(int first, int end, size_t count) {
        if (w_.hand_over_) w_.hand_over_->writing(first, end);
        write_at(fd_, write_at_, pieces_.data(), count);
    }

    void fail(std::exception_ptr error, bool from_map) {
        {
            std::lock_guard<std::mutex> lock(error_mutex_);
            if (!error_) {
                error_ = error;
                error_from_map_ = from_map;
            }
        }
        stop_ = true;
        slot_freed_.notify_all();
    }

    ChunkStMapWriter& w_;
    const int fd_;
    const Layout layout_;
    io::StMapBands& map_;
    const std::atomic<bool>* cancel_;
    int band_lines_ = 0, bands_ = 0, chunks_per_band_ = 0, slot_count_ = 1;
    std::unique_ptr<std::atomic<bool>[]> done_;
    std::atomic<int> written_{0};  // bands in the file
    std::atomic<bool> stop_{false};
    std::mutex slot_mutex_;      // also guards codes_ready_
    bool codes_ready_ = false;   // w_.codes_ fitted to this frame
    std::condition_variable slot_freed_;
    std::mutex writing_;
    uint64_t write_at_;          // guarded by writing_
    std::vector<iovec> pieces_;  // guarded by writing_
    std::mutex error_mutex_;
    std::exception_ptr error_;
    bool error_from_map_ = false;
};

ChunkStMapWriter::ChunkStMapWriter() : ChunkStMapWriter(deflate_libraries().front()) {}
ChunkStMapWriter::ChunkStMapWriter(DeflateLibrary library) : library_(library) {}
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
