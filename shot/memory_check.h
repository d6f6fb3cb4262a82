// Refusing a frame too large for the memory the process may use, before
// allocating it, rather than ending in std::bad_alloc (or worse, a thread of
// a library failing to allocate) halfway through.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "exr/st_map_exr_writer.h"

namespace talvik::shot {

// How a frame is made, as far as its memory goes.
struct FrameWork {
    // ZIP, ZIPS and uncompressed maps are written a few bands per thread at
    // a time; PIZ and RLE maps are gathered whole for OpenEXR's writer.
    // Nothing: the map is only measured or looked at (previews).
    std::optional<exr::StMapCompression> exr;
    int threads = 1;
    int preview_max_width = 0;  // 0: no preview
};

// Bytes a frame of `width` x `height` needs beyond what the process holds
// before rendering it: an upper bound, measured (the smallest address-space
// limit each render succeeds under) with some room.
uint64_t frame_memory_need(int width, int height, const FrameWork& work);

struct MemoryLimits {
    uint64_t physical = 0;                  // bytes of RAM (or of the cgroup's limit)
    std::optional<uint64_t> address_space;  // RLIMIT_AS, when set
    uint64_t address_space_used = 0;        // by this process already
};

MemoryLimits current_memory_limits();

// The refusal of `what` ("a 4096 x 2160 frame"), which needs `need` bytes
// beyond what the process holds, under `limits`; nothing when it fits.
std::optional<std::string> memory_refusal(const std::string& what, uint64_t need, const MemoryLimits& limits);

// The refusal for `width` x `height` under `limits`, or nothing when it fits.
std::optional<std::string> frame_memory_refusal(int width, int height, const FrameWork& work,
                                                const MemoryLimits& limits);

// Throws std::runtime_error with the refusal.
void check_frame_memory(int width, int height, const FrameWork& work);

}  // namespace talvik::shot
