// Long work of the module spread over the CPUs this process may use, and
// given up at once when the caller is interrupted (Ctrl-C).
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>

namespace talvik::python {

// How often the calling thread asks whether to give the work up.
inline constexpr int kInterruptPollMilliseconds = 20;

// Runs work(begin, end, stop) over [0, count) in contiguous pieces of at
// least `min_piece` items, one piece per usable CPU, each on a thread of its
// own, while the calling thread calls `interrupted()` every
// kInterruptPollMilliseconds. Once that returns true, `stop` is set (work
// returns at its next look at it), every thread is joined and split_work
// returns false; true when all the work was done. Fewer than 2 * min_piece
// items run on the calling thread, unpolled: that work is short. `work` must not throw.
// Throws std::system_error when a thread cannot start, after the others
// stopped.
bool split_work(std::size_t count, std::size_t min_piece,
                const std::function<void(std::size_t, std::size_t, const std::atomic<bool>&)>& work,
                const std::function<bool()>& interrupted);

}  // namespace talvik::python
