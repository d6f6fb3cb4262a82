#include "exr_chunks.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfInputFile.h>
#include <fcntl.h>
#include <openexr.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace talvik::exr::test {

Planes::Planes(int w, int h) : width(w), height(h), s(static_cast<size_t>(w) * h), t(s.size()) {}

Planes smooth_planes(int width, int height) {
    Planes p(width, height);
    for (int row = 0; row < height; ++row)
        for (int x = 0; x < width; ++x) {
            p.s[static_cast<size_t>(row) * width + x] = (x + 0.5f) / width + row * 1e-4f;
            p.t[static_cast<size_t>(row) * width + x] = (row + 0.5f) / height + x * 1e-5f;
        }
    return p;
}

Planes noise_planes(int width, int height, uint32_t seed) {
    Planes p(width, height);
    std::mt19937 random(seed);
    auto value = [&] {
        // Sign, an exponent well inside the finite range, any mantissa.
        const uint32_t bits = (random() & 0x807fffffu) | ((100u + random() % 50u) << 23);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    };
    for (float& v : p.s) v = value();
    for (float& v : p.t) v = value();
    return p;
}

ReadBack read_with_openexr(const std::string& path) {
    Imf::InputFile file(path.c_str());
    ReadBack out{file.header(), {}, {}};
    const Imath::Box2i data = file.header().dataWindow();
    const int w = data.max.x - data.min.x + 1, h = data.max.y - data.min.y + 1;
    out.r.resize(static_cast<size_t>(w) * h);
    out.g.resize(out.r.size());
    Imf::FrameBuffer frame;
    frame.insert("R", Imf::Slice::Make(Imf::FLOAT, out.r.data(), data));
    frame.insert("G", Imf::Slice::Make(Imf::FLOAT, out.g.data(), data));
    file.setFrameBuffer(frame);
    file.readPixels(data.min.y, data.max.y);
    return out;
}

std::string first_difference(const ReadBack& file, const Planes& planes) {
    if (file.r.size() != planes.s.size()) return "the file has " + std::to_string(file.r.size()) + " pixels";
    for (int line = 0; line < planes.height; ++line) {
        const size_t in_file = static_cast<size_t>(line) * planes.width;
        const size_t in_host = static_cast<size_t>(planes.height - 1 - line) * planes.width;
        for (int x = 0; x < planes.width; ++x) {
            if (std::memcmp(&file.r[in_file + x], &planes.s[in_host + x], sizeof(float)) != 0 ||
                std::memcmp(&file.g[in_file + x], &planes.t[in_host + x], sizeof(float)) != 0) {
                std::ostringstream where;
                where << "line " << line << " x " << x << ": file " << file.r[in_file + x] << ", "
                      << file.g[in_file + x] << " map " << planes.s[in_host + x] << ", "
                      << planes.t[in_host + x];
                return where.str();
            }
        }
    }
    return "";
}

namespace {

void check(exr_result_t result, const char* what) {
    if (result != EXR_ERR_SUCCESS)
        throw std::runtime_error(std::string(what) + ": " + exr_get_default_error_message(result));
}

}  // namespace

std::vector<FileChunk> read_chunks(const std::string& path) {
    exr_context_t context = nullptr;
    exr_context_initializer_t init = EXR_DEFAULT_CONTEXT_INITIALIZER;
    check(exr_start_read(&context, path.c_str(), &init), "exr_start_read");
    std::vector<FileChunk> chunks;
    try {
        exr_attr_box2i_t data;
        int32_t lines = 0;
        check(exr_get_data_window(context, 0, &data), "exr_get_data_window");
        check(exr_get_scanlines_per_chunk(context, 0, &lines), "exr_get_scanlines_per_chunk");
        for (int y = data.min.y; y <= data.max.y; y += lines) {
            exr_chunk_info_t info;
            check(exr_read_scanline_chunk_info(context, 0, y, &info), "exr_read_scanline_chunk_info");
            FileChunk chunk;
            chunk.y = info.start_y;
            chunk.unpacked_size = info.unpacked_size;
            chunk.data_offset = info.data_offset;
            chunk.packed.resize(info.packed_size);
            check(exr_read_chunk(context, 0, &info, chunk.packed.data()), "exr_read_chunk");
            chunks.push_back(std::move(chunk));
        }
    } catch (...) {
        exr_finish(&context);
        throw;
    }
    check(exr_finish(&context), "exr_finish");
    return chunks;
}

void write_chunk_file(const std::string& path, ChunkStMapWriter& writer, io::StMapBands& bands,
                      Imf::Compression compression) {
    const io::StMapView map = bands.geometry();
    Imf::Header header(map.width, map.height);
    header.compression() = compression;
    header.channels().insert("R", Imf::Channel(Imf::FLOAT));
    header.channels().insert("G", Imf::Channel(Imf::FLOAT));
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path);
    try {
        writer.write(fd, header, bands, nullptr);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
}

std::string header_bytes(const std::string& path) {
    const std::vector<FileChunk> chunks = read_chunks(path);
    // Before the first chunk: its line number and size, and the table.
    const uint64_t table_at = chunks.front().data_offset - 8 - 8 * chunks.size();
    std::ifstream file(path, std::ios::binary);
    std::string bytes(table_at, '\0');
    if (!file.read(bytes.data(), static_cast<std::streamsize>(bytes.size())))
        throw std::runtime_error("cannot read " + path);
    return bytes;
}

std::string deflated_bytes(const FileChunk& chunk) {
    std::string out(chunk.unpacked_size, '\0');
    if (chunk.packed.size() < chunk.unpacked_size) {
        uLongf size = static_cast<uLongf>(out.size());
        const int result = uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                                      reinterpret_cast<const Bytef*>(chunk.packed.data()),
                                      static_cast<uLong>(chunk.packed.size()));
        if (result != Z_OK) throw std::runtime_error("zlib uncompress failed: " + std::to_string(result));
        if (size != out.size()) throw std::runtime_error("chunk inflates to " + std::to_string(size) + " bytes");
        return out;
    }
    // Stored lines: split and predict them as the ZIP compressor does.
    const std::string& raw = chunk.packed;
    const size_t half = (raw.size() + 1) / 2;
    for (size_t i = 0; i < raw.size(); ++i) out[i % 2 ? half + i / 2 : i / 2] = raw[i];
    unsigned char previous = static_cast<unsigned char>(out[0]);
    for (size_t i = 1; i < out.size(); ++i) {
        const unsigned char here = static_cast<unsigned char>(out[i]);
        out[i] = static_cast<char>(static_cast<unsigned char>(here - previous + 128));
        previous = here;
    }
    return out;
}

}  // namespace talvik::exr::test
