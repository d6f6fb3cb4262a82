#include "deflate/stream_deflater.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>

#ifdef TALVIK_HAVE_ISAL
#include "deflate/isal_level.h"
#endif
#ifdef TALVIK_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace talvik::deflate {

class StreamDeflater::Engine {
public:
    virtual ~Engine() = default;
    virtual size_t compress(const uint8_t* in, size_t size, uint8_t* out, size_t capacity,
                            const FittedCodes* codes) = 0;
};

#ifdef TALVIK_HAVE_ISAL
struct FittedCodes::Tables {
    isal_hufftables huffman;
};
#else
struct FittedCodes::Tables {};
#endif

FittedCodes::FittedCodes() : tables_(std::make_unique<Tables>()) {}
FittedCodes::~FittedCodes() = default;

void FittedCodes::fit(const uint8_t* sample, size_t size) {
#ifdef TALVIK_HAVE_ISAL
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

#ifdef TALVIK_HAVE_ISAL
class IsalEngine final : public StreamDeflater::Engine {
public:
    explicit IsalEngine(int level) : level_(level), level_buffer_(isal_level_buffer_bytes(level, true)) {}
    size_t compress(const uint8_t* in, size_t size, uint8_t* out, size_t capacity,
                    const FittedCodes* codes) override {
        if (size > UINT32_MAX) throw std::invalid_argument("chunk of " + std::to_string(size) + " bytes is too large");
        isal_zstream stream;
        isal_deflate_stateless_init(&stream);
        if (codes && codes->fitted()) {
            stream.level = 0;
            stream.hufftables = const_cast<isal_hufftables*>(&codes->tables().huffman);
        } else {
            isal_use_level(stream, level_, level_buffer_);
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
    int level_;
    std::vector<uint8_t> level_buffer_;
};
#endif

#ifdef TALVIK_HAVE_LIBDEFLATE
class LibdeflateEngine final : public StreamDeflater::Engine {
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

std::unique_ptr<StreamDeflater::Engine> make_engine(Library library, int level) {
    if (level == 0) level = default_stream_level(library);
    check_level(library, level, 1);
    switch (library) {
#ifdef TALVIK_HAVE_ISAL
        case Library::Isal: return std::make_unique<IsalEngine>(level);
#endif
#ifdef TALVIK_HAVE_LIBDEFLATE
        case Library::Libdeflate: return std::make_unique<LibdeflateEngine>(level);
#endif
        default: break;
    }
    throw std::invalid_argument(std::string(library_name(library)) + " makes no whole streams here");
}

}  // namespace

StreamDeflater::StreamDeflater() : StreamDeflater(stream_libraries().front()) {}

StreamDeflater::StreamDeflater(Library library, int level)
    : library_(library), engine_(make_engine(library, level)) {}

StreamDeflater::~StreamDeflater() = default;

size_t StreamDeflater::compress(const uint8_t* in, size_t size, uint8_t* out, size_t capacity,
                                const FittedCodes* codes) {
    return engine_->compress(in, size, out, capacity, codes);
}

}  // namespace talvik::deflate
