// The pieces of one file, made on any thread in any order, written in
// index order at the file's end as soon as the next one is there. Each
// piece covers indexes [first, end) (a band, or a run of lines); the first
// begins at 0 and each begins where the one before ends. A few pieces wait
// in slots of their own, never the file; a producer waits for a slot.
#pragma once

#include <sys/uio.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

namespace talvik::io {

// Watches slots change hands, so that tests can hold a write and see what
// the other producers do meanwhile. Called on the producers' threads.
class ChunkSinkWatcher {
public:
    virtual ~ChunkSinkWatcher() = default;
    // The piece beginning at `first` finds no slot and waits (again, every
    // time it looks).
    virtual void waiting_for_slot(int first) = 0;
    // The pieces covering [first, end) are about to be written.
    virtual void writing(int first, int end) = 0;
};

class OrderedChunkSink {
public:
    struct Slot {
        std::unique_ptr<uint8_t[]> bytes;
        size_t capacity = 0;

    private:
        friend class OrderedChunkSink;
        enum class State { Free, Held, Ready, Writing } state = State::Free;
        int first = 0, end = 0;
        size_t size = 0;
    };

    OrderedChunkSink();
    ~OrderedChunkSink();
    OrderedChunkSink(const OrderedChunkSink&) = delete;
    OrderedChunkSink& operator=(const OrderedChunkSink&) = delete;

    // At least `slots` slots of at least `bytes` each, for `producers`
    // threads; kept from file to file. Not while pieces are made.
    void reserve(size_t slots, size_t bytes, int producers);
    // A new file: pieces covering [0, end) go to `fd` from offset `at`.
    // `cancel` (null: never) is looked at while a producer waits.
    void start(int fd, uint64_t at, int end, const std::atomic<bool>* cancel);

    // The slot for the piece beginning at `first`, once there is room;
    // null when the file is cancelled. Throws the file's first error.
    // One slot is kept for the piece the file waits for, so that it never
    // waits behind later ones. Only when every producer waits, so that
    // the piece the file waits for cannot come (pieces taken out of
    // order), does a slot more get made.
    Slot* acquire(int first);
    // The piece in `slot` covers up to `end` and is `size` bytes: writes it
    // and the pieces after it that are there, unless another thread is
    // writing. Throws what a write threw (and stops the file).
    void put(Slot& slot, int end, size_t size);

    // Stops the file: producers waiting or coming get `error`, when it is
    // the first. Returns whether it was.
    bool fail(std::exception_ptr error);
    std::exception_ptr error() const;
    bool cancelled() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }
    // Failed or cancelled.
    bool stopped() const { return failed_.load(std::memory_order_relaxed) || cancelled(); }

    // Whether every piece is in the file; where the piece beginning at
    // `first` went, and where the file ends (after the last piece put).
    bool complete() const;
    uint64_t offset(int first) const;
    uint64_t end() const;

    void watch(ChunkSinkWatcher* watcher) { watcher_ = watcher; }

private:
    Slot* take_free(int first);
    Slot* find(Slot::State state, int first);
    void write_ready();

    std::vector<std::unique_ptr<Slot>> slots_;
    size_t slot_bytes_ = 0;
    int producers_ = 1;
    int fd_ = -1;
    int end_index_ = 0;
    const std::atomic<bool>* cancel_ = nullptr;
    ChunkSinkWatcher* watcher_ = nullptr;

    mutable std::mutex mutex_;  // guards what follows
    std::condition_variable room_;
    int next_ = 0;          // the first index not in the file
    uint64_t at_ = 0;       // where the next piece goes
    int waiting_ = 0;       // producers waiting for a slot
    std::vector<uint64_t> offsets_;
    std::exception_ptr error_;
    std::atomic<bool> failed_{false};

    std::mutex writing_;    // one writer at a time; guards iovecs_
    std::vector<iovec> iovecs_;
    std::vector<Slot*> batch_;
};

}  // namespace talvik::io
