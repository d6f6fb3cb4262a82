#include "io/usable_cpus.h"

#include <sched.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace talvik::io {
namespace {

std::string read_line(const char* path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::optional<int> cgroup_quota_cpus() {
    if (auto v2 = cpus_of_quota(read_line("/sys/fs/cgroup/cpu.max"))) return v2;
    return cpus_of_quota(read_line("/sys/fs/cgroup/cpu/cpu.cfs_quota_us") + " " +
                         read_line("/sys/fs/cgroup/cpu/cpu.cfs_period_us"));
}

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

std::optional<int> cpus_of_quota(const std::string& quota_and_period) {
    std::istringstream in(quota_and_period);
    long long quota = 0, period = 0;
    if (!(in >> quota >> period) || quota <= 0 || period <= 0) return std::nullopt;
    return static_cast<int>(std::min<long long>((quota + period - 1) / period, 1 << 20));
}

int usable_cpu_count() {
    int cpus = static_cast<int>(std::thread::hardware_concurrency());
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) cpus = CPU_COUNT(&set);
    if (const std::optional<int> quota = cgroup_quota_cpus()) cpus = std::min(cpus, *quota);
    cpus = std::min(cpus, slurm_job_cpus().value_or(INT_MAX));
    return std::max(cpus, 1);
}

int thread_limit() { return 4 * usable_cpu_count(); }

}  // namespace talvik::io
