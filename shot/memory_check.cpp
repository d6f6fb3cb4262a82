#include "shot/memory_check.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace talvik::shot {
namespace {

std::string gib(uint64_t bytes) {
    char text[32];
    const double mib = static_cast<double>(bytes) / (1024.0 * 1024.0);
    if (mib < 1024.0) {
        std::snprintf(text, sizeof text, "%.0f MiB", mib);
    } else {
        std::snprintf(text, sizeof text, "%.1f GiB", mib / 1024.0);
    }
    return text;
}

std::optional<uint64_t> cgroup_memory_limit() {
    std::ifstream in("/sys/fs/cgroup/memory.max");
    unsigned long long limit = 0;
    if (in >> limit) return limit;  // "max" reads as nothing
    return std::nullopt;
}

}  // namespace

MemoryLimits current_memory_limits() {
    MemoryLimits limits;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page = sysconf(_SC_PAGESIZE);
    limits.physical = pages > 0 && page > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(page) : UINT64_MAX;
    if (const auto cgroup = cgroup_memory_limit()) limits.physical = std::min(limits.physical, *cgroup);
    rlimit as {};
    if (getrlimit(RLIMIT_AS, &as) == 0 && as.rlim_cur != RLIM_INFINITY) {
        limits.address_space = as.rlim_cur;
        std::ifstream statm("/proc/self/statm");
        unsigned long long size_pages = 0;
        if (statm >> size_pages && page > 0) limits.address_space_used = size_pages * static_cast<uint64_t>(page);
    }
    return limits;
}

std::optional<std::string> frame_memory_refusal(int width, int height, const MemoryLimits& limits) {
    const uint64_t need = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * kFrameBytesPerPixel;
    uint64_t may_use = limits.physical;
    if (limits.address_space) {
        const uint64_t left = *limits.address_space > limits.address_space_used
                                  ? *limits.address_space - limits.address_space_used : 0;
        may_use = std::min(may_use, left);
    }
    if (need <= may_use) return std::nullopt;
    const std::string address_space =
        limits.address_space ? gib(*limits.address_space) + " (" + gib(limits.address_space_used) + " of it in use)"
                             : "unlimited";
    return "a " + std::to_string(width) + " x " + std::to_string(height) + " frame needs about " + gib(need) +
           " of memory, more than this process may use: physical memory " + gib(limits.physical) +
           ", address-space limit " + address_space;
}

void check_frame_memory(int width, int height) {
    if (const auto refusal = frame_memory_refusal(width, height, current_memory_limits()))
        throw std::runtime_error(*refusal);
}

}  // namespace talvik::shot
