// The built talvik-stmap as a running process the test can signal, limit
// and read from while it works.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/scratch_folder.h"

namespace talvik::test {

struct ProcessOptions {
    // setrlimit in the child before exec: resource, soft and hard limit.
    std::vector<std::pair<int, rlim_t>> limits;
    int only_cpu = -1;         // pin the child to this CPU
    bool stdout_pipe = false;  // otherwise standard output goes to stdout_path
    std::string stdout_path = "/dev/null";
    std::string working_folder;            // empty: the test's own
    std::vector<std::string> environment;  // NAME=VALUE set on top of the test's environment
};

class StmapProcess {
public:
    explicit StmapProcess(const std::vector<std::string>& args, const ProcessOptions& options = {});
    ~StmapProcess();  // kills the process if it still runs
    StmapProcess(const StmapProcess&) = delete;
    StmapProcess& operator=(const StmapProcess&) = delete;

    pid_t pid() const { return pid_; }
    void signal(int signal) const;
    // The read end of standard output (with stdout_pipe).
    int stdout_fd() const { return stdout_fd_; }
    void close_stdout();
    // Exit status (128 + signal for a signal) once the process ended, or
    // nothing if it still runs after `seconds` (it is then killed).
    std::optional<int> wait(double seconds);
    // Whether the process ended by a signal rather than exiting itself.
    bool killed() const { return killed_; }
    std::string err() const;

private:
    test::ScratchFolder capture_;
    pid_t pid_ = -1;
    int stdout_fd_ = -1;
    bool killed_ = false;
};

// Polls until `predicate` holds or `seconds` pass; says which.
template <class Predicate>
bool eventually(Predicate predicate, double seconds);

// Whether the tests run under a sanitizer, which reserves address space
// far beyond any limit a test sets.
constexpr bool kSanitized =
#ifdef TALVIK_SANITIZED
    true;
#else
    false;
#endif

}  // namespace talvik::test

#include <chrono>
#include <thread>

template <class Predicate>
bool talvik::test::eventually(Predicate predicate, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
