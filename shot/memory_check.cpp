#include "shot/memory_check.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "exr/chunk_st_map_writer.h"

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

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr uint64_t kFloatPair = 2 * sizeof(float);  // s and t of one pixel

// Per thread, beyond its bands: a deflater's state, its share of the heap.
constexpr uint64_t kThreadSlack = 4 * kMiB;

// Bands of our own chunks: each thread holds about one band made by the
// host, and up to two packed bands wait for the file (ZIP: one chunk of
// scratch more). A band is ChunkStMapWriter::kBandBytes of map, or one
// chunk where a chunk is larger (very wide frames).
uint64_t banded_need(uint64_t width, uint64_t height, uint64_t lines_per_chunk, uint64_t threads) {
    const uint64_t chunk = width * kFloatPair * lines_per_chunk;
    const uint64_t band = std::max<uint64_t>(exr::ChunkStMapWriter::kBandBytes, chunk);
    const uint64_t chunk_offsets = (height + lines_per_chunk - 1) / lines_per_chunk * sizeof(uint64_t);
    return threads * (4 * band + kThreadSlack) + chunk_offsets;
}

// OpenEXR's writer takes the whole map: the planes gathered from the bands
// and their copy in file order, 16 bytes a pixel. Its threads each keep two
// line buffers of `lines` lines, each with its compressor's input and
// output; ours a band each. With room to spare: OpenEXR 3.1 does not
// survive a line buffer it could not allocate (it writes through it).
uint64_t whole_frame_need(uint64_t width, uint64_t height, uint64_t lines, uint64_t threads) {
    const uint64_t frame = 2 * width * height * kFloatPair;
    const uint64_t buffers = 2 * 3 * lines * width * kFloatPair;
    return frame + frame / 16 + 16 * kMiB + threads * (buffers + exr::ChunkStMapWriter::kBandBytes + kThreadSlack);
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

uint64_t frame_memory_need(int width, int height, const FrameWork& work) {
    const uint64_t w = static_cast<uint64_t>(std::max(width, 1)), h = static_cast<uint64_t>(std::max(height, 1));
    const uint64_t threads = static_cast<uint64_t>(std::max(work.threads, 1));
    uint64_t need = 0;
    using exr::StMapCompression;
    if (!work.exr) {
        // Measuring, or a preview alone: bands of at most 64 rows per thread.
        need = threads * (64 * w * kFloatPair + kThreadSlack);
    } else if (*work.exr == StMapCompression::Piz || *work.exr == StMapCompression::Rle) {
        need = whole_frame_need(w, h, *work.exr == StMapCompression::Piz ? 32 : 1, threads);
    } else {
        need = banded_need(w, h, *work.exr == StMapCompression::Zip ? 16 : 1, threads);
    }
    if (work.preview_max_width > 0) {
        // Its samples (s, t) and the picture made from them, per pixel of a
        // preview at most that wide.
        const uint64_t preview_w = std::min<uint64_t>(w, static_cast<uint64_t>(work.preview_max_width));
        const uint64_t preview_h = (h * preview_w + w - 1) / w;
        need += preview_w * preview_h * (kFloatPair + 8) + preview_h * sizeof(int) + preview_w * sizeof(int);
    }
    return need;
}

std::optional<std::string> memory_refusal(const std::string& what, uint64_t need, const MemoryLimits& limits) {
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
    return what + " needs about " + gib(need) + " of memory, more than this process may use: physical memory " +
           gib(limits.physical) + ", address-space limit " + address_space;
}

std::optional<std::string> frame_memory_refusal(int width, int height, const FrameWork& work,
                                                const MemoryLimits& limits) {
    return memory_refusal("a " + std::to_string(width) + " x " + std::to_string(height) + " frame",
                          frame_memory_need(width, height, work), limits);
}

void check_frame_memory(int width, int height, const FrameWork& work) {
    if (const auto refusal = frame_memory_refusal(width, height, work, current_memory_limits()))
        throw std::runtime_error(*refusal);
}

}  // namespace talvik::shot
