#include "io/stop_signal.h"

#include <signal.h>

#include <string>

namespace talvik::io {
namespace {

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the signal handler may only touch lock-free atomics");

std::atomic<bool> stop_flag{false};
std::atomic<int> first_signal{0};

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// Async-signal-safe: lock-free atomics only.
extern "C" void on_stop_signal(int signal) {
    int none = 0;
    first_signal.compare_exchange_strong(none, signal);
    stop_flag.store(true);
}

}  // namespace

void install_stop_handlers() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigfillset(&action.sa_mask);
    // Interrupted reads and writes carry on; the flag is checked often enough.
    action.sa_flags = SA_RESTART;
    for (int signal : kStopSignals) sigaction(signal, &action, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, nullptr);
}

const std::atomic<bool>& stop_requested() { return stop_flag; }

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
