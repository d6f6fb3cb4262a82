// What a preview costs, piece by piece, on one 1920 x 1080 Undistort map
// (the size a preview is at most by default): the pattern drawn, each PNG
// line filter, and each deflate setting on the filtered lines in bands as
// the writer deflates them; then whole previews through the writer on all
// threads. A plain timed tool:
//
//   preview_png_bench [--rounds N] [--folder DIR]
//
// Each time is the best of N rounds (default 5), on one thread unless said.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/timed_tool.h"
#include "deflate/piece_deflater.h"
#include "png/png_line_filter.h"
#include "png/preview_picture.h"
#include "png/preview_png_writer.h"

namespace talvik::bench {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kBandLines = 128;  // the writer's band at this width (2 MB of map)
using Clock = std::chrono::steady_clock;

// The barrel lens of the other benchmarks, a little stronger, so that the
// grid bends and blends all over.
LensModel bent_lens() {
    LensModel lens;
    lens.cx = 10.0f;
    lens.cy = -5.0f;
    lens.fx = 1500.0f;
    lens.fy = 1500.0f;
    lens.k1 = -0.08f;
    lens.k2 = 0.01f;
    lens.mode = 1;
    lens.normalize();
    return lens;
}

double best_ms(int rounds, const std::function<void()>& work) {
    double best = 1e30;
    for (int r = 0; r < rounds; ++r) {
        const Clock::time_point start = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return best;
}

constexpr size_t kLineBytes = 3 * kWidth;

// The filters the writer does not use, for comparison: none, up, average.
void filter_none(const uint8_t* line, const uint8_t*, uint8_t* out) {
    out[0] = 0;
    std::copy(line, line + kLineBytes, out + 1);
}
void filter_up(const uint8_t* line, const uint8_t* above, uint8_t* out) {
    out[0] = 2;
    for (size_t i = 0; i < kLineBytes; ++i) out[1 + i] = static_cast<uint8_t>(line[i] - above[i]);
}
void filter_average(const uint8_t* line, const uint8_t* above, uint8_t* out) {
    out[0] = 3;
    for (size_t i = 0; i < kLineBytes; ++i) {
        const int left = i >= 3 ? line[i - 3] : 0;
        out[1 + i] = static_cast<uint8_t>(line[i] - (left + above[i]) / 2);
    }
}

struct Filter {
    const char* name;
    std::function<void(const uint8_t* line, const uint8_t* above, uint8_t* out)> apply;
};

// The whole picture filtered into `out`, each band's first line by sub as
// the writer's are (no line above it in the band).
void filter_all(const std::vector<uint8_t>& rgb, const Filter& f, std::vector<uint8_t>& out) {
    for (int line = 0; line < kHeight; ++line) {
        const uint8_t* row = rgb.data() + line * kLineBytes;
        uint8_t* to = out.data() + line * (kLineBytes + 1);
        if (line % kBandLines == 0)
            png::filter_sub(row, kLineBytes, to);
        else
            f.apply(row, row - kLineBytes, to);
    }
}

struct Setting {
    std::string name;
    deflate::PieceSetting deflate;
    bool writers;
};

int run(int argc, char** argv) {
    int rounds = 5;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 < argc && arg == "--rounds") {
            rounds = std::atoi(argv[++i]);
        } else if (i + 1 < argc && arg == "--folder") {
            folder = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--rounds N] [--folder DIR]\n", argv[0]);
            return 2;
        }
    }
    if (rounds < 1) throw std::invalid_argument("--rounds must be at least 1");
    folder = files_folder(folder, "preview_png_bench");

    const RenderedMap map = render_map(bent_lens(), kWidth, kHeight);
    std::printf("one %dx%d Undistort map, best of %d rounds, files in %s\n\n", kWidth, kHeight, rounds,
                folder.c_str());

    std::vector<uint8_t> rgb(kHeight * kLineBytes);
    for (auto sampling : {png::PreviewSampling::Nearest, png::PreviewSampling::Bilinear}) {
        png::PreviewPicture picture;
        picture.begin(map.view(), kWidth, sampling);
        const double ms = best_ms(rounds, [&] {
            for (int line = 0; line < kHeight; ++line) picture.draw(line, map.view(), 0, rgb.data() + line * kLineBytes);
        });
        std::printf("pattern, %-8s %7.2f ms  %6.1f Mpx/s\n",
                    sampling == png::PreviewSampling::Nearest ? "nearest" : "bilinear", ms,
                    kWidth * kHeight / ms / 1e3);
    }

    const std::vector<Filter> filters = {
        {"none", filter_none},
        {"sub", [](const uint8_t* line, const uint8_t*, uint8_t* out) { png::filter_sub(line, kLineBytes, out); }},
        {"up", filter_up},
        {"average", filter_average},
        {"paeth*", [](const uint8_t* line, const uint8_t* above, uint8_t* out) {
             png::filter_paeth(line, above, kLineBytes, out);
         }},
    };
    std::vector<Setting> settings;
    const deflate::PieceSetting chosen = deflate::preferred_piece_setting();
    auto add = [&](const std::string& name, deflate::PieceSetting d) {
        settings.push_back({name, d, d.library == chosen.library && d.level == chosen.level &&
                                         d.runs_only == chosen.runs_only});
    };
    if (deflate::has_library(deflate::Library::Isal))
        for (int level = 0; level <= 3; ++level)
            add("ISA-L " + std::to_string(level), {deflate::Library::Isal, level, false});
    for (int level : {1, 2, 3, 6})
        add("zlib " + std::to_string(level), {deflate::Library::Zlib, level, false});
    add("zlib 1 runs", {deflate::Library::Zlib, 1, true});

    std::printf("\nfilter and deflate, one thread, in %d-line bands (* the writer's choice):\n", kBandLines);
    std::printf("%-9s %9s", "filter", "filter ms");
    for (const Setting& s : settings) std::printf(" %14s%s", s.name.c_str(), s.writers ? "*" : " ");
    std::printf("\n");
    std::vector<uint8_t> out(deflate::piece_bound(kBandLines * (kLineBytes + 1)));
    for (const Filter& f : filters) {
        std::vector<uint8_t> data(kHeight * (kLineBytes + 1));
        const double filter_ms = best_ms(rounds, [&] { filter_all(rgb, f, data); });
        std::printf("%-9s %9.2f", f.name, filter_ms);
        for (const Setting& s : settings) {
            deflate::PieceDeflater deflater(s.deflate);
            size_t bytes = 0;
            const double ms = best_ms(rounds, [&] {
                bytes = 0;
                uint32_t adler = 1;
                for (int first = 0; first < kHeight; first += kBandLines) {
                    const size_t size = std::min(kBandLines, kHeight - first) * (kLineBytes + 1);
                    const uint8_t* in = data.data() + first * (kLineBytes + 1);
                    bytes += deflater.deflate(in, size, out.data(), out.size());
                    adler = deflate::adler32_joined(adler, deflater.adler32(1, in, size), size);
                }
            });
            std::printf(" %6.2f ms %4.0fK ", ms, bytes / 1e3);
        }
        std::printf("\n");
    }

    std::printf("\nwhole previews through the writer, all threads:\n");
    for (const Setting& s : settings) {
        png::PreviewOptions options;
        options.deflate = s.deflate;
        const std::string path = folder + "/preview.png";
        const double ms = best_ms(rounds, [&] { png::write_preview_png(path, map.view(), options); });
        std::printf("  %-14s%s %7.2f ms %8.0f KB\n", s.name.c_str(), s.writers ? "*" : " ", ms,
                    std::filesystem::file_size(path) / 1e3);
        std::filesystem::remove(path);
    }
    std::filesystem::remove(folder);
    return 0;
}

}  // namespace
}  // namespace talvik::bench

int main(int argc, char** argv) {
    return talvik::bench::run_timed_tool("preview_png_bench", talvik::bench::run, argc, argv);
}
