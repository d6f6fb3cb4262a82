// A fixed set of worker threads that run the tasks of one job at a time.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace talvik::host {

class ThreadPool {
public:
    // Throws std::runtime_error ("cannot start N threads: reason") when a
    // thread cannot be created; those already started are joined first.
    explicit ThreadPool(int threads);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    int size() const { return static_cast<int>(workers_.size()) + 1; }
    // Runs work(worker, task) for every task in [0, tasks), spread over the
    // workers and the calling thread (worker 0); returns when all are done.
    // The first exception a task throws is rethrown here.
    void run(int tasks, const std::function<void(int worker, int task)>& work);

private:
    void stop_workers();
    void worker_loop(int worker);
    void drain(int worker);

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    const std::function<void(int, int)>* job_ = nullptr;
    int tasks_ = 0;
    int next_task_ = 0;
    int finished_ = 0;
    unsigned long generation_ = 0;
    int busy_workers_ = 0;
    bool stopping_ = false;
    std::exception_ptr error_;
};

}  // namespace talvik::host
