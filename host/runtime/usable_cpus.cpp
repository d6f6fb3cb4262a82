#include "host/runtime/usable_cpus.h"

#include <sched.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>

namespace talvik::host {
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
    return std::max(cpus, 1);
}

}  // namespace talvik::host
