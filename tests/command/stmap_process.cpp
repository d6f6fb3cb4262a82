#include "stmap_process.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace talvik::test {
namespace {

// The test's environment with `extra` set on top, each NAME=VALUE replacing
// the variable of that name.
std::vector<std::string> environment_with(const std::vector<std::string>& extra) {
    std::vector<std::string> all;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& x : extra) replaced = replaced || x.compare(0, name.size(), name) == 0;
        if (!replaced) all.push_back(entry);
    }
    all.insert(all.end(), extra.begin(), extra.end());
    return all;
}

}  // namespace

StmapProcess::StmapProcess(const std::vector<std::string>& args, const ProcessOptions& options) {
    std::vector<std::string> argv_text = {TALVIK_STMAP};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    const std::string stdout_path = options.stdout_path;
    std::vector<char*> argv;
    for (std::string& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_text = environment_with(options.environment);
    std::vector<char*> envp;
    for (std::string& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string working_folder = options.working_folder;
    const std::string err_path = capture_.file("stderr");
    int out_pipe[2] = {-1, -1};
    if (options.stdout_pipe && pipe(out_pipe) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        // Only async-signal-safe calls until exec.
        const int in = open("/dev/null", O_RDONLY);
        const int out = options.stdout_pipe ? out_pipe[1] : open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (options.stdout_pipe) close(out_pipe[0]);
        for (const auto& [resource, value] : options.limits) {
            const rlimit limit{value, value};
            if (setrlimit(resource, &limit) != 0) _exit(200);
        }
        if (options.only_cpu >= 0) {
            cpu_set_t set;
            CPU_ZERO(&set);
            CPU_SET(options.only_cpu, &set);
            if (sched_setaffinity(0, sizeof set, &set) != 0) _exit(201);
        }
        if (!working_folder.empty() && chdir(working_folder.c_str()) != 0) _exit(203);
        execve(argv[0], argv.data(), envp.data());
        _exit(202);
    }
    if (options.stdout_pipe) {
        close(out_pipe[1]);
        stdout_fd_ = out_pipe[0];
    }
}

StmapProcess::~StmapProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    close_stdout();
}

void StmapProcess::signal(int signal) const {
    if (pid_ > 0) kill(pid_, signal);
}

void StmapProcess::close_stdout() {
    if (stdout_fd_ >= 0) close(stdout_fd_);
    stdout_fd_ = -1;
}

std::optional<int> StmapProcess::wait(double seconds) {
    int status = 0;
    const bool ended = eventually([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, seconds);
    if (!ended) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return std::nullopt;
    }
    pid_ = -1;
    killed_ = WIFSIGNALED(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string StmapProcess::err() const { return test::read_bytes(capture_.file("stderr")); }

}  // namespace talvik::test
