#include "cli/preview/preview_png_writer.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include "io/replace_file.h"

namespace talvik::cli {
namespace {

struct PngError {
    char message[256] = "unknown libpng error";
    std::FILE* file = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    bool cancelled = false;
};

void on_png_error(png_structp png, png_const_charp message) {
    auto* error = static_cast<PngError*>(png_get_error_ptr(png));
    std::snprintf(error->message, sizeof error->message, "%s", message);
    png_longjmp(png, 1);
}

void on_png_warning(png_structp, png_const_charp) {}

// libpng's own writer only says "Write Error"; this one keeps the reason.
void on_png_write(png_structp png, png_bytep data, size_t length) {
    auto* error = static_cast<PngError*>(png_get_error_ptr(png));
    errno = 0;
    if (std::fwrite(data, 1, length, error->file) != length) {
        const int reason = errno ? errno : EIO;
        std::snprintf(error->message, sizeof error->message, "%s", std::strerror(reason));
        png_longjmp(png, 1);
    }
}

void on_png_flush(png_structp png) {
    auto* error = static_cast<PngError*>(png_get_error_ptr(png));
    std::fflush(error->file);
}

// Kept free of objects with destructors: libpng reports errors by longjmp.
bool encode_png(std::FILE* file, int width, int height, png_bytepp rows, const char* identity, PngError& error) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, on_png_error, on_png_warning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    error.file = file;
    png_set_write_fn(png, &error, on_png_write, on_png_flush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
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
    for (int y = 0; y < height; ++y) {
        if (error.cancel && error.cancel->load()) {
            error.cancelled = true;
            png_destroy_write_struct(&png, &info);
            return false;
        }
        png_write_row(png, rows[y]);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// The format in preview pixels (columns left to right, lines from the top,
// ends exclusive) and the width of the line drawn around it.
struct FormatEdge {
    int left, right, top, bottom, line;
    bool at(int x, int y) const {
        const bool inside = x >= left && x < right && y >= top && y < bottom;
        const bool near = x >= left - line && x < right + line && y >= top - line && y < bottom + line;
        return near && !inside;
    }
};

FormatEdge format_edge(const io::StMapView& map, PreviewSize size) {
    const double sx = static_cast<double>(size.width) / map.width;
    const double sy = static_cast<double>(size.height) / map.height;
    const long long box_top = static_cast<long long>(map.y) + map.height;
    auto column = [&](long long host_x) { return static_cast<int>(std::llround((host_x - map.x) * sx)); };
    auto line = [&](long long host_y) { return static_cast<int>(std::llround((box_top - host_y) * sy)); };
    return {column(0), column(map.display_width()), line(map.display_height()), line(0),
            std::max(1, static_cast<int>(std::lround(std::min(size.width, size.height) / 540.0)))};
}

// Top line first. Bands of lines are drawn on all cores: each line depends
// only on the samples.
std::vector<png_byte> render(const PreviewSamples& samples, PreviewSampling sampling) {
    const io::StMapView& map = samples.geometry();
    const PreviewSize size = samples.size();
    std::vector<png_byte> rgb(static_cast<size_t>(size.width) * size.height * 3);
    const FormatEdge edge = format_edge(map, size);
    // The pattern covers the format, at the preview's scale.
    const int pattern_w = std::max(1, edge.right - edge.left), pattern_h = std::max(1, edge.bottom - edge.top);
    auto draw_lines = [&](int first, int end) {
        for (int line = first; line < end; ++line) {
            png_byte* out = rgb.data() + static_cast<size_t>(line) * size.width * 3;
            for (int x = 0; x < size.width; ++x) {
                const Rgb8 c = edge.at(x, line) ? kFormatEdgeColour
                                                : pattern_at(samples.s(x, line), samples.t(x, line), pattern_w,
                                                             pattern_h, sampling);
                out[3 * x] = c.r;
                out[3 * x + 1] = c.g;
                out[3 * x + 2] = c.b;
            }
        }
    };
    const int bands = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 16u));
    std::vector<std::thread> helpers;
    for (int b = 1; b < bands; ++b) {
        const int first = size.height * b / bands, end = size.height * (b + 1) / bands;
        try {
            helpers.emplace_back(draw_lines, first, end);
        } catch (const std::system_error&) {
            draw_lines(first, end);  // no thread to spare: this one draws the band
        }
    }
    draw_lines(0, size.height / bands);
    for (std::thread& t : helpers) t.join();
    return rgb;
}

}  // namespace

void write_preview_png(const std::string& path, const io::StMapView& map, const PreviewOptions& options,
                       const std::string& identity) {
    io::check_st_map_view(map, path);
    if (options.max_width < 0)
        throw std::invalid_argument("cannot write \"" + path + "\": preview width " +
                                    std::to_string(options.max_width) + " is negative");
    if (options.cancel && options.cancel->load()) throw io::WriteCancelled("writing \"" + path + "\" was stopped");
    PreviewSamples samples;
    samples.begin(map, options.max_width);
    samples.take(map, 0);
    write_preview_png(path, samples, options, identity);
}

void write_preview_png(const std::string& path, const PreviewSamples& samples, const PreviewOptions& options,
                       const std::string& identity) {
    auto check_cancel = [&] {
        if (options.cancel && options.cancel->load()) throw io::WriteCancelled("writing \"" + path + "\" was stopped");
    };
    check_cancel();
    const PreviewSize size = samples.size();
    std::vector<png_byte> rgb = render(samples, options.sampling);
    std::vector<png_bytep> rows(static_cast<size_t>(size.height));
    for (int y = 0; y < size.height; ++y) rows[y] = rgb.data() + static_cast<size_t>(y) * size.width * 3;

    check_cancel();
    io::ReplaceFile output(path);
    errno = 0;
    std::FILE* file = std::fopen(output.temp_path().c_str(), "wb");
    if (!file) output.fail_to_create(errno);
    PngError error;
    error.cancel = options.cancel;
    const bool encoded = encode_png(file, size.width, size.height, rows.data(), identity.c_str(), error);
    const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
    const int write_errno = errno;
    const bool closed = std::fclose(file) == 0;
    if (error.cancelled) throw io::WriteCancelled("writing \"" + path + "\" was stopped");
    if (!encoded)
        throw std::runtime_error("cannot write \"" + path + "\": " + error.message);
    if (!flushed || !closed)
        throw std::runtime_error("cannot write \"" + path + "\": " +
                                 std::strerror(write_errno ? write_errno : EIO));
    output.commit();
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

}  // namespace talvik::cli
