// The batch scripts submit slurm writes, run by a real POSIX shell: every
// word of a task reaches the program as it was, whatever it holds, and a
// name never leaves its comment.
#include "cli/farm/slurm_submit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/scratch_folder.h"

namespace talvik::cli {
namespace {

using pipeline::JobTask;

// What `sh script` prints with SLURM_ARRAY_TASK_ID set to `task`.
std::string run_script(const std::string& script, const std::string& task) {
    test::ScratchFolder dir;
    test::write_bytes(dir.file("job.sh"), script);
    const std::string command = "cd '" + dir.path() + "' && SLURM_ARRAY_TASK_ID=" + task + " /bin/sh job.sh 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[256];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
    // Nothing a name or a word held ran as a command.
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"job.sh"}) << script;
    return out;
}

TEST(BatchScript, EveryWordReachesTheProgramAsItWas) {
    const std::vector<std::string> words = {"it's", "$(touch pwned)", "`touch pwned`", "a\nb", "\"q\" \\ $HOME",
                                            "100%", "", "-n", "; touch pwned"};
    JobPlan plan;
    plan.job_name = "m\ntouch pwned $(touch pwned)";
    std::vector<JobTask> tasks;
    for (const char* which : {"first", "second"}) {
        std::vector<std::string> argv = {"/usr/bin/printf", "[%s]"};
        argv.insert(argv.end(), words.begin(), words.end());
        argv.push_back(which);
        tasks.push_back({{}, argv});
    }
    const JobStep single{"verify", {}, true, 1, [tasks](size_t) { return tasks.front(); }, {}, "verify", "v", 1, std::nullopt};
    const JobStep array{"render", {}, true, tasks.size(), [tasks](size_t i) { return tasks.at(i); }, {}, "render", "r", 1, std::nullopt};
    std::string expected;
    for (const std::string& w : words) expected += "[" + w + "]";
    EXPECT_EQ(run_script(batch_script(plan, single), "0"), expected + "[first]");
    EXPECT_EQ(run_script(batch_script(plan, array), "0"), expected + "[first]");
    EXPECT_EQ(run_script(batch_script(plan, array), "1"), expected + "[second]");
    EXPECT_EQ(run_script(batch_script(plan, array), "2"), "talvik-stmap: no task 2 in this job\n");
}

}  // namespace
}  // namespace talvik::cli
