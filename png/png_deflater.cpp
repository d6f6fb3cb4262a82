#include "png/png_deflater.h"

#include <zlib.h>

#include <stdexcept>
#include <string>

#if TALVIK_PREVIEW_ISAL
#include <isa-l/igzip_lib.h>
#endif

namespace talvik::png {

class PngPieceDeflater::Engine {
public:
    virtual ~Engine() = default;
    virtual size_t deflate(const uint8_t* in, size_t size, uint8_t* out, size_t capacity) = 0;
    virtual uint32_t adler32(uint32_t adler, const uint8_t* in, size_t size) const {
        return static_cast<uint32_t>(adler32_z(adler, in, size));
    }
};

namespace {

class ZlibEngine : public PngPieceDeflater::Engine {
public:
    explicit ZlibEngine(const PngDeflate& setting) {
        if (setting.level < 1 || setting.level > 9)
            throw std::invalid_argument("zlib has no level " + std::to_string(setting.level));
        // Raw deflate (negative window bits): the header and checksum are
        // the whole stream's, not the piece's.
        if (deflateInit2(&stream_, setting.level, Z_DEFLATED, -15, 8,
                         setting.runs_only ? Z_RLE : Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::runtime_error("zlib cannot start a stream");
    }
    ~ZlibEngine() override { deflateEnd(&stream_); }

    size_t deflate(const uint8_t* in, size_t size, uint8_t* out, size_t capacity) override {
        if (size > UINT32_MAX || capacity > UINT32_MAX) return 0;
        deflateReset(&stream_);
        stream_.next_in = const_cast<uint8_t*>(in);
        stream_.avail_in = static_cast<uInt>(size);
        stream_.next_out = out;
        stream_.avail_out = static_cast<uInt>(capacity);
        const int status = ::deflate(&stream_, Z_SYNC_FLUSH);
        if (status != Z_OK && status != Z_BUF_ERROR) throw std::runtime_error("zlib failed to deflate");
        // A full output buffer may hide output still to come.
        if (stream_.avail_in != 0 || stream_.avail_out == 0) return 0;
        return capacity - stream_.avail_out;
    }

private:
    z_stream stream_{};
};

#if TALVIK_PREVIEW_ISAL
class IsalEngine : public PngPieceDeflater::Engine {
public:
    explicit IsalEngine(int level) : level_(level) {
        static const size_t kLevelBuffer[] = {ISAL_DEF_LVL0_DEFAULT, ISAL_DEF_LVL1_DEFAULT, ISAL_DEF_LVL2_DEFAULT,
                                              ISAL_DEF_LVL3_DEFAULT};
        if (level < 0 || level > ISAL_DEF_MAX_LEVEL)
            throw std::invalid_argument("ISA-L has no level " + std::to_string(level));
        buffer_size_ = kLevelBuffer[level];
        buffer_.reset(new uint8_t[buffer_size_]);
        isal_deflate_init(&stream_);
    }

    size_t deflate(const uint8_t* in, size_t size, uint8_t* out, size_t capacity) override {
        if (size > UINT32_MAX || capacity > UINT32_MAX) return 0;
        isal_deflate_reset(&stream_);
        stream_.level = static_cast<uint32_t>(level_);
        stream_.level_buf = buffer_.get();
        stream_.level_buf_size = static_cast<uint32_t>(buffer_size_);
        stream_.gzip_flag = IGZIP_DEFLATE;
        stream_.flush = SYNC_FLUSH;
        stream_.end_of_stream = 0;
        stream_.next_in = const_cast<uint8_t*>(in);
        stream_.avail_in = static_cast<uint32_t>(size);
        stream_.next_out = out;
        stream_.avail_out = static_cast<uint32_t>(capacity);
        if (isal_deflate(&stream_) != COMP_OK) throw std::runtime_error("ISA-L failed to deflate");
        if (stream_.avail_in != 0 || stream_.avail_out == 0) return 0;
        return capacity - stream_.avail_out;
    }

    uint32_t adler32(uint32_t adler, const uint8_t* in, size_t size) const override {
        return isal_adler32(adler, in, size);
    }

private:
    int level_;
    size_t buffer_size_ = 0;
    std::unique_ptr<uint8_t[]> buffer_;
    isal_zstream stream_{};
};
#endif

}  // namespace

bool has_png_deflate_library(PngDeflateLibrary library) {
#if TALVIK_PREVIEW_ISAL
    constexpr bool kHasIsal = true;
#else
    constexpr bool kHasIsal = false;
#endif
    return library == PngDeflateLibrary::Zlib || kHasIsal;
}

PngDeflate preview_png_deflate() {
    if (has_png_deflate_library(PngDeflateLibrary::Isal)) return {PngDeflateLibrary::Isal, 1, false};
    return {PngDeflateLibrary::Zlib, 1, true};
}

PngPieceDeflater::PngPieceDeflater(const PngDeflate& setting) {
    if (!has_png_deflate_library(setting.library))
        throw std::invalid_argument("this build has no ISA-L to deflate previews with");
#if TALVIK_PREVIEW_ISAL
    if (setting.library == PngDeflateLibrary::Isal) {
        engine_ = std::make_unique<IsalEngine>(setting.level);
        return;
    }
#endif
    engine_ = std::make_unique<ZlibEngine>(setting);
}

PngPieceDeflater::~PngPieceDeflater() = default;

size_t PngPieceDeflater::deflate(const uint8_t* in, size_t size, uint8_t* out, size_t capacity) {
    return engine_->deflate(in, size, out, capacity);
}

uint32_t PngPieceDeflater::adler32(uint32_t adler, const uint8_t* in, size_t size) const {
    return engine_->adler32(adler, in, size);
}

size_t png_piece_bound(size_t size) {
    // Stored blocks at worst: five bytes per block of up to 64 KiB, and
    // room for the flush and a block header.
    return size + size / 8 + 1024;
}

namespace {

// An empty stream from zlib itself: header (2 bytes), empty last block
// (2 bytes), Adler-32 of nothing (4 bytes).
std::vector<uint8_t> empty_zlib_stream(int level) {
    uint8_t bytes[64];
    uLongf size = sizeof bytes;
    if (compress2(bytes, &size, reinterpret_cast<const Bytef*>(""), 0, level) != Z_OK || size != 8)
        throw std::runtime_error("zlib cannot make an empty stream");
    return {bytes, bytes + size};
}

}  // namespace

std::vector<uint8_t> zlib_stream_head(const PngDeflate& setting) {
    const int level = setting.library == PngDeflateLibrary::Zlib ? setting.level : 1;
    std::vector<uint8_t> stream = empty_zlib_stream(level);
    stream.resize(2);
    return stream;
}

std::vector<uint8_t> zlib_stream_end(uint32_t adler) {
    std::vector<uint8_t> stream = empty_zlib_stream(1);
    std::vector<uint8_t> end(stream.begin() + 2, stream.begin() + 4);
    for (int shift = 24; shift >= 0; shift -= 8) end.push_back(static_cast<uint8_t>(adler >> shift));
    return end;
}

uint32_t adler32_joined(uint32_t first, uint32_t second, size_t second_size) {
    return static_cast<uint32_t>(adler32_combine(first, second, static_cast<z_off_t>(second_size)));
}

}  // namespace talvik::png
