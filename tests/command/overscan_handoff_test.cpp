// One shot, one overscan: `auto` measures over the whole shot so that every
// farm chunk gets the same margins, a report hands them on, and the CG
// camera numbers it gives render exactly the box around the format.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <utility>
#include <vector>

#include <ImfChannelList.h>
#include <ImfOutputFile.h>

#include "python_json.h"
#include "run_command.h"
#include "tests/support/exr_map.h"
#include "tests/support/fixture_util.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

namespace py = pybind11;

// The line of --print-controls that holds the overscan.
std::string overscan_line(const std::string& out) {
    const size_t at = out.find("{\"format_version\": 1, \"overscan\"");
    return at == std::string::npos ? "" : out.substr(at, out.find('\n', at) - at);
}

TEST(OverscanHandoff, EveryChunkOfAShotGetsTheWholeShotsMargins) {
    ScratchFolder dir;
    const std::vector<std::string> shot = {"render", "--size", "96x54", "--fbx",
                                           fbx::testing::fixture("blender_take.fbx"), "--camera", "2", "--mode",
                                           "undistort", "--overscan", "auto", "--quiet"};
    auto run = [&](std::vector<std::string> more) {
        std::vector<std::string> args = shot;
        args.insert(args.end(), more.begin(), more.end());
        return run_stmap(args);
    };
    const CommandResult whole = run({"--print-controls"});
    ASSERT_EQ(whole.status, 0) << whole.err;
    const std::string margins = overscan_line(whole.out);
    ASSERT_FALSE(margins.empty()) << whole.out;
    // The take's widest frame is neither its first nor its last (see
    // Overscan.AutoCoversEveryFrameRendered): each chunk alone measures less.
    for (const char* chunk : {"1", "10", "1-3", "2000"}) {
        const CommandResult r = run({"--frames", chunk, "--print-controls"});
        ASSERT_EQ(r.status, 0) << chunk << ": " << r.err;
        EXPECT_EQ(overscan_line(r.out), margins) << "chunk " << chunk;
    }

    // Measured once, handed to every chunk.
    CommandResult r = run_stmap({"overscan", "--size", "96x54", "--fbx", fbx::testing::fixture("blender_take.fbx"),
                                 "--camera", "2", "-o", dir.file("shot.json"), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run_stmap({"render", "--size", "96x54", "--fbx", fbx::testing::fixture("blender_take.fbx"), "--camera", "2",
                   "--frames", "1", "--overscan-from", dir.file("shot.json"), "-o", dir.file("m.####.exr"),
                   "--print-controls", "--overscan-report", dir.file("again.json"), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(overscan_line(r.out), margins);
    const py::object report = parse_json(read_bytes(dir.file("shot.json")));
    const py::object again = parse_json(read_bytes(dir.file("again.json")));
    EXPECT_TRUE(report["overscan"].equal(again["overscan"]));
    const ExrMap map = read_exr_map(dir.file("m.0001.exr"));
    EXPECT_EQ(map.data_window.min.x, -report["overscan"]["left"].cast<int>());
    EXPECT_EQ(map.data_window.max.x, 95 + report["overscan"]["right"].cast<int>());
}

TEST(OverscanHandoff, ReportsThatDoNotFitAreRefusedByName) {
    ScratchFolder dir;
    ASSERT_EQ(run_stmap({"render", "--size", "40x20", "--overscan", "3,1,2,0", "-o", dir.file("m.exr"),
                         "--overscan-report", dir.file("r.json"), "--quiet"})
                  .status,
              0);
    write_bytes(dir.file("bad.json"), "{\"format\": {\"width\": 40}, \"overscan\": {}}");
    write_bytes(dir.file("text.json"), "left 3, right 1");
    write_bytes(dir.file("big.json"), std::string(17 << 20, ' '));
    // A key given twice, a CG size that is not the format plus the margins,
    // a report that does not say what it was measured on (an older one).
    const std::string report = read_bytes(dir.file("r.json"));
    auto edited = [&](const std::string& from, const std::string& to) {
        std::string text = report;
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    write_bytes(dir.file("twice.json"), edited("\"left\": 3,", "\"left\": 3, \"left\": 500,"));
    write_bytes(dir.file("width.json"), edited("\"width\": 44", "\"width\": 2000"));
    write_bytes(dir.file("height.json"), edited("\"height\": 22", "\"height\": 20"));
    write_bytes(dir.file("old.json"),
                "{\"format\": {\"width\": 40, \"height\": 20}, \"request\": \"3,1,2,0\", \"frames\": [], "
                "\"overscan\": {\"left\": 3, \"right\": 1, \"bottom\": 2, \"top\": 0, \"width\": 44, \"height\": 22}}");
    write_bytes(dir.file("negative.json"),
                "{\"format\": {\"width\": 40, \"height\": 20}, \"overscan\": {\"left\": -1, \"right\": 0, "
                "\"bottom\": 0, \"top\": 0}}");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"--size", "40x21", "--overscan-from", dir.file("r.json")}, 1, "the format (40x20 in the report, 40x21 here)"},
        {{"--size", "40x20", "--overscan-from", dir.file("bad.json")}, 1, "has no whole number \"height\""},
        {{"--size", "40x20", "--overscan-from", dir.file("negative.json")}, 1, "\"left\" -1 is out of range"},
        {{"--size", "40x20", "--overscan-from", dir.file("missing.json")}, 1, "missing.json: cannot read"},
        {{"--size", "40x20", "--overscan-from", dir.file("text.json")}, 1, "is not an overscan report"},
        {{"--size", "40x20", "--overscan-from", dir.file("r.json"), "--overscan", "2"}, 2, "give one"},
        {{"--size", "40x20", "--overscan-report", dir.file("x.json")}, 2, "give --overscan too"},
        // Read as a file would be: a device never ends, a FIFO would block.
        {{"--size", "40x20", "--overscan-from", "/dev/zero"}, 1, "is a character device, not a regular file"},
        {{"--size", "40x20", "--overscan-from", dir.file("big.json")}, 1, "is larger than an overscan report"},
        {{"--size", "40x20", "--overscan-from", dir.file("twice.json")}, 1, "gives \"overscan.left\" twice"},
        {{"--size", "40x20", "--overscan-from", dir.file("width.json")}, 1,
         "\"width\" 2000 is not the format's 40 plus the margins 3 and 1 (44)"},
        {{"--size", "40x20", "--overscan-from", dir.file("height.json")}, 1,
         "\"height\" 20 is not the format's 20 plus the margins 2 and 0 (22)"},
        {{"--size", "40x20", "--overscan-from", dir.file("old.json")}, 1,
         "does not say what it was measured on (a report of an older talvik-stmap)"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"render", "-o", dir.file("out.exr")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CommandResult r = run_stmap(args);
        EXPECT_EQ(r.status, c.status) << c.message << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.exr")));
    EXPECT_NE(run_stmap({"overscan", "--size", "40x20"}).err.find("give -o"), std::string::npos);
}

// A report says what it was measured on: handed to a shot with another
// take, camera, format, pixel aspect or lens model it is refused, naming
// what differs; the same take reached by another path is the same take.
TEST(OverscanHandoff, ReportsAreTiedToTheShotTheyWereMeasuredOn) {
    ScratchFolder dir;
    const std::string take = fbx::testing::fixture("blender_take.fbx");
    std::filesystem::create_directory(dir.file("elsewhere"));
    std::filesystem::copy_file(take, dir.file("elsewhere/copy.fbx"));
    CommandResult r = run_stmap({"overscan", "--size", "96x54", "--fbx", take, "--camera", "2", "-o",
                                 dir.file("r.json"), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto render = [&](const std::string& with_take, const std::string& camera, const std::string& report) {
        return run_stmap({"render", "--size", "96x54", "--fbx", with_take, "--camera", camera, "--frames", "1001",
                          "--overscan-from", report, "--print-controls", "--quiet"});
    };
    r = render(dir.file("elsewhere/copy.fbx"), "2", dir.file("r.json"));
    EXPECT_EQ(r.status, 0) << "the same bytes by another path: " << r.err;
    EXPECT_NE(r.out.find("\"overscan\""), std::string::npos) << r.out;

    const struct {
        const char* what;
        std::string take, camera;
        const char* message;
    } refused[] = {
        {"another take", std::string(TALVIK_SAMPLE_DIR) + "/sample_take.fbx", "2", "the take's content ("},
        {"another camera", take, "1", "the camera (2 in the report, 1 here)"},
    };
    for (const auto& c : refused) {
        r = render(c.take, c.camera, dir.file("r.json"));
        EXPECT_EQ(r.status, 1) << c.what << ": " << r.err;
        EXPECT_NE(r.err.find("was measured on another shot: " + std::string(c.message)), std::string::npos) << r.err;
    }
    // Another take written over the copy's path is another take.
    std::filesystem::copy_file(std::string(TALVIK_SAMPLE_DIR) + "/sample_take.fbx", dir.file("elsewhere/copy.fbx"),
                               std::filesystem::copy_options::overwrite_existing);
    r = render(dir.file("elsewhere/copy.fbx"), "2", dir.file("r.json"));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("the take's content ("), std::string::npos) << r.err;

    // The report edited as a later plug-in would have measured it.
    py::object edited = parse_json(read_bytes(dir.file("r.json")));  // starts Python
    const py::module_ json = py::module_::import("json");
    edited["measured_on"]["lens_model"] = 999;
    write_bytes(dir.file("model.json"), json.attr("dumps")(edited).cast<std::string>());
    r = render(take, "2", dir.file("model.json"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the lens model (999 in the report, "), std::string::npos) << r.err;

    // Plates of one size but another pixel shape.
    for (const auto& [name, aspect] : {std::pair<const char*, float>{"square.exr", 1.0f}, {"wide.exr", 2.0f}}) {
        Imf::Header header(96, 54, aspect);
        header.channels().insert("R", Imf::Channel(Imf::HALF));
        Imf::OutputFile file(dir.file(name).c_str(), header);
        std::vector<uint16_t> pixels(96 * 54, 0);
        Imf::FrameBuffer fb;
        fb.insert("R", Imf::Slice(Imf::HALF, reinterpret_cast<char*>(pixels.data()), 2, 2 * 96));
        file.setFrameBuffer(fb);
        file.writePixels(54);
    }
    r = run_stmap({"overscan", "--plate", dir.file("square.exr"), "--fbx", take, "--camera", "2", "-o",
                   dir.file("square.json"), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run_stmap({"render", "--plate", dir.file("wide.exr"), "--fbx", take, "--camera", "2", "--frames", "1001",
                   "--overscan-from", dir.file("square.json"), "--print-controls", "--quiet"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the pixel aspect (1 in the report, 2 here)"), std::string::npos) << r.err;
}

// A pinhole camera in double precision: the plate camera (focal length f,
// aperture A across, square pixels: the default lens on a 16:9 format) puts a direction (X/Z, Y/Z) at a
// format pixel; the CG camera built from the report's numbers must put it
// at that pixel plus the left and bottom margins of the larger render.
TEST(OverscanHandoff, CgCameraRendersTheFormatAtItsPlaceInTheBox) {
    const struct {
        int left, right, bottom, top;
    } cases[] = {{16, 0, 9, 0}, {0, 0, 0, 0}, {5, 11, 3, 7}, {100, 0, 0, 40}, {0, 64, 32, 0}};
    const double width = 192, height = 108, focal = 35.0, aperture = 36.0;
    const double v_aperture = aperture * height / width;
    for (const auto& c : cases) {
        ScratchFolder dir;
        const std::string margins = std::to_string(c.left) + "," + std::to_string(c.right) + "," +
                                    std::to_string(c.bottom) + "," + std::to_string(c.top);
        const CommandResult r = run_stmap({"render", "--size", "192x108", "--overscan", margins, "-o",
                                           dir.file("m.exr"), "--overscan-report", dir.file("r.json"), "--quiet"});
        ASSERT_EQ(r.status, 0) << r.err;
        const py::object report = parse_json(read_bytes(dir.file("r.json")));
        const double cg_w = report["overscan"]["width"].cast<double>();
        const double cg_h = report["overscan"]["height"].cast<double>();
        EXPECT_EQ(cg_w, width + c.left + c.right) << margins;
        EXPECT_EQ(cg_h, height + c.bottom + c.top) << margins;
        const py::object nuke = report["nuke_camera"];
        const py::object film = report["film_back"];
        const double h_aperture = aperture * nuke["haperture_scale"].cast<double>();
        const double tx = nuke["win_translate"][py::int_(0)].cast<double>();
        const double ty = nuke["win_translate"][py::int_(1)].cast<double>();
        const double sx = nuke["win_scale"][py::int_(0)].cast<double>();
        const double sy = nuke["win_scale"][py::int_(1)].cast<double>();
        const double film_w = aperture * film["width_scale"].cast<double>();
        const double film_h = v_aperture * film["height_scale"].cast<double>();
        const double offset_x = aperture * film["offset_x"].cast<double>();
        const double offset_y = v_aperture * film["offset_y"].cast<double>();
        EXPECT_DOUBLE_EQ(v_aperture * nuke["vaperture_scale"].cast<double>(), film_h);
        for (const auto& [x, y] : {std::pair{0.0, 0.0}, {width, 0.0}, {0.0, height}, {width, height}, {37.5, 81.25}}) {
            // The direction the plate camera sees at format pixel (x, y), y up.
            const double dx = (x / width - 0.5) * aperture / focal;
            const double dy = (y / height - 0.5) * v_aperture / focal;
            // Nuke: screen window in halves of the render's width, moved by
            // win_translate and divided by win_scale.
            const double u = (2.0 * focal / h_aperture * dx - tx) / sx;
            const double v = (2.0 * focal / h_aperture * dy - ty) / sy;
            EXPECT_NEAR((u + 1.0) * cg_w / 2.0, x + c.left, 1e-9) << margins << " at " << x << "," << y;
            // win_scale holds fx/fy of the single-precision lens: 1 within a float.
            EXPECT_NEAR((v * cg_w / cg_h + 1.0) * cg_h / 2.0, y + c.bottom, 1e-5) << margins << " at " << x << "," << y;
            // Film back: the image of the direction on the film, against the
            // larger, shifted film back.
            const double fx = focal * dx, fy = focal * dy;
            EXPECT_NEAR(((fx - offset_x) / film_w + 0.5) * cg_w, x + c.left, 1e-9) << margins;
            EXPECT_NEAR(((fy - offset_y) / film_h + 0.5) * cg_h, y + c.bottom, 1e-9) << margins;
        }
    }
}

}  // namespace
}  // namespace talvik::test
