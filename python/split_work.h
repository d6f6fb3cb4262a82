// Long work of the module spread over the CPUs this process may use.
#pragma once

#include <cstddef>
#include <functional>

namespace talvik::python {

// Runs work(begin, end) over [0, count) in contiguous pieces of at least
// `min_piece` items, one piece per usable CPU, each on a thread of its own
// (the last on the calling thread). `work` must not throw. Throws
// std::system_error when a thread cannot start, after the others finished.
void split_work(std::size_t count, std::size_t min_piece, const std::function<void(std::size_t, std::size_t)>& work);

}  // namespace talvik::python
