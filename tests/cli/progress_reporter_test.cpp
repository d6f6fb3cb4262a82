#include "cli/output/progress_reporter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <thread>
#include <vector>

namespace talvik::cli {
namespace {

// A stream to report into and read back.
class Captured {
public:
    Captured() : file_(std::tmpfile()) {}
    ~Captured() { std::fclose(file_); }
    std::FILE* file() const { return file_; }
    std::string text() const {
        std::fflush(file_);
        std::string out;
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;) out += static_cast<char>(c);
        return out;
    }

private:
    std::FILE* file_;
};

struct FakeClock {
    double now = 100.0;
    std::function<double()> function() {
        return [this] { return now; };
    }
};

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(ProgressReporter, LinePerFrameAndSummaryWhenNotATerminal) {
    Captured out;
    FakeClock clock;
    {
        ProgressReporter progress(out.file(), 4, "out/", {false, false, clock.function()});
        for (int frame = 1001; frame <= 1004; ++frame) {
            clock.now += 0.5;
            progress.frame_done(frame);
        }
        clock.now += 0.5;
        progress.finish();
    }
    EXPECT_EQ(out.text(),
              "talvik-stmap: 25% (1/4) frame 1001  2.00 fps  1.5 s left\n"
              "talvik-stmap: 50% (2/4) frame 1002  2.00 fps  1.0 s left\n"
              "talvik-stmap: 75% (3/4) frame 1003  2.00 fps  0.5 s left\n"
              "talvik-stmap: 100% (4/4) frame 1004  2.00 fps\n"
              "wrote 4 frames in 2.5 s (1.60 fps) to out/\n");
}

// The pattern docs/farm.md gives farms reads every frame's line: percentages
// round down, so a task reads 100 % only when its last frame is written.
TEST(ProgressReporter, FarmPatternReadsEveryLine) {
    Captured out;
    FakeClock clock;
    {
        ProgressReporter progress(out.file(), 24, "out/", {false, false, clock.function()});
        for (int frame = 1001; frame <= 1024; ++frame) progress.frame_done(frame);
    }
    const std::string text = out.text();
    const std::regex pattern(R"(talvik-stmap: (\d+)% \((\d+)/(\d+)\) frame (-?\d+))");
    int lines = 0;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern); it != std::sregex_iterator(); ++it) {
        ++lines;
        EXPECT_EQ(std::stoi((*it)[2]), lines);
        EXPECT_EQ(std::stoi((*it)[4]), 1000 + lines);
    }
    EXPECT_EQ(lines, 24);
    EXPECT_NE(text.find("talvik-stmap: 45% (11/24) frame 1011  "), std::string::npos) << text;
    EXPECT_NE(text.find("talvik-stmap: 95% (23/24) frame 1023  "), std::string::npos) << text;
    EXPECT_NE(text.find("talvik-stmap: 100% (24/24) frame 1024  "), std::string::npos) << text;
}

TEST(ProgressReporter, SummarySaysWhenFramesAreMissing) {
    Captured out;
    FakeClock clock;
    ProgressReporter progress(out.file(), 10, "/shots/st", {false, false, clock.function()});
    clock.now += 100.0;
    progress.frame_done(1);
    progress.error("frame 2: cannot write \"x.exr\": disk full");
    clock.now += 100.0;
    progress.finish();
    const std::string text = out.text();
    EXPECT_NE(text.find("talvik-stmap: 10% (1/10) frame 1  0.01 fps  15m00s left\n"), std::string::npos) << text;
    EXPECT_NE(text.find("frame 2: cannot write \"x.exr\": disk full\n"), std::string::npos) << text;
    EXPECT_NE(text.find("wrote 1 of 10 frames in 3m20s (0.01 fps) to /shots/st\n"), std::string::npos) << text;
}

TEST(ProgressReporter, QuietPrintsOnlyErrors) {
    Captured out;
    FakeClock clock;
    for (bool terminal : {false, true}) {
        ProgressReporter progress(out.file(), 2, "out/", {true, terminal, clock.function()});
        progress.frame_done(1);
        progress.frame_done(2);
        progress.finish();
    }
    EXPECT_EQ(out.text(), "");
    ProgressReporter progress(out.file(), 2, "out/", {true, false, clock.function()});
    progress.error("bad plate");
    EXPECT_EQ(out.text(), "bad plate\n");
}

TEST(ProgressReporter, TerminalBarRedrawsInPlace) {
    Captured out;
    FakeClock clock;
    {
        ProgressReporter progress(out.file(), 4, "out/", {false, true, clock.function()});
        clock.now += 1.0;
        progress.frame_done(1);
        clock.now += 0.01;  // too soon to redraw
        progress.frame_done(2);
        clock.now += 1.0;
        progress.frame_done(3);
        clock.now += 0.01;  // the last frame is always drawn
        progress.frame_done(4);
        progress.finish();
    }
    const std::string text = out.text();
    EXPECT_EQ(count(text, "\r["), 3u) << text;
    EXPECT_NE(text.find("\r[#######-----------------------] 1/4 frames  1.00 fps  3.0 s left\033[K"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[##############################] 4/4 frames"), std::string::npos) << text;
    EXPECT_EQ(text.find("2/4"), std::string::npos) << text;
    // Only the summary ends a line; the bar is erased before it.
    EXPECT_EQ(count(text, "\n"), 1u) << text;
    EXPECT_NE(text.find("\r\033[Kwrote 4 frames in 2.0 s (1.98 fps) to out/\n"), std::string::npos) << text;
}

TEST(ProgressReporter, FramesFromManyThreads) {
    Captured out;
    {
        ProgressReporter progress(out.file(), 200, "out/", {false, false, {}});
        std::vector<std::thread> workers;
        for (int w = 0; w < 4; ++w)
            workers.emplace_back([&, w] {
                for (int i = 0; i < 50; ++i) progress.frame_done(w * 50 + i);
            });
        for (auto& w : workers) w.join();
        progress.finish();
    }
    const std::string text = out.text();
    EXPECT_EQ(count(text, "\n"), 201u);
    EXPECT_NE(text.find("talvik-stmap: 100% (200/200) frame "), std::string::npos);
    EXPECT_NE(text.find("wrote 200 frames in "), std::string::npos);
}

}  // namespace
}  // namespace talvik::cli
