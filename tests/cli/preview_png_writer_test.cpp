#include "cli/preview/preview_png_writer.h"

#include "cli/preview/png_completeness.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <vector>

#include "tests/support/error_message.h"
#include "tests/support/scratch_folder.h"

namespace talvik::cli {
namespace {

using test::ScratchFolder;

struct Decoded {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    Rgb8 at(int x, int line) const {
        const size_t i = (static_cast<size_t>(line) * width + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

Decoded decode_with_libpng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        throw std::runtime_error("libpng cannot read " + path + ": " + image.message);
    EXPECT_EQ(image.format & PNG_FORMAT_FLAG_ALPHA, 0u);
    EXPECT_NE(image.format & PNG_FORMAT_FLAG_COLOR, 0u);
    image.format = PNG_FORMAT_RGB;
    Decoded out;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    out.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr))
        throw std::runtime_error("libpng cannot decode " + path + ": " + image.message);
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
        EXPECT_EQ(png.at(160, 90), pattern_pixel(160, 89, 320, 180));
        if (sampling != PreviewSampling::Nearest) continue;
        for (int line : {0, 45, 179})
            for (int x : {0, 77, 319})
                EXPECT_EQ(png.at(x, line), pattern_pixel(x, 179 - line, 320, 180)) << x << "," << line;
    }
}

TEST(PreviewPng, PatternDrawsEveryGridLineAndNeverLooksUnsolved) {
    const struct {
        int width, height, line;
    } frames[] = {{1920, 1080, 2}, {960, 540, 1}, {1001, 563, 1}, {192, 108, 1}};
    for (const auto& f : frames) {
        // Across the bottom row of cells: 17 lines, each `line` pixels wide.
        std::vector<int> runs;
        bool in_line = false;
        for (int x = 0; x < f.width; ++x) {
            const Rgb8 c = pattern_pixel(x, f.height / 18, f.width, f.height);
            const bool grid = c == kGridColour;
            if (grid && in_line) ++runs.back();
            if (grid && !in_line) runs.push_back(1);
            in_line = grid;
        }
        EXPECT_EQ(runs, std::vector<int>(17, f.line)) << f.width << "x" << f.height;
    }
    for (int y = 0; y < 108; ++y)
        for (int x = 0; x < 192; ++x) ASSERT_NE(pattern_pixel(x, y, 192, 108), kNoSourceColour) << x << "," << y;
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
            EXPECT_EQ(png.at(20 + x, 20 + (89 - y)), pattern_pixel(x, y, 160, 90)) << x << "," << y;
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

}  // namespace
}  // namespace talvik::cli
