#include "deflate/piece_deflater.h"

#include <zlib.h>

#include <stdexcept>
#include <string>

#ifdef TALVIK_HAVE_ISAL
#include "deflate/isal_level.h"
#endif

namespace talvik::deflate {

class PieceDeflater::Engine {
public:
    virtual ~Engine() = default;
    virtual size_t deflate(const uint8_t* in, size_t size, uint8_t* out, size_t capacity) = 0;
    virtual uint32_t adler32(uint32_t adler, const uint8_t* in, size_t size) const {
        return static_cast<uint32_t>(adler32_z(adler, in, size));
    }
};

namespace {

class ZlibEngine : public PieceDeflater::Engine {
public:
    explicit ZlibEngine(const PieceSetting& setting) {
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

#ifdef TALVIK_HAVE_ISAL
class IsalEngine : public PieceDeflater::Engine {
public:
    explicit IsalEngine(int level) : level_(level), buffer_(isal_level_buffer_bytes(level, false)) {
        isal_deflate_init(&stream_);
    }

    size_t deflate(const uint8_t* in, size_t size, uint8_t* out, size_t capacity) override {
        if (size > UINT32_MAX || capacity > UINT32_MAX) return 0;
        isal_deflate_reset(&stream_);
        isal_use_level(stream_, level_, buffer_);
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
    std::vector<uint8_t> buffer_;
    isal_zstream stream_{};
};
#endif

}  // namespace

PieceDeflater::PieceDeflater(const PieceSetting& setting) {
    switch (setting.library) {
        case Library::Zlib:
            check_level(setting.library, setting.level, 1);
            engine_ = std::make_unique<ZlibEngine>(setting);
            return;
#ifdef TALVIK_HAVE_ISAL
        case Library::Isal:
            check_level(setting.library, setting.level, 0);
            engine_ = std::make_unique<IsalEngine>(setting.level);
            return;
#endif
        default: break;
    }
    throw std::invalid_argument(std::string("this build has no ") + library_name(setting.library) +
                                " that deflates pieces");
}

PieceDeflater::~PieceDeflater() = default;

size_t PieceDeflater::deflate(const uint8_t* in, size_t size, uint8_t* out, size_t capacity) {
    return engine_->deflate(in, size, out, capacity);
}

uint32_t PieceDeflater::adler32(uint32_t adler, const uint8_t* in, size_t size) const {
    return engine_->adler32(adler, in, size);
}

size_t piece_bound(size_t size) {
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

std::vector<uint8_t> zlib_stream_head(const PieceSetting& setting) {
    const int level = setting.library == Library::Zlib ? setting.level : 1;
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

}  // namespace talvik::deflate
