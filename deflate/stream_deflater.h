// One whole zlib stream (header, deflate data, Adler-32) per call, as
// OpenEXR's ZIP chunks hold and every zlib inflate reads. One deflater per
// thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "deflate/deflate_library.h"

namespace talvik::deflate {

// Huffman codes fitted once to a sample of the data to come, for every
// stream of it: ISA-L's fastest level then codes each stream with them
// instead of fitting codes to every block. Every byte value and match keeps
// a code, so data unlike the sample still deflates, only less well.
// libdeflate fits its own codes and ignores these.
class FittedCodes {
public:
    FittedCodes();
    ~FittedCodes();
    FittedCodes(const FittedCodes&) = delete;
    FittedCodes& operator=(const FittedCodes&) = delete;

    // The same sample always gives the same codes.
    void fit(const uint8_t* sample, size_t size);
    bool fitted() const { return fitted_; }

    struct Tables;
    const Tables& tables() const { return *tables_; }

private:
    std::unique_ptr<Tables> tables_;
    bool fitted_ = false;
};

class StreamDeflater {
public:
    // The preferred library of this build.
    StreamDeflater();
    // One of stream_libraries(). Throws std::invalid_argument if this build
    // lacks the library or the level is outside 1 to max_level (0: the
    // default level).
    explicit StreamDeflater(Library library, int level = 0);
    ~StreamDeflater();
    StreamDeflater(const StreamDeflater&) = delete;
    StreamDeflater& operator=(const StreamDeflater&) = delete;

    // Compresses `in` into `out`; returns the stream's size, or 0 when the
    // stream would not fit in `capacity` bytes. Throws std::runtime_error if
    // the library reports an error.
    // With fitted `codes` ISA-L codes the stream with them at its level 0,
    // whatever this deflater's level.
    size_t compress(const uint8_t* in, size_t size, uint8_t* out, size_t capacity,
                    const FittedCodes* codes = nullptr);

    Library library() const { return library_; }

    class Engine;

private:
    Library library_;
    std::unique_ptr<Engine> engine_;
};

}  // namespace talvik::deflate
