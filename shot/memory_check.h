// Refusing a frame too large for the memory the process may use, before
// allocating it, rather than ending in std::bad_alloc halfway through.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace talvik::shot {

// Peak bytes per pixel of a frame: the host's four float planes and the
// writer's interleaved copy of s and t.
constexpr uint64_t kFrameBytesPerPixel = 24;

struct MemoryLimits {
    uint64_t physical = 0;                  // bytes of RAM (or of the cgroup's limit)
    std::optional<uint64_t> address_space;  // RLIMIT_AS, when set
    uint64_t address_space_used = 0;        // by this process already
};

MemoryLimits current_memory_limits();

// The refusal for `width` x `height` under `limits`, or nothing when it fits.
std::optional<std::string> frame_memory_refusal(int width, int height, const MemoryLimits& limits);

// Throws std::runtime_error with the refusal.
void check_frame_memory(int width, int height);

}  // namespace talvik::shot
