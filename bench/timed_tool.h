// What the plain timed tools (those that are not Google Benchmark runs)
// share: a lens's map rendered once before any timing, the folder their
// files go to, and a main that names what went wrong.
#pragma once

#include <string>
#include <vector>

#include "io/st_map_view.h"
#include "lens/lens_model.h"

namespace talvik::bench {

struct RenderedMap {
    int width = 0, height = 0;
    std::vector<float> s, t;
    io::StMapView view() const { return {width, height, s.data(), t.data()}; }
};

// The whole map of `lens` through the row code the command uses.
RenderedMap render_map(const LensModel& lens, int width, int height);

// `asked`, or else a new folder under the system's temporary folder named
// after the tool and this process; created either way.
std::string files_folder(const std::string& asked, const std::string& tool);

// `run(argc, argv)`, with any exception printed after the tool's name and
// turned into exit 1.
int run_timed_tool(const char* tool, int (*run)(int, char**), int argc, char** argv);

}  // namespace talvik::bench
