#include "bench/timed_tool.h"

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <filesystem>

#include "lens/st_map_row.h"

namespace talvik::bench {

RenderedMap render_map(const LensModel& lens, int width, int height) {
    const FrameSize size = frame_size_from(width, height);
    RenderedMap map{width, height, std::vector<float>(static_cast<size_t>(width) * height), {}};
    map.t.resize(map.s.size());
    for (int y = 0; y < height; ++y)
        st_map_row(lens, size, y, 0, width, map.s.data() + static_cast<size_t>(y) * width,
                   map.t.data() + static_cast<size_t>(y) * width);
    return map;
}

std::string files_folder(const std::string& asked, const std::string& tool) {
    const std::string folder =
        asked.empty() ? (std::filesystem::temp_directory_path() / (tool + "." + std::to_string(getpid()))).string()
                      : asked;
    std::filesystem::create_directories(folder);
    return folder;
}

int run_timed_tool(const char* tool, int (*run)(int, char**), int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", tool, e.what());
        return 1;
    }
}

}  // namespace talvik::bench
