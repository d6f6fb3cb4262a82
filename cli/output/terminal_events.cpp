#include "cli/output/terminal_events.h"

#include <stdexcept>

#include "cli/output/terminal_print.h"

namespace talvik::cli {

void TerminalEvents::warning(const std::string& text) {
    if (manners_.strict) throw std::runtime_error(text + " (--strict makes every warning a failure)");
    print_message(err_, "warning: %s", text.c_str());
    std::fflush(err_);
}

void TerminalEvents::note(const std::string& text) {
    if (!manners_.quiet) print_message(err_, "%s", text.c_str());
}

void TerminalEvents::alert(const std::string& text) { print_message(err_, "reload: %s", text.c_str()); }

void TerminalEvents::script_output(const std::string& text) {
    if (manners_.verbose) print_message(err_, "reload: %s", text.c_str());
}

void TerminalEvents::values(const std::string& json_line) {
    if (manners_.print_values) print_line(out_, json_line);
}

void TerminalEvents::frames_started(int total, const std::string& folder) {
    ProgressOptions options;
    options.quiet = manners_.quiet;
    progress_ = std::make_unique<ProgressReporter>(err_, total, folder, options);
    progress_->set_stamp(stamp_);
}

void TerminalEvents::measuring_started(int total) {
    if (!measuring_) return;
    ProgressOptions options;
    options.quiet = manners_.quiet;
    progress_ = std::make_unique<ProgressReporter>(err_, total, "", options);
    progress_->set_stamp(stamp_);
    progress_->set_verb("measured");
}

void TerminalEvents::frame_measured(int frame) {
    if (measuring_) frame_done(frame);
}

void TerminalEvents::measuring_finished() {
    if (!measuring_) return;
    frames_finished();
    progress_.reset();
}

void TerminalEvents::frame_done(int frame) {
    if (progress_) progress_->frame_done(frame);
}

void TerminalEvents::frames_finished() {
    if (progress_) progress_->finish();
}

}  // namespace talvik::cli
