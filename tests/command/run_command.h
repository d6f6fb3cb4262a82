// Runs the built talvik-stmap (or another program) with arguments and
// collects what it printed.
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

// Any program, argv[0] looked up on PATH.
CommandResult run_program(const std::vector<std::string>& argv);

// How often `what` appears in `text` (a message in what a command printed).
inline size_t occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The same in another working folder or environment (`options`; its
// standard output is captured here).
CommandResult run_stmap(const std::vector<std::string>& args, ProcessOptions options);

}  // namespace talvik::test
