// How many CPUs this process may keep busy, decided in one place for the
// render, the preview writer, the host's pool and the --threads limit: the
// CPUs its affinity mask allows, capped by the cgroup's CPU quota (a
// container given 1.5 CPUs gets 2) and, inside a Slurm job, by the CPUs the
// job was given; at least 1.
#pragma once

#include <optional>
#include <string>

namespace talvik::io {

int usable_cpu_count();

// The most threads worth asking for: four per usable CPU. More only cost
// memory; far more can exhaust it.
int thread_limit();

// The CPUs a cgroup quota allows, rounded up: "150000 100000" (cgroup v2
// cpu.max, or v1's quota and period) gives 2; "max 100000", a negative
// quota or anything unreadable gives none.
std::optional<int> cpus_of_quota(const std::string& quota_and_period);

}  // namespace talvik::io
