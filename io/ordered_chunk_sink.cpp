#include "io/ordered_chunk_sink.h"

#include <chrono>
#include <stdexcept>

#include "io/file_ranges.h"

namespace talvik::io {


OrderedChunkSink::OrderedChunkSink() = default;
OrderedChunkSink::~OrderedChunkSink() = default;

void OrderedChunkSink::reserve(size_t slots, size_t bytes, int producers) {
    std::lock_guard<std::mutex> lock(mutex_);
    while (slots_.size() < slots) slots_.push_back(std::make_unique<Slot>());
    for (std::unique_ptr<Slot>& slot : slots_) {
        if (slot->capacity >= bytes) continue;
        slot->bytes.reset(new uint8_t[bytes]);
        slot->capacity = bytes;
    }
    slot_bytes_ = bytes;
    producers_ = producers < 1 ? 1 : producers;
    iovecs_.reserve(slots_.size());
    batch_.reserve(slots_.size());
}

void OrderedChunkSink::start(int fd, uint64_t at, int end, const std::atomic<bool>* cancel) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::unique_ptr<Slot>& slot : slots_) slot->state = Slot::State::Free;
    fd_ = fd;
    end_index_ = end;
    cancel_ = cancel;
    next_ = 0;
    at_ = at;
    waiting_ = 0;
    offsets_.assign(static_cast<size_t>(end > 0 ? end : 0), 0);
    error_ = nullptr;
    failed_ = false;
}

OrderedChunkSink::Slot* OrderedChunkSink::find(Slot::State state, int first) {
    for (std::unique_ptr<Slot>& slot : slots_)
        if (slot->state == state && slot->first == first) return slot.get();
    return nullptr;
}

OrderedChunkSink::Slot* OrderedChunkSink::take_free(int first) {
    size_t free = 0;
    Slot* chosen = nullptr;
    bool next_has_slot = first == next_;
    for (std::unique_ptr<Slot>& slot : slots_) {
        if (slot->state == Slot::State::Free) {
            ++free;
            chosen = slot.get();
        } else if (slot->first == next_) {
            next_has_slot = true;
        }
    }
    // The last free slot is the next piece's until it has one.
    if (free > 1 || (free == 1 && next_has_slot)) return chosen;
    if (waiting_ + 1 < producers_) return nullptr;
    slots_.push_back(std::make_unique<Slot>());
    chosen = slots_.back().get();
    chosen->bytes.reset(new uint8_t[slot_bytes_]);
    chosen->capacity = slot_bytes_;
    return chosen;
}

OrderedChunkSink::Slot* OrderedChunkSink::acquire(int first) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (first < next_ || first >= end_index_) throw std::logic_error("a piece outside the file or put twice");
    for (;;) {
        if (error_) std::rethrow_exception(error_);
        // A cancel comes from a signal handler and notifies nobody: waits
        // wake now and then to see it.
        if (cancelled()) return nullptr;
        if (Slot* slot = take_free(first)) {
            slot->state = Slot::State::Held;
            slot->first = first;
            return slot;
        }
        if (watcher_) watcher_->waiting_for_slot(first);
        ++waiting_;
        room_.wait_for(lock, std::chrono::milliseconds(20));
        --waiting_;
    }
}

void OrderedChunkSink::put(Slot& slot, int end, size_t size) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (end <= slot.first || end > end_index_ || size > slot.capacity)
            throw std::logic_error("a piece that does not fit its file or slot");
        slot.end = end;
        slot.size = size;
        slot.state = Slot::State::Ready;
    }
    write_ready();
}

// Writes the pieces that follow those in the file, unless another thread
// is writing; looks again after letting go, as a piece put meanwhile by a
// thread that found the writer busy would wait forever.
void OrderedChunkSink::write_ready() {
    for (;;) {
        {
            std::unique_lock<std::mutex> writer(writing_, std::try_to_lock);
            if (!writer.owns_lock()) return;
            for (;;) {
                int first = 0, last = 0;
                uint64_t at = 0;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    if (error_) return;
                    first = last = next_;
                    at = at_;
                    iovecs_.clear();
                    batch_.clear();
                    while (Slot* slot = find(Slot::State::Ready, last)) {
                        slot->state = Slot::State::Writing;
                        iovecs_.push_back({slot->bytes.get(), slot->size});
                        batch_.push_back(slot);
                        last = slot->end;
                    }
                }
                if (batch_.empty()) break;
                if (watcher_) watcher_->writing(first, last);
                try {
                    write_at(fd_, at, iovecs_.data(), iovecs_.size());
                } catch (...) {
                    fail(std::current_exception());
                    throw;
                }
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    for (Slot* slot : batch_) {
                        offsets_[static_cast<size_t>(slot->first)] = at_;
                        at_ += slot->size;
                        slot->state = Slot::State::Free;
                    }
                    next_ = last;
                }
                room_.notify_all();
            }
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (error_ || !find(Slot::State::Ready, next_)) return;
    }
}

bool OrderedChunkSink::fail(std::exception_ptr error) {
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!error_) {
            error_ = error;
            first = true;
        }
        failed_ = true;
    }
    room_.notify_all();
    return first;
}

std::exception_ptr OrderedChunkSink::error() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

bool OrderedChunkSink::complete() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !error_ && next_ == end_index_;
}

uint64_t OrderedChunkSink::offset(int first) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return offsets_.at(static_cast<size_t>(first));
}

uint64_t OrderedChunkSink::end() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return at_;
}

}  // namespace talvik::io
