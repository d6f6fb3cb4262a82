#include "exr/st_map_exr_writer.h"

#include <ImfChannelList.h>
#include <ImfFloatAttribute.h>
#include <ImfFrameBuffer.h>
#include <ImfIntAttribute.h>
#include <ImfOutputFile.h>
#include <ImfStdIO.h>
#include <ImfStringAttribute.h>
#include <ImfThreading.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "io/replace_file.h"
#include "exr/chunk_st_map_writer.h"

namespace talvik::exr {
namespace {

struct CompressionName {
    const char* name;
    StMapCompression value;
    Imf::Compression exr;
};

constexpr CompressionName kLossless[] = {
    {"none", StMapCompression::None, Imf::NO_COMPRESSION},
    {"rle", StMapCompression::Rle, Imf::RLE_COMPRESSION},
    {"zips", StMapCompression::Zips, Imf::ZIPS_COMPRESSION},
    {"zip", StMapCompression::Zip, Imf::ZIP_COMPRESSION},
    {"piz", StMapCompression::Piz, Imf::PIZ_COMPRESSION},
};
constexpr const char* kLossy[] = {"pxr24", "b44", "b44a", "dwaa", "dwab"};
constexpr const char* kChoices = "none, rle, zips, zip or piz";

constexpr const char* kNotCarried[] = {
    "channels", "compression", "dataWindow",         "displayWindow",  "lineOrder",
    "tiles",    "chunkCount",  "type",               "name",           "version",
    "maxSamplesPerPixel",      "deepImageState",     "preview",        "dwaCompressionLevel",
    "multiView",
    // A map holds positions, not colour: the plate's colour description
    // would make readers convert it.
    "chromaticities", "whiteLuminance", "adoptedNeutral", "acesImageContainerFlag",
    "renderingTransform", "lookModTransform",
};

Imf::Compression exr_compression(StMapCompression c) {
    for (const auto& entry : kLossless)
        if (entry.value == c) return entry.exr;
    throw std::invalid_argument("unknown ST map compression");
}

std::unique_ptr<Imf::Attribute> attribute_of(const ExtraAttribute& extra) {
    if (auto* i = std::get_if<int>(&extra.value)) return std::make_unique<Imf::IntAttribute>(*i);
    if (auto* f = std::get_if<float>(&extra.value)) return std::make_unique<Imf::FloatAttribute>(*f);
    return std::make_unique<Imf::StringAttribute>(std::get<std::string>(extra.value));
}

Imf::Header st_map_header(const std::string& path, const io::StMapView& map,
                          const StMapExrOptions& options) {
    // Display window: the format; data window: where the planes sit, in
    // EXR lines. Square pixels unless the plate says otherwise.
    const Imath::Box2i display(Imath::V2i(0, 0), Imath::V2i(map.display_width() - 1, map.display_height() - 1));
    const Imath::Box2i data(Imath::V2i(map.x, map.exr_line(map.height - 1)),
                            Imath::V2i(map.x + map.width - 1, map.exr_line(0)));
    Imf::Header header(display, data);
    header.compression() = exr_compression(options.compression);
    header.lineOrder() = Imf::INCREASING_Y;
    header.channels().insert("R", Imf::Channel(Imf::FLOAT));
    header.channels().insert("G", Imf::Channel(Imf::FLOAT));
    if (options.alpha) header.channels().insert("A", Imf::Channel(Imf::HALF));

    // Extras replace plate attributes of the same name: those are left out
    // rather than erased, which would leak in OpenEXR 3.1.
    auto is_extra = [&](const char* name) {
        for (const auto& extra : options.extra)
            if (extra.name == name) return true;
        return false;
    };
    if (options.plate_attributes) {
        for (auto it = options.plate_attributes->begin(); it != options.plate_attributes->end(); ++it) {
            // talvik/ attributes say what a map was made from: a plate's
            // (a map read back as a plate, say) would claim values this map
            // was not made from, even where this one sets none (overscan).
            if (!carries_over(it.name()) || is_extra(it.name()) || std::strncmp(it.name(), "talvik/", 7) == 0)
                continue;
            // A plate attribute whose type clashes with ours (say a string
            // pixelAspectRatio) is dropped rather than failing the render.
            const Imf::Attribute* ours = header.find(it.name()) != header.end()
                                             ? &header[it.name()] : nullptr;
            if (ours && std::strcmp(ours->typeName(), it.attribute().typeName()) != 0) continue;
            header.insert(it.name(), it.attribute());
        }
    }
    for (const auto& extra : options.extra) {
        if (extra.name.empty())
            throw std::invalid_argument("cannot write \"" + path + "\": extra attribute without a name");
        if (!carries_over(extra.name))
            throw std::invalid_argument("cannot write \"" + path + "\": extra attribute \"" + extra.name +
                                        "\" would replace the file's own " + extra.name);
        header.insert(extra.name, *attribute_of(extra));
    }
    return header;
}

// File line y holds host row height-1-y: OpenEXR lines run top-down, the
// host's rows bottom-up. R and G interleaved, one pass of writePixels so the
// thread pool compresses many line blocks at once.
std::vector<float> file_order_rg(const io::StMapView& map) {
    std::vector<float> rg(static_cast<size_t>(map.width) * map.height * 2);
    for (int y = 0; y < map.height; ++y) {
        const int row = map.height - 1 - y;
        float* line = rg.data() + static_cast<size_t>(y) * map.width * 2;
        for (int x = 0; x < map.width; ++x) {
            line[2 * x] = map.s[map.index(x, row)];
            line[2 * x + 1] = map.t[map.index(x, row)];
        }
    }
    return rg;
}

// The A plane in file order; empty without one.
std::vector<uint16_t> file_order_a(const io::StMapView& map) {
    std::vector<uint16_t> a;
    if (!map.a) return a;
    a.resize(static_cast<size_t>(map.width) * map.height);
    for (int y = 0; y < map.height; ++y) {
        const uint16_t* row = map.a + map.index(0, map.height - 1 - y);
        std::copy(row, row + map.width, a.begin() + static_cast<ptrdiff_t>(y) * map.width);
    }
    return a;
}

// The A plane must be there exactly when the header asks for it.
void check_alpha(const io::StMapView& map, const StMapExrOptions& options, const std::string& path) {
    if (options.alpha != (map.a != nullptr))
        throw std::invalid_argument("cannot write \"" + path + "\": " +
                                    (options.alpha ? "the map has no A plane" : "an A plane not asked for"));
}

void throw_if_cancelled(const StMapExrOptions& options, const std::string& path) {
    if (options.cancel && options.cancel->load()) throw io::WriteCancelled("writing \"" + path + "\" was stopped");
}

}  // namespace

int exr_compression_id(StMapCompression compression) { return static_cast<int>(exr_compression(compression)); }

StMapCompression parse_st_map_compression(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const auto& entry : kLossless)
        if (lower == entry.name) return entry.value;
    for (const char* lossy : kLossy)
        if (lower == lossy)
            throw std::invalid_argument("compression \"" + std::string(name) +
                                        "\" is lossy and would move the stored positions; use " +
                                        kChoices);
    throw std::invalid_argument("unknown compression \"" + std::string(name) + "\"; use " + kChoices);
}

const char* st_map_compression_name(StMapCompression compression) {
    for (const auto& entry : kLossless)
        if (entry.value == compression) return entry.name;
    return "unknown";
}

bool carries_over(const std::string& attribute_name) {
    for (const char* name : kNotCarried)
        if (attribute_name == name) return false;
    return true;
}

namespace {

// Threads compressing for our ZIP writer, the caller included.
std::atomic<int> compress_threads{0};

// OpenEXR's writer, a band of lines at a time so that a cancel is seen
// between bands; each band compresses on OpenEXR's thread pool, which waits
// at the end of every band: smaller bands cost PIZ a few per cent.
io::FileSeal write_with_openexr(const std::string& path, const io::StMapView& map, const StMapExrOptions& options,
                                const Imf::Header& header) {
    constexpr int kBandLines = 512;
    std::vector<float> rg = file_order_rg(map);
    std::vector<uint16_t> alpha = file_order_a(map);

    io::ReplaceFile output(path);
    errno = 0;
    std::ofstream file(output.temp_path(), std::ios::binary | std::ios::trunc);
    if (!file) output.fail_to_create(errno ? errno : EACCES);
    try {
        {
            Imf::StdOFStream stream(file, output.temp_path().c_str());
            Imf::OutputFile exr(stream, header, Imf::globalThreadCount());
            Imf::FrameBuffer frame;
            const size_t x_stride = 2 * sizeof(float);
            const size_t y_stride = x_stride * map.width;
            // Slices are addressed with the data window's own coordinates.
            const Imath::Box2i data = header.dataWindow();
            char* base = reinterpret_cast<char*>(rg.data()) -
                         static_cast<ptrdiff_t>(data.min.x) * static_cast<ptrdiff_t>(x_stride) -
                         static_cast<ptrdiff_t>(data.min.y) * static_cast<ptrdiff_t>(y_stride);
            frame.insert("R", Imf::Slice(Imf::FLOAT, base, x_stride, y_stride));
            frame.insert("G", Imf::Slice(Imf::FLOAT, base + sizeof(float), x_stride, y_stride));
            if (!alpha.empty()) {
                const size_t a_stride = sizeof(uint16_t);
                char* a_base = reinterpret_cast<char*>(alpha.data()) -
                               static_cast<ptrdiff_t>(data.min.x) * static_cast<ptrdiff_t>(a_stride) -
                               static_cast<ptrdiff_t>(data.min.y) * static_cast<ptrdiff_t>(a_stride * map.width);
                frame.insert("A", Imf::Slice(Imf::HALF, a_base, a_stride, a_stride * map.width));
            }
            exr.setFrameBuffer(frame);
            for (int done = 0; done < map.height; done += kBandLines) {
                throw_if_cancelled(options, path);
                exr.writePixels(std::min(kBandLines, map.height - done));
            }
        }
        // OpenEXR writes the line offset table while closing and cannot
        // report a failure there; the stream's state still shows it.
        file.close();
        if (!file) throw std::runtime_error(std::string("write failed: ") + std::strerror(errno ? errno : EIO));
    } catch (const io::WriteCancelled&) {
        throw;
    } catch (const std::exception& e) {
        throw std::runtime_error("cannot write \"" + path + "\": " + e.what());
    }
    return output.commit_sealed();
}

bool uses_own_chunks(StMapCompression compression) {
    return compression == StMapCompression::Zip || compression == StMapCompression::Zips ||
           compression == StMapCompression::None;
}

// Closes the descriptor unless close() already reported on it.
class OpenFile {
public:
    explicit OpenFile(int fd) : fd_(fd) {}
    ~OpenFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int fd() const { return fd_; }
    // The last chance for a deferred write error (e.g. on network folders).
    void close() {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR)
            throw std::runtime_error(std::string("write failed: ") + std::strerror(errno));
    }

private:
    int fd_;
};

// Runs `write` on the temporary file of `path` (open for reading too, so
// that the next frame may copy from it), then renames it into place.
template <typename Write>
io::FileSeal write_own_chunks(const std::string& path, Write write) {
    io::ReplaceFile output(path);
    const int fd = ::open(output.temp_path().c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) output.fail_to_create(errno);
    OpenFile file(fd);
    try {
        write(file.fd());
        file.close();
    } catch (const io::WriteCancelled&) {
        throw io::WriteCancelled("writing \"" + path + "\" was stopped");
    } catch (const std::exception& e) {
        throw std::runtime_error("cannot write \"" + path + "\": " + e.what());
    }
    return output.commit_sealed();
}

// A map's size and format, whose planes come later.
void check_geometry(io::StMapView geometry, const std::string& path) {
    static const float unused = 0.0f;
    geometry.s = geometry.t = &unused;
    io::check_st_map_view(geometry, path);
}

// The whole map gathered from its bands, for OpenEXR's writer.
struct GatheredMap {
    std::vector<float> s, t;
    std::vector<uint16_t> a;
    io::StMapView view;
};

void gather(io::StMapBands& bands, GatheredMap& whole, const StMapExrOptions& options) {
    whole.view = bands.geometry();
    const size_t size = static_cast<size_t>(whole.view.width) * static_cast<size_t>(whole.view.height);
    whole.s.resize(size);
    whole.t.resize(size);
    whole.view.s = whole.s.data();
    whole.view.t = whole.t.data();
    if (options.alpha) {
        whole.a.resize(size);
        whole.view.a = whole.a.data();
    }
    const int lines = ChunkStMapWriter::band_lines(whole.view.width, 1);
    const int count = (whole.view.height + lines - 1) / lines;
    bands.reserve(lines);
    bands.run(count, [&](int worker, int band) {
        if (options.cancel && options.cancel->load()) return;
        // Top band first, as the file and a preview watching the bands run.
        const int end = whole.view.height - band * lines;
        const int first = std::max(0, end - lines), rows = end - first;
        const io::StMapView v = bands.band(worker, first, rows);
        if ((v.a != nullptr) != options.alpha)
            throw std::logic_error(options.alpha ? "a band without the A channel" : "a band with an A channel");
        std::copy(v.s, v.s + v.index(0, rows), whole.s.data() + whole.view.index(0, first));
        std::copy(v.t, v.t + v.index(0, rows), whole.t.data() + whole.view.index(0, first));
        if (v.a) std::copy(v.a, v.a + v.index(0, rows), whole.a.data() + whole.view.index(0, first));
    });
}

}  // namespace

StMapExrWriter::StMapExrWriter() : chunks_(std::make_unique<ChunkStMapWriter>()) {}
StMapExrWriter::~StMapExrWriter() = default;

void StMapExrWriter::write(const std::string& path, const io::StMapView& map, const StMapExrOptions& options,
                           bool map_unchanged) {
    io::check_st_map_view(map, path);
    check_alpha(map, options, path);
    if (map_unchanged && write_again(path, map, options)) return;
    io::WholeStMap bands(map, compress_threads.load());
    write(path, bands, options);
}

void StMapExrWriter::write(const std::string& path, io::StMapBands& map, const StMapExrOptions& options) {
    last_seal_ = {};
    // A new map makes the kept file stale even if this write fails early.
    chunks_->forget();
    const io::StMapView geometry = map.geometry();
    check_geometry(geometry, path);
    throw_if_cancelled(options, path);
    const Imf::Header header = st_map_header(path, geometry, options);
    if (uses_own_chunks(options.compression)) {
        try {
            last_seal_ = write_own_chunks(path, [&](int fd) { chunks_->write(fd, header, map, options.cancel); });
        } catch (const io::MapBandFailed& failed) {
            std::rethrow_exception(failed.error);  // the map's reason, not the file's
        }
        return;
    }
    GatheredMap whole;
    gather(map, whole, options);
    throw_if_cancelled(options, path);
    last_seal_ = write_with_openexr(path, whole.view, options, header);
}

bool StMapExrWriter::write_again(const std::string& path, const io::StMapView& geometry,
                                 const StMapExrOptions& options) {
    if (!uses_own_chunks(options.compression)) return false;
    throw_if_cancelled(options, path);
    check_geometry(geometry, path);
    const Imf::Header header = st_map_header(path, geometry, options);
    if (!chunks_->can_write_again(header)) return false;
    last_seal_ = write_own_chunks(path, [&](int fd) { chunks_->write_again(fd, header); });
    return true;
}

bool StMapExrWriter::last_write_reused() const { return chunks_->last_write_reused(); }

void StMapExrWriter::forget() { chunks_->forget(); }

void write_st_map_exr(const std::string& path, const io::StMapView& map, const StMapExrOptions& options) {
    StMapExrWriter().write(path, map, options);
}

void write_st_map_exr_with_openexr(const std::string& path, const io::StMapView& map,
                                   const StMapExrOptions& options) {
    io::check_st_map_view(map, path);
    check_alpha(map, options, path);
    throw_if_cancelled(options, path);
    write_with_openexr(path, map, options, st_map_header(path, map, options));
}

void set_exr_thread_count(int threads) {
    if (threads < 0)
        throw std::invalid_argument("thread count " + std::to_string(threads) + " is negative");
    Imf::setGlobalThreadCount(threads);
    compress_threads = threads;
}

}  // namespace talvik::exr
