#include "python/split_work.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "host/runtime/usable_cpus.h"

namespace talvik::python {

void split_work(std::size_t count, std::size_t min_piece, const std::function<void(std::size_t, std::size_t)>& work) {
    const std::size_t cpus = static_cast<std::size_t>(host::usable_cpu_count());
    const std::size_t pieces = std::max<std::size_t>(1, std::min(cpus, count / std::max<std::size_t>(1, min_piece)));
    const std::size_t per_piece = (count + pieces - 1) / pieces;
    std::vector<std::thread> threads;
    struct JoinAll {
        std::vector<std::thread>& threads;
        ~JoinAll() {
            for (std::thread& t : threads) t.join();
        }
    } join_all{threads};
    threads.reserve(pieces - 1);
    for (std::size_t begin = 0; begin + per_piece < count; begin += per_piece)
        threads.emplace_back(work, begin, begin + per_piece);
    work(threads.size() * per_piece, count);
}

}  // namespace talvik::python
