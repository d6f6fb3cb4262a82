// A farm task's log (--task-log): what ran where and when, read by a
// wrangler long after, among the logs of many hosts.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/options/command_options.h"
#include "cli/output/terminal_events.h"

namespace talvik::cli {

// The header block: the UTC time, the host, the version and the arguments.
void print_task_log_header(std::FILE* err, const std::vector<std::string>& argv);

// How the command tells about its shot: with --task-log, each progress
// line starts with the UTC time.
TerminalEvents terminal_events(const RenderOptions& options, std::FILE* out, std::FILE* err);

}  // namespace talvik::cli
