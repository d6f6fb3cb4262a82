// ISA-L's set-up of a level, shared by whole streams and pieces: each level
// above 0 works in a buffer of its own the caller keeps.
#pragma once

#include <isa-l/igzip_lib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace talvik::deflate {

// The buffer a level wants. Level 1 codes a block each time its token
// buffer fills; with `large_blocks` it gets the largest buffer, so a map's
// mostly literal bytes build the fewest Huffman tables (1 % less time for a
// 16-line 4320-wide EXR chunk, same size). The buffer's size shapes the
// blocks, hence the bytes: each caller keeps its choice.
inline size_t isal_level_buffer_bytes(int level, bool large_blocks) {
    static const size_t kDefault[] = {ISAL_DEF_LVL0_DEFAULT, ISAL_DEF_LVL1_DEFAULT, ISAL_DEF_LVL2_DEFAULT,
                                      ISAL_DEF_LVL3_DEFAULT};
    if (large_blocks && level == 1) return ISAL_DEF_LVL1_EXTRA_LARGE;
    return kDefault[level];
}

// Points `stream` at `level` working in `buffer`.
inline void isal_use_level(isal_zstream& stream, int level, std::vector<uint8_t>& buffer) {
    stream.level = static_cast<uint32_t>(level);
    stream.level_buf = buffer.data();
    stream.level_buf_size = static_cast<uint32_t>(buffer.size());
}

}  // namespace talvik::deflate
