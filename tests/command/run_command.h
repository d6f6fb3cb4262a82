// Runs the built talvik-stmap with arguments and collects what it printed.
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

}  // namespace talvik::test
