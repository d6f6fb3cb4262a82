#include "python/shot_call.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "io/stop_signal.h"
#include "python/split_work.h"

namespace py = pybind11;

namespace talvik::python {
namespace {

// Thrown on the worker when Python answered a warning with an exception.
struct WarningRaised : std::runtime_error {
    WarningRaised() : std::runtime_error("a warning was raised as an error") {}
};

// The shot's events, handed from the worker to the calling thread. A
// warning waits for its answer: whether Python raised it.
class HandedEvents : public pipeline::ShotEvents {
public:
    void warning(const std::string& text) override {
        std::unique_lock<std::mutex> hold(lock_);
        warnings_.push_back(text);
        changed_.notify_all();
        answered_.wait(hold, [&] { return warnings_.empty() || given_up_; });
        if (raised_ || given_up_) throw WarningRaised();
    }
    void frames_started(int total, const std::string&) override { set_progress(0, total); }
    void frame_done(int) override { set_progress(done_ + 1, total_); }

    void finish() {
        std::lock_guard<std::mutex> hold(lock_);
        finished_ = true;
        changed_.notify_all();
    }
    // No answer will come: the call is being given up.
    void give_up() {
        std::lock_guard<std::mutex> hold(lock_);
        given_up_ = true;
        answered_.notify_all();
    }

    // On the calling thread, GIL released: waits a poll's time for news.
    bool wait() {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait_for(hold, std::chrono::milliseconds(kInterruptPollMilliseconds),
                          [&] { return finished_ || !warnings_.empty() || progress_told_ != done_; });
        return finished_;
    }
    // On the calling thread, GIL held: the warnings waiting, then the
    // progress since the last look. Returns false once Python raised.
    bool tell(const py::object& progress) {
        std::unique_lock<std::mutex> hold(lock_);
        while (!warnings_.empty()) {
            const std::string text = warnings_.front();
            hold.unlock();
            const bool ok = PyErr_WarnEx(PyExc_RuntimeWarning, text.c_str(), 1) == 0;
            hold.lock();
            warnings_.pop_front();
            raised_ = raised_ || !ok;
            answered_.notify_all();
            if (!ok) return false;
        }
        if (progress_told_ == done_) return true;
        progress_told_ = done_;
        if (progress.is_none()) return true;
        const int done = done_, total = total_;
        hold.unlock();
        try {
            progress(done, total);
        } catch (py::error_already_set& e) {
            e.restore();
            return false;
        }
        return true;
    }

private:
    void set_progress(int done, int total) {
        std::lock_guard<std::mutex> hold(lock_);
        done_ = done;
        total_ = total;
        changed_.notify_all();
    }

    std::mutex lock_;
    std::condition_variable changed_, answered_;
    std::deque<std::string> warnings_;
    bool raised_ = false, given_up_ = false, finished_ = false;
    int done_ = 0, total_ = 0, progress_told_ = 0;
};

}  // namespace

void run_shot_call(const std::function<void(pipeline::ShotEvents&)>& work, const py::object& progress) {
    HandedEvents events;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work(events);
        } catch (...) {
            failure = std::current_exception();
        }
        events.finish();
    });
    // Python's error, once raised here: the work is stopped and waited for.
    bool python_error = false;
    for (bool finished = false; !finished;) {
        {
            py::gil_scoped_release release;
            finished = events.wait();
        }
        if (!python_error && (!events.tell(progress) || PyErr_CheckSignals() != 0)) {
            python_error = true;
            io::request_stop();
            events.give_up();
        }
    }
    {
        py::gil_scoped_release release;
        worker.join();
    }
    if (python_error) {
        io::clear_stop();
        throw py::error_already_set();
    }
    if (failure) std::rethrow_exception(failure);
}

}  // namespace talvik::python
