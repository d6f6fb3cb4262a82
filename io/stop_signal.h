// Stopping on SIGINT, SIGTERM, SIGHUP and SIGPIPE. The handler only sets a
// flag; the render checks it between frames and the writers between chunks,
// and unwinding removes the temporary file in flight, so frames already
// complete are kept and nothing half-written is left.
#pragma once

#include <atomic>
#include <stdexcept>

namespace talvik::io {

// Installs the handlers (again, if something replaced them) and ignores
// SIGXFSZ so that a write over the file-size limit fails with a reason
// instead of killing the process.
void install_stop_handlers();

// Set once a stop signal arrived; in the command, never cleared.
const std::atomic<bool>& stop_requested();

// For a front end that handles interrupts itself (Python's Ctrl-C): sets
// the flag as SIGINT would, without a signal; and clears it once the work
// it stopped has returned, so that the next call may run.
void request_stop();
void clear_stop();

// The first stop signal that arrived, 0 if none.
int stop_signal();

// "SIGINT", "SIGTERM", "SIGHUP" or "SIGPIPE".
const char* stop_signal_name();

// Thrown where the command notices the stop flag.
struct Stopped : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws Stopped when a stop signal arrived.
void throw_if_stopped();

// 128 + the signal, as a shell reports a process the signal ended.
int stopped_exit_code();

}  // namespace talvik::io
