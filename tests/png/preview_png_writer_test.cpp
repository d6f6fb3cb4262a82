#include "png/preview_png_writer.h"

#include "png/png_completeness.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <thread>
#include <vector>

#include "png/preview_bands.h"
#include "lens/st_map_row.h"
#include "tests/support/error_message.h"
#include "tests/support/lens_from_panel.h"
#include "tests/support/png_read.h"
#include "tests/support/preview_model.h"
#include "tests/support/scratch_folder.h"

namespace talvik::png {
namespace {

using test::Colour;
using test::ScratchFolder;
namespace model = test::preview_model;

Colour colour(Rgb8 c) { return {c.r, c.g, c.b}; }

// Read back by libpng; the writer's colours as test colours.
struct Decoded : test::DecodedPng {
    Rgb8 at(int x, int line) const {
        const Colour c = DecodedPng::at(x, line);
        return {static_cast<uint8_t>(c[0]), static_cast<uint8_t>(c[1]), static_cast<uint8_t>(c[2])};
    }
    Colour colour_at(int x, int line) const { return DecodedPng::at(x, line); }
};

Decoded decode_with_libpng(const std::string& path) {
    Decoded out{test::decode_png(path)};
    EXPECT_FALSE(out.had_alpha);
    EXPECT_TRUE(out.had_colour);
    return out;
}

// The identity map: every pixel looks at its own centre.
struct Planes {
    int width, height;
    std::vector<float> s, t;
    Planes(int w, int h) : width(w), height(h), s(static_cast<size_t>(w) * h), t(s.size()) {
        for (int row = 0; row < h; ++row)
            for (int x = 0; x < w; ++x) {
                s[index(x, row)] = (x + 0.5f) / w;
                t[index(x, row)] = (row + 0.5f) / h;
            }
    }
    size_t index(int x, int row) const { return static_cast<size_t>(row) * width + x; }
    io::StMapView view() const { return {width, height, s.data(), t.data()}; }
};

double mean_channel(const Decoded& png, bool line_wise, int fixed, int channel) {
    double sum = 0;
    const int n = line_wise ? png.width : png.height;
    for (int i = 0; i < n; ++i) {
        const Rgb8 c = line_wise ? png.at(i, fixed) : png.at(fixed, i);
        sum += channel == 0 ? c.r : c.g;
    }
    return sum / n;
}

TEST(PreviewPng, UnsolvedPixelsInTheirOwnColourAtTheBottom) {
    ScratchFolder folder;
    Planes map(40, 20);
    // Host row 0 is the bottom line: its left half unsolved, a few of its
    // right half pointing outside the frame.
    for (int x = 0; x < 20; ++x) map.s[map.index(x, 0)] = map.t[map.index(x, 0)] = 0.0f;
    map.s[map.index(30, 0)] = 1.5f;
    map.t[map.index(31, 0)] = -0.01f;
    map.s[map.index(32, 0)] = std::numeric_limits<float>::quiet_NaN();
    write_preview_png(folder.file("preview.png"), map.view(), {0, PreviewSampling::Nearest});

    const Decoded png = decode_with_libpng(folder.file("preview.png"));
    ASSERT_EQ(png.width, 40);
    ASSERT_EQ(png.height, 20);
    for (int x = 0; x < 40; ++x) {
        const bool unsolved = x < 20 || x == 30 || x == 31 || x == 32;
        EXPECT_EQ(png.at(x, 19) == kNoSourceColour, unsolved) << "bottom line, x " << x;
        EXPECT_NE(png.at(x, 0), kNoSourceColour) << "top line, x " << x;
    }
}

TEST(PreviewPng, IdentityMapShowsThePatternUpright) {
    ScratchFolder folder;
    const Planes map(320, 180);
    for (auto sampling : {PreviewSampling::Nearest, PreviewSampling::Bilinear}) {
        write_preview_png(folder.file("preview.png"), map.view(), {0, sampling});
        const Decoded png = decode_with_libpng(folder.file("preview.png"));
        ASSERT_EQ(png.width, 320);
        ASSERT_EQ(png.height, 180);
        // Green grows upwards, red to the right.
        EXPECT_GT(mean_channel(png, true, 10, 1), mean_channel(png, true, 170, 1) + 50);
        EXPECT_GT(mean_channel(png, false, 310, 0), mean_channel(png, false, 10, 0) + 50);
        // The centre cross sits in the middle.
        EXPECT_EQ(png.colour_at(160, 90), model::kCross);
        // Each pixel looks at its own centre: no blend anywhere.
        for (int line = 0; line < 180; ++line)
            for (int x = 0; x < 320; ++x)
                ASSERT_EQ(png.colour_at(x, line), model::pixel(x, 179 - line, 320, 180)) << x << "," << line;
    }
}

TEST(PreviewPng, PatternDrawsEveryGridLineAndNeverLooksUnsolved) {
    const struct {
        int width, height, line;
    } frames[] = {{1920, 1080, 2}, {960, 540, 1}, {1001, 563, 1}, {192, 108, 1}, {3840, 2160, 4}};
    PreviewPattern pattern;
    for (const auto& f : frames) {
        pattern.build(f.width, f.height);
        // Across the bottom row of cells: 17 lines, each `line` pixels wide.
        std::vector<int> runs;
        bool in_line = false;
        for (int x = 0; x < f.width; ++x) {
            const bool grid = pattern.pixel(x, f.height / 18) == kGridColour;
            if (grid && in_line) ++runs.back();
            if (grid && !in_line) runs.push_back(1);
            in_line = grid;
        }
        EXPECT_EQ(runs, std::vector<int>(17, f.line)) << f.width << "x" << f.height;
        // Every pixel as described: cells, tints, lines and the cross.
        for (int y = 0; y < f.height; y += f.width > 1100 ? 37 : 1)
            for (int x = 0; x < f.width; ++x)
                ASSERT_EQ(colour(pattern.pixel(x, y)), model::pixel(x, y, f.width, f.height))
                    << x << "," << y << " of " << f.width << "x" << f.height;
    }
    pattern.build(192, 108);
    for (int y = 0; y < 108; ++y)
        for (int x = 0; x < 192; ++x) ASSERT_NE(pattern.pixel(x, y), kNoSourceColour) << x << "," << y;
}

// A map of a known barrel lens, row by row from the lens model, `width` x
// `height`.
struct LensMap {
    int width, height;
    std::vector<float> s, t;
    LensMap(int w, int h, float k1) : width(w), height(h), s(static_cast<size_t>(w) * h), t(s.size()) {
        const LensModel lens = test::normalized({10.0f, -5.0f, 1500.0f, 1500.0f, k1, 0.01f, false, 1});
        for (int row = 0; row < h; ++row)
            st_map_row_scalar(lens, frame_size_from(w, h), row, 0, w, s.data() + static_cast<size_t>(row) * w,
                              t.data() + static_cast<size_t>(row) * w);
    }
    io::StMapView view() const { return {width, height, s.data(), t.data()}; }
};

// The pattern through a lens, against the description in double
// precision: blends rounded once there and twice here differ by one at
// most, and seldom; picks and unblended pixels are exact.
TEST(PreviewPng, KnownLensShowsThePatternAsDescribed) {
    ScratchFolder folder;
    // Full size, shrunk (every other map pixel), and a width no band or
    // vector divides.
    const struct {
        int width, height, max_width;
    } cases[] = {{480, 270, 0}, {960, 540, 480}, {701, 393, 0}};
    for (const auto& c : cases) {
        const LensMap map(c.width, c.height, -0.08f);
        for (auto sampling : {PreviewSampling::Nearest, PreviewSampling::Bilinear}) {
            SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) +
                         (sampling == PreviewSampling::Nearest ? " nearest" : " bilinear"));
            write_preview_png(folder.file("lens.png"), map.view(), {c.max_width, sampling});
            const Decoded png = decode_with_libpng(folder.file("lens.png"));
            const int w = c.max_width ? c.max_width : c.width;
            ASSERT_EQ(png.width, w);
            ASSERT_EQ(png.height, c.height * w / c.width);
            const model::Pattern pattern(png.width, png.height);  // the format at the preview's size
            int off_by_one = 0, unsolved = 0;
            for (int line = 0; line < png.height; ++line) {
                const int row = model::picked_row(line, png.height, c.height);
                for (int x = 0; x < png.width; ++x) {
                    const size_t i = static_cast<size_t>(row) * c.width + model::picked_column(x, png.width, c.width);
                    const Colour expected = sampling == PreviewSampling::Nearest
                                                ? model::nearest(map.s[i], map.t[i], pattern)
                                                : model::bilinear(map.s[i], map.t[i], pattern);
                    const Colour got = png.colour_at(x, line);
                    int worst = 0;
                    for (int k = 0; k < 3; ++k) worst = std::max(worst, std::abs(got[k] - expected[k]));
                    ASSERT_LE(worst, sampling == PreviewSampling::Nearest ? 0 : 1) << x << "," << line;
                    off_by_one += worst;
                    unsolved += expected == model::kNoSource;
                }
            }
            EXPECT_LT(off_by_one, png.width * png.height / 100);
            // The barrel's corners have no source: both kinds are shown.
            EXPECT_GT(unsolved, 0);
            EXPECT_LT(unsolved, png.width * png.height / 4);
        }
    }
}

TEST(PreviewPng, WideMapsAreShrunk) {
    EXPECT_EQ(preview_size(3840, 2160, 1920).width, 1920);
    EXPECT_EQ(preview_size(3840, 2160, 1920).height, 1080);
    EXPECT_EQ(preview_size(1000, 500, 1920).width, 1000);
    EXPECT_EQ(preview_size(5000, 1, 100).height, 1);
    EXPECT_EQ(preview_size(4000, 3000, 0).width, 4000);

    ScratchFolder folder;
    Planes map(200, 50);
    // Halving picks every odd host column; an unsolved one among them must
    // come out in the unsolved colour, not blended with its neighbours.
    for (int row = 0; row < 50; ++row) map.s[map.index(101, row)] = map.t[map.index(101, row)] = 0.0f;
    write_preview_png(folder.file("small.png"), map.view(), {100, PreviewSampling::Bilinear});
    const Decoded png = decode_with_libpng(folder.file("small.png"));
    ASSERT_EQ(png.width, 100);
    ASSERT_EQ(png.height, 25);
    for (int line = 0; line < 25; ++line) {
        EXPECT_EQ(png.at(50, line), kNoSourceColour) << line;
        EXPECT_NE(png.at(49, line), kNoSourceColour) << line;
    }
}

TEST(PreviewPng, BoxBeyondTheFormatShowsTheFormatsEdge) {
    // Host pixels (-20, -10) to (179, 109) around a 160 x 90 format, each
    // looking at its own centre.
    const int box_x = -20, box_y = -10, w = 200, h = 120;
    std::vector<float> s(static_cast<size_t>(w) * h), t(s.size());
    for (int row = 0; row < h; ++row)
        for (int x = 0; x < w; ++x) {
            s[static_cast<size_t>(row) * w + x] = (box_x + x + 0.5f) / 160;
            t[static_cast<size_t>(row) * w + x] = (box_y + row + 0.5f) / 90;
        }
    const io::StMapView view{w, h, s.data(), t.data(), box_x, box_y, 160, 90};
    ScratchFolder folder;
    write_preview_png(folder.file("box.png"), view, {0, PreviewSampling::Nearest});
    const Decoded png = decode_with_libpng(folder.file("box.png"));
    ASSERT_EQ(png.width, w);
    ASSERT_EQ(png.height, h);
    // The format's top line is 20 lines down (host row 89), its left column
    // 20 across; the pattern spans the format, not the box.
    for (int y : {0, 44, 89})
        for (int x : {0, 80, 159})
            EXPECT_EQ(png.colour_at(20 + x, 20 + (89 - y)), model::pixel(x, y, 160, 90)) << x << "," << y;
    // A one-pixel line just outside each edge, corners included.
    for (int line : {19, 20, 60, 109, 110}) {
        EXPECT_EQ(png.at(19, line), kFormatEdgeColour) << line;
        EXPECT_EQ(png.at(180, line), kFormatEdgeColour) << line;
        EXPECT_EQ(png.at(10, line), kNoSourceColour) << line;
    }
    for (int x : {19, 100, 180}) {
        EXPECT_EQ(png.at(x, 19), kFormatEdgeColour) << x;
        EXPECT_EQ(png.at(x, 110), kFormatEdgeColour) << x;
        EXPECT_EQ(png.at(x, 18), kNoSourceColour) << x;
        EXPECT_EQ(png.at(x, 111), kNoSourceColour) << x;
    }

    // Shrunk to half: the edge stays one pixel wide, around the shrunk format.
    write_preview_png(folder.file("half.png"), view, {100, PreviewSampling::Nearest});
    const Decoded half = decode_with_libpng(folder.file("half.png"));
    ASSERT_EQ(half.width, 100);
    EXPECT_EQ(half.at(9, 30), kFormatEdgeColour);
    EXPECT_NE(half.at(10, 30), kFormatEdgeColour);
    EXPECT_EQ(half.at(90, 30), kFormatEdgeColour);
    EXPECT_EQ(half.at(50, 9), kFormatEdgeColour);
    EXPECT_EQ(half.at(50, 55), kFormatEdgeColour);
    EXPECT_NE(half.at(50, 54), kFormatEdgeColour);
}

// The identity text survives a round trip through libpng's own reader, not
// only ours, and anything that is not such a PNG gives none.
TEST(PreviewPng, IdentityChunkReadsBack) {
    ScratchFolder folder;
    const Planes map(16, 9);
    const std::string identity = "{\"format\": [16, 9], \"talvik/fbx_file_path\": \"/t\u00e4ke.fbx\"}";
    write_preview_png(folder.file("p.png"), map.view(), {}, identity);
    EXPECT_EQ(read_preview_identity(folder.file("p.png")), identity);
    EXPECT_EQ(decode_with_libpng(folder.file("p.png")).width, 16);

    write_preview_png(folder.file("plain.png"), map.view());
    EXPECT_EQ(read_preview_identity(folder.file("plain.png")), "");
    std::FILE* f = std::fopen(folder.file("text.png").c_str(), "wb");
    std::fputs("\x89PNG\r\n\x1a\n but then nothing", f);
    std::fclose(f);
    EXPECT_EQ(read_preview_identity(folder.file("text.png")), "");
    EXPECT_EQ(read_preview_identity(folder.file("missing.png")), "");
}

// A preview is whole only as PNG chunks with right CRCs up to IEND: every
// cut is caught, the identity chunk read back or not, and so is a flipped
// byte that libpng's own decoder would trip over.
TEST(PreviewPng, CompletenessCatchesEveryCutAndDamage) {
    ScratchFolder folder;
    const Planes map(24, 12);
    write_preview_png(folder.file("p.png"), map.view(), {}, "{\"format\": [24, 12]}");
    EXPECT_EQ(png_incompleteness(folder.file("p.png")), std::nullopt);
    const std::string whole = test::read_bytes(folder.file("p.png"));
    test::write_bytes(folder.file("cut.png"), whole);
    for (size_t size = whole.size(); size-- > 0;) {
        ASSERT_EQ(truncate(folder.file("cut.png").c_str(), static_cast<off_t>(size)), 0);
        ASSERT_NE(png_incompleteness(folder.file("cut.png")), std::nullopt) << "cut to " << size;
    }
    // Cut inside the pixels, after the identity chunk: the identity still
    // reads (libpng stops at the first pixel chunk), the file is not whole.
    const size_t idat = whole.find("IDAT");
    ASSERT_GT(idat, whole.find("iTXt"));
    const size_t cut_at = idat + 4 + 10;
    test::write_bytes(folder.file("cut.png"), whole.substr(0, cut_at));
    EXPECT_EQ(read_preview_identity(folder.file("cut.png")), "{\"format\": [24, 12]}");
    EXPECT_EQ(png_incompleteness(folder.file("cut.png")).value_or("").find("cut short: chunk "), 0u);

    std::string flipped = whole;
    flipped[idat + 6] = static_cast<char>(flipped[idat + 6] ^ 0x10);
    test::write_bytes(folder.file("flipped.png"), flipped);
    EXPECT_EQ(png_incompleteness(folder.file("flipped.png")).value_or("").find("damaged: chunk "), 0u);
    EXPECT_NE(png_incompleteness(folder.file("flipped.png")).value_or("").find("(IDAT) fails its CRC"), std::string::npos);
    test::write_bytes(folder.file("longer.png"), whole + "\n");
    EXPECT_EQ(png_incompleteness(folder.file("longer.png")).value_or(""),
              "damaged: 1 bytes follow its IEND chunk, which ends at byte " + std::to_string(whole.size()));
}

TEST(PreviewPng, FailuresLeaveNothingBehind) {
    ScratchFolder folder;
    const Planes map(8, 8);
    std::filesystem::create_directory(folder.file("taken.png"));
    for (const std::string& path : {folder.file("taken.png"), folder.file("missing/preview.png")})
        EXPECT_CONTAINS(test::error_message<std::runtime_error>([&] { write_preview_png(path, map.view()); }),
                        "cannot write \"" + path + "\"");
    EXPECT_THROW(write_preview_png(folder.file("p.png"), map.view(), {-1, PreviewSampling::Nearest}),
                 std::invalid_argument);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"taken.png"});
}

// What Python's zlib and struct alone make of a preview (decode_png.py):
// chunk order, size, the CRC-32 of its RGB bytes and the identity text.
std::string decoded_by_python(const std::string& path) {
    std::string out;
    std::FILE* pipe = popen(("/usr/bin/python3 " TALVIK_DECODE_PNG " '" + path + "' 2>&1").c_str(), "r");
    if (!pipe) return "(cannot run python3)";
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
    return out;
}

std::string python_line(const std::string& chunks, const Decoded& png, const std::string& identity) {
    const uLong crc = crc32(0, png.rgb.data(), static_cast<uInt>(png.rgb.size()));
    return chunks + " " + std::to_string(png.width) + " " + std::to_string(png.height) + " " + std::to_string(crc) +
           " " + identity + "\n";
}

// The identity comes before the pixels, and a reader that is not libpng
// finds every chunk sound and the same pixels, whatever the bands.
TEST(PreviewPng, AnotherDecoderReadsTheSamePixels) {
    ScratchFolder folder;
    const LensMap map(300, 171, 0.05f);
    write_preview_png(folder.file("p.png"), map.view(), {0, PreviewSampling::Bilinear}, "{\"frame\": 7}");
    const Decoded png = decode_with_libpng(folder.file("p.png"));
    // 171 rows in bands of 64: three pixel chunks between the stream's
    // header and its end.
    EXPECT_EQ(decoded_by_python(folder.file("p.png")),
              python_line("IHDR,iTXt,IDAT,IDAT,IDAT,IDAT,IDAT,IEND", png, "{\"frame\": 7}"));
    write_preview_png(folder.file("one.png"), LensMap(1, 1, 0.0f).view());
    EXPECT_EQ(decoded_by_python(folder.file("one.png")),
              python_line("IHDR,IDAT,IDAT,IDAT,IEND", decode_with_libpng(folder.file("one.png")), ""));
}

// The bands of a whole map made bottom first, on three threads: lines
// come to the writer out of order.
class BackwardBands : public io::StMapBands {
public:
    explicit BackwardBands(const io::StMapView& map) : whole_(map, 3) {}
    io::StMapView geometry() const override { return whole_.geometry(); }
    int threads() const override { return 3; }
    void reserve(int) override {}
    void run(int tasks, const std::function<void(int, int)>& work) override {
        std::atomic<int> next{tasks - 1};
        auto drain = [&](int worker) {
            for (int task = next--; task >= 0; task = next--) work(worker, task);
        };
        std::thread a(drain, 1), b(drain, 2);
        drain(0);
        a.join();
        b.join();
    }
    io::StMapView band(int worker, int first_row, int rows) override { return whole_.band(worker, first_row, rows); }

private:
    io::WholeStMap whole_;
};

TEST(PreviewPng, BandsInAnyOrderMakeTheSameFile) {
    ScratchFolder folder;
    const LensMap map(500, 700, -0.05f);
    write_preview_png(folder.file("in_order.png"), map.view());
    PreviewPngWriter writer;
    writer.begin(folder.file("backward.png"), map.view(), {}, "");
    BackwardBands backward(map.view());
    PreviewBands bands(backward, writer);
    ASSERT_TRUE(io::make_every_band(bands, nullptr));
    writer.finish();
    EXPECT_EQ(test::read_bytes(folder.file("backward.png")), test::read_bytes(folder.file("in_order.png")));
}

// A finished preview is written again under another identity by copying
// its pixel chunks; another place or other options cannot reuse them.
TEST(PreviewPng, WrittenAgainUnderANewIdentity) {
    ScratchFolder folder;
    const LensMap map(400, 250, -0.05f);
    PreviewPngWriter writer;
    const PreviewOptions options;
    EXPECT_FALSE(writer.can_write_again(map.view(), options));
    writer.begin(folder.file("1.png"), map.view(), options, "{\"frame\": 1}");
    io::WholeStMap whole(map.view(), 2);
    PreviewBands bands(whole, writer);
    ASSERT_TRUE(io::make_every_band(bands, nullptr));
    writer.finish();
    EXPECT_FALSE(writer.last_write_reused());

    ASSERT_TRUE(writer.can_write_again(map.view(), options));
    writer.write_again(folder.file("2.png"), "{\"frame\": 2, \"longer\": true}");
    writer.write_again(folder.file("3.png"), "");
    EXPECT_TRUE(writer.last_write_reused());
    const Decoded first = decode_with_libpng(folder.file("1.png"));
    for (const char* name : {"2.png", "3.png"})
        EXPECT_EQ(decode_with_libpng(folder.file(name)).rgb, first.rgb) << name;
    EXPECT_EQ(read_preview_identity(folder.file("2.png")), "{\"frame\": 2, \"longer\": true}");
    EXPECT_EQ(read_preview_identity(folder.file("3.png")), "");
    EXPECT_EQ(decoded_by_python(folder.file("2.png")),
              python_line("IHDR,iTXt,IDAT,IDAT,IDAT,IDAT,IDAT,IDAT,IEND", first, "{\"frame\": 2, \"longer\": true}"));

    io::StMapView moved = map.view();
    moved.x = 1;
    EXPECT_FALSE(writer.can_write_again(moved, options));
    EXPECT_FALSE(writer.can_write_again(map.view(), {options.max_width, PreviewSampling::Nearest}));
    EXPECT_FALSE(writer.can_write_again(map.view(), {200}));
    writer.forget();
    EXPECT_FALSE(writer.can_write_again(map.view(), options));
    EXPECT_THROW(writer.write_again(folder.file("4.png"), ""), std::logic_error);
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"1.png", "2.png", "3.png"}));
}

// A cancel that comes while the bands pass: the preview is not finished
// and its temporary is gone; the last finished one cannot be reused.
TEST(PreviewPng, CancelledWhileBandsPassLeavesNothing) {
    ScratchFolder folder;
    const LensMap map(300, 900, -0.05f);
    std::atomic<bool> cancel{false};
    PreviewOptions options;
    options.cancel = &cancel;
    PreviewPngWriter writer;
    io::WholeStMap whole(map.view(), 2);
    {
        writer.begin(folder.file("before.png"), map.view(), options, "");
        PreviewBands bands(whole, writer);
        ASSERT_TRUE(io::make_every_band(bands, &cancel));
        writer.finish();
    }
    writer.begin(folder.file("p.png"), map.view(), options, "");
    PreviewBands bands(whole, writer);
    int made = 0;
    class CancelAfterTwo : public io::StMapBands {
    public:
        CancelAfterTwo(io::StMapBands& inner, std::atomic<bool>& cancel, int& made)
            : inner_(inner), cancel_(cancel), made_(made) {}
        io::StMapView geometry() const override { return inner_.geometry(); }
        int threads() const override { return 1; }
        void reserve(int rows) override { inner_.reserve(rows); }
        void run(int tasks, const std::function<void(int, int)>& work) override {
            for (int task = 0; task < tasks; ++task) work(0, task);
        }
        io::StMapView band(int worker, int first_row, int rows) override {
            if (++made_ == 2) cancel_ = true;
            return inner_.band(worker, first_row, rows);
        }

    private:
        io::StMapBands& inner_;
        std::atomic<bool>& cancel_;
        int& made_;
    } cancelling(bands, cancel, made);
    EXPECT_FALSE(io::make_every_band(cancelling, &cancel));
    EXPECT_EQ(made, 2);  // no band after the cancel
    EXPECT_THROW(writer.finish(), io::WriteCancelled);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"before.png"});
    // The file before is of another map, as far as the writer knows.
    EXPECT_FALSE(writer.can_write_again(map.view(), options));
}

}  // namespace
}  // namespace talvik::png
