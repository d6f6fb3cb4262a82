#include "exr/zip_st_map_writer.h"

#include <ImfCompression.h>
#include <limits.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "exr/exr_file_header.h"
#include "exr/st_map_exr_writer.h"
#include "exr/zip_chunk.h"

namespace talvik::exr {
namespace {

constexpr size_t kChunkPrefix = 2 * sizeof(int32_t);  // line number, data size

void put_le32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Writes every byte of `pieces` at `offset`, across short writes and
// signals; throws std::runtime_error with the system's reason.
void write_at(int fd, uint64_t offset, std::vector<iovec>& pieces) {
    size_t first = 0;
    while (first < pieces.size()) {
        const int count = static_cast<int>(std::min<size_t>(pieces.size() - first, IOV_MAX));
        const ssize_t written = pwritev(fd, pieces.data() + first, count, static_cast<off_t>(offset));
        if (written < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error(std::string("write failed: ") + std::strerror(errno));
        }
        if (written == 0) throw std::runtime_error("write failed: no progress");
        offset += static_cast<uint64_t>(written);
        size_t left = static_cast<size_t>(written);
        while (first < pieces.size() && left >= pieces[first].iov_len) left -= pieces[first++].iov_len;
        if (left) {
            pieces[first].iov_base = static_cast<uint8_t*>(pieces[first].iov_base) + left;
            pieces[first].iov_len -= left;
        }
    }
}

void write_at(int fd, uint64_t offset, const void* bytes, size_t size) {
    std::vector<iovec> piece{{const_cast<void*>(bytes), size}};
    write_at(fd, offset, piece);
}

}  // namespace

// One file being written: which chunks are compressed, which are in the
// file, the first error, and whether to stop.
class ZipStMapWriter::Frame {
public:
    Frame(int fd, const std::vector<Chunk>& chunks, uint64_t first_chunk_at, const std::atomic<bool>* cancel)
        : fd_(fd), chunks_(chunks), done_(new std::atomic<bool>[chunks.size()]), write_at_(first_chunk_at),
          cancel_(cancel) {
        for (size_t i = 0; i < chunks.size(); ++i) done_[i].store(false, std::memory_order_relaxed);
    }

    // The next chunk to compress, or -1 when none is left or work stops.
    int take() {
        if (stop_.load(std::memory_order_relaxed)) return -1;
        if (cancelled()) {
            stop_ = true;
            return -1;
        }
        const int index = next_.fetch_add(1, std::memory_order_relaxed);
        return index < static_cast<int>(chunks_.size()) ? index : -1;
    }
    bool cancelled() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }

    void mark_done(int index) { done_[index].store(true, std::memory_order_release); }
    void mark_all_done() {
        for (size_t i = 0; i < chunks_.size(); ++i) mark_done(static_cast<int>(i));
    }

    // Writes the compressed chunks that follow those already in the file.
    // Without `wait`, returns at once if another thread is writing.
    void write_ready(bool wait) {
        std::unique_lock<std::mutex> lock(writing_, std::defer_lock);
        if (wait) {
            lock.lock();
        } else if (!lock.try_lock()) {
            return;
        }
        while (next_to_write_ < chunks_.size() && !stop_.load(std::memory_order_relaxed)) {
            pieces_.clear();
            uint64_t bytes = 0;
            size_t end = next_to_write_;
            while (end < chunks_.size() && done_[end].load(std::memory_order_acquire)) {
                pieces_.push_back({chunks_[end].bytes.get(), chunks_[end].size});
                bytes += chunks_[end].size;
                ++end;
            }
            if (end == next_to_write_) return;
            write_at(fd_, write_at_, pieces_);
            write_at_ += bytes;
            next_to_write_ = end;
        }
    }

    // Keeps the first failure and stops every thread.
    void fail(std::exception_ptr error) {
        {
            std::lock_guard<std::mutex> lock(error_mutex_);
            if (!error_) error_ = error;
        }
        stop_ = true;
    }
    void rethrow() {
        std::lock_guard<std::mutex> lock(error_mutex_);
        if (error_) std::rethrow_exception(error_);
    }
    bool all_written() const { return next_to_write_ == chunks_.size(); }

private:
    const int fd_;
    const std::vector<Chunk>& chunks_;
    std::unique_ptr<std::atomic<bool>[]> done_;
    std::atomic<int> next_{0};
    std::atomic<bool> stop_{false};
    std::mutex writing_;
    size_t next_to_write_ = 0;  // guarded by writing_
    uint64_t write_at_;         // guarded by writing_
    std::vector<iovec> pieces_;  // guarded by writing_
    std::mutex error_mutex_;
    std::exception_ptr error_;
    const std::atomic<bool>* cancel_;
};

ZipStMapWriter::ZipStMapWriter() = default;
ZipStMapWriter::~ZipStMapWriter() = default;

void ZipStMapWriter::compress_chunk(const io::StMapView& map, int index, Worker& worker) {
    const int first = index * layout_.lines_per_chunk;
    const int lines = std::min(layout_.lines_per_chunk, map.height - first);
    const size_t raw = chunk_bytes(map, lines);
    Chunk& chunk = chunks_[index];
    if (chunk.capacity < kChunkPrefix + raw) {
        chunk.bytes.reset(new uint8_t[kChunkPrefix + raw]);
        chunk.capacity = kChunkPrefix + raw;
    }
    if (worker.capacity < raw) {
        worker.scratch.reset(new uint8_t[raw]);
        worker.capacity = raw;
    }
    predicted_zip_chunk(map, first, lines, worker.scratch.get());
    uint8_t* data = chunk.bytes.get() + kChunkPrefix;
    // Readers take a chunk of the raw size as stored: the deflated stream
    // must be strictly smaller, else the raw lines are kept.
    size_t size = worker.deflater.compress(worker.scratch.get(), raw, data, raw - 1);
    if (size == 0) {
        raw_chunk(map, first, lines, data);
        size = raw;
    }
    put_le32(chunk.bytes.get(), static_cast<uint32_t>(layout_.top + first));
    put_le32(chunk.bytes.get() + 4, static_cast<uint32_t>(size));
    chunk.size = kChunkPrefix + size;
}

void ZipStMapWriter::compress_all(Frame& frame, const io::StMapView& map, int threads) {
    while (static_cast<int>(workers_.size()) < threads) workers_.push_back(std::make_unique<Worker>());
    auto work = [&](Worker& worker) {
        try {
            for (int index = frame.take(); index >= 0; index = frame.take()) {
                compress_chunk(map, index, worker);
                frame.mark_done(index);
                frame.write_ready(false);
            }
        } catch (...) {
            frame.fail(std::current_exception());
        }
    };
    std::vector<std::thread> helpers;
    try {
        for (int i = 1; i < threads; ++i) helpers.emplace_back(work, std::ref(*workers_[i]));
    } catch (...) {
        frame.fail(std::current_exception());  // no thread: stop those started
    }
    work(*workers_[0]);
    for (auto& helper : helpers) helper.join();
}

void ZipStMapWriter::write(int fd, const Imf::Header& header, const io::StMapView& map, int threads,
                           const std::atomic<bool>* cancel, bool map_unchanged) {
    const Imath::Box2i& data = header.dataWindow();
    if (data.max.x - data.min.x + 1 != map.width || data.max.y - data.min.y + 1 != map.height)
        throw std::invalid_argument("the header's data window is not the map's size");
    Layout layout;
    layout.width = map.width;
    layout.height = map.height;
    layout.top = data.min.y;
    if (header.compression() == Imf::ZIP_COMPRESSION) {
        layout.lines_per_chunk = kZipChunkLines;
    } else if (header.compression() == Imf::ZIPS_COMPRESSION) {
        layout.lines_per_chunk = kZipsChunkLines;
    } else {
        throw std::invalid_argument("the ZIP writer only writes ZIP and ZIPS");
    }
    const bool reuse = map_unchanged && chunks_valid_ && layout == layout_;
    last_reused_ = false;
    chunks_valid_ = false;
    layout_ = layout;
    const size_t count = static_cast<size_t>((map.height + layout.lines_per_chunk - 1) / layout.lines_per_chunk);
    if (chunks_.size() != count) chunks_.resize(count);

    const std::string head = exr_file_header(header);
    const uint64_t table_at = head.size();
    Frame frame(fd, chunks_, table_at + count * sizeof(uint64_t), cancel);
    write_at(fd, 0, head.data(), head.size());
    if (reuse) {
        frame.mark_all_done();
    } else {
        compress_all(frame, map, std::max(threads, 1));
    }
    frame.rethrow();
    if (frame.cancelled()) throw io::WriteCancelled("stopped");
    frame.write_ready(true);
    frame.rethrow();
    if (!frame.all_written()) throw std::logic_error("chunks left unwritten");

    // The offset table: where each chunk starts, in line order.
    std::vector<uint8_t> table(count * sizeof(uint64_t));
    uint64_t at = table_at + table.size();
    for (size_t i = 0; i < count; ++i) {
        for (int b = 0; b < 8; ++b) table[i * 8 + b] = static_cast<uint8_t>(at >> (8 * b));
        at += chunks_[i].size;
    }
    write_at(fd, table_at, table.data(), table.size());
    chunks_valid_ = true;
    last_reused_ = reuse;
}

}  // namespace talvik::exr
