// The undistorted camera the `camera` command gives, against the map it
// describes: a pinhole built in double precision from the JSON's numbers
// must put every direction where the remove-distortion map (Mode Distort)
// holds the plate position the lens gives that direction, on every frame
// of a zooming take, with and without overscan, on 16:9 and other formats.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "python_json.h"
#include "run_command.h"
#include "tests/support/exr_map.h"
#include "tests/support/lens_take_writer.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

namespace py = pybind11;

// The take's lens, panel units of the 1920 x 1080 reference frame.
struct PanelValues {
    double cx, cy, fx, fy, k1, k2;
};

constexpr int kFirst = 1001, kLast = 1005;

// A zoom: the focal lengths grow frame by frame, anamorphic (fy its own),
// the distortion and the principal point drift with them.
PanelValues zoom_at(int frame) {
    const int i = frame - kFirst;
    return {14.0 - 3.0 * i, -9.0 + 2.0 * i, 1400.0 + 60.0 * i, (1400.0 + 60.0 * i) * 0.985, -0.04 - 0.01 * i,
            0.008};
}

std::string zoom_take() {
    ChannelKeys cx, cy, fx, fy, k1, k2, anamorphic;
    for (int f = kFirst; f <= kLast; ++f) {
        const PanelValues p = zoom_at(f);
        const std::pair<ChannelKeys*, double> keys[] = {{&cx, p.cx}, {&cy, p.cy}, {&fx, p.fx}, {&fy, p.fy},
                                                        {&k1, p.k1}, {&k2, p.k2}, {&anamorphic, 1.0}};
        for (const auto& [channel, value] : keys) {
            channel->frames.push_back(f);
            channel->values.push_back(static_cast<float>(value));
        }
    }
    return write_temp_file("zoom_cam1.fbx", ascii_take({{"BP_TalvikLensCxCyFOV1", {{0, cx}, {2, cy}}},
                                                         {"BP_TalvikLensK1K2FD1", {{0, k1}, {2, k2}}},
                                                         {"BP_TalvikLensFxAndOverscanFactor1", {{0, fx}, {1, anamorphic}}},
                                                         {"BP_TalvikLensEPDFy1", {{0, fy}}}}));
}

// Where the lens puts direction (X, Y) on the plate, normalized (0 to 1
// over the plate, up from the bottom): the radial model in double from the
// panel values. The edge fit uses the reference half-width, 960, for both.
std::pair<double, double> plate_position(const PanelValues& p, double x, double y) {
    const auto edge_fitted = [&](double focal) {
        const double r = 960.0 / focal;
        return focal / (1.0 + p.k1 * r * r + p.k2 * r * r * r * r);
    };
    const double r2 = x * x + y * y;
    const double f = 1.0 + p.k1 * r2 + p.k2 * r2 * r2;
    return {x * f * edge_fitted(p.fx) / 1920.0 + p.cx / 1920.0 + 0.5,
            y * f * edge_fitted(p.fy) / 1080.0 - p.cy / 1080.0 + 0.5};
}

// The map read as a function of continuous pixel coordinates of the format
// (x from its left edge, y up from its bottom line): bilinear between pixel
// centres, in plate pixels.
class MapFunction {
public:
    explicit MapFunction(const ExrMap& map) : map_(map) {
        width_ = map.display_window.max.x - map.display_window.min.x + 1;
        height_ = map.display_window.max.y - map.display_window.min.y + 1;
    }

    bool at(double x, double y, double& s, double& t) const {
        const int i = static_cast<int>(std::floor(x - 0.5)), j = static_cast<int>(std::floor(y - 0.5));
        if (!map_.has_host_pixel(i, j) || !map_.has_host_pixel(i + 1, j + 1)) return false;
        const double a = x - 0.5 - i, b = y - 0.5 - j;
        const auto mix = [&](float (ExrMap::*plane)(int, int) const) {
            return (1 - b) * ((1 - a) * (map_.*plane)(i, j) + a * (map_.*plane)(i + 1, j)) +
                   b * ((1 - a) * (map_.*plane)(i, j + 1) + a * (map_.*plane)(i + 1, j + 1));
        };
        s = mix(&ExrMap::s_host) * width_;
        t = mix(&ExrMap::t_host) * height_;
        return true;
    }

    // The map's inverse: the point of the format whose value is (s, t), by
    // Newton from the format's centre. False when it leaves the map.
    bool inverse(double s, double t, double& x, double& y) const {
        x = width_ / 2.0;
        y = height_ / 2.0;
        for (int pass = 0; pass < 60; ++pass) {
            double s0, t0, sx, tx, sy, ty;
            const double h = 0.25;
            if (!at(x, y, s0, t0) || !at(x + h, y, sx, tx) || !at(x, y + h, sy, ty)) return false;
            const double ds = s - s0, dt = t - t0;
            if (std::abs(ds) < 1e-9 && std::abs(dt) < 1e-9) return true;
            const double a = (sx - s0) / h, b = (sy - s0) / h, c = (tx - t0) / h, d = (ty - t0) / h;
            const double det = a * d - b * c;
            x += (d * ds - b * dt) / det;
            y += (a * dt - c * ds) / det;
        }
        return false;
    }

private:
    const ExrMap& map_;
    int width_ = 0, height_ = 0;
};

struct Shot {
    int width, height;
    std::vector<std::string> overscan;  // extra options
};

TEST(UndistortedCamera, PinholeFromTheJsonLandsWhereTheDistortMapInverts) {
    const std::string take = zoom_take();
    const Shot shots[] = {{320, 180, {}},
                          {320, 180, {"--overscan", "24,16,10,30"}},
                          {300, 250, {}},
                          {300, 250, {"--overscan", "10,20,18,8"}}};
    for (const Shot& shot : shots) {
        ScratchFolder dir;
        const std::string size = std::to_string(shot.width) + "x" + std::to_string(shot.height);
        SCOPED_TRACE(size + (shot.overscan.empty() ? "" : " overscan " + shot.overscan[1]));
        std::vector<std::string> common = {"--size", size, "--fbx", take, "--quiet"};
        common.insert(common.end(), shot.overscan.begin(), shot.overscan.end());
        std::vector<std::string> render = {"render", "--mode", "distort", "-o", dir.file("rd.####.exr")};
        if (!shot.overscan.empty()) render.insert(render.end(), {"--overscan-report", dir.file("report.json")});
        std::vector<std::string> camera = {"camera", "--film-back", "36x24", "-o", dir.file("camera.json")};
        render.insert(render.end(), common.begin(), common.end());
        camera.insert(camera.end(), common.begin(), common.end());
        CommandResult r = run_stmap(render);
        ASSERT_EQ(r.status, 0) << r.err;
        r = run_stmap(camera);
        ASSERT_EQ(r.status, 0) << r.err;
        const py::object json = parse_json(read_bytes(dir.file("camera.json")));
        const py::list frames = json["undistorted_camera"];
        ASSERT_EQ(py::len(frames), static_cast<size_t>(kLast - kFirst + 1));
        const double render_w = json["overscan"]["width"].cast<double>();
        const double render_h = json["overscan"]["height"].cast<double>();
        // The overscan report's whole-shot camera: the plate camera's
        // apertures grown by its scales, with its window, at its frame.
        py::object whole = py::none();
        if (!shot.overscan.empty()) whole = parse_json(read_bytes(dir.file("report.json")))["nuke_camera"];
        if (!whole.is_none()) EXPECT_EQ(whole["frame"].cast<int>(), kFirst);

        for (const py::handle entry : frames) {
            const int frame = entry["frame"].cast<int>();
            SCOPED_TRACE(frame);
            const ExrMap map = read_exr_map(dir.file("rd." + std::to_string(frame) + ".exr"));
            // The render's pixels from the map's own data window: the format
            // sits left and bottom margins in.
            const int left = -map.data_window.min.x;
            const int bottom = map.data_window.max.y - map.display_window.max.y;
            const MapFunction inverse(map);
            const PanelValues lens = zoom_at(frame);
            const auto number = [&](const char* key) { return entry[key].cast<double>(); };
            const py::object nuke = entry["nuke_camera"];
            const auto pair = [&](const char* key, int i) { return nuke[key][py::int_(i)].cast<double>(); };

            // Directions across the format, and past its edges into the
            // overscan when there is one.
            const double span = shot.overscan.empty() ? 0.45 : 0.52;
            int checked = 0;
            for (int a = -4; a <= 4; ++a) {
                for (int b = -4; b <= 4; ++b) {
                    const double dir_x = span * a / 4.0 * 1920.0 / lens.fx;
                    const double dir_y = span * b / 4.0 * 1080.0 / lens.fy;
                    const auto [u, v] = plate_position(lens, dir_x, dir_y);
                    double x, y;
                    ASSERT_TRUE(inverse.inverse(u * shot.width, v * shot.height, x, y)) << a << "," << b;
                    ++checked;
                    // Pixels of the format.
                    EXPECT_NEAR(number("cx") + number("fx") * dir_x, x, 2e-3) << a << "," << b;
                    EXPECT_NEAR(number("cy") + number("fy") * dir_y, y, 2e-3) << a << "," << b;
                    // Pixels of the render.
                    EXPECT_NEAR(number("render_cx") + number("fx") * dir_x, x + left, 2e-3);
                    EXPECT_NEAR(number("render_cy") + number("fy") * dir_y, y + bottom, 2e-3);
                    // Millimetres: the film back over the format.
                    const double focal = number("focal");
                    EXPECT_NEAR(shot.width / 2.0 + focal * dir_x * shot.width / number("haperture"), x, 2e-3);
                    EXPECT_NEAR(shot.height / 2.0 + focal * dir_y * shot.height / number("vaperture"), y, 2e-3);
                    // Nuke: both axes in halves of the render's width from
                    // the horizontal aperture, then (p - translate) / scale.
                    const double scale = 2.0 * nuke["focal"].cast<double>() / nuke["haperture"].cast<double>();
                    const double wx = (scale * dir_x - pair("win_translate", 0)) / pair("win_scale", 0);
                    const double wy = (scale * dir_y - pair("win_translate", 1)) / pair("win_scale", 1);
                    EXPECT_NEAR((wx + 1.0) * render_w / 2.0, x + left, 2e-3);
                    EXPECT_NEAR(render_h / 2.0 + wy * render_w / 2.0, y + bottom, 2e-3);
                    if (frame != kFirst || whole.is_none()) continue;
                    const auto item = [&](const char* key, int i) { return whole[key][py::int_(i)].cast<double>(); };
                    const double whole_scale = 2.0 * focal / (36.0 * whole["haperture_scale"].cast<double>());
                    const double whole_x = (whole_scale * dir_x - item("win_translate", 0)) / item("win_scale", 0);
                    const double whole_y = (whole_scale * dir_y - item("win_translate", 1)) / item("win_scale", 1);
                    EXPECT_NEAR((whole_x + 1.0) * render_w / 2.0, x + left, 2e-3);
                    EXPECT_NEAR(render_h / 2.0 + whole_y * render_w / 2.0, y + bottom, 2e-3);
                }
            }
            EXPECT_EQ(checked, 81);
            // The aperture over the render is the format's grown with it.
            EXPECT_NEAR(nuke["haperture"].cast<double>(), 36.0 * render_w / shot.width, 1e-9);
            EXPECT_NEAR(nuke["vaperture"].cast<double>(), number("vaperture") * render_h / shot.height, 1e-9);
        }
    }
}

TEST(UndistortedCamera, TheFrameIsNotSquareUnlessTheLensIs) {
    // The sample: anamorphic with fx 1518.4 and fy 1508.38 on a 1920 x 1080
    // plate, so the undistorted frame's pixels are not square.
    ScratchFolder dir;
    const CommandResult r =
        run_stmap({"camera", "--plate", std::string(TALVIK_SAMPLE_DIR) + "/plate.exr", "--fbx",
                   std::string(TALVIK_SAMPLE_DIR) + "/sample_take.fbx", "--frames", "1001", "-o",
                   dir.file("camera.json"), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    const py::object first = parse_json(read_bytes(dir.file("camera.json")))["undistorted_camera"][py::int_(0)];
    EXPECT_NEAR(first["fx"].cast<double>(), 1518.4, 1e-3);
    EXPECT_NEAR(first["fy"].cast<double>(), 1508.3785, 1e-3);
    EXPECT_NEAR(first["nuke_camera"]["win_scale"][py::int_(1)].cast<double>(), 1518.4 / 1508.3785, 1e-6);
    // No film back given: no millimetres.
    EXPECT_FALSE(py::bool_(first.attr("__contains__")("focal")));
}

TEST(UndistortedCamera, RefusesWhatItCannotDescribe) {
    ScratchFolder dir;
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"camera", "--fbx", "x.fbx", "-o", dir.file("c.json")}, "give --plate or --size"},
        {{"camera", "--size", "64x36"}, "give -o"},
        {{"camera", "--size", "64x36", "--film-back", "36", "-o", dir.file("c.json")}, "WIDTHxHEIGHT"},
        {{"camera", "--size", "64x36", "--film-back", "36x0", "-o", dir.file("c.json")}, "out of range"},
        // 0 once a float knob holds it.
        {{"camera", "--size", "64x36", "--haperture", "1e-300", "-o", dir.file("c.json")}, "--haperture 1e-300 is out"},
        {{"camera", "--size", "64x36", "--film-back", "0.09x24", "-o", dir.file("c.json")}, "width 0.09 is out"},
        {{"camera", "--size", "64x36", "--haperture", "nan", "-o", dir.file("c.json")}, "takes millimetres"},
        {{"camera", "--size", "64x36", "--haperture", "36", "--film-back", "36x24", "-o", dir.file("c.json")},
         "give one"},
        {{"camera", "--size", "64x36", "--mode", "distort", "-o", dir.file("c.json")}, "unknown option"},
    };
    for (const auto& c : cases) {
        const CommandResult r = run_stmap(c.args);
        EXPECT_EQ(r.status, 2) << c.message << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_TRUE(dir.entries().empty());
}

}  // namespace
}  // namespace talvik::test
