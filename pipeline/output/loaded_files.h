// The files this process runs from: the program and every library mapped
// into it (the host library, the plug-in, Python's and the system's). An
// output landing on one of them would replace code the run depends on.
#pragma once

#include <string>
#include <vector>

namespace talvik::pipeline {

// Their paths, each once, from /proc/self/maps; empty where that cannot be
// read.
std::vector<std::string> loaded_files();

}  // namespace talvik::pipeline
