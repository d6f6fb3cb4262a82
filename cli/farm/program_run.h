// Runs one of a scheduler's own commands (sbatch, scontrol, scancel) and
// collects what it printed, its standard input empty.
#pragma once

#include <string>
#include <vector>

namespace talvik::cli {

struct ProgramResult {
    bool started = false;  // false: not found on PATH or not executable
    std::string why_not;   // when not started: the reason
    int status = -1;       // exit status, 128 + signal when a signal ended it
    std::string out, err;
};

// argv[0] is looked up on PATH. A stop signal that arrives meanwhile lets
// the program finish: what it did (a job submitted) must be known.
ProgramResult run_program(const std::vector<std::string>& argv);

// Its standard error, else its standard output, trimmed: what it said.
std::string program_said(const ProgramResult& result);

}  // namespace talvik::cli
