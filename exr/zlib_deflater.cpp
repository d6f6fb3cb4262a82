#include "exr/zlib_deflater.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>

#ifdef TALVIK_EXR_ISAL
#include <isa-l/igzip_lib.h>
#endif
#ifdef TALVIK_EXR_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace talvik::exr {

// Levels measured on 4320 x 2160 lens maps in 16-line ZIP chunks, one
// thread, against zlib level 4 (OpenEXR's own: 38.5 MB, 1.1 s):
// ISA-L level 1 46 MB in 0.13 s, level 2 43 MB in 0.15 s, level 3 42 MB in
// 0.18-0.28 s; libdeflate level 1 40 MB in 0.4 s, level 4 38 MB in 0.6 s.
// Measured again in exr_bake_bench: ISA-L level 1 160 ms and 45.4 MB,
// level 2 174 ms and 43.1 MB, and level 0 with codes fitted to the frame's
// top chunk (what the writer uses) 148 ms and 46.4 MB. Deflate is most of a
// ZIP bake. Level 1 stays the level of a stream without fitted codes.
constexpr int kIsalLevel = 1;
constexpr int kLibdeflateLevel = 1;

class ZlibDeflater::Engine {
public:
    virtual ~Engine() = default;
    virtual size_t compress(const uint8_t* in, size_t size, uint8_t* out, size_t capacity,
                            const FittedCodes* codes) = 0;
};

#ifdef TALVIK_EXR_ISAL
struct FittedCodes::Tables {
    isal_hufftables huffman;
};
#else
struct FittedCodes::Tables {};
#endif

FittedCodes::FittedCodes() : tables_(std::make_unique<Tables>()) {}
FittedCodes::~FittedCodes() = default;

void FittedCodes::fit(const uint8_t* sample, size_t size) {
#ifdef TALVIK_EXR_ISAL
    isal_huff_histogram histogram{};
    // The histogram of ISA-L's own level-0 matching over the sample.
    while (size > 0) {
        const int part = static_cast<int>(std::min<size_t>(size, INT32_MAX));
        isal_update_histogram(const_cast<uint8_t*>(sample), part, &histogram);
        sample += part;
        size -= static_cast<size_t>(part);
    }
    // ISA-L gives a code to every symbol, seen in the sample or not.
    if (isal_create_hufftables(&tables_->huffman, &histogram) != 0)
        throw std::runtime_error("ISA-L could not build Huffman codes");
#else
    (void)sample;
    (void)size;
#endif
    fitted_ = true;
}

namespace {

#ifdef TALVIK_EXR_ISAL
class IsalEngine final : public ZlibDeflater::Engine {
public:
    explicit IsalEngine(int level) : level_(level), level_buffer_(buffer_size(level)) {}
    size_t compress(const uint8_t* in, size_t size, uint8_t* out, size_t capacity,
                    const FittedCodes* codes) override {
        if (size > UINT32_MAX) throw std::invalid_argument("chunk of " + std::to_string(size) + " bytes is too large");
        isal_zstream stream;
        isal_deflate_stateless_init(&stream);
        if (codes && codes->fitted()) {
            stream.level = 0;
            stream.hufftables = const_cast<isal_hufftables*>(&codes->tables().huffman);
        } else {
            stream.level = static_cast<uint32_t>(level_);
            stream.level_buf = level_buffer_.data();
            stream.level_buf_size = static_cast<uint32_t>(level_buffer_.size());
        }
        stream.gzip_flag = IGZIP_ZLIB;
        stream.end_of_stream = 1;
        stream.flush = NO_FLUSH;
        stream.next_in = const_cast<uint8_t*>(in);
        stream.avail_in = static_cast<uint32_t>(size);
        stream.next_out = out;
        stream.avail_out = static_cast<uint32_t>(std::min<size_t>(capacity, UINT32_MAX));
        const int result = isal_deflate_stateless(&stream);
        if (result == STATELESS_OVERFLOW) return 0;
        if (result != COMP_OK)
            throw std::runtime_error("ISA-L deflate failed with code " + std::to_string(result));
        return stream.total_out;
    }

private:
    // Level 1 codes a block each time its token buffer fills; a map's
    // low bytes are mostly literals, so the largest buffer builds the fewest
    // Huffman tables (1 % less time for a 16-line 4320-wide chunk, same
    // size). Levels 2 and 3 keep their default, whose hash table is cleared
    // for every chunk.
    static size_t buffer_size(int level) {
        return level == 1 ? ISAL_DEF_LVL1_EXTRA_LARGE : level == 2 ? ISAL_DEF_LVL2_DEFAULT : ISAL_DEF_LVL3_DEFAULT;
    }

    int level_;
    std::vector<uint8_t> level_buffer_;
};
#endif

#ifdef TALVIK_EXR_LIBDEFLATE
class LibdeflateEngine final : public ZlibDeflater::Engine {
public:
    explicit LibdeflateEngine(int level) : compressor_(libdeflate_alloc_compressor(level)) {
        if (!compressor_) throw std::bad_alloc();
    }
    ~LibdeflateEngine() override { libdeflate_free_compressor(compressor_); }
    size_t compress(const uint8_t* in, size_t size, uint8_t* out, size_t capacity, const FittedCodes*) override {
        // 0 means the stream did not fit; libdeflate has no other failure.
        return libdeflate_zlib_compress(compressor_, in, size, out, capacity);
    }

private:
    libdeflate_compressor* compressor_;
};
#endif

std::unique_ptr<ZlibDeflater::Engine> make_engine(DeflateLibrary library, int level) {
    if (level == 0) level = default_deflate_level(library);
    if (level < 1 || level > max_deflate_level(library))
        throw std::invalid_argument(std::string(deflate_library_name(library)) + " has no level " +
                                    std::to_string(level));
    switch (library) {
#ifdef TALVIK_EXR_ISAL
        case DeflateLibrary::Isal: return std::make_unique<IsalEngine>(level);
#endif
#ifdef TALVIK_EXR_LIBDEFLATE
        case DeflateLibrary::Libdeflate: return std::make_unique<LibdeflateEngine>(level);
#endif
        default: break;
    }
    throw std::invalid_argument(std::string("this build has no ") + deflate_library_name(library));
}

}  // namespace

const std::vector<DeflateLibrary>& deflate_libraries() {
    static const std::vector<DeflateLibrary> libraries = {
#ifdef TALVIK_EXR_ISAL
        DeflateLibrary::Isal,
#endif
#ifdef TALVIK_EXR_LIBDEFLATE
        DeflateLibrary::Libdeflate,
#endif
    };
    return libraries;
}

const char* deflate_library_name(DeflateLibrary library) {
    return library == DeflateLibrary::Isal ? "ISA-L igzip" : "libdeflate";
}

int default_deflate_level(DeflateLibrary library) {
    return library == DeflateLibrary::Isal ? kIsalLevel : kLibdeflateLevel;
}

int max_deflate_level(DeflateLibrary library) { return library == DeflateLibrary::Isal ? 3 : 12; }

ZlibDeflater::ZlibDeflater() : ZlibDeflater(deflate_libraries().front()) {}

ZlibDeflater::ZlibDeflater(DeflateLibrary library, int level)
    : library_(library), engine_(make_engine(library, level)) {}

ZlibDeflater::~ZlibDeflater() = default;

size_t ZlibDeflater::compress(const uint8_t* in, size_t size, uint8_t* out, size_t capacity,
                              const FittedCodes* codes) {
    return engine_->compress(in, size, out, capacity, codes);
}

}  // namespace talvik::exr
