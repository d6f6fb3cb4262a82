// A map on disk is the map the run says it is: values set on the command
// line hold over a take's keys, a re-run keeps only maps made from the same
// values, warnings reach stderr and the manifest whatever --quiet says and
// fail the run with --strict, and maps name the command that made them.
#include <gtest/gtest.h>

#include <ImfOutputFile.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "lens/lens_model_version.h"
#include "python_json.h"
#include "run_command.h"
#include "tests/support/crafted_plate.h"
#include "tests/support/exr_map.h"
#include "tests/support/fixture_util.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

namespace py = pybind11;
const std::string kTake = std::string(TALVIK_SAMPLE_DIR) + "/sample_take.fbx";  // keyed 1001-1024

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(TrustedMaps, SetOnAnimatedControlHoldsOverTheTakesKeys) {
    const std::vector<std::string> base = {"render", "--size", "16x9", "--fbx", kTake, "--camera", "2",
                                           "--frames", "1001 1024", "--print-controls", "--quiet"};
    const CommandResult plain = run_stmap(base);
    ASSERT_EQ(plain.status, 0) << plain.err;
    const CommandResult set = run_stmap(with(base, {"--set", "k1=0.3", "--set", "cx=5", "--set", "k2=0.01"}));
    ASSERT_EQ(set.status, 0) << set.err;
    std::vector<std::string> plain_lines, set_lines;
    for (const CommandResult* r : {&plain, &set}) {
        size_t start = 0;
        for (size_t end; (end = r->out.find('\n', start)) != std::string::npos; start = end + 1)
            (r == &plain ? plain_lines : set_lines).push_back(r->out.substr(start, end - start));
    }
    ASSERT_EQ(set_lines.size(), 2u) << set.out;
    for (size_t i = 0; i < set_lines.size(); ++i) {
        const py::object values = parse_json(set_lines[i]);
        const py::object take = parse_json(plain_lines[i]);
        EXPECT_EQ(values["k1"].cast<float>(), 0.3f) << set_lines[i];
        EXPECT_EQ(values["cx"].cast<float>(), 5.0f) << set_lines[i];
        EXPECT_EQ(values["k2"].cast<float>(), 0.01f) << set_lines[i];
        // What was not set still follows the take.
        EXPECT_EQ(values["fx"].cast<float>(), take["fx"].cast<float>());
    }
    ASSERT_NE(parse_json(plain_lines[0])["fx"].cast<float>(), 0.0f);
    // Named, even with --quiet.
    EXPECT_NE(set.err.find("warning: --set k1, cx, k2 replace the take's keys"), std::string::npos) << set.err;

    // camera_index is read by the reload, so a value set on it acts before it.
    const CommandResult camera1 = run_stmap({"render", "--size", "16x9", "--fbx", kTake, "--camera", "1",
                                             "--frames", "1001", "--print-controls", "--quiet"});
    const CommandResult set1 = run_stmap({"render", "--size", "16x9", "--fbx", kTake, "--set", "camera_index=1",
                                          "--frames", "1001", "--print-controls", "--quiet"});
    ASSERT_EQ(set1.status, 0) << set1.err;
    EXPECT_EQ(set1.out, camera1.out);
    EXPECT_EQ(set1.err.find("replace"), std::string::npos) << set1.err;
}

// A map as another build would have written it: the same pixels and
// header, with another lens model's version (none: an older build's map).
void rewrite_lens_model(const std::string& path, std::optional<int> model) {
    const ExrMap map = read_exr_map(path);
    Imf::Header header(map.display_window, map.data_window);
    for (auto it = map.header.begin(); it != map.header.end(); ++it)
        if (std::string(it.name()) != "talvik/lensModel") header.insert(it.name(), it.attribute());
    if (model) header.insert("talvik/lensModel", Imf::IntAttribute(*model));
    std::vector<float> s = map.file_s, t = map.file_t;
    const Imath::Box2i dw = map.data_window;
    const ptrdiff_t origin = static_cast<ptrdiff_t>(dw.min.x) + static_cast<ptrdiff_t>(dw.min.y) * map.width;
    Imf::FrameBuffer fb;
    const size_t xs = sizeof(float), ys = xs * map.width;
    fb.insert("R", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(s.data() - origin), xs, ys));
    fb.insert("G", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(t.data() - origin), xs, ys));
    Imf::OutputFile file(path.c_str(), header);
    file.setFrameBuffer(fb);
    file.writePixels(map.height);
}

bool has_lens_model(const std::string& path) {
    return read_exr_map(path).attribute<Imf::IntAttribute>("talvik/lensModel") != nullptr;
}

// A re-run with --skip-existing keeps a frame only when its files say they
// were made from what this run would make.
TEST(TrustedMaps, SkipExistingKeepsOnlyMapsMadeFromTheSameValues) {
    const struct {
        const char* what;
        std::vector<std::string> rerun;  // options of the re-run besides the first run's
        const char* size;                // the re-run's --size
        bool kept;
    } cases[] = {
        {"the same values", {}, "16x9", true},
        {"a lens fixed with --set", {"--set", "k1=0.2"}, "16x9", false},
        {"another Mode", {"--mode", "undistort"}, "16x9", false},
        {"another format", {}, "20x9", false},
        {"an overscan", {"--overscan", "2"}, "16x9", false},
    };
    for (const auto& c : cases) {
        ScratchFolder dir;
        const std::vector<std::string> common = {"render", "--fbx", kTake, "--camera", "2", "--frames", "1001-1002",
                                                 "-o", dir.file("m.####.exr"), "--preview", dir.file("p.####.png"),
                                                 "--quiet"};
        CommandResult r = run_stmap(with(common, {"--size", "16x9"}));
        ASSERT_EQ(r.status, 0) << r.err;
        r = run_stmap(with(with(common, {"--size", c.size, "--skip-existing", "--manifest", dir.file("run.json")}),
                           c.rerun));
        ASSERT_EQ(r.status, 0) << c.what << ": " << r.err;
        const py::object manifest = parse_json(read_bytes(dir.file("run.json")));
        EXPECT_EQ(manifest["frames_kept"].cast<int>(), c.kept ? 2 : 0) << c.what;
        EXPECT_EQ(manifest["frames_stale"].cast<int>(), c.kept ? 0 : 2) << c.what;
        EXPECT_EQ(py::len(manifest["stale"]), c.kept ? 0u : 4u) << c.what << ": maps and previews";
        EXPECT_EQ(py::len(manifest["skipped"]), c.kept ? 4u : 0u) << c.what;
        const ExrMap map = read_exr_map(dir.file("m.1002.exr"));
        EXPECT_EQ(map.display_window.max.x + 1, c.size == std::string("20x9") ? 20 : 16) << c.what;
        if (!c.rerun.empty() && c.rerun[0] == std::string("--set")) {
            EXPECT_EQ(map.attribute<Imf::FloatAttribute>("talvik/k1")->value(), 0.2f) << c.what;
        }
    }
}

// A control's value, as --set takes it.
struct ControlSetting {
    std::string name, value;
};

std::vector<std::string> set_options(const std::vector<ControlSetting>& settings) {
    std::vector<std::string> options;
    for (const ControlSetting& c : settings) options.insert(options.end(), {"--set", c.name + "=" + c.value});
    return options;
}

// The float after `text`'s, as text that reads back as that float.
std::string next_float(const std::string& text) {
    char next[32];
    std::snprintf(next, sizeof next, "%.9g", std::nextafter(std::stof(text), HUGE_VALF));
    return next;
}

// Every control is part of what a map is made from, as are the format, the
// box and the lens model: a re-run with --skip-existing renders the map
// again after any one of them changed, a number by a single float ulp, and
// keeps it when nothing did.
TEST(TrustedMaps, SkipExistingRendersAgainAfterAnyOneChange) {
    struct Control {
        ControlSetting first;
        std::string changed;  // empty: the next float
    };
    // Numbers away from 0, so that an ulp is a small change.
    const std::vector<Control> controls = {
        {{"Mode", "Undistort"}, "Distort"},
        {{"fbx_file_path", ""}, "/nowhere/take.fbx"},
        {{"camera_index", "0"}, "1"},
        {{"cx", "3.25"}, ""},
        {{"cy", "-1.5"}, ""},
        {{"fx", "1500"}, ""},
        {{"fy", "1400"}, ""},
        {{"anamorphic", "1"}, "0"},
        {{"k1", "-0.05"}, ""},
        {{"k2", "0.01"}, ""},
        {{"show advanced", "0"}, "1"},
        {{"lens1", "BP_TalvikLensCxCyFOV"}, "BP_TalvikLensCxCyFOW"},
        {{"lens2", "BP_TalvikLensK1K2FD"}, "BP_TalvikLensK1K2FE"},
        {{"lens3", "BP_TalvikLensFxAndOverscanFactor"}, "BP_TalvikLensFxAndOverscanFactos"},
        {{"lens4", "BP_TalvikLensEPDFy"}, "BP_TalvikLensEPDFz"},
    };
    std::vector<ControlSetting> settings;
    for (const Control& c : controls) settings.push_back(c.first);
    const std::vector<std::string> run = with({"render", "--quiet"}, set_options(settings));
    ScratchFolder first;
    ASSERT_EQ(run_stmap(with(run, {"--size", "16x9", "-o", first.file("m.exr")})).status, 0);

    // The table holds every control the node has.
    const CommandResult printed = run_stmap(with(run, {"--size", "16x9", "--print-controls"}));
    ASSERT_EQ(printed.status, 0) << printed.err;
    std::vector<std::string> names;
    for (const auto& item : parse_json(printed.out)) {
        if (item.cast<std::string>() != "frame" && item.cast<std::string>() != "format_version") names.push_back(item.cast<std::string>());
    }
    ASSERT_EQ(names.size(), controls.size()) << printed.out;
    for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(names[i], controls[i].first.name);

    struct Case {
        std::string what;
        std::vector<std::string> rerun;  // options of the re-run besides the first run's
        bool kept;
        std::optional<int> lens_model;        // the map's, rewritten before the re-run
        std::optional<ControlSetting> number;  // a number control the re-run sets
    };
    std::vector<Case> cases = {
        {"nothing changed", {"--size", "16x9"}, true, std::nullopt, std::nullopt},
        {"another format", {"--size", "16x10"}, false, std::nullopt, std::nullopt},
        {"another box", {"--size", "16x9", "--overscan", "1"}, false, std::nullopt, std::nullopt},
        {"another compression", {"--size", "16x9", "--compression", "piz"}, false, std::nullopt, std::nullopt},
        {"another lens model", {"--size", "16x9"}, false, kLensModelVersion - 1, std::nullopt},
    };
    for (const Control& c : controls) {
        const bool number = c.changed.empty();
        const ControlSetting changed{c.first.name, number ? next_float(c.first.value) : c.changed};
        // The take's path is provenance: alone, with no take reloaded, it
        // makes no other map.
        const bool kept = c.first.name == "fbx_file_path";
        cases.push_back({c.first.name + " " + c.first.value + " -> " + changed.value,
                         with({"--size", "16x9"}, set_options({changed})), kept, std::nullopt,
                         number ? std::optional<ControlSetting>(changed) : std::nullopt});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder dir;
        std::filesystem::copy_file(first.file("m.exr"), dir.file("m.exr"));
        if (c.lens_model) rewrite_lens_model(dir.file("m.exr"), c.lens_model);
        const CommandResult r = run_stmap(
            with(with(run, c.rerun), {"-o", dir.file("m.exr"), "--skip-existing", "--manifest", dir.file("run.json")}));
        ASSERT_EQ(r.status, 0) << r.err;
        const py::object manifest = parse_json(read_bytes(dir.file("run.json")));
        EXPECT_EQ(manifest["frames_kept"].cast<int>(), c.kept ? 1 : 0);
        EXPECT_EQ(manifest["frames_stale"].cast<int>(), c.kept ? 0 : 1);
        if (c.number) {
            // The change reached the map: one ulp, not lost to rounding.
            const ExrMap map = read_exr_map(dir.file("m.exr"));
            const auto* held = map.attribute<Imf::FloatAttribute>("talvik/" + c.number->name);
            ASSERT_NE(held, nullptr);
            EXPECT_EQ(held->value(), std::stof(c.number->value));
        }
    }
}

// Files that are no map at all, or a map of an older lens model, are not
// trusted either; the run names what it rendered again.
TEST(TrustedMaps, StaleMapsAreCountedAndNamed) {
    ScratchFolder dir;
    const std::vector<std::string> run = {"render", "--size", "16x9", "--fbx", kTake, "--camera", "2",
                                          "--frames", "1001-1004", "-o", dir.file("m.####.exr")};
    ASSERT_EQ(run_stmap(with(run, {"--quiet"})).status, 0);
    write_bytes(dir.file("m.1002.exr"), "finished earlier");
    rewrite_lens_model(dir.file("m.1003.exr"), std::nullopt);
    ASSERT_FALSE(has_lens_model(dir.file("m.1003.exr")));
    const CommandResult r = run_stmap(with(run, {"--skip-existing"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("skipped 2 frames whose files exist from the same values"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("rendered 2 frames again whose files were incomplete or made from other values: " +
                         dir.file("m.1002.exr") + ", " + dir.file("m.1003.exr")),
              std::string::npos)
        << r.err;
    EXPECT_EQ(read_exr_map(dir.file("m.1002.exr")).width, 16);
    EXPECT_TRUE(has_lens_model(dir.file("m.1003.exr")));
}

// Maps of a shot whose overscan moved are stale, and verify names the
// margins that moved rather than a data window.
TEST(TrustedMaps, VerifyNamesMarginsThatMoved) {
    ScratchFolder dir;
    const std::vector<std::string> shot = {"--size", "16x9", "--fbx", kTake, "--camera", "2", "--frames", "1001",
                                           "-o", dir.file("m.####.exr")};
    ASSERT_EQ(run_stmap(with(with({"render"}, shot), {"--quiet"})).status, 0);
    const CommandResult wider = run_stmap(with(with({"verify"}, shot), {"--overscan", "1"}));
    EXPECT_EQ(wider.status, 1);
    EXPECT_NE(wider.out.find("the overscan margins changed from none to left 1, right 1, bottom 1, top 1"),
              std::string::npos)
        << wider.out;
}

// Maps say which lens model rendered them: the loaded plug-in's own. A
// plug-in that does not say (older than the report) marks its maps 0, is
// named in a warning, and such maps are never kept by a re-run.
TEST(TrustedMaps, MapsCarryTheLoadedPluginsLensModel) {
    const struct {
        const char* plugin_dir;  // nullptr: the build's own plug-in
        int model;
        bool kept;
    } cases[] = {
        {nullptr, kLensModelVersion, true},
        {TALVIK_SILENT_PLUGIN_DIR, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plugin_dir ? c.plugin_dir : "own plug-in");
        ScratchFolder dir;
        std::vector<std::string> run = {"render", "--size", "16x9", "--frames", "1-2", "-o", dir.file("m.####.exr")};
        if (c.plugin_dir) run = with(run, {"--plugin-path", c.plugin_dir});
        const CommandResult version =
            run_stmap(c.plugin_dir ? std::vector<std::string>{"--version", "--plugin-path", c.plugin_dir}
                                   : std::vector<std::string>{"--version"});
        EXPECT_NE(version.out.find("\nlens model " + std::to_string(c.model) + "\n"), std::string::npos)
            << version.out;
        CommandResult r = run_stmap(with(run, {"--quiet"}));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(read_exr_map(dir.file("m.0002.exr")).attribute<Imf::IntAttribute>("talvik/lensModel")->value(),
                  c.model);
        const bool warned = r.err.find("does not say which lens model it renders") != std::string::npos;
        EXPECT_EQ(warned, c.model == 0) << r.err;
        if (c.model == 0) {
            EXPECT_NE(r.err.find(std::string(TALVIK_SILENT_PLUGIN_DIR) + "/TalvikDistort.so"), std::string::npos)
                << r.err;
        }
        r = run_stmap(with(run, {"--skip-existing", "--manifest", dir.file("run.json")}));
        ASSERT_EQ(r.status, 0) << r.err;
        const py::object manifest = parse_json(read_bytes(dir.file("run.json")));
        EXPECT_EQ(manifest["frames_kept"].cast<int>(), c.kept ? 2 : 0);
        EXPECT_EQ(manifest["frames_stale"].cast<int>(), c.kept ? 0 : 2);
        EXPECT_EQ(manifest["lens_model"].cast<int>(), c.model);
    }
    ScratchFolder strict_dir;
    const CommandResult strict = run_stmap({"render", "--size", "16x9", "--plugin-path", TALVIK_SILENT_PLUGIN_DIR,
                                            "-o", strict_dir.file("m.exr"), "--quiet", "--strict"});
    EXPECT_EQ(strict.status, 1) << strict.err;
    EXPECT_TRUE(strict_dir.entries().empty()) << "nothing is rendered";
}

TEST(TrustedMaps, WarningsReachStderrWithQuietAndFailWithStrict) {
    const struct {
        const char* what;
        std::vector<std::string> args;
        const char* warning;
    } cases[] = {
        {"held frames", {"--size", "16x9", "--fbx", kTake, "--camera", "1", "--frames", "1-3"},
         "frames 1-3 are outside the take's keyed range 1001-1024"},
        {"default size", {}, "size 4320 x 2160: the node's default"},
        {"overridden control", {"--size", "16x9", "--fbx", kTake, "--camera", "1", "--frames", "1001",
                                "--set", "k1=0.1"},
         "--set k1 replaces the take's keys"},
    };
    for (const auto& c : cases) {
        ScratchFolder dir;
        const std::vector<std::string> run =
            with(with({"render"}, c.args), {"-o", dir.file("m.####.exr"), "--manifest", dir.file("run.json")});
        CommandResult r = run_stmap(with(run, {"--quiet"}));
        ASSERT_EQ(r.status, 0) << c.what << ": " << r.err;
        EXPECT_NE(r.err.find(std::string("warning: ") + c.warning), std::string::npos) << c.what << ": " << r.err;
        EXPECT_EQ(r.err.find("wrote"), std::string::npos) << "--quiet drops the summary: " << r.err;
        const py::list warnings = parse_json(read_bytes(dir.file("run.json")))["warnings"];
        ASSERT_EQ(py::len(warnings), 1u) << c.what;
        EXPECT_NE(warnings[0].cast<std::string>().find(c.warning), std::string::npos) << c.what;

        ScratchFolder strict_dir;
        r = run_stmap(with(with({"render"}, c.args), {"-o", strict_dir.file("m.####.exr"), "--quiet", "--strict"}));
        EXPECT_EQ(r.status, 1) << c.what;
        EXPECT_NE(r.err.find(c.warning), std::string::npos) << c.what << ": " << r.err;
        EXPECT_TRUE(strict_dir.entries().empty()) << c.what << ": nothing is rendered";
    }
}

TEST(TrustedMaps, MapsNameTheCommandThatMadeThem) {
    ScratchFolder dir;
    CraftedPlate plate;
    plate.extra.insert("software", Imf::StringAttribute("OpenImageIO 2.4.7.1"));
    plate.extra.insert("owner", Imf::StringAttribute("plate dept"));
    write_plate(dir.file("plate.exr"), plate);
    const CommandResult r = run_stmap({"render", "--plate", dir.file("plate.exr"), "-o", dir.file("m.exr"), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    const ExrMap map = read_exr_map(dir.file("m.exr"));
    const std::string version = map.attribute<Imf::StringAttribute>("talvik/version")->value();
    EXPECT_EQ(map.attribute<Imf::StringAttribute>("software")->value(), "talvik-stmap " + version);
    EXPECT_EQ(map.attribute<Imf::StringAttribute>("owner")->value(), "plate dept");
}

TEST(TrustedMaps, ManifestRecordsWhereTheRunCameFrom) {
    ScratchFolder dir;
    CraftedPlate plate;
    for (int frame : {1001, 1002}) write_plate(dir.file("plate." + std::to_string(frame) + ".exr"), plate);
    const std::vector<std::string> args = {"render", "--plate", dir.file("plate.####.exr"), "--fbx", kTake,
                                           "--camera", "2", "--overscan", "3x1", "-o", dir.file("m.####.exr"),
                                           "--manifest", dir.file("run.json"), "--quiet"};
    const CommandResult r = run_stmap(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const py::object facts = parse_json(read_bytes(dir.file("run.json")))["provenance"];
    const py::list command_line = facts["command_line"];
    ASSERT_EQ(py::len(command_line), args.size() + 1);
    EXPECT_NE(command_line[0].cast<std::string>().find("talvik-stmap"), std::string::npos);
    for (size_t i = 0; i < args.size(); ++i) EXPECT_EQ(command_line[i + 1].cast<std::string>(), args[i]);
    EXPECT_EQ(facts["plate"]["given"].cast<std::string>(), dir.file("plate.####.exr"));
    const py::list files = facts["plate"]["files"];
    ASSERT_EQ(py::len(files), 2u);
    EXPECT_NE(files[1].cast<std::string>().find("plate.1002.exr"), std::string::npos);
    EXPECT_EQ(facts["take"].cast<std::string>(), kTake);
    EXPECT_EQ(facts["camera"]["number"].cast<int>(), 2);
    EXPECT_NE(facts["camera"]["reason"].cast<std::string>().find("camera 2"), std::string::npos);
    EXPECT_EQ(facts["overscan"]["left"].cast<int>(), 3);
    EXPECT_EQ(facts["overscan"]["top"].cast<int>(), 1);
    EXPECT_EQ(facts["version"].cast<std::string>(),
              read_exr_map(dir.file("m.1001.exr")).attribute<Imf::StringAttribute>("talvik/version")->value());
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    EXPECT_EQ(facts["host"].cast<std::string>(), host);
    const std::string started = facts["started"].cast<std::string>(), ended = facts["ended"].cast<std::string>();
    EXPECT_EQ(started.size(), 20u) << started;
    EXPECT_EQ(started.back(), 'Z');
    EXPECT_LE(started, ended);
}

}  // namespace
}  // namespace talvik::test
