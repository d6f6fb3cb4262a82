#include "python/split_work.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "io/usable_cpus.h"

namespace talvik::python {

bool split_work(std::size_t count, std::size_t min_piece,
                const std::function<void(std::size_t, std::size_t, const std::atomic<bool>&)>& work,
                const std::function<bool()>& interrupted) {
    const std::size_t cpus = static_cast<std::size_t>(io::usable_cpu_count());
    const std::size_t pieces = std::max<std::size_t>(1, std::min(cpus, count / std::max<std::size_t>(1, min_piece)));
    std::atomic<bool> stop{false};
    if (count < 2 * min_piece) {
        work(0, count, stop);
        return true;
    }
    const std::size_t per_piece = (count + pieces - 1) / pieces;
    std::mutex lock;
    std::condition_variable piece_done;
    std::size_t running = 0;
    std::vector<std::thread> threads;
    struct StopAndJoin {
        std::atomic<bool>& stop;
        std::vector<std::thread>& threads;
        ~StopAndJoin() {
            stop = true;
            for (std::thread& t : threads) t.join();
        }
    } stop_and_join{stop, threads};
    threads.reserve(pieces);
    for (std::size_t begin = 0; begin < count; begin += per_piece) {
        const std::size_t end = std::min(count, begin + per_piece);
        {
            std::lock_guard<std::mutex> hold(lock);
            ++running;
        }
        try {
            threads.emplace_back([&, begin, end] {
                work(begin, end, stop);
                std::lock_guard<std::mutex> hold(lock);
                --running;
                piece_done.notify_one();
            });
        } catch (...) {
            std::lock_guard<std::mutex> hold(lock);
            --running;
            throw;
        }
    }
    std::unique_lock<std::mutex> hold(lock);
    while (!piece_done.wait_for(hold, std::chrono::milliseconds(kInterruptPollMilliseconds),
                                [&] { return running == 0; })) {
        // Asked without the lock: `interrupted` may take the GIL.
        hold.unlock();
        const bool give_up = interrupted();
        hold.lock();
        if (give_up) return false;  // stop_and_join stops and joins
    }
    return true;
}

}  // namespace talvik::python
