// Frames baked in bands: every compression holds the map the row generation
// gives, over many bands and heights that are no multiple of one, a box
// beyond the format, and held frames copied from the file before.
#include <gtest/gtest.h>

#include <ImfIntAttribute.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "lens/st_map_row.h"
#include "run_command.h"
#include "stmap_process.h"
#include "tests/support/exr_map.h"
#include "tests/support/lens_from_panel.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

// The lens kLens sets.
LensModel barrel() {
    // Panel cx, cy, fx, fy, k1, k2, anamorphic, Mode.
    return normalized({10.0f, 0.0f, 1500.0f, 1400.0f, -0.05f, 0.0f, false, 1});
}

const std::vector<std::string> kLens = {"--mode", "undistort", "--set", "k1=-0.05", "--set", "cx=10",
                                        "--set", "fx=1500", "--set", "fy=1400"};

std::vector<std::string> render(std::vector<std::string> args) {
    std::vector<std::string> all = {"render", "--quiet"};
    all.insert(all.end(), kLens.begin(), kLens.end());
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

// 1037 lines: 7 ZIP bands of 144 lines at this width and 29 lines over.
TEST(BandedBake, EveryCompressionHoldsTheRowGenerationsMap) {
    const int width = 1031, height = 1037;
    std::vector<float> s(width), t(width);
    const LensModel lens = barrel();
    for (const char* compression : {"zip", "zips", "none", "piz"}) {
        SCOPED_TRACE(compression);
        ScratchFolder dir;
        const CommandResult r = run_stmap(render({"--size", "1031x1037", "--compression", compression, "-o",
                                                  dir.file("m.exr"), "--preview", dir.file("p.png")}));
        ASSERT_EQ(r.status, 0) << r.err;
        const ExrMap map = read_exr_map(dir.file("m.exr"));
        ASSERT_EQ(map.width, width);
        ASSERT_EQ(map.height, height);
        for (int y = 0; y < height; ++y) {
            st_map_row_scalar(lens, frame_size_from(width, height), y, 0, width, s.data(), t.data());
            for (int x = 0; x < width; ++x) {
                ASSERT_EQ(map.s_at(x, y), s[x]) << x << "," << y;
                ASSERT_EQ(map.t_at(x, y), t[x]) << x << "," << y;
            }
        }
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"m.exr", "p.png"}));
    }
}

// A box reaching 9 pixels beyond the format on every side: the data window
// starts at (-9, -9) and every compression holds the same values.
TEST(BandedBake, BoxBeyondTheFormatIsTheSameInEveryCompression) {
    ScratchFolder dir;
    std::vector<ExrMap> maps;
    for (const char* compression : {"zip", "zips", "none", "rle"}) {
        const std::string path = dir.file(std::string(compression) + ".exr");
        const CommandResult r =
            run_stmap(render({"--size", "640x333", "--overscan", "9", "--compression", compression, "-o", path}));
        ASSERT_EQ(r.status, 0) << r.err;
        maps.push_back(read_exr_map(path));
        EXPECT_EQ(maps.back().data_window.min.x, -9) << compression;
        EXPECT_EQ(maps.back().data_window.min.y, -9) << compression;
        EXPECT_EQ(maps.back().height, 333 + 18) << compression;
    }
    for (size_t i = 1; i < maps.size(); ++i) {
        EXPECT_TRUE(maps[i].s == maps[0].s) << i;
        EXPECT_TRUE(maps[i].t == maps[0].t) << i;
    }
}

// A held lens renders once: later frames copy the chunks of the file just
// written under their own header, in ZIP and uncompressed files alike.
TEST(BandedBake, HeldFramesCopyTheFileBefore) {
    for (const char* compression : {"zip", "none"}) {
        SCOPED_TRACE(compression);
        ScratchFolder dir;
        const CommandResult r = run_stmap(render({"--size", "300x201", "--frames", "8-11", "--compression",
                                                  compression, "-o", dir.file("m.####.exr"), "--preview",
                                                  dir.file("p.####.png")}));
        ASSERT_EQ(r.status, 0) << r.err;
        const ExrMap first = read_exr_map(dir.file("m.0008.exr"));
        for (int frame = 9; frame <= 11; ++frame) {
            const ExrMap map = read_exr_map(dir.file("m.00" + std::string(frame < 10 ? "0" : "") +
                                                     std::to_string(frame) + ".exr"));
            EXPECT_TRUE(map.s == first.s) << frame;
            EXPECT_TRUE(map.t == first.t) << frame;
            EXPECT_EQ(map.attribute<Imf::IntAttribute>("talvik/frame")->value(), frame);
        }
        EXPECT_EQ(dir.entries().size(), 8u);
    }
}

// A stop while an 8K frame is measured (--overscan auto) or rendered is
// seen between bands: the command stops, leaving no temporary.
TEST(BandedBake, StopDuringALargeFrameLeavesNothing) {
    for (const bool measure : {true, false}) {
        SCOPED_TRACE(measure ? "measuring" : "rendering");
        ScratchFolder dir;
        std::vector<std::string> args = render({"--size", "8640x4320", "-o", dir.file("m.exr")});
        if (measure) args.insert(args.end(), {"--overscan", "auto"});
        StmapProcess process(args);
        // Let it reach the frame: the plug-in and its controls come first.
        usleep(400000);
        process.signal(SIGINT);
        const std::optional<int> status = process.wait(60.0);
        ASSERT_TRUE(status) << "still running after the signal";
        if (*status == 0) continue;  // finished before the signal: nothing to check
        EXPECT_EQ(*status, 130) << process.err();
        // A stop that comes just after the frame's rename keeps that whole
        // map (frames already written are kept); nothing else is left.
        for (const std::string& name : dir.entries()) {
            ASSERT_EQ(name, "m.exr") << "left behind";
            const ExrMap map = read_exr_map(dir.file(name));
            EXPECT_EQ(map.width, 8640);
            EXPECT_EQ(map.height, 4320);
        }
    }
}

}  // namespace
}  // namespace talvik::test
