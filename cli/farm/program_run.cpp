#include "cli/farm/program_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace talvik::cli {
namespace {

class Pipe {
public:
    Pipe() {
        if (pipe2(fds_, O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
    }
    ~Pipe() {
        close_read();
        close_write();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    bool ok() const { return fds_[0] >= 0; }
    int read_end() const { return fds_[0]; }
    int write_end() const { return fds_[1]; }
    void close_read() { close_fd(fds_[0]); }
    void close_write() { close_fd(fds_[1]); }

private:
    static void close_fd(int& fd) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    int fds_[2];
};

// Reads both pipes until the program closes them.
void collect(Pipe& out, Pipe& err, ProgramResult& result) {
    pollfd fds[2] = {{out.read_end(), POLLIN, 0}, {err.read_end(), POLLIN, 0}};
    std::string* into[2] = {&result.out, &result.err};
    int open = 2;
    char buffer[4096];
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                fds[i].fd = -1;
                --open;
            } else {
                into[i]->append(buffer, static_cast<size_t>(n));
            }
        }
    }
}

}  // namespace

ProgramResult run_program(const std::vector<std::string>& argv) {
    ProgramResult result;
    Pipe out, err;
    if (!out.ok() || !err.ok()) {
        result.why_not = std::string("cannot make a pipe: ") + std::strerror(errno);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.write_end(), 1);
    posix_spawn_file_actions_adddup2(&actions, err.write_end(), 2);
    // The program gets the signals' usual meaning back, SIGPIPE included.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) sigaddset(&defaults, s);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        result.why_not = spawned == ENOENT ? "not found on PATH" : std::strerror(spawned);
        return result;
    }
    result.started = true;
    out.close_write();
    err.close_write();
    collect(out, err, result);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return result;
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::string program_said(const ProgramResult& result) {
    std::string said = result.err.find_first_not_of(" \t\n") != std::string::npos ? result.err : result.out;
    while (!said.empty() && (said.back() == '\n' || said.back() == ' ')) said.pop_back();
    while (!said.empty() && (said.front() == '\n' || said.front() == ' ')) said.erase(0, 1);
    return said;
}

}  // namespace talvik::cli
