// A shot submitted to a real Slurm cluster (one node on 127.0.0.1, started
// by the SlurmCluster fixture): the chunks equal one render bit for bit,
// verify names what a crash or a hand took away, a resubmit renders just
// that, a task cancelled while it writes leaves no temporary, and a job
// that cannot run is refused before anything runs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "python_json.h"
#include "run_command.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

namespace py = pybind11;
namespace fs = std::filesystem;
const std::string kTake = std::string(TALVIK_SAMPLE_DIR) + "/sample_take.fbx";  // keyed 1001-1024

// `document` against docs/schemas/KIND.schema.json, by Debian's
// python3-jsonschema; a document that does not hold raises.
void validate(const py::object& document, const std::string& kind) {
    const py::module_ jsonschema = py::module_::import("jsonschema");
    jsonschema.attr("validate")(document, parse_json(read_bytes(std::string(TALVIK_SCHEMA_DIR) + "/" + kind + ".schema.json")),
                                py::arg("cls") = jsonschema.attr("Draft202012Validator"));
}

class SlurmCluster : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SLURM_CONF", TALVIK_SLURM_CONF, 1);
        const CommandResult up = run_program({"sinfo", "-h", "-o", "%t"});
        ASSERT_EQ(up.status, 0) << "the test cluster does not answer (tools/slurm-cluster.sh start): " << up.err;
    }
    // Nothing of this test keeps running after it, whatever it left.
    void TearDown() override {
        for (const std::string& id : submitted_) run_program({"scancel", id});
    }

    // submit slurm with `args`, its JSON read back; the jobs are cancelled
    // at the end of the test.
    py::object submit(std::vector<std::string> args, int expected_status = 0) {
        args.insert(args.begin(), {"submit", "slurm"});
        args.push_back("--json");
        last_ = run_stmap(args);
        EXPECT_EQ(last_.status, expected_status) << last_.out << last_.err;
        if (last_.status != 0) return py::none();
        const py::object job = parse_json(last_.out.substr(0, last_.out.rfind('}') + 1));
        validate(job, "submitted-job");
        for (const py::handle j : job["jobs"]) submitted_.push_back(j["id"].cast<std::string>());
        return job;
    }

    // scontrol's JobState of a job (the first task's for an array).
    static std::string state(const std::string& id) {
        const CommandResult r = run_program({"scontrol", "show", "job", "--oneliner", id});
        const std::smatch m = [&] {
            std::smatch found;
            std::regex_search(r.out, found, std::regex("JobState=([A-Z_]+)"));
            return found;
        }();
        return m.empty() ? "" : m[1].str();
    }

    static void wait_until_ended(const std::string& id, double seconds) {
        const std::set<std::string> ended = {"COMPLETED", "FAILED", "CANCELLED", "TIMEOUT", "NODE_FAIL"};
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!ended.count(state(id))) {
            ASSERT_LT(std::chrono::steady_clock::now(), end) << "job " << id << " still " << state(id);
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
    }

    CommandResult last_;
    std::vector<std::string> submitted_;
};

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

std::vector<std::string> temporaries(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().find(".talvik-tmp-") != std::string::npos)
            found.push_back(e.path().filename().string());
    return found;
}

TEST_F(SlurmCluster, ChunksEqualOneRenderAndAResubmitFinishesWhatWasLost) {
    ScratchFolder dir;
    const std::vector<std::string> shot = {"--size", "96x54", "--fbx", kTake, "--camera", "2", "--frames",
                                           "1001-1024", "--mode", "undistort", "--overscan", "auto"};
    // Names a shell, a batch script or sbatch's --output would misread.
    const std::string out = dir.file("100% sh010 $(touch pwned) `touch pwned` \"q\" it's");
    const std::string stem = "m $(touch pwned)";
    const std::vector<std::string> outputs = {"-o", out + "/" + stem + ".####.exr", "--preview", out + "/p.####.png"};
    const py::object job = submit(with(with(shot, outputs), {"--chunk", "5", "--threads", "1", "--wait"}));
    ASSERT_FALSE(job.is_none());
    const py::list jobs = job["jobs"];
    ASSERT_EQ(py::len(jobs), 3u);
    EXPECT_EQ(jobs[1]["step"].cast<std::string>(), "render");
    EXPECT_EQ(jobs[1]["tasks"].cast<int>(), 5);
    EXPECT_NE(last_.err.find("verify: all 24 frames hold"), std::string::npos) << last_.err;

    // One process over the whole shot: the same bytes, maps and previews.
    CommandResult r = run_stmap(with(with({"render"}, shot), {"-o", dir.file("one/m.####.exr"), "--preview",
                                                              dir.file("one/p.####.png"), "--quiet"}));
    ASSERT_EQ(r.status, 0) << r.err;
    for (int frame = 1001; frame <= 1024; ++frame) {
        const std::string f = std::to_string(frame);
        EXPECT_EQ(read_bytes(out + "/" + stem + "." + f + ".exr"), read_bytes(dir.file("one/m." + f + ".exr"))) << frame;
        EXPECT_EQ(read_bytes(out + "/p." + f + ".png"), read_bytes(dir.file("one/p." + f + ".png"))) << frame;
    }
    // Each task's log follows its frames in the farm's progress pattern.
    std::set<int> progressed;
    const std::regex progress(R"(talvik-stmap: (\d+)% \((\d+)/(\d+)\) frame (-?\d+))");
    for (const auto& log : fs::directory_iterator(out + "/" + stem + ".job/logs")) {
        const std::string text = read_bytes(log.path().string());
        for (auto it = std::sregex_iterator(text.begin(), text.end(), progress); it != std::sregex_iterator(); ++it)
            progressed.insert(std::stoi((*it)[4]));
    }
    EXPECT_EQ(progressed.size(), 24u);

    // A map cut short by a crash and one deleted: verify names both, alone.
    const std::vector<std::string> verify = with(with({"verify"}, shot), outputs);
    r = run_stmap(with(verify, {"--quiet"}));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const std::string map1007 = out + "/" + stem + ".1007.exr", map1019 = out + "/" + stem + ".1019.exr";
    const std::string cut = read_bytes(map1007);
    write_bytes(map1007, cut.substr(0, cut.size() * 6 / 10));
    fs::remove(map1019);
    r = run_stmap(with(verify, {"--quiet"}));
    EXPECT_EQ(r.status, 1);
    const std::string first_line = r.out.substr(0, r.out.find('\n') + 1);
    EXPECT_EQ(first_line.rfind("frame 1007: " + map1007 + " is incomplete: cut short: ", 0), 0u) << r.out;
    EXPECT_EQ(r.out.substr(first_line.size()), "frame 1019: " + map1019 + " is missing\n") << r.out;

    // The same command again, the take reached by another path: only those
    // two are rendered, every other frame of every chunk is kept.
    fs::create_directories(dir.file("mapped/takes"));
    fs::copy_file(kTake, dir.file("mapped/takes/sh010.fbx"));
    std::vector<std::string> again = shot;
    again[3] = dir.file("mapped/takes/sh010.fbx");
    ASSERT_FALSE(submit(with(with(again, outputs), {"--chunk", "5", "--threads", "1", "--wait", "--quiet"})).is_none());
    std::set<std::string> rendered_again;
    int kept = 0;
    for (const auto& chunk : fs::directory_iterator(out + "/" + stem + ".job/chunks")) {
        const py::object manifest = parse_json(read_bytes(chunk.path().string()));
        validate(manifest, "render-manifest");
        EXPECT_EQ(py::len(manifest["earlier_runs"]), 1u) << chunk.path();
        for (const py::handle f : manifest["files"]) rendered_again.insert(f["path"].cast<std::string>());
        kept += manifest["frames_kept"].cast<int>();
    }
    EXPECT_EQ(rendered_again, (std::set<std::string>{map1007, map1019}));
    EXPECT_EQ(kept, 22);
    const py::object shot_manifest = parse_json(read_bytes(out + "/" + stem + ".job/shot.json"));
    validate(shot_manifest, "shot-manifest");
    EXPECT_TRUE(shot_manifest["complete"].cast<bool>());
    // No word of a name ran as a command.
    for (const fs::path& where : {fs::path(dir.path()), fs::path(out), fs::current_path()})
        EXPECT_FALSE(fs::exists(where / "pwned")) << where;
}

// Both maps of a shot in one job: one measurement, an array per map, one
// verify; every task's log where --json says, headed and timed.
TEST_F(SlurmCluster, BothMapsFromOneMeasurementWithLogsAWranglerCanRead) {
    ScratchFolder dir;
    const std::string maps = dir.file("sh010/stmap");
    const py::object job = submit({"--size", "64x36", "--fbx", kTake, "--camera", "2", "--frames", "1001-1006",
                                   "--overscan", "auto", "--remove-map", maps + "/rm.####.exr", "--add-map",
                                   maps + "/am.####.exr", "--chunk", "3", "--wait", "--sbatch-arg=--comment=every",
                                   "--render-sbatch-arg=--comment=render", "--verify-sbatch-arg=--comment=verify"});
    ASSERT_FALSE(job.is_none());
    for (int frame = 1001; frame <= 1006; ++frame)
        for (const char* map : {"/rm.", "/am."})
            EXPECT_TRUE(fs::exists(maps + map + std::to_string(frame) + ".exr")) << map << frame;
    std::vector<std::string> steps;
    std::string logs;
    const std::regex stamp(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ talvik-stmap: \d+% )");
    const std::regex header(R"(^talvik-stmap task log\n  time: +\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ\n  host: +\S+\n)"
                            R"(  version: +\S+\n  arguments: \S+/talvik-stmap (overscan|render|verify) )");
    for (const py::handle j : job["jobs"]) {
        steps.push_back(j["step"].cast<std::string>());
        // Each step's own arguments after every step's.
        const std::string kind = steps.back().substr(0, steps.back().find('-'));
        const CommandResult shown = run_program({"scontrol", "show", "job", j["id"].cast<std::string>()});
        EXPECT_NE(shown.out.find("Comment=" + (kind == "overscan" ? std::string("every") : kind)), std::string::npos)
            << shown.out;
        for (const py::handle log : j["logs"]) {
            const std::string text = read_bytes(log.cast<std::string>());
            EXPECT_TRUE(std::regex_search(text, header)) << text;
            std::istringstream lines(text);
            for (std::string line; std::getline(lines, line);)
                if (line.find("talvik-stmap: ") != std::string::npos) {
                    EXPECT_TRUE(std::regex_search(line, stamp)) << line;
                }
            logs += text;
        }
    }
    EXPECT_EQ(steps, (std::vector<std::string>{"overscan", "render-rm", "render-am", "verify"}));
    // Measured once over the shot's 24 keyed frames; each map verified once.
    const auto count = [&logs](const std::string& what) {
        size_t n = 0;
        for (size_t at = logs.find(what); at != std::string::npos; at = logs.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("measured 24 frames"), 1u) << logs;
    EXPECT_EQ(count("verify: all 6 frames hold"), 2u) << logs;
}

TEST_F(SlurmCluster, ATaskCancelledWhileItWritesLeavesNoTemporary) {
    ScratchFolder dir;
    // Frames large enough that a task spends its time writing them.
    const std::vector<std::string> args = {"--size", "4096x2160", "--fbx", kTake, "--camera", "2", "--frames",
                                           "1001-1008", "-o", dir.file("m.####.exr"), "--chunk", "4", "--threads",
                                           "1", "--quiet"};
    const py::object job = submit(args);
    ASSERT_FALSE(job.is_none());
    const std::string render = job["jobs"][py::int_(0)]["id"].cast<std::string>();
    const std::string verify = job["jobs"][py::int_(1)]["id"].cast<std::string>();

    // The first temporary seen names the frame, so the chunk, being written.
    std::vector<std::string> writing;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((writing = temporaries(dir.path())).empty()) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no task started writing";
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const int frame = std::stoi(writing.front().substr(std::string(".m.").size(), 4));
    const std::string task = render + "_" + std::to_string((frame - 1001) / 4);
    ASSERT_EQ(run_program({"scancel", task}).status, 0);
    wait_until_ended(verify, 120);
    EXPECT_EQ(state(task), "CANCELLED");
    EXPECT_EQ(state(verify), "FAILED") << "the shot lacks the cancelled chunk's frames";
    EXPECT_EQ(temporaries(dir.path()), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(dir.file("m." + std::to_string(frame) + ".exr")));

    const py::object again = submit(with(args, {"--wait"}));
    EXPECT_FALSE(again.is_none());
    for (int f = 1001; f <= 1008; ++f) EXPECT_TRUE(fs::exists(dir.file("m." + std::to_string(f) + ".exr"))) << f;
    EXPECT_EQ(temporaries(dir.path()), std::vector<std::string>{});
}

TEST_F(SlurmCluster, JobsThatCannotRunAreRefusedBeforeAnythingRuns) {
    ScratchFolder dir;
    // Another take's overscan report: refused by name, nothing submitted.
    CommandResult r = run_stmap({"overscan", "--size", "96x54", "--fbx", std::string(TALVIK_FBX_FIXTURES) + "/blender_take.fbx",
                                 "--camera", "2", "-o", dir.file("other.json"), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    submit({"--size", "96x54", "--fbx", kTake, "--camera", "2", "--overscan-from", dir.file("other.json"), "-o",
            dir.file("a/m.####.exr"), "--chunk", "5", "--quiet"},
           1);
    EXPECT_NE(last_.err.find("was measured on another shot: the take's content ("), std::string::npos) << last_.err;
    EXPECT_FALSE(fs::exists(dir.file("a/m.job/logs")));

    // A render array larger than the cluster's MaxArraySize (1001 here):
    // refused before anything is submitted.
    submit({"--size", "16x9", "--frames", "1-1002", "-o", dir.file("b/m.####.exr"), "--chunk", "1", "--quiet"}, 2);
    EXPECT_NE(last_.err.find("1002 tasks (--chunk 1), more than this cluster's MaxArraySize of 1001 takes in one job "
                             "array: give --chunk 2 or more"),
              std::string::npos)
        << last_.err;
    EXPECT_FALSE(fs::exists(dir.file("b")));

    // sbatch (a stand-in before the real one) refuses the render array: the
    // overscan job it held is cancelled before it ran, and what sbatch said
    // is shown line by line.
    const CommandResult real = run_program({"sh", "-c", "command -v sbatch"});
    fs::create_directory(dir.file("bin"));
    write_bytes(dir.file("bin/sbatch"), "#!/bin/sh\ncase \"$*\" in *--array=*) printf 'sbatch: error: one\\nsbatch: "
                                        "error: two\\n' >&2; exit 1 ;; esac\nexec " +
                                            real.out.substr(0, real.out.find('\n')) + " \"$@\"\n");
    fs::permissions(dir.file("bin/sbatch"), fs::perms::owner_all);
    const std::string path = std::getenv("PATH");
    setenv("PATH", (dir.file("bin") + ":" + path).c_str(), 1);
    submit({"--size", "16x9", "--frames", "1-4", "--overscan", "auto", "-o", dir.file("b/m.####.exr"), "--chunk", "2",
            "--quiet"},
           1);
    setenv("PATH", path.c_str(), 1);
    const std::smatch held = [&] {
        std::smatch m;
        std::regex_search(last_.err, m, std::regex("^talvik-stmap: sbatch refused the render step \\(exit 1\\):\n"
                                                   "  sbatch: error: one\n  sbatch: error: two\n"
                                                   "talvik-stmap: cancelled the jobs submitted \\(held, none had "
                                                   "started\\): (\\d+) \\(overscan\\)\n$"));
        return m;
    }();
    ASSERT_FALSE(held.empty()) << last_.err;
    EXPECT_EQ(state(held[1].str()), "CANCELLED");
    EXPECT_FALSE(fs::exists(dir.file("b/m.job/overscan.json")));
}

}  // namespace
}  // namespace talvik::test
