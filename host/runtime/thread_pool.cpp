#include "host/runtime/thread_pool.h"

#include <stdexcept>
#include <string>
#include <system_error>

namespace talvik::host {

ThreadPool::ThreadPool(int threads) {
    try {
        workers_.reserve(threads > 1 ? static_cast<size_t>(threads) - 1 : 0);
        for (int w = 1; w < threads; ++w) {
            workers_.emplace_back([this, w] { worker_loop(w); });
        }
    } catch (const std::system_error& e) {
        // The workers already started are waiting for work: let them go,
        // or their std::thread objects would end the program.
        stop_workers();
        throw std::runtime_error("cannot start " + std::to_string(threads) + " threads: " + e.code().message());
    }
}

ThreadPool::~ThreadPool() { stop_workers(); }

void ThreadPool::stop_workers() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
}

void ThreadPool::run(int tasks, const std::function<void(int, int)>& work) {
    if (tasks <= 0) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job_ = &work;
        tasks_ = tasks;
        next_task_ = 0;
        finished_ = 0;
        error_ = nullptr;
        ++generation_;
    }
    wake_.notify_all();
    drain(0);
    std::unique_lock<std::mutex> lock(mutex_);
    // Wait for every task and for every worker to have left the job.
    done_.wait(lock, [this] { return finished_ == tasks_ && busy_workers_ == 0; });
    job_ = nullptr;
    if (error_) std::rethrow_exception(error_);
}

void ThreadPool::drain(int worker) {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::function<void(int, int)>* job = job_;
    while (job && next_task_ < tasks_) {
        const int task = next_task_++;
        lock.unlock();
        std::exception_ptr error;
        try {
            (*job)(worker, task);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        if (error && !error_) error_ = error;
        if (++finished_ == tasks_) done_.notify_all();
    }
}

void ThreadPool::worker_loop(int worker) {
    unsigned long seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
        if (stopping_) return;
        seen = generation_;
        ++busy_workers_;
        lock.unlock();
        drain(worker);
        lock.lock();
        if (--busy_workers_ == 0) done_.notify_all();
    }
}

}  // namespace talvik::host
