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
#include "host/runtime/usable_cpus.h"

namespace talvik::pipeline {

void check_render_inputs(const ShotJob& options) {
    if (!options.plate.empty()) io::check_input_file(options.plate, "plate");
    if (!options.fbx.empty()) io::check_input_file(options.fbx, "take");
}

namespace {

// The CPUs a Slurm job was given. A cluster that binds no tasks to their
// CPUs (TaskPlugin=task/none) leaves the affinity mask whole, and every
// task of a node would otherwise take all of its cores.
std::optional<int> slurm_job_cpus() {
    if (!std::getenv("SLURM_JOB_ID")) return std::nullopt;
    for (const char* name : {"SLURM_CPUS_PER_TASK", "SLURM_CPUS_ON_NODE"}) {
        const char* value = std::getenv(name);
        if (!value) continue;
        char* end = nullptr;
        const long cpus = std::strtol(value, &end, 10);
        if (end != value && *end == '\0' && cpus > 0 && cpus < (1 << 20)) return static_cast<int>(cpus);
    }
    return std::nullopt;
}

}  // namespace

void start_threads(host::Host& host, int threads) {
    if (threads <= 0) threads = std::min(host::usable_cpu_count(), slurm_job_cpus().value_or(INT_MAX));
    host.set_threads(threads);
    try {
        exr::set_exr_thread_count(threads);
    } catch (const std::exception& e) {
        throw std::runtime_error("cannot start " + std::to_string(threads) + " compression threads: " + e.what());
    }
}

}  // namespace talvik::pipeline
