#include "io/stop_signal.h"

#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <string>

namespace talvik::io {
namespace {

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the signal handler may only touch lock-free atomics");

std::atomic<bool> stop_flag{false};
std::atomic<int> first_signal{0};
pthread_t main_thread;  // set before the handlers are installed

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// Async-signal-safe: lock-free atomics, pthread_self and pthread_kill only.
// A signal a worker thread caught is passed on to the main thread, so that
// a blocking call there (an open of a FIFO, a read of a pipe) is
// interrupted too, whichever thread the kernel chose.
extern "C" void on_stop_signal(int signal) {
    const int saved_errno = errno;
    int none = 0;
    first_signal.compare_exchange_strong(none, signal);
    stop_flag.store(true);
    if (!pthread_equal(pthread_self(), main_thread)) pthread_kill(main_thread, signal);
    errno = saved_errno;
}

}  // namespace

void install_stop_handlers() {
    main_thread = pthread_self();
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigfillset(&action.sa_mask);
    // No SA_RESTART: a call blocked when a stop arrives fails with EINTR
    // rather than going on waiting, so no blocking call outlives a stop.
    // Writes of regular files are not interrupted; writers that could be
    // retry EINTR themselves and check the flag.
    action.sa_flags = 0;
    for (int signal : kStopSignals) sigaction(signal, &action, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, nullptr);
}

const std::atomic<bool>& stop_requested() { return stop_flag; }

void request_stop() {
    int none = 0;
    first_signal.compare_exchange_strong(none, SIGINT);
    stop_flag.store(true);
}

void clear_stop() {
    stop_flag.store(false);
    first_signal.store(0);
}

int stop_signal() { return first_signal.load(); }

const char* stop_signal_name() {
    switch (first_signal.load()) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        case SIGPIPE: return "SIGPIPE";
        default: return "no signal";
    }
}

void throw_if_stopped() {
    if (stop_flag.load()) throw Stopped(std::string("stopped by ") + stop_signal_name());
}

int stopped_exit_code() { return 128 + first_signal.load(); }

}  // namespace talvik::io
