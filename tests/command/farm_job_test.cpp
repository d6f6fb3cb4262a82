// A shot as a farm job without a farm: the plan's tasks, run one after the
// other as any scheduler would run them, make the maps one render makes;
// verify names every frame that does not hold and why; a retried chunk
// keeps what its earlier tries recorded.
#include <gtest/gtest.h>


#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "python_json.h"
#include "run_command.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/xxh3_hex.h"

namespace talvik::test {
namespace {

namespace py = pybind11;
namespace fs = std::filesystem;
const std::string kTake = std::string(TALVIK_SAMPLE_DIR) + "/sample_take.fbx";  // keyed 1001-1024

std::vector<std::string> strings(const py::handle& list) {
    std::vector<std::string> out;
    for (const py::handle item : list) out.push_back(item.cast<std::string>());
    return out;
}

// The task's argument vector without the program, which must be this one.
std::vector<std::string> task_args(const py::handle& task) {
    std::vector<std::string> argv = strings(task["argv"]);
    EXPECT_EQ(argv.front(), fs::canonical(TALVIK_STMAP).string());
    // The plan's values alone, whatever a farm machine's config file says.
    EXPECT_EQ(argv.back(), "--no-config");
    return {argv.begin() + 1, argv.end()};
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

TEST(FarmJob, PlanTasksRunInTurnMakeTheMapsOfOneRender) {
    ScratchFolder dir;
    // Names a shell would split or quote.
    const std::string shot = dir.file("sh 010/it's \"final\"");
    const std::vector<std::string> render = {"--size", "64x36", "--fbx", kTake, "--camera", "2", "--frames",
                                             "1001-1007", "--mode", "undistort", "--overscan", "auto"};
    std::vector<std::string> plan_args = {"plan"};
    plan_args.insert(plan_args.end(), render.begin(), render.end());
    for (const std::string& more : std::vector<std::string>{"-o", shot + "/m.####.exr", "--preview",
                                                            shot + "/p.####.png", "--chunk", "3", "--json", "--quiet"})
        plan_args.push_back(more);
    CommandResult r = run_stmap(plan_args);
    ASSERT_EQ(r.status, 0) << r.err;
    const py::object plan = parse_json(r.out);
    EXPECT_EQ(plan["name"].cast<std::string>(), "m");
    EXPECT_EQ(plan["job_folder"].cast<std::string>(), shot + "/m.job");
    const py::list steps = plan["steps"];
    ASSERT_EQ(py::len(steps), 3u);
    EXPECT_EQ(steps[0]["name"].cast<std::string>(), "overscan");
    EXPECT_EQ(py::len(steps[0]["after"]), 0u);
    EXPECT_EQ(steps[1]["after"][py::int_(0)]["step"].cast<std::string>(), "overscan");
    EXPECT_EQ(steps[1]["after"][py::int_(0)]["when"].cast<std::string>(), "succeeded");
    EXPECT_EQ(steps[2]["after"][py::int_(0)]["step"].cast<std::string>(), "render");
    EXPECT_EQ(steps[2]["after"][py::int_(0)]["when"].cast<std::string>(), "ended");
    const py::list chunks = steps[1]["tasks"];
    ASSERT_EQ(py::len(chunks), 3u);
    const char* frames[] = {"1001-1003", "1004-1006", "1007"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(chunks[i]["frames"].cast<std::string>(), frames[i]);
        // A farm's own chunking fills the template with the same words.
        const std::string first = std::to_string(chunks[i]["first"].cast<int>());
        const std::string last = std::to_string(chunks[i]["last"].cast<int>());
        std::vector<std::string> filled;
        for (const std::string& word : strings(steps[1]["argv_template"]))
            filled.push_back(replaced(replaced(word, "{first}", first), "{last}", last));
        EXPECT_EQ(filled, strings(chunks[i]["argv"])) << frames[i];
    }

    // Each step's tasks in turn, from another working folder than the plan's.
    const fs::path was = fs::current_path();
    fs::create_directory(dir.file("elsewhere"));
    fs::current_path(dir.file("elsewhere"));
    for (const py::handle step : steps)
        for (const py::handle task : step["tasks"]) {
            r = run_stmap(task_args(task));
            EXPECT_EQ(r.status, 0) << step["name"].cast<std::string>() << ": " << r.err;
        }
    fs::current_path(was);
    EXPECT_NE(r.out.find("verify: all 7 frames hold"), std::string::npos) << r.out;
    const py::object manifest = parse_json(read_bytes(shot + "/m.job/shot.json"));
    EXPECT_TRUE(manifest["complete"].cast<bool>());
    EXPECT_EQ(py::len(manifest["chunk_manifests"]), 3u);

    // One process over the whole shot makes the same bytes.
    std::vector<std::string> one = {"render"};
    one.insert(one.end(), render.begin(), render.end());
    for (const std::string& more : std::vector<std::string>{"-o", dir.file("one/m.####.exr"), "--preview",
                                                            dir.file("one/p.####.png"), "--quiet"})
        one.push_back(more);
    r = run_stmap(one);
    ASSERT_EQ(r.status, 0) << r.err;
    for (int frame = 1001; frame <= 1007; ++frame) {
        const std::string f = std::to_string(frame);
        EXPECT_EQ(read_bytes(shot + "/m." + f + ".exr"), read_bytes(dir.file("one/m." + f + ".exr"))) << frame;
        EXPECT_EQ(read_bytes(shot + "/p." + f + ".png"), read_bytes(dir.file("one/p." + f + ".png"))) << frame;
    }
}

TEST(FarmJob, FramesThatAreNoRunGetTasksOfTheirOwnFrames) {
    ScratchFolder dir;
    const CommandResult r = run_stmap({"plan", "--size", "16x9", "--frames", "1,3,5-6,9", "-o", dir.file("m.####.exr"),
                                       "--chunk", "2", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const py::object plan = parse_json(r.out);
    const py::list steps = plan["steps"];
    ASSERT_EQ(py::len(steps), 2u) << "no overscan to measure";
    EXPECT_TRUE(steps[0]["argv_template"].is_none());
    std::vector<std::string> frames;
    for (const py::handle task : steps[0]["tasks"]) {
        frames.push_back(task["frames"].cast<std::string>());
        const std::vector<std::string> argv = strings(task["argv"]);
        const auto at = std::find(argv.begin(), argv.end(), "--frames");
        ASSERT_NE(at, argv.end());
        EXPECT_EQ(*(at + 1), frames.back());
    }
    EXPECT_EQ(frames, (std::vector<std::string>{"1,3", "5-6", "9"}));
    EXPECT_EQ(strings(steps[1]["tasks"][py::int_(0)]["argv"])[1], "verify");
}

// Each file that does not hold is named with why: missing, cut short,
// made from another value (which one), a preview cut inside its pixels.
TEST(FarmJob, VerifyNamesEachFrameThatDoesNotHold) {
    ScratchFolder dir;
    const std::vector<std::string> shot = {"--size", "32x18", "--fbx", kTake, "--camera", "2", "--frames", "1001-1006",
                                           "-o", dir.file("m.####.exr"), "--preview", dir.file("p.####.png"), "--quiet"};
    auto with = [&](std::vector<std::string> head, const std::vector<std::string>& more) {
        head.insert(head.end(), shot.begin(), shot.end());
        head.insert(head.end(), more.begin(), more.end());
        return head;
    };
    CommandResult r = run_stmap(with({"render"}, {"--manifest", dir.file("m.job/chunks/frames-1001-1006.json")}));
    ASSERT_EQ(r.status, 0) << r.err;
    r = run_stmap(with({"verify"}, {}));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "") << "--quiet: nothing to say when every frame holds";

    const std::string map1002 = read_bytes(dir.file("m.1002.exr"));
    write_bytes(dir.file("m.1002.exr"), map1002.substr(0, map1002.size() / 2));
    fs::remove(dir.file("m.1003.exr"));
    r = run_stmap({"render", "--size", "32x18", "--fbx", kTake, "--camera", "2", "--frames", "1004", "--set",
                   "k1=0.25", "-o", dir.file("m.####.exr"), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string preview = read_bytes(dir.file("p.1005.png"));
    write_bytes(dir.file("p.1005.png"), preview.substr(0, preview.find("IDAT") + 20));

    r = run_stmap(with({"verify"}, {"--manifest", dir.file("shot.json")}));
    EXPECT_EQ(r.status, 1) << r.err;
    const std::string expected[] = {
        "frame 1002: " + dir.file("m.1002.exr") + " is incomplete: cut short: chunk ",
        "frame 1003: " + dir.file("m.1003.exr") + " is missing\n",
        "frame 1004: " + dir.file("m.1004.exr") + " is stale: talvik/k1 is 0.25, this shot's ",
        "frame 1005: " + dir.file("p.1005.png") + " is incomplete: cut short: chunk ",
    };
    for (const std::string& line : expected) EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    EXPECT_EQ(r.out.find("frame 1001"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("frame 1006"), std::string::npos) << r.out;

    const py::object manifest = parse_json(read_bytes(dir.file("shot.json")));
    EXPECT_FALSE(manifest["complete"].cast<bool>());
    EXPECT_EQ(manifest["frames_not_holding"].cast<int>(), 4);
    const py::list frames = manifest["shot_frames"];
    ASSERT_EQ(py::len(frames), 6u);
    const py::object first_map = frames[0]["files"][py::int_(0)];
    EXPECT_EQ(first_map["state"].cast<std::string>(), "current");
    EXPECT_EQ(first_map["size"].cast<size_t>(), read_bytes(dir.file("m.1001.exr")).size());
    EXPECT_EQ(first_map["xxh3_128"].cast<std::string>(), xxh3_128_hex(read_bytes(dir.file("m.1001.exr"))));
    EXPECT_EQ(first_map["identity"]["talvik/frame"].cast<int>(), 1001);
    // What the render's own manifest recorded, found in the job folder.
    const py::object recorded = first_map["recorded"];
    EXPECT_EQ(recorded["as"].cast<std::string>(), "written");
    EXPECT_EQ(recorded["manifest"].cast<std::string>(), dir.file("m.job/chunks/frames-1001-1006.json"));
    EXPECT_TRUE(first_map["matches_record"].cast<bool>());
    EXPECT_EQ(py::len(first_map["history"]), 1u);
    const py::object missing = frames[2]["files"][py::int_(0)];
    EXPECT_EQ(missing["state"].cast<std::string>(), "missing");
    EXPECT_TRUE(missing["size"].is_none());
    EXPECT_EQ(frames[3]["files"][py::int_(0)]["state"].cast<std::string>(), "stale");
}

// A re-run of the same chunk with --skip-existing (a farm's retry) keeps
// what the runs before it recorded; another chunk's manifest, or a fresh
// render, replaces it.
TEST(FarmJob, RetriedChunksKeepWhatEarlierTriesRecorded) {
    ScratchFolder dir;
    auto run = [&](const std::string& frames, bool skip) {
        std::vector<std::string> args = {"render", "--size", "16x9", "--fbx", kTake, "--camera", "2", "--frames",
                                         frames, "-o", dir.file("m.####.exr"), "--manifest", dir.file("chunk.json"),
                                         "--quiet"};
        if (skip) args.push_back("--skip-existing");
        const CommandResult r = run_stmap(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return parse_json(read_bytes(dir.file("chunk.json")));
    };
    run("1001-1004", true);
    fs::remove(dir.file("m.1003.exr"));
    py::object manifest = run("1001-1004", true);
    ASSERT_TRUE(manifest.contains("earlier_runs"));
    ASSERT_EQ(py::len(manifest["earlier_runs"]), 1u);
    EXPECT_EQ(py::len(manifest["earlier_runs"][py::int_(0)]["files"]), 4u) << "the first try wrote every frame";
    EXPECT_EQ(py::len(manifest["files"]), 1u) << "the retry wrote the one missing";
    EXPECT_EQ(manifest["frames_kept"].cast<int>(), 3);
    manifest = run("1001-1004", true);
    EXPECT_EQ(py::len(manifest["earlier_runs"]), 2u);
    EXPECT_FALSE(manifest["earlier_runs"][py::int_(1)].contains("earlier_runs")) << "runs are listed, not nested";

    EXPECT_FALSE(run("1001-1002", true).contains("earlier_runs")) << "another chunk";
    run("1001-1004", true);
    EXPECT_FALSE(run("1001-1004", false).contains("earlier_runs")) << "a render from scratch";
}

// The pattern the farm guide gives farms reads every frame a render writes.
TEST(FarmJob, ProgressFollowsTheFarmGuidesPattern) {
    const std::string guide = read_bytes(TALVIK_SOURCE_DIR "/docs/farm.md");
    const std::string before = "The pattern `";
    const size_t at = guide.find(before);
    ASSERT_NE(at, std::string::npos) << "the farm guide no longer gives the progress pattern";
    const size_t start = at + before.size();
    const std::regex pattern(guide.substr(start, guide.find('`', start) - start));
    ScratchFolder dir;
    const CommandResult r = run_stmap({"render", "--size", "16x9", "--fbx", kTake, "--camera", "2", "--frames",
                                       "1001-1003,1010", "-o", dir.file("m.####.exr")});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> seen;
    for (auto it = std::sregex_iterator(r.err.begin(), r.err.end(), pattern); it != std::sregex_iterator(); ++it)
        seen.push_back((*it)[1].str() + "% " + (*it)[4].str());
    EXPECT_EQ(seen, (std::vector<std::string>{"25% 1001", "50% 1002", "75% 1003", "100% 1010"})) << r.err;
}

TEST(FarmJob, SubmitSaysWhatIsMissingAndRefusesOtherSchedulers) {
    ScratchFolder dir;
    const std::vector<std::string> job = {"--size", "16x9", "--frames", "1-4", "-o", dir.file("m.####.exr"),
                                          "--chunk", "2"};
    std::vector<std::string> args = {"submit", "slurm"};
    args.insert(args.end(), job.begin(), job.end());
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", dir.file("no-slurm-here").c_str(), 1);
    CommandResult r = run_stmap(args);
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("sbatch not found on PATH: submit slurm needs Slurm's client commands"), std::string::npos)
        << r.err;
    const std::string exe = fs::canonical(TALVIK_STMAP).string();
    auto with = [&](std::vector<std::string> head) {
        head.insert(head.end(), job.begin(), job.end());
        head.insert(head.end(), {"--overscan", "auto"});
        return head;
    };
    args[1] = "pbs";
    r = run_stmap(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("submit submits to slurm, not \"pbs\""), std::string::npos) << r.err;
    const struct {
        std::vector<std::string> args;
        const char* message;
    } usage[] = {
        {{"plan", "--size", "16x9", "--chunk", "2"}, "a farm job renders maps: give -o PATTERN"},
        {{"plan", "--size", "16x9", "-o", "m.####.exr"}, "give --chunk N"},
        {{"plan", "--size", "16x9", "-o", "m.####.exr", "--chunk", "2", "--print-controls"}, "--print-controls prints"},
        {{"plan", "--size", "16x9", "-o", "m.####.exr", "--chunk", "2", "--wait"}, "unknown option \"--wait\" for plan"},
        {{"verify", "--size", "16x9"}, "nothing to verify"},
        {{"verify", "--size", "16x9", "-o", "m.####.exr", "--chunk", "2"}, "unknown option \"--chunk\" for verify"},
        // The outputs a render would refuse, refused before any task fails on them.
        {with({"plan", "--overscan-report", dir.file("m.0003.exr")}), "\" (frame 3) and --overscan-report \""},
        {with({"submit", "slurm", "--overscan-report", exe}), "is the program itself \""},
        {with({"plan", "--manifest", dir.file("m.0002.exr")}), "\" (frame 2) and --manifest \""},
    };
    for (const auto& c : usage) {
        r = run_stmap(c.args);
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

// A long shot in chunks of one is written task by task: 100000 tasks (a
// document of 40 MB, far more as one in memory) within 300 MiB.
TEST(FarmJob, APlanOfManyTasksIsWrittenWithinLittleMemory) {
    if (kSanitized) GTEST_SKIP() << "sanitizers need more address space than any limit set here";
    ScratchFolder dir;
    ProcessOptions options;
    options.limits = {{RLIMIT_AS, 300 * (rlim_t{1} << 20)}};
    options.stdout_path = dir.file("plan.json");
    StmapProcess plan({"plan", "--size", "16x9", "--frames", "1-100000", "--threads", "1", "-o",
                       dir.file("m.######.exr"), "--chunk", "1", "--json", "--quiet"},
                      options);
    const std::optional<int> status = plan.wait(300);
    ASSERT_TRUE(status);
    ASSERT_EQ(*status, 0) << plan.err();
    const py::list tasks = parse_json(read_bytes(dir.file("plan.json")))["steps"][py::int_(0)]["tasks"];
    ASSERT_EQ(py::len(tasks), 100000u);
    EXPECT_EQ(tasks[99999]["frames"].cast<std::string>(), "100000");
}

// Slurm's commands stood in by scripts: the cluster's MaxArraySize bounds
// the render array before anything is submitted, and what sbatch says when
// it refuses keeps its lines.
TEST(FarmJob, SubmitKeepsToTheClustersArraySizeAndShowsWhatSbatchSaid) {
    ScratchFolder dir;
    fs::create_directory(dir.file("bin"));
    write_bytes(dir.file("bin/scontrol"), "#!/bin/sh\necho 'MaxArrayPartitions      = 9'\necho 'MaxArraySize            = 3'\n");
    write_bytes(dir.file("bin/sbatch"), "#!/bin/sh\ntouch '" + dir.file("sbatch ran") +
                                            "'\nprintf 'sbatch: error: refused\\nsbatch: error: \\033[31mwhy\\n' >&2\nexit 1\n");
    for (const char* program : {"bin/scontrol", "bin/sbatch"}) fs::permissions(dir.file(program), fs::perms::owner_all);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (dir.file("bin") + ":" + path).c_str(), 1);
    auto submit = [&](const char* chunk) {
        return run_stmap({"submit", "slurm", "--size", "16x9", "--frames", "1-7", "-o", dir.file("out/m.####.exr"),
                          "--chunk", chunk});
    };
    const CommandResult four = submit("2"), three = submit("3");
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(four.status, 2);
    EXPECT_NE(four.err.find("the render step would be 4 tasks (--chunk 2), more than this cluster's MaxArraySize of 3 "
                            "takes in one job array: give --chunk 3 or more"),
              std::string::npos)
        << four.err;
    EXPECT_EQ(three.status, 1);
    EXPECT_EQ(three.err, "talvik-stmap: sbatch refused the render step (exit 1):\n  sbatch: error: refused\n"
                         "  sbatch: error: \\e[31mwhy\ntalvik-stmap: no job was submitted\n");
    EXPECT_TRUE(fs::exists(dir.file("sbatch ran"))) << "only the array that fits was handed to sbatch";
}

// The farm guide's recipes run as printed, the farms stood in by what
// hands a task its words as each farm does (OpenCue: every word with its
// frame tokens filled, no shell; Deadline: its tags filled, then Arguments
// split as .NET splits a command line, which shlex, as Mono on older
// Deadline, must agree with): every word arrives as it was, or the recipe
// refuses the path before submitting anything.
TEST(FarmJob, FarmGuideRecipesHandEveryWordOverOrRefuseIt) {
    const std::string guide = read_bytes(TALVIK_SOURCE_DIR "/docs/farm.md");
    auto recipe = [&](const std::string& farm) {
        const size_t at = guide.find("```python\n", guide.find("**" + farm + "**")) + 10;
        return guide.substr(at, guide.find("```", at) - at);
    };
    ScratchFolder dir;
    for (const char* folder : {"bin", "py/outline"}) fs::create_directories(dir.file(folder));
    write_bytes(dir.file("bin/talvik-stmap"), "#!/bin/sh\nexec cat \"$PLAN\"\n");
    write_bytes(dir.file("bin/deadlinecommand"), R"(#!/usr/bin/python3
import json, os, shlex, sys
info = {}
for name in sys.argv[1:]:
    info.update(line.split("=", 1) for line in open(name, encoding="utf-8").read().splitlines())
def split(line):
    words, word, quoted, i = [], None, False, 0
    while i < len(line):
        slashes = len(line[i:]) - len(line[i:].lstrip("\\"))
        c = line[i + slashes:i + slashes + 1]
        if slashes:
            word, i = (word or "") + "\\" * (slashes // 2 if c == '"' else slashes), i + slashes
            if c == '"' and slashes % 2:
                word, i = word + c, i + 1
        elif c == '"' and quoted and line[i + 1:i + 2] == '"':
            word, i = word + c, i + 2
        elif c == '"':
            word, quoted, i = word or "", not quoted, i + 1
        elif c in " \t" and not quoted:
            words, word, i = words + ([] if word is None else [word]), None, i + 1
        else:
            word, i = (word or "") + c, i + 1
    return words + ([] if word is None else [word])
first, last = map(int, info["Frames"].split("-")) if "-" in info["Frames"] else (0, 0)
with open(os.environ["RECORD"], "a") as record:
    for start in range(first, last + 1, int(info["ChunkSize"])):
        end = min(start + int(info["ChunkSize"]) - 1, last)
        line = info["Arguments"].replace("<STARTFRAME>", str(start)).replace("<ENDFRAME>", str(end))
        line = line.replace("<QUOTE>", '"')
        assert split(line) == shlex.split(line), line
        record.write(json.dumps([info["Executable"]] + split(line)) + "\n")
print("JobID=%d" % len(open(os.environ["RECORD"]).readlines()))
)");
    for (const char* program : {"bin/talvik-stmap", "bin/deadlinecommand"})
        fs::permissions(dir.file(program), fs::perms::owner_all);
    // outline, outline.cuerun and outline.modules.shell in one.
    write_bytes(dir.file("py/outline/__init__.py"), R"(import json, os, sys
class Outline:
    def __init__(self, name, **ignored): self.layers = []
    def add_layer(self, layer): self.layers.append(layer)
class ShellSequence:
    def __init__(self, name, commands): self.commands = commands
    def depend_all(self, layer): pass
def launch(job, use_pycuerun=True):
    with open(os.environ["RECORD"], "a") as record:
        for layer in job.layers:
            for frame, command in enumerate(layer.commands, 1):
                for token, value in (("%{FRAME}", frame), ("%{ZFRAME}", "%04d" % frame), ("%{RANGE}", "1-9")):
                    command = [str(word).replace(token, str(value)) for word in command]
                record.write(json.dumps(command) + "\n")
cuerun = modules = shell = sys.modules[__name__]
sys.modules.update({"outline." + name: cuerun for name in ("cuerun", "modules", "modules.shell")})
)");
    const struct {
        const char* folder;
        bool deadline, opencue;  // whether each passes it on
    } cases[] = {{"sh 010 it's \"q\" $(touch pwned) `touch pwned` $HOME", true, true},
                 {"line\nbreak", false, true},
                 {"back\\slash", false, true},
                 {"<QUOTE>", false, true},
                 {"{first}", false, true},
                 {"%{RANGE}", true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        const std::string out = dir.file(std::string("shots/") + c.folder);
        const CommandResult plan = run_stmap({"plan", "--size", "16x9", "--frames", "1-5", "--overscan", "auto", "-o",
                                              out + "/m.####.exr", "--chunk", "2", "--json"});
        ASSERT_EQ(plan.status, 0) << plan.err;
        write_bytes(dir.file("plan.json"), plan.out);
        std::string expected;
        const py::list steps = parse_json(plan.out)["steps"];
        for (const py::handle step : steps)
            for (const py::handle task : step["tasks"])
                expected += py::module_::import("json").attr("dumps")(task["argv"]).cast<std::string>() + "\n";
        for (const std::string farm : {"Deadline", "OpenCue"}) {
            fs::remove(dir.file("record"));
            const CommandResult r = run_program({"/usr/bin/env", "PATH=" + dir.file("bin") + ":/usr/bin:/bin",
                                                 "PYTHONPATH=" + dir.file("py"), "PLAN=" + dir.file("plan.json"),
                                                 "RECORD=" + dir.file("record"), "/usr/bin/python3", "-c", recipe(farm)});
            const bool passes = farm == "Deadline" ? c.deadline : c.opencue;
            EXPECT_EQ(r.status, passes ? 0 : 1) << farm << ": " << r.err;
            EXPECT_EQ(fs::exists(dir.file("record")) ? read_bytes(dir.file("record")) : "", passes ? expected : "")
                << farm;
        }
    }
}

}  // namespace
}  // namespace talvik::test
