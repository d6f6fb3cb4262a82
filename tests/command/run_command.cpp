#include "run_command.h"

#include "tests/support/scratch_folder.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace talvik::test {

CommandResult run_stmap(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {TALVIK_STMAP};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_program(argv);
}

CommandResult run_program(const std::vector<std::string>& argv_text) {
    test::ScratchFolder capture;
    const std::string out_path = capture.file("stdout");
    const std::string err_path = capture.file("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : argv_text) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + argv_text[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    CommandResult r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = test::read_bytes(out_path);
    r.err = test::read_bytes(err_path);
    return r;
}

CommandResult run_stmap(const std::vector<std::string>& args, ProcessOptions options) {
    test::ScratchFolder capture;
    options.stdout_path = capture.file("stdout");
    StmapProcess process(args, options);
    // A hang fails the test rather than holding the suite.
    const std::optional<int> status = process.wait(600);
    if (!status) throw std::runtime_error("talvik-stmap still running after 600 s");
    return {*status, test::read_bytes(options.stdout_path), process.err()};
}

}  // namespace talvik::test
