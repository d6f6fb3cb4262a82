// Maps over the input's bounding box: a plate's data window beyond or inside
// its display window, --overscan in each form, and the margins of auto
// against a brute-force scan of the Undistort map.
#include <gtest/gtest.h>

#include <ImfChannelList.h>
#include <ImfOutputFile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <regex>

#include "tests/support/exr_map.h"
#include "keyed_lens.h"
#include "lens/st_map_row.h"
#include "run_command.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/fixture_util.h"

namespace talvik::test {
namespace {

Imath::Box2i box(int x0, int y0, int x1, int y1) { return Imath::Box2i(Imath::V2i(x0, y0), Imath::V2i(x1, y1)); }

// A plate of which the command reads only the header.
void write_plate(const std::string& path, const Imath::Box2i& display, const Imath::Box2i& data) {
    Imf::Header header(display, data);
    header.channels().insert("R", Imf::Channel(Imf::HALF));
    Imf::OutputFile file(path.c_str(), header);
}

LensModel lens_of(int mode, float k1, float k2, float cx, float fx) {
    LensModel lens;
    lens.mode = mode;
    lens.k1 = k1;
    lens.k2 = k2;
    lens.cx = cx;
    lens.fx = fx;
    lens.normalize();
    return lens;
}

// Every pixel of the data window against the row generation at the same
// host (x, y), the frame size being the display window's.
void expect_map_equals_rows(const ExrMap& map, const LensModel& lens) {
    const int w = map.display_window.max.x - map.display_window.min.x + 1;
    const int h = map.display_window.max.y - map.display_window.min.y + 1;
    const int x0 = map.data_window.min.x - map.display_window.min.x;
    const int x1 = map.data_window.max.x - map.display_window.min.x + 1;
    std::vector<float> s(static_cast<size_t>(x1 - x0)), t(s.size());
    int checked = 0;
    for (int y = map.display_window.max.y - map.data_window.max.y; y <= map.display_window.max.y - map.data_window.min.y; ++y) {
        st_map_row_scalar(lens, frame_size_from(w, h), y, x0, x1, s.data() - x0, t.data() - x0);
        for (int x = x0; x < x1; ++x) {
            ASSERT_TRUE(map.has_host_pixel(x, y)) << x << "," << y;
            ASSERT_EQ(map.s_host(x, y), s[static_cast<size_t>(x - x0)]) << x << "," << y;
            ASSERT_EQ(map.t_host(x, y), t[static_cast<size_t>(x - x0)]) << x << "," << y;
            ++checked;
        }
    }
    EXPECT_EQ(checked, map.width * map.height);
}

TEST(Overscan, PlateDataWindowIsTheMapsDataWindow) {
    test::ScratchFolder dir;
    const Imath::Box2i display = box(0, 0, 191, 107);
    const Imath::Box2i windows[] = {box(-10, -6, 201, 113),  // beyond on every side
                                    box(20, 10, 150, 90),    // inside
                                    box(-30, 40, 100, 140)}; // left and below only
    for (const Imath::Box2i& data : windows) {
        write_plate(dir.file("plate.exr"), display, data);
        const CommandResult r = run_stmap({"render", "--plate", dir.file("plate.exr"), "--mode", "undistort",
                                           "--set", "k1=-0.05", "--set", "k2=0.01", "--set", "cx=12", "--set",
                                           "fx=1500", "-o", dir.file("map.exr"), "--quiet"});
        ASSERT_EQ(r.status, 0) << r.err;
        const ExrMap map = read_exr_map(dir.file("map.exr"));
        EXPECT_EQ(map.display_window, display);
        EXPECT_EQ(map.data_window, data);
        expect_map_equals_rows(map, lens_of(1, -0.05f, 0.01f, 12.0f, 1500.0f));
        // Host row 0 is the display window's bottom line, EXR line 107.
        if (map.has_host_pixel(40, 0)) {
            EXPECT_LT(map.t_host(40, 0), 0.01f);
            EXPECT_GT(map.t_host(40, 0), 0.0f);
        }
    }
}

// A sequence whose frames bring different data windows: each map has its
// own frame's, also where the lens and the controls stay the same, and a
// fixed --overscan still reaches around each of them.
TEST(Overscan, EachPlateFrameBringsItsOwnBox) {
    test::ScratchFolder dir;
    const Imath::Box2i display = box(0, 0, 191, 107);
    const Imath::Box2i windows[] = {box(0, 0, 191, 107), box(-10, -6, 201, 113), box(20, 10, 150, 90)};
    for (int i = 0; i < 3; ++i)
        write_plate(dir.file("p." + std::to_string(1 + i) + ".exr"), display, windows[i]);
    const std::vector<std::string> lens = {"--mode", "undistort", "--set", "k1=-0.05", "--set", "fx=1500"};
    std::vector<std::string> args = {"render", "--plate", dir.file("p.#.exr"), "-o", dir.file("m.#.exr"), "--quiet"};
    args.insert(args.end(), lens.begin(), lens.end());
    CommandResult r = run_stmap(args);
    ASSERT_EQ(r.status, 0) << r.err;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i + 1);
        const ExrMap map = read_exr_map(dir.file("m." + std::to_string(1 + i) + ".exr"));
        EXPECT_EQ(map.data_window, windows[i]);
        expect_map_equals_rows(map, lens_of(1, -0.05f, 0.0f, 0.0f, 1500.0f));
    }
    args.insert(args.end(), {"--overscan", "12"});
    r = run_stmap(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_exr_map(dir.file("m.1.exr")).data_window, box(-12, -12, 203, 119));
    EXPECT_EQ(read_exr_map(dir.file("m.2.exr")).data_window, box(-12, -12, 203, 119));
    EXPECT_EQ(read_exr_map(dir.file("m.3.exr")).data_window, box(-12, -12, 203, 119));
}

TEST(Overscan, EachFormGivesItsBox) {
    test::ScratchFolder dir;
    const struct {
        std::string request;
        Imath::Box2i data;  // around 200 x 100, in EXR lines
        int left, right, bottom, top;
    } cases[] = {
        {"7", box(-7, -7, 206, 106), 7, 7, 7, 7},
        {"5x3", box(-5, -3, 204, 102), 5, 5, 3, 3},
        {"0", box(0, 0, 199, 99), 0, 0, 0, 0},
        // 10% of 200 is 20, 10 a side; of 100, 5 a side.
        {"10%", box(-10, -5, 209, 104), 10, 10, 5, 5},
        // 12.5% of 200 is 25: 12.5 a side, rounded up; of 100, 6.25 -> 7.
        {"12.5%", box(-13, -7, 212, 106), 13, 13, 7, 7},
        // Each side its own: 16 left, nothing right, 9 below, nothing above
        // (EXR lines run down, so the bottom margin grows the last line).
        {"16,0,9,0", box(-16, 0, 199, 108), 16, 0, 9, 0},
        {"1,2,3,4", box(-1, -4, 201, 102), 1, 2, 3, 4},
    };
    for (const auto& c : cases) {
        const CommandResult r = run_stmap({"render", "--size", "200x100", "--set", "k1=0.03", "--overscan",
                                           c.request, "-o", dir.file("map.exr"), "--print-controls"});
        ASSERT_EQ(r.status, 0) << c.request << ": " << r.err;
        const ExrMap map = read_exr_map(dir.file("map.exr"));
        EXPECT_EQ(map.display_window, box(0, 0, 199, 99)) << c.request;
        EXPECT_EQ(map.data_window, c.data) << c.request;
        EXPECT_EQ(map.attribute<Imf::IntAttribute>("talvik/overscan/left")->value(), c.left) << c.request;
        EXPECT_EQ(map.attribute<Imf::IntAttribute>("talvik/overscan/right")->value(), c.right) << c.request;
        EXPECT_EQ(map.attribute<Imf::IntAttribute>("talvik/overscan/bottom")->value(), c.bottom) << c.request;
        EXPECT_EQ(map.attribute<Imf::IntAttribute>("talvik/overscan/top")->value(), c.top) << c.request;
        const std::string cg = "render CG at " + std::to_string(200 + c.left + c.right) + "x" +
                               std::to_string(100 + c.bottom + c.top);
        EXPECT_NE(r.err.find(cg), std::string::npos) << r.err;
        EXPECT_EQ(r.out.rfind("{\"format_version\": 1, \"overscan\": {\"left\": " + std::to_string(c.left), 0), 0u) << r.out;
    }
    // Without --overscan the map says nothing of it.
    ASSERT_EQ(run_stmap({"render", "--size", "20x10", "-o", dir.file("plain.exr"), "--quiet"}).status, 0);
    EXPECT_EQ(read_exr_map(dir.file("plain.exr")).attribute<Imf::IntAttribute>("talvik/overscan/left"), nullptr);
}

TEST(Overscan, WithAPlateTheBoxIsTheUnionOfDataWindowAndGrownFormat) {
    test::ScratchFolder dir;
    write_plate(dir.file("plate.exr"), box(0, 0, 159, 89), box(-30, 2, 170, 89));
    const CommandResult r = run_stmap({"render", "--plate", dir.file("plate.exr"), "--overscan", "4", "--mode",
                                       "distort", "--set", "k1=-0.08", "--set", "fx=1400", "-o",
                                       dir.file("map.exr"), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    const ExrMap map = read_exr_map(dir.file("map.exr"));
    EXPECT_EQ(map.data_window, box(-30, -4, 170, 93));
    expect_map_equals_rows(map, lens_of(0, -0.08f, 0.0f, 0.0f, 1400.0f));
}

struct Extent {
    double left = 0, right = 0, bottom = 0, top = 0;  // pixels beyond the format, 0 when none
};

// Every pixel of the Undistort map over a width x height format, by brute
// force: how far beyond the format its positions reach.
void scan_undistort(const LensModel& distort_lens, int width, int height, Extent& e) {
    LensModel lens = distort_lens;
    lens.mode = 1;
    std::vector<float> s(static_cast<size_t>(width)), t(s.size());
    for (int y = 0; y < height; ++y) {
        st_map_row_scalar(lens, frame_size_from(width, height), y, 0, width, s.data(), t.data());
        for (int x = 0; x < width; ++x) {
            if (s[x] == 0.0f && t[x] == 0.0f) continue;  // no position
            const double px = static_cast<double>(s[x]) * width, py = static_cast<double>(t[x]) * height;
            e.left = std::max(e.left, -px);
            e.right = std::max(e.right, px - width);
            e.bottom = std::max(e.bottom, -py);
            e.top = std::max(e.top, py - height);
        }
    }
}

int json_int(const std::string& text, const std::string& key) {
    std::smatch m;
    if (!std::regex_search(text, m, std::regex("\"" + key + "\": (-?[0-9]+)"))) {
        ADD_FAILURE() << "no " << key << " in " << text;
        return -1;
    }
    return std::stoi(m[1]);
}

// No smaller than the extent and at most one pixel more.
void expect_margins_hold(const std::string& out, const Extent& e) {
    const std::pair<const char*, double> sides[] = {
        {"left", e.left}, {"right", e.right}, {"bottom", e.bottom}, {"top", e.top}};
    for (const auto& [side, extent] : sides) {
        const int margin = json_int(out, side);
        EXPECT_GE(margin, extent) << side;
        EXPECT_LT(margin, extent + 1.0) << side;
    }
}

TEST(Overscan, AutoHoldsTheUndistortedPlateOnBarrelAndPincushionLenses) {
    test::ScratchFolder dir;
    const struct {
        const char* k1;
        const char* cx;
        bool grows;
    } lenses[] = {{"-0.08", "15", true}, {"0.06", "-40", true}, {"-0.3", "0", true}};
    for (const auto& l : lenses) {
        // Distort mode: the margins come from the Undistort map all the same.
        const CommandResult r = run_stmap({"render", "--size", "320x180", "--mode", "distort", "--set",
                                           std::string("k1=") + l.k1, "--set", std::string("cx=") + l.cx,
                                           "--set", "fx=1300", "--overscan", "auto", "--print-controls",
                                           "-o", dir.file("map.exr")});
        ASSERT_EQ(r.status, 0) << r.err;
        Extent e;
        const LensModel lens = lens_of(0, std::stof(l.k1), 0.0f, std::stof(l.cx), 1300.0f);
        scan_undistort(lens, 320, 180, e);
        SCOPED_TRACE(l.k1);
        expect_margins_hold(r.out, e);
        EXPECT_EQ(e.left + e.right + e.top + e.bottom > 0.5, l.grows) << "the case tests what it says";

        const ExrMap map = read_exr_map(dir.file("map.exr"));
        const int left = json_int(r.out, "left"), bottom = json_int(r.out, "bottom");
        EXPECT_EQ(map.data_window.min, Imath::V2i(-left, -json_int(r.out, "top")));
        EXPECT_EQ(map.data_window.max, Imath::V2i(319 + json_int(r.out, "right"), 179 + bottom));
        EXPECT_EQ(json_int(r.out, "width"), map.data_window.max.x - map.data_window.min.x + 1);
        EXPECT_EQ(map.attribute<Imf::IntAttribute>("talvik/overscan/left")->value(), left);
        EXPECT_EQ(map.attribute<Imf::IntAttribute>("talvik/overscan/bottom")->value(), bottom);
        // The measure leaves the node's own mode alone.
        EXPECT_NE(r.out.find("\"Mode\": \"Distort\""), std::string::npos) << r.out;
        expect_map_equals_rows(map, lens);
    }
}

TEST(Overscan, AutoCoversEveryFrameRendered) {
    test::ScratchFolder dir;
    const CommandResult r = run_stmap({"render", "--size", "96x54", "--fbx",
                                       fbx::testing::fixture("blender_take.fbx"), "--camera", "2", "--mode",
                                       "undistort", "--overscan", "auto", "--print-controls", "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::map<int, LensModel> keyed = keyed_lenses(fbx::testing::fixture("blender_take.csv"), '2');
    ASSERT_EQ(keyed.size(), 10u);
    Extent all;
    int frames_growing_it = 0;
    for (auto [frame, lens] : keyed) {
        lens.normalize();
        const Extent before = all;
        scan_undistort(lens, 96, 54, all);
        if (all.left != before.left || all.right != before.right || all.top != before.top ||
            all.bottom != before.bottom)
            ++frames_growing_it;
    }
    expect_margins_hold(r.out, all);
    EXPECT_GT(frames_growing_it, 1) << "the take's widest frame is not its first";
}

TEST(Overscan, BoxesTooLargeAreRefusedByName) {
    test::ScratchFolder dir;
    CommandResult r = run_stmap({"render", "--size", "60000x100", "--overscan", "5000", "-o", dir.file("m.exr")});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("70000x10100"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--overscan 5000"), std::string::npos) << r.err;

    write_plate(dir.file("plate.exr"), box(0, 0, 99, 99), box(-100000, 0, 100000, 99));
    r = run_stmap({"render", "--plate", dir.file("plate.exr"), "-o", dir.file("m.exr")});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("data window of plate"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("m.exr")));

    r = run_stmap({"render", "--size", "10x10", "--overscan", "ten", "-o", dir.file("m.exr")});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("--overscan \"ten\""), std::string::npos) << r.err;
}

}  // namespace
}  // namespace talvik::test
