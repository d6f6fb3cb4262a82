// Previews made by the command as the maps' bands pass: what each shows
// against the pattern's description and the map written beside it, a held
// lens's previews copied from the one before, and a stop while previews
// are made.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "run_command.h"
#include "stmap_process.h"
#include "tests/support/exr_map.h"
#include "tests/support/png_read.h"
#include "tests/support/preview_model.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

namespace model = preview_model;

const std::string kTake = std::string(TALVIK_SAMPLE_DIR) + "/sample_take.fbx";  // keyed 1001-1024, camera 2

// Every pixel of the preview against the description applied to the map
// pixel it picks: within one (blends rounded twice, not once), seldom off.
void expect_shows_the_pattern(const std::string& preview, const std::string& exr) {
    const ExrMap map = read_exr_map(exr);
    const DecodedPng png = decode_png(preview);
    ASSERT_EQ(png.width, std::min(map.width, 1920));
    ASSERT_EQ(png.height, map.height * png.width / map.width);
    const model::Pattern pattern(png.width, png.height);  // the format, at the preview's size
    int off = 0;
    for (int line = 0; line < png.height; ++line) {
        const int row = model::picked_row(line, png.height, map.height);
        for (int x = 0; x < png.width; ++x) {
            const int column = model::picked_column(x, png.width, map.width);
            const Colour expected = model::bilinear(map.s_at(column, row), map.t_at(column, row), pattern);
            const Colour got = png.at(x, line);
            for (int k = 0; k < 3; ++k) {
                ASSERT_LE(std::abs(got[k] - expected[k]), 1) << preview << " at " << x << "," << line;
                off += got[k] != expected[k];
            }
        }
    }
    EXPECT_LT(off, png.width * png.height / 100) << preview;
}

TEST(Previews, ShowThePatternThroughTheMapBesideThem) {
    for (const char* size : {"1920x1080", "2880x1620"}) {
        SCOPED_TRACE(size);
        ScratchFolder dir;
        const std::string last = std::string(size) == "1920x1080" ? "1002" : "1001";
        const CommandResult r = run_stmap({"render", "-q", "--fbx", kTake, "--camera", "2", "--size", size, "--frames",
                                           "1001-" + last, "-o", dir.file("m.####.exr"), "--preview",
                                           dir.file("p.####.png")});
        ASSERT_EQ(r.status, 0) << r.err;
        for (const std::string& frame : {std::string("1001"), last})
            expect_shows_the_pattern(dir.file("p." + frame + ".png"), dir.file("m." + frame + ".exr"));
    }
}

std::string pixel_chunks(const std::string& path) {
    std::string pixels;
    for (const auto& [type, data] : png_chunks(read_bytes(path)))
        if (type == "IDAT") pixels += data;
    return pixels;
}

std::string identity_chunk(const std::string& path) {
    for (const auto& [type, data] : png_chunks(read_bytes(path)))
        if (type == "iTXt" && data.rfind("talvik/identity", 0) == 0) return data;
    return "";
}

// A held lens's previews carry the first one's pixel chunks, byte for
// byte, each under its own frame's identity, before the pixels.
TEST(Previews, HeldFramesCopyThePixelsOfTheOneBefore) {
    ScratchFolder dir;
    const CommandResult r = run_stmap({"render", "-q", "--set", "k1=-0.05", "--size", "700x401", "--frames", "8-10",
                                       "--preview", dir.file("p.####.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string first = pixel_chunks(dir.file("p.0008.png"));
    ASSERT_GT(first.size(), 100u);
    for (const char* frame : {"0009", "0010"}) {
        const std::string path = dir.file(std::string("p.") + frame + ".png");
        EXPECT_TRUE(pixel_chunks(path) == first) << frame;
        EXPECT_NE(identity_chunk(path).find("\"talvik/frame\": " + std::to_string(std::stoi(frame))),
                  std::string::npos)
            << identity_chunk(path);
        const auto chunks = png_chunks(read_bytes(path));
        ASSERT_GE(chunks.size(), 4u);
        EXPECT_EQ(chunks[0].first, "IHDR");
        EXPECT_EQ(chunks[1].first, "iTXt");
        EXPECT_EQ(chunks.back().first, "IEND");
        EXPECT_EQ(decode_png(path).rgb, decode_png(dir.file("p.0008.png")).rgb);
    }
}

// Previews alone of large maps, stopped once the first is written: the
// command says so in one line and exits as the signal asks, and what is
// left is whole previews.
TEST(Previews, AStopWhileTheyAreMadeLeavesOnlyWholeFiles) {
    for (const auto& [signal, code] : {std::pair{SIGINT, 130}, {SIGTERM, 143}}) {
        SCOPED_TRACE(signal);
        ScratchFolder dir;
        StmapProcess render({"render", "-q", "--fbx", kTake, "--camera", "2", "--size", "5760x3240", "--preview",
                             dir.file("p.####.png")});
        ASSERT_TRUE(eventually([&] { return std::filesystem::exists(dir.file("p.1001.png")); }, 60.0))
            << render.err();
        render.signal(signal);
        const std::optional<int> status = render.wait(60.0);
        ASSERT_TRUE(status) << "still rendering after the signal";
        if (*status == 0) continue;  // every frame done before the signal: nothing to check
        const std::string err = render.err();
        EXPECT_EQ(*status, code) << err;
        EXPECT_FALSE(render.killed());
        // One line from the command (a sanitizer may add its own).
        int lines = 0;
        for (size_t at = err.find("talvik-stmap:"); at != std::string::npos; at = err.find("talvik-stmap:", at + 1))
            ++lines;
        EXPECT_EQ(lines, 1) << err;
        EXPECT_NE(err.find("talvik-stmap: stopped by"), std::string::npos) << err;
        for (const std::string& name : dir.entries()) {
            ASSERT_EQ(name.find(".talvik-tmp-"), std::string::npos) << name;
            EXPECT_EQ(decode_png(dir.file(name)).width, 1920) << name;
        }
    }
}

}  // namespace
}  // namespace talvik::test
