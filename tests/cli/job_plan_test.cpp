// A farm job's plan as data: both maps of a shot from one overscan step,
// and job names that tell two shots' jobs apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "pipeline/farm/job_plan.h"
#include "shot/memory_check.h"

namespace talvik::pipeline {
namespace {

shot::Json plan_json(const JobPlan& plan) {
    std::FILE* file = std::tmpfile();
    write_job_plan_json(plan, file);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
    std::fclose(file);
    return shot::Json::parse(text);
}

shot::Json two_map_plan(const std::string& shot, const std::string& job_name = "") {
    ShotJob o;
    o.size = {64, 36};
    o.overscan = "auto";
    FarmJob f;
    f.chunk = 2;
    f.remove_map = "/shows/" + shot + "/stmap/rm.####.exr";
    f.add_map = "/shows/" + shot + "/stmap/am.####.exr";
    f.job_name = job_name;
    o.threads = 3;
    o.compression = exr::StMapCompression::Piz;
    return plan_json(plan_job(o, f, {1001, 1002, 1003}, "/bin/talvik-stmap", "/plugins", {64, 36, 80, 40}));
}

TEST(JobPlan, BothMapsFromOneOverscanStepWithNamesOfTheirShot) {
    struct Step {
        const char* name;
        const char* job_name;
        std::vector<std::string> after;
        const char* when;
        size_t tasks;
        shot::Json memory;  // what the render's memory guard asks of such a frame
    };
    using shot::FrameWork;
    const shot::Json measuring = shot::frame_memory_need(64, 36, FrameWork{std::nullopt, 3, 0});
    const shot::Json rendering = shot::frame_memory_need(80, 40, FrameWork{exr::StMapCompression::Piz, 3, 0});
    const std::vector<Step> expected = {
        {"overscan", "sh010-overscan", {}, "", 1, measuring},
        {"render-rm", "sh010-rm-render", {"overscan"}, "succeeded", 2, rendering},
        {"render-am", "sh010-am-render", {"overscan"}, "succeeded", 2, rendering},
        {"verify", "sh010-verify", {"render-rm", "render-am"}, "ended", 1, nullptr},
    };
    const shot::Json plan = two_map_plan("sh010");
    EXPECT_EQ(plan["format_version"], 2);
    ASSERT_EQ(plan["steps"].size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const shot::Json& step = plan["steps"][i];
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(step["name"], expected[i].name);
        EXPECT_EQ(step["job_name"], expected[i].job_name);
        EXPECT_EQ(step["tasks"].size(), expected[i].tasks);
        EXPECT_EQ(step["cpus"], 3);
        EXPECT_EQ(step["memory_bytes"], expected[i].memory);
        // A usage error fails every try alike; a signal stopped the task.
        EXPECT_EQ(step["retry"], shot::Json({{"never_succeeds", {2}}, {"may_succeed", {1}}, {"stopped", {129, 130, 143}}}));
        ASSERT_EQ(step["after"].size(), expected[i].after.size());
        for (size_t a = 0; a < expected[i].after.size(); ++a) {
            EXPECT_EQ(step["after"][a]["step"], expected[i].after[a]);
            EXPECT_EQ(step["after"][a]["when"], expected[i].when);
        }
    }
    // Every render reads the one report the overscan step writes.
    const std::string report = "/shows/sh010/stmap/rm.job/overscan.json";
    for (const int step : {0, 1, 2}) {
        const auto argv = plan["steps"][step]["tasks"][0]["argv"];
        EXPECT_NE(std::find(argv.begin(), argv.end(), report), argv.end()) << argv.dump();
    }
    EXPECT_EQ(plan["maps"][1]["shot_manifest"], "/shows/sh010/stmap/am.job/shot.json");

    // Another shot whose maps have the same names; a name given.
    EXPECT_EQ(two_map_plan("sh020")["steps"][1]["job_name"], "sh020-rm-render");
    EXPECT_EQ(two_map_plan("sh020", "lineup")["steps"][2]["job_name"], "lineup-am-render");
    EXPECT_EQ(default_job_name({"/shows/sh010/stmap/rm.####.exr"}), "sh010-rm");
    EXPECT_EQ(default_job_name({"/shows/a b/rm.####.exr"}), "a_b-rm");
}

}  // namespace
}  // namespace talvik::pipeline
