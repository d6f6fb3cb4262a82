// Runs the built talvik-stmap (or another program) with arguments and
// collects what it printed.
#pragma once

#include <string>
#include <vector>

namespace talvik::test {

struct CommandResult {
    int status = -1;  // exit status
    std::string out;
    std::string err;
};

CommandResult run_stmap(const std::vector<std::string>& args);

// Any program, argv[0] looked up on PATH.
CommandResult run_program(const std::vector<std::string>& argv);

}  // namespace talvik::test
