// The reload's Python runs the standard library and the host's modules only:
// nothing from the working folder, PYTHON* variables, a user site or a
// python3 earlier on PATH reaches it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "run_command.h"
#include "tests/support/exr_map.h"
#include "tests/support/fixture_util.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

namespace fs = std::filesystem;

// Modules the reload imports, or Python imports while starting, or runs on
// its own when it finds them: each leaves a marker and ends the process.
const char* const kTrapModules[] = {"re", "os", "json", "traceback", "codecs", "io", "abc", "site",
                                    "sitecustomize", "usercustomize", "nuke", "nukescripts"};

void plant_traps(const std::string& folder, const std::string& markers) {
    fs::create_directories(folder);
    for (const char* module : kTrapModules) {
        test::write_bytes(folder + "/" + module + ".py",
                          "open(" + std::string("'") + markers + "/" + module + "', 'w').write('ran')\n"
                          "raise SystemExit(0)\n");
    }
    // A package shadowing the codecs Python loads before anything else.
    fs::create_directories(folder + "/encodings");
    test::write_bytes(folder + "/encodings/__init__.py",
                      "open('" + markers + "/encodings', 'w').write('ran')\nraise SystemExit(0)\n");
}

// Camera 2's fx at frame 1003 as Blender keyed it (the fixture's CSV).
float keyed_fx_1003() {
    for (const auto& row : fbx::testing::read_keyed_frames(fbx::testing::fixture("blender_take.csv")))
        if (row.model == "BP_TalvikLensFxAndOverscanFactor2" && row.frame == 1003) return static_cast<float>(row.xyz[0]);
    ADD_FAILURE() << "no fx key at frame 1003 in the fixture";
    return 0.0f;
}

TEST(EmbeddedPython, ReloadIgnoresModulesAndSettingsOutsideTheStandardLibrary) {
    test::ScratchFolder dir;
    const std::string markers = dir.file("markers");
    fs::create_directory(markers);
    const std::string work = dir.file("work"), path_dir = dir.file("pythonpath"), home = dir.file("home");
    plant_traps(work, markers);
    plant_traps(path_dir, markers);
    plant_traps(home + "/.local/lib/python3.11/site-packages", markers);
    // A python3 first on PATH with a library of traps beside it, where a
    // Python that looks for its own library along PATH would take it.
    const std::string fake = dir.file("fake");
    fs::create_directories(fake + "/bin");
    test::write_bytes(fake + "/bin/python3", "#!/bin/sh\nexit 0\n");
    chmod((fake + "/bin/python3").c_str(), 0755);
    plant_traps(fake + "/lib/python3.11", markers);
    test::write_bytes(dir.file("startup.py"), "open('" + markers + "/startup', 'w').write('ran')\n");

    // Each case alone: only the first runs among the working folder's traps.
    const std::string clean = dir.file("clean");
    fs::create_directory(clean);
    struct Case {
        const char* what;
        std::vector<std::string> environment;
    };
    const std::vector<Case> cases = {
        {"modules in the working folder", {}},
        {"PYTHONPATH", {"PYTHONPATH=" + path_dir + ":" + work}},
        {"PYTHONSTARTUP and PYTHONINSPECT", {"PYTHONSTARTUP=" + dir.file("startup.py"), "PYTHONINSPECT=1"}},
        {"PYTHONHOME of garbage", {"PYTHONHOME=" + dir.file("no/such/home")}},
        {"a user site in HOME", {"HOME=" + home, "PYTHONUSERBASE=" + home + "/.local"}},
        {"PYTHONSAFEPATH off, PYTHONMALLOC, PYTHONWARNINGS", {"PYTHONSAFEPATH=", "PYTHONMALLOC=no-such-allocator",
                                                              "PYTHONWARNINGS=error", "PYTHONDEVMODE=1"}},
        {"python3 first on PATH", {"PATH=" + fake + "/bin:" + std::string(getenv("PATH") ? getenv("PATH") : "")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProcessOptions options;
        options.working_folder = &c == &cases.front() ? work : clean;
        options.environment = c.environment;
        const std::string map = dir.file("m.exr");
        fs::remove(map);
        const CommandResult r = run_stmap({"render", "--size", "64x36", "--fbx", fbx::testing::fixture("blender_take.fbx"),
                                           "--camera", "2", "--frames", "1003", "-q", "-o", map},
                                          options);
        EXPECT_EQ(r.status, 0) << r.err;
        for (const auto& marker : fs::directory_iterator(markers)) {
            ADD_FAILURE() << marker.path() << " ran";
            fs::remove(marker.path());
        }
        if (!fs::exists(map)) continue;
        const ExrMap m = read_exr_map(map);
        const auto* fx = m.attribute<Imf::FloatAttribute>("talvik/fx");
        EXPECT_TRUE(fx && fx->value() == keyed_fx_1003()) << "the take was reloaded";
    }
}

}  // namespace
}  // namespace talvik::test
