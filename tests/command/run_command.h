// Runs the built talvik-stmap with arguments and collects what it printed.
#pragma once

#include <string>
#include <vector>

#include "stmap_process.h"

namespace talvik::test {

struct CommandResult {
    int status = -1;  // exit status
    std::string out;
    std::string err;
};

CommandResult run_stmap(const std::vector<std::string>& args);

// The same in another working folder or environment (`options`; its
// standard output is captured here).
CommandResult run_stmap(const std::vector<std::string>& args, ProcessOptions options);

}  // namespace talvik::test
