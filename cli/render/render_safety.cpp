#include "cli/render/render_safety.h"

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

namespace talvik::cli {

void check_render_inputs(const RenderOptions& options) {
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

void print_line(std::FILE* out, const std::string& line) {
    errno = 0;
    if (std::fputs(line.c_str(), out) < 0 || std::fputc('\n', out) == EOF || std::fflush(out) != 0)
        throw std::runtime_error(std::string("cannot write to standard output: ") + std::strerror(errno ? errno : EIO));
}

}  // namespace talvik::cli
