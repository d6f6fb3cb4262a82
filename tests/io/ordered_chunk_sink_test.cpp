// Pieces of a file put in any order land in index order after what the
// file holds; a producer waits only for room; the first error reaches
// every producer.
#include "io/ordered_chunk_sink.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/scratch_folder.h"

namespace talvik::io {
namespace {

// Cancels the wait it sees, so that a step that must wait returns.
struct CancelOnWait : ChunkSinkWatcher {
    std::atomic<bool> cancel{false};
    int waited = -1;
    void waiting_for_slot(int first) override {
        waited = first;
        cancel = true;
    }
    void writing(int, int) override {}
};

// Steps: "+i" takes a slot for the piece at index i, "?i" must wait for
// one, "=i" puts the piece; "!" after a step: it throws the write error.
// Pieces cover [0, 2), [2, 3) and [3, 5).
TEST(OrderedChunkSink, PiecesLandInIndexOrderWithinBoundedRoom) {
    struct Case {
        const char* name;
        size_t slots;
        int producers;
        bool writable;
        std::vector<std::string> steps;
        const char* file;  // what the file holds after the steps
    };
    const std::vector<Case> cases = {
        {"in order", 2, 1, true, {"+0", "=0", "+2", "=2", "+3", "=3"}, "HEADaabccc"},
        {"last first", 2, 2, true, {"+3", "+0", "=3", "=0", "+2", "=2"}, "HEADaabccc"},
        {"the last free slot is the next piece's", 2, 2, true, {"+3", "?2", "+0", "=0"}, "HEADaa"},
        {"no free slot", 2, 2, true, {"+0", "+2", "?3", "=0", "+3", "=3", "=2"}, "HEADaabccc"},
        {"every producer waits: a slot more", 1, 1, true, {"+3", "+2", "+0", "=2", "=3", "=0"}, "HEADaabccc"},
        {"a write error reaches every producer", 2, 2, false, {"+2", "+0", "=0!", "+3!"}, "HEAD"},
    };
    const std::map<int, std::pair<int, std::string>> pieces = {{0, {2, "aa"}}, {2, {3, "b"}}, {3, {5, "ccc"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScratchFolder folder;
        const std::string path = folder.file("f");
        test::write_bytes(path, "HEAD");
        const int fd = ::open(path.c_str(), c.writable ? O_RDWR : O_RDONLY);
        ASSERT_GE(fd, 0);
        CancelOnWait watcher;
        OrderedChunkSink sink;
        sink.watch(&watcher);
        sink.reserve(c.slots, 8, c.producers);
        sink.start(fd, 4, 5, &watcher.cancel);
        std::map<int, OrderedChunkSink::Slot*> held;
        std::string first_error;
        for (const std::string& step : c.steps) {
            SCOPED_TRACE(step);
            const int index = std::stoi(step.substr(1, 1));
            const bool throws = step.back() == '!';
            try {
                if (step[0] == '=') {
                    const auto& [end, bytes] = pieces.at(index);
                    std::memcpy(held.at(index)->bytes.get(), bytes.data(), bytes.size());
                    sink.put(*held.at(index), end, bytes.size());
                } else {
                    watcher.cancel = false;
                    held[index] = sink.acquire(index);
                    EXPECT_EQ(held[index] == nullptr, step[0] == '?');
                    EXPECT_EQ(watcher.waited, step[0] == '?' ? index : -1);
                    watcher.waited = -1;
                }
                EXPECT_FALSE(throws);
            } catch (const std::runtime_error& e) {
                EXPECT_TRUE(throws) << e.what();
                if (first_error.empty()) first_error = e.what();
                EXPECT_EQ(e.what(), first_error);
            }
        }
        ::close(fd);
        EXPECT_EQ(test::read_bytes(path), c.file);
        const bool whole = std::string(c.file) == "HEADaabccc";
        EXPECT_EQ(sink.complete(), whole);
        EXPECT_EQ(sink.error() != nullptr, !c.writable);
        if (whole) {
            EXPECT_EQ(std::vector<uint64_t>({sink.offset(0), sink.offset(2), sink.offset(3), sink.end()}),
                      std::vector<uint64_t>({4, 6, 7, 10}));
        }
    }
}

}  // namespace
}  // namespace talvik::io
