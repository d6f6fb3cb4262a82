// The command's side of a shot's events: warnings on stderr (a failure with
// --strict), notes and progress on stderr unless --quiet, the reload
// script's lines with --verbose, values on stdout with --print-controls.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "cli/output/progress_reporter.h"
#include "pipeline/job/shot_events.h"

namespace talvik::cli {

struct TerminalManners {
    bool quiet = false;           // no notes or progress
    bool verbose = false;         // the reload script's own lines too
    bool strict = false;          // a warning fails the run
    bool print_values = false;    // the values of each frame on `out`
};

class TerminalEvents : public pipeline::ShotEvents {
public:
    TerminalEvents(std::FILE* out, std::FILE* err, TerminalManners manners) : out_(out), err_(err), manners_(manners) {}

    // The progress of an overscan measurement too (unless quiet).
    void show_measuring() { measuring_ = true; }
    // What begins each progress line: the time, in a task's log.
    void stamp_progress(std::function<std::string()> stamp) { stamp_ = std::move(stamp); }

    void warning(const std::string& text) override;
    void note(const std::string& text) override;
    void alert(const std::string& text) override;
    void script_output(const std::string& text) override;
    void values(const std::string& json_line) override;
    void frames_started(int total, const std::string& folder) override;
    void frame_done(int frame) override;
    void frames_finished() override;
    void measuring_started(int total) override;
    void frame_measured(int frame) override;
    void measuring_finished() override;

private:
    std::FILE* out_;
    std::FILE* err_;
    TerminalManners manners_;
    std::unique_ptr<ProgressReporter> progress_;
    bool measuring_ = false;
    std::function<std::string()> stamp_;
};

}  // namespace talvik::cli
