#include "pipeline/render/render_safety.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "io/input_file.h"
#include "exr/st_map_exr_writer.h"
#include "io/usable_cpus.h"

namespace talvik::pipeline {

void check_render_inputs(const ShotJob& options) {
    if (!options.plate.empty()) io::check_input_file(options.plate, "plate");
    if (!options.fbx.empty()) io::check_input_file(options.fbx, "take");
}

void start_threads(host::Host& host, int threads) {
    if (threads <= 0) threads = io::usable_cpu_count();
    host.set_threads(threads);
    try {
        exr::set_exr_thread_count(threads);
    } catch (const std::exception& e) {
        throw std::runtime_error("cannot start " + std::to_string(threads) + " compression threads: " + e.what());
    }
}

}  // namespace talvik::pipeline
