#include "png/preview_png_writer.h"

#include <fcntl.h>
#include <png.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>

#include "png/png_line_filter.h"
#include "io/file_ranges.h"
#include "png/preview_bands.h"
#include "io/st_map_bands.h"
#include "io/usable_cpus.h"

namespace talvik::png {
namespace {

constexpr size_t kChunkFrame = 12;  // length and type before the data, CRC after

void put_be32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// Frames the `size` bytes at `chunk + 8` as a PNG chunk of `type`: length
// and type before, CRC of type and data after.
void frame_chunk(uint8_t* chunk, const char* type, size_t size) {
    put_be32(chunk, static_cast<uint32_t>(size));
    std::memcpy(chunk + 4, type, 4);
    put_be32(chunk + 8 + size, static_cast<uint32_t>(crc32_z(0, chunk + 4, size + 4)));
}

std::vector<uint8_t> chunk(const char* type, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> bytes(data.size() + kChunkFrame);
    std::copy(data.begin(), data.end(), bytes.begin() + 8);
    frame_chunk(bytes.data(), type, data.size());
    return bytes;
}

// What libpng writes, gathered in memory.
struct Head {
    std::string bytes;
    char message[256] = "unknown libpng error";
};

void on_png_error(png_structp png, png_const_charp message) {
    auto* head = static_cast<Head*>(png_get_error_ptr(png));
    std::snprintf(head->message, sizeof head->message, "%s", message);
    png_longjmp(png, 1);
}

void on_png_warning(png_structp, png_const_charp) {}

void on_png_write(png_structp png, png_bytep data, size_t length) {
    auto* head = static_cast<Head*>(png_get_io_ptr(png));
    bool kept = true;
    try {
        head->bytes.append(reinterpret_cast<const char*>(data), length);
    } catch (const std::bad_alloc&) {
        kept = false;
    }
    if (!kept) png_error(png, "out of memory");
}

void on_png_flush(png_structp) {}

// The file up to its pixels, from libpng: signature, IHDR and the identity
// as iTXt. Kept free of objects with destructors: libpng reports errors by
// longjmp.
bool png_head(int width, int height, const char* identity, Head& head) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &head, on_png_error, on_png_warning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &head, on_png_write, on_png_flush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Before the pixels, so a reader finds it without decoding them.
    png_text text{};
    if (identity && *identity) {
        text.compression = PNG_ITXT_COMPRESSION_NONE;
        text.key = const_cast<char*>(kPreviewIdentityKey);
        text.text = const_cast<char*>(identity);
        text.itxt_length = std::strlen(identity);
        png_set_text(png, info, &text, 1);
    }
    png_write_info(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

std::vector<uint8_t> head_bytes(PreviewSize size, const std::string& identity, const std::string& path) {
    Head head;
    if (!png_head(size.width, size.height, identity.c_str(), head))
        throw std::runtime_error("cannot write \"" + path + "\": " + head.message);
    return {head.bytes.begin(), head.bytes.end()};
}

int open_temporary(const io::ReplaceFile& output) {
    const int fd = ::open(output.temp_path().c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) output.fail_to_create(errno);
    return fd;
}

bool same_place(const io::StMapView& a, const io::StMapView& b) {
    return a.width == b.width && a.height == b.height && a.x == b.x && a.y == b.y &&
           a.display_width() == b.display_width() && a.display_height() == b.display_height();
}

bool same_deflate(const deflate::PieceSetting& a, const deflate::PieceSetting& b) {
    return a.library == b.library && a.level == b.level && a.runs_only == b.runs_only;
}

}  // namespace

struct PreviewPngWriter::Worker {
    explicit Worker(const deflate::PieceSetting& setting) : deflater(setting) {}
    deflate::PieceDeflater deflater;
    std::vector<uint8_t> line, above;  // RGB
    std::vector<uint8_t> filtered;     // a band's filtered lines
};

PreviewPngWriter::PreviewPngWriter() = default;

PreviewPngWriter::~PreviewPngWriter() {
    abandon();
    forget();
}

void PreviewPngWriter::fail(const std::string& reason) const {
    throw std::runtime_error("cannot write \"" + path_ + "\": " + reason);
}

void PreviewPngWriter::begin(const std::string& path, const io::StMapView& geometry, const PreviewOptions& options,
                             const std::string& identity) {
    abandon();
    forget();  // a new map: the kept pixels are stale even if this fails
    {
        io::StMapView check = geometry;
        static const float unused = 0.0f;
        check.s = check.t = &unused;
        io::check_st_map_view(check, path);
    }
    if (options.max_width < 0)
        throw std::invalid_argument("cannot write \"" + path + "\": preview width " +
                                    std::to_string(options.max_width) + " is negative");
    if (options.cancel && options.cancel->load()) throw io::WriteCancelled("writing \"" + path + "\" was stopped");
    if (!workers_.empty() && !same_deflate(options.deflate, options_.deflate)) workers_.clear();
    path_ = path;
    options_ = options;
    picture_.begin(geometry, options.max_width, options.sampling);
    made_.geometry = geometry;
    made_.geometry.s = made_.geometry.t = nullptr;
    made_.max_width = options.max_width;
    made_.sampling = options.sampling;
    made_.deflate = options.deflate;

    std::vector<uint8_t> head = head_bytes(picture_.size(), identity, path);
    const std::vector<uint8_t> stream_head = chunk("IDAT", deflate::zlib_stream_head(options.deflate));
    head.insert(head.end(), stream_head.begin(), stream_head.end());
    output_.emplace(path);
    fd_ = open_temporary(*output_);
    try {
        io::write_at(fd_, 0, head.data(), head.size());
    } catch (const std::exception& e) {
        abandon();
        fail(e.what());
    }
    pixels_at_ = head.size() - stream_head.size();
    const int lines = picture_.size().height;
    sink_.start(fd_, head.size(), lines, options.cancel);
    sums_.assign(static_cast<size_t>(lines), PieceSum{});
}

void PreviewPngWriter::reserve(int workers, int band_rows) {
    const PreviewSize size = picture_.size();
    const size_t line_bytes = 3 * static_cast<size_t>(size.width);
    // Preview lines never outnumber map rows; shrunk, a band of rows holds
    // about its share of lines, and one more where a line falls between.
    const int map_height = std::max(1, made_.geometry.height);
    const int lines = std::min({std::max(band_rows, 1), size.height,
                                static_cast<int>(static_cast<long long>(band_rows) * size.height / map_height) + 2});
    const size_t raw = static_cast<size_t>(lines) * (line_bytes + 1);
    while (static_cast<int>(workers_.size()) < workers) workers_.push_back(std::make_unique<Worker>(options_.deflate));
    for (std::unique_ptr<Worker>& w : workers_) {
        w->line.resize(line_bytes);
        w->above.resize(line_bytes);
        if (w->filtered.size() < raw) w->filtered.resize(raw);
    }
    // Two chunks per thread: one made, one waiting for the file.
    sink_.reserve(2 * workers_.size(), deflate::piece_bound(raw) + kChunkFrame, static_cast<int>(workers_.size()));
}

void PreviewPngWriter::take(int worker, const io::StMapView& band, int first_row) {
    if (fd_ < 0) throw std::logic_error("a preview band before begin");
    if (worker < 0 || worker >= static_cast<int>(workers_.size())) throw std::logic_error("a preview band unreserved");
    const PreviewLines lines = picture_.lines_in(first_row, band.height);
    if (lines.empty() || cancelled()) return;
    Worker& w = *workers_[static_cast<size_t>(worker)];
    const size_t line_bytes = w.line.size();
    const size_t raw = static_cast<size_t>(lines.end - lines.first) * (line_bytes + 1);
    if (w.filtered.size() < raw) throw std::logic_error("a preview band larger than reserved");
    // The band's first line has no line above it here: filtered from the left.
    uint8_t* out = w.filtered.data();
    for (int line = lines.first; line < lines.end; ++line, out += line_bytes + 1) {
        picture_.draw(line, band, first_row, w.line.data());
        if (line == lines.first)
            filter_sub(w.line.data(), line_bytes, out);
        else
            filter_paeth(w.line.data(), w.above.data(), line_bytes, out);
        w.line.swap(w.above);
    }

    try {
        io::OrderedChunkSink::Slot* piece = sink_.acquire(lines.first);
        if (!piece) return;  // cancelled
        const size_t size = w.deflater.deflate(w.filtered.data(), raw, piece->bytes.get() + 8, piece->capacity - kChunkFrame);
        if (size == 0) throw std::logic_error("a preview chunk larger than its bound");
        frame_chunk(piece->bytes.get(), "IDAT", size);
        sums_[static_cast<size_t>(lines.first)] = {lines.end, w.deflater.adler32(1, w.filtered.data(), raw), raw};
        sink_.put(*piece, lines.end, size + kChunkFrame);
    } catch (const std::runtime_error& e) {
        sink_.fail(std::current_exception());  // the other bands stop too
        fail(e.what());
    } catch (...) {
        sink_.fail(std::current_exception());
        throw;
    }
}

void PreviewPngWriter::finish() {
    if (fd_ < 0) throw std::logic_error("a preview finished before begin");
    if (cancelled()) {
        abandon();
        throw io::WriteCancelled("writing \"" + path_ + "\" was stopped");
    }
    try {
        if (const std::exception_ptr error = sink_.error()) {
            try {
                std::rethrow_exception(error);
            } catch (const std::runtime_error& e) {
                fail(e.what());
            }
        }
        if (!sink_.complete()) throw std::logic_error("preview lines left unwritten");
        end_file();
    } catch (...) {
        abandon();
        throw;
    }
}

void PreviewPngWriter::end_file() {
    // The pieces' checksums joined in line order.
    uint32_t adler = 1;
    for (int line = 0; line < static_cast<int>(sums_.size());) {
        const PieceSum& piece = sums_[static_cast<size_t>(line)];
        adler = deflate::adler32_joined(adler, piece.adler, piece.raw_size);
        line = piece.end;
    }
    std::vector<uint8_t> end = chunk("IDAT", deflate::zlib_stream_end(adler));
    const std::vector<uint8_t> iend = chunk("IEND", {});
    end.insert(end.end(), iend.begin(), iend.end());
    const uint64_t at = sink_.end();
    try {
        io::write_at(fd_, at, end.data(), end.size());
    } catch (const std::exception& e) {
        fail(e.what());
    }
    commit(pixels_at_, at + end.size());
}

void PreviewPngWriter::commit(uint64_t pixels_at, uint64_t end) {
    // Kept open to copy from; none when no descriptor is free.
    forget();
    kept_fd_ = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    kept_pixels_at_ = pixels_at;
    kept_end_ = end;
    const int fd = std::exchange(fd_, -1);
    try {
        // The last chance for a deferred write error (network folders).
        if (::close(fd) != 0 && errno != EINTR) fail(std::string("write failed: ") + std::strerror(errno));
        last_seal_ = output_->commit_sealed();
    } catch (...) {
        forget();
        output_.reset();
        throw;
    }
    output_.reset();
}

void PreviewPngWriter::abandon() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    output_.reset();  // removes the temporary
}

bool PreviewPngWriter::can_write_again(const io::StMapView& geometry, const PreviewOptions& options) const {
    return kept_fd_ >= 0 && same_place(geometry, made_.geometry) && options.max_width == made_.max_width &&
           options.sampling == made_.sampling && same_deflate(options.deflate, made_.deflate);
}

void PreviewPngWriter::write_again(const std::string& path, const std::string& identity) {
    last_reused_ = false;
    if (kept_fd_ < 0) throw std::logic_error("no kept preview to write again");
    abandon();
    if (cancelled()) throw io::WriteCancelled("writing \"" + path + "\" was stopped");
    path_ = path;
    const std::vector<uint8_t> head = head_bytes(picture_.size(), identity, path);
    output_.emplace(path);
    fd_ = open_temporary(*output_);
    const uint64_t pixels = kept_end_ - kept_pixels_at_;
    try {
        io::write_at(fd_, 0, head.data(), head.size());
        io::copy_range(kept_fd_, kept_pixels_at_, fd_, head.size(), pixels);
    } catch (const std::exception& e) {
        abandon();
        forget();
        fail(e.what());
    }
    commit(head.size(), head.size() + pixels);
    last_reused_ = true;
}

void PreviewPngWriter::forget() {
    if (kept_fd_ >= 0) ::close(kept_fd_);
    kept_fd_ = -1;
}

void write_preview_png(const std::string& path, const io::StMapView& map, const PreviewOptions& options,
                       const std::string& identity) {
    io::check_st_map_view(map, path);
    PreviewPngWriter writer;
    writer.begin(path, map, options, identity);
    const int threads = std::min(io::usable_cpu_count(), 16);
    io::WholeStMap whole(map, threads);
    PreviewBands bands(whole, writer);
    io::make_every_band(bands, options.cancel);
    writer.finish();
}

namespace {

void on_read_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Kept free of objects with destructors: libpng reports errors by longjmp.
bool read_identity(std::FILE* file, std::string& identity) {
    png_byte signature[8];
    if (std::fread(signature, 1, sizeof signature, file) != sizeof signature ||
        png_sig_cmp(signature, 0, sizeof signature) != 0)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_read_error, on_png_warning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, file);
    png_set_sig_bytes(png, sizeof signature);
    png_read_info(png, info);
    png_textp texts = nullptr;
    int count = 0;
    png_get_text(png, info, &texts, &count);
    for (int i = 0; i < count; ++i)
        if (std::strcmp(texts[i].key, kPreviewIdentityKey) == 0) identity.assign(texts[i].text);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

}  // namespace

std::string read_preview_identity(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return "";
    std::string identity;
    if (!read_identity(file, identity)) identity.clear();
    std::fclose(file);
    return identity;
}

}  // namespace talvik::png
