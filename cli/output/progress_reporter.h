// Tells the artist how a render goes: on a terminal a bar redrawn in place,
// elsewhere (logs, farm output) one line per frame a farm's progress
// pattern can read ("talvik-stmap: 45% (11/24) frame 1011"); a summary at
// the end.
#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace talvik::cli {

struct ProgressOptions {
    // Only errors are printed.
    bool quiet = false;
    // Whether to draw the bar; unset: whether the stream is a terminal.
    std::optional<bool> terminal;
    // Seconds on a steady clock; unset: std::chrono::steady_clock.
    std::function<double()> clock;
};

class ProgressReporter {
public:
    // The clock starts now. Frames may finish on any thread.
    ProgressReporter(std::FILE* out, int total_frames, std::string output_folder,
                     ProgressOptions options = {});
    ~ProgressReporter();  // ends a half-drawn bar line
    ProgressReporter(const ProgressReporter&) = delete;
    ProgressReporter& operator=(const ProgressReporter&) = delete;

    // What the summary says was done with the frames ("wrote").
    void set_verb(const char* verb) { verb_ = verb; }
    // What begins each line that is not the bar, for a log: the time.
    void set_stamp(std::function<std::string()> stamp) { stamp_ = std::move(stamp); }

    void frame_done(int frame);
    // Printed even when quiet, on a line of its own.
    void error(const std::string& message);
    // "wrote 100 frames in 40.0 s (2.50 fps) to out/", or "wrote 98 of 100
    // frames ..." when some failed.
    void finish();

private:
    std::string status(double now) const;
    std::string rate_and_time_left(double now) const;
    void end_bar_line();

    std::FILE* out_;
    int total_;
    std::string folder_;
    bool quiet_;
    bool terminal_;
    std::function<double()> clock_;
    const char* verb_ = "wrote";
    std::function<std::string()> stamp_;
    double start_;
    double last_draw_ = -1.0;
    int done_ = 0;
    bool bar_on_screen_ = false;
    std::mutex mutex_;
};

// "3.2 s", "4m05s", "1h02m".
std::string format_duration(double seconds);

}  // namespace talvik::cli
