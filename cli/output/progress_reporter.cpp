#include "cli/output/progress_reporter.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "cli/output/terminal_print.h"

namespace talvik::cli {
namespace {

constexpr int kBarWidth = 30;
// Redrawing more often only makes the terminal flicker.
constexpr double kRedrawInterval = 0.1;
constexpr const char* kEraseToEndOfLine = "\033[K";

double steady_seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string format_rate(int frames, double seconds) {
    if (seconds <= 0.0) return "-- fps";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f fps", frames / seconds);
    return buffer;
}

}  // namespace

std::string format_duration(double seconds) {
    char buffer[32];
    if (seconds < 60.0) {
        std::snprintf(buffer, sizeof buffer, "%.1f s", seconds);
    } else if (seconds < 3600.0) {
        const long s = std::lround(seconds);
        std::snprintf(buffer, sizeof buffer, "%ldm%02lds", s / 60, s % 60);
    } else {
        const long m = std::lround(seconds / 60.0);
        std::snprintf(buffer, sizeof buffer, "%ldh%02ldm", m / 60, m % 60);
    }
    return buffer;
}

ProgressReporter::ProgressReporter(std::FILE* out, int total_frames, std::string output_folder,
                                   ProgressOptions options)
    : out_(out),
      total_(total_frames),
      folder_(std::move(output_folder)),
      quiet_(options.quiet),
      terminal_(options.terminal ? *options.terminal : isatty(fileno(out)) == 1),
      clock_(options.clock ? std::move(options.clock) : steady_seconds),

      start_(clock_()) {}

ProgressReporter::~ProgressReporter() { end_bar_line(); }

std::string ProgressReporter::rate_and_time_left(double now) const {
    const double elapsed = now - start_;
    std::string text = format_rate(done_, elapsed);
    if (done_ > 0 && done_ < total_ && elapsed > 0.0)
        text += "  " + format_duration(elapsed / done_ * (total_ - done_)) + " left";
    return text;
}

std::string ProgressReporter::status(double now) const {
    return std::to_string(done_) + "/" + std::to_string(total_) + " frames  " + rate_and_time_left(now);
}

void ProgressReporter::end_bar_line() {
    if (!bar_on_screen_) return;
    std::fprintf(out_, "\r%s", kEraseToEndOfLine);
    std::fflush(out_);
    bar_on_screen_ = false;
}

void ProgressReporter::frame_done(int frame) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++done_;
    if (quiet_) return;
    const double now = clock_();
    if (!terminal_) {
        // What a farm's progress pattern reads: talvik-stmap: (\d+)% \((\d+)/(\d+)\) frame (-?\d+)
        const long long percent = total_ > 0 ? 100LL * done_ / total_ : 100;
        print_message(out_, "%stalvik-stmap: %lld%% (%d/%d) frame %d  %s", stamp_ ? (stamp_() + " ").c_str() : "",
                      percent, done_, total_, frame, rate_and_time_left(now).c_str());
        std::fflush(out_);
        return;
    }
    if (done_ < total_ && last_draw_ >= 0.0 && now - last_draw_ < kRedrawInterval) return;
    last_draw_ = now;
    const int filled = total_ > 0 ? static_cast<int>(static_cast<long long>(kBarWidth) * done_ / total_) : kBarWidth;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kBarWidth - std::min(filled, kBarWidth)), '-');
    std::fprintf(out_, "\r[%s] %s%s", bar.c_str(), status(now).c_str(), kEraseToEndOfLine);
    std::fflush(out_);
    bar_on_screen_ = true;
}

void ProgressReporter::error(const std::string& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    end_bar_line();
    print_message(out_, "%s", message.c_str());
    std::fflush(out_);
}

void ProgressReporter::finish() {
    std::lock_guard<std::mutex> lock(mutex_);
    end_bar_line();
    if (quiet_) return;
    const double elapsed = clock_() - start_;
    const std::string count = done_ == total_ ? std::to_string(done_)
                                              : std::to_string(done_) + " of " + std::to_string(total_);
    print_message(out_, "%s%s %s frame%s in %s (%s)%s", stamp_ && !terminal_ ? (stamp_() + " ").c_str() : "", verb_,
                  count.c_str(), total_ == 1 ? "" : "s", format_duration(elapsed).c_str(),
                  format_rate(done_, elapsed).c_str(), folder_.empty() ? "" : (" to " + folder_).c_str());
    std::fflush(out_);
}

}  // namespace talvik::cli
