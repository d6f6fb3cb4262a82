#include "pipeline/points/track_conversion.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "pipeline/output/loaded_files.h"
#include "pipeline/output/output_paths.h"
#include "pipeline/points/track_csv.h"
#include "pipeline/render/render_notes.h"
#include "io/input_file.h"
#include "io/replace_file.h"
#include "io/stop_signal.h"
#include "lens/lens_points.h"
#include "shot/control_values.h"
#include "shot/frame_checks.h"
#include "shot/frame_range.h"
#include "shot/lens_node.h"
#include "shot/plate_metadata.h"
#include "shot/plate_sequence.h"
#include "shot/take_reload.h"
#include "pipeline/job/job_checks.h"
#include "pipeline/job/field_names.h"

namespace talvik::pipeline {
namespace {

// Points are read, converted and written this many at a time (and no more
// than this much text), so a track of any length takes the same memory.
constexpr std::size_t kBatchPoints = 4096;
constexpr std::size_t kBatchBytes = 1 << 20;
// The lenses of this many frames are kept; a track jumping between more
// frames computes them again.
constexpr std::size_t kKeptLenses = 1024;

// Why a point of this lens has no position. A focal length of 0 leaves
// every point of its frame without one; otherwise the point lies past the
// fold, or so far out that its position overflows single precision.
std::string no_position_reason(const LensModel& lens) {
    if (lens.mode == 0)
        return lens.fx == 0.0f || lens.fy == 0.0f
                   ? "the lens has a focal length of 0"
                   : "so far from the centre that its distorted position overflows single precision";
    if (lens.undistorted_fx == 0.0f || lens.undistorted_fy == 0.0f)
        return "the lens has an edge-fitted focal length of 0";
    return std::isfinite(lens.fold.max_rd)
               ? "at or beyond where the lens folds back"
               : "so far from the centre that its undistorted position overflows single precision";
}

// The points of one reason: how many, and the first few by name.
struct NoPosition {
    std::size_t count = 0;
    std::string named;
};

void add_no_position(NoPosition& list, const TrackPoint& point) {
    constexpr std::size_t kNamed = 8;
    if (list.count++ < kNamed)
        list.named += (list.named.empty() ? "\"" : ", \"") + point.name + "\" at frame " +
                      std::to_string(point.frame) + " (line " + std::to_string(point.line) + ")";
}

std::string no_position_warning(const std::string& reason, const NoPosition& list, bool distort) {
    constexpr std::size_t kNamed = 8;
    const bool one = list.count == 1;
    return std::to_string(list.count) + " point" + (one ? " has" : "s have") + " no " +
           (distort ? "distorted" : "undistorted") + " position (" + reason + ") and " + (one ? "is" : "are") +
           " written with empty x and y: " + list.named +
           (list.count > kNamed ? " and " + std::to_string(list.count - kNamed) + " more" : "");
}

// The converted track, under a temporary name until it is whole.
class TrackOutput {
public:
    explicit TrackOutput(const std::string& path) : path_(path), file_(make_folder(path)) {
        errno = 0;
        stream_.open(file_.temp_path(), std::ios::binary | std::ios::trunc);
        if (!stream_) file_.fail_to_create(errno ? errno : EACCES);
    }
    void write(const std::string& text) {
        errno = 0;
        stream_.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!stream_) fail();
    }
    void commit() {
        errno = 0;
        stream_.close();
        if (!stream_) fail();
        file_.commit();
    }

private:
    // Missing folders are made, as for the maps.
    static const std::string& make_folder(const std::string& path) {
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        std::error_code ec;
        if (!folder.empty()) std::filesystem::create_directories(folder, ec);
        if (ec)
            throw std::runtime_error("cannot create folder \"" + folder.string() + "\" for the track: " +
                                     ec.message());
        return path;
    }
    [[noreturn]] void fail() const {
        throw std::runtime_error("cannot write track \"" + path_ + "\": " + std::strerror(errno ? errno : EIO));
    }

    std::string path_;
    io::ReplaceFile file_;
    std::ofstream stream_;
};

}  // namespace

void convert_track(const ShotJob& o, const PointsJob& p, ShotEvents& events) {
    check_points_job(o, p);
    io::check_input_file(p.track, "track");
    std::ifstream track_file(p.track, std::ios::binary);
    if (!track_file)
        throw std::runtime_error("cannot read track \"" + p.track + "\": " + std::strerror(errno ? errno : ENOENT));
    // The header is read now: a track without one fails before the reload.
    TrackReader track(track_file, "track \"" + p.track + "\"");

    io::check_input_file(o.fbx, "take");
    std::optional<shot::PlateSequence> plates;
    if (!o.plate.empty()) {
        io::check_input_file(o.plate, "plate");
        plates = shot::PlateSequence::open(o.plate, {});
    }

    const int width = plates ? plates->first().width : o.size->first;
    const int height = plates ? plates->first().height : o.size->second;
    std::unique_ptr<host::Host> host = shot::create_lens_host(o.plugin_path);
    Node& node = shot::add_lens_node(*host, DD::Image::Format(width, height),
                                     plates ? shot::host_metadata(plates->first()) : host::Metadata{});
    // The plug-in and the host library loaded are inputs as much as the take.
    std::vector<InputFile> inputs;
    for (const std::string& path : plates ? plates->paths() : std::vector<std::string>{})
        inputs.push_back({path, plates->is_sequence() ? "plate frame" : "plate"});
    inputs.push_back({o.fbx, "take"});
    inputs.push_back({p.track, "track"});
    for (const std::string& path : loaded_files()) inputs.push_back({path, "library this run loaded"});
    check_output_paths(std::nullopt, std::nullopt, {}, inputs, {{field_name(o.naming, "-o"), o.output}}, o.naming);
    shot::ReloadSinks sinks;
    sinks.alert = [&events](const std::string& text) { events.alert(text); };
    const shot::CameraChoice camera =
        shot::reload_take(*host, node, o.fbx, o.camera, plates ? &*plates : nullptr, sinks);

    const FrameSize size = frame_size_from(width, height);
    const bool distort = *o.mode == 0;
    std::map<int, LensModel> lenses;
    const auto lens_at = [&](int frame) -> const LensModel& {
        const auto kept = lenses.find(frame);
        if (kept != lenses.end()) return kept->second;
        if (lenses.size() >= kKeptLenses) lenses.clear();
        const std::vector<shot::ControlValue> values = shot::control_values(node, frame);
        shot::check_frame_values(values, frame);
        LensModel lens = shot::panel_lens(values);
        lens.mode = *o.mode;
        lens.normalize();
        return lenses.emplace(frame, lens).first->second;
    };

    RenderNotes notes;
    std::set<int> frames;
    std::size_t point_count = 0;
    std::map<std::string, NoPosition> no_position;
    remove_abandoned_temporaries({o.output});
    TrackOutput output(o.output);
    output.write(track_header_text(track.header()));
    std::vector<TrackPoint> batch;
    std::string text;
    while (track.read(batch, kBatchPoints, kBatchBytes)) {
        io::throw_if_stopped();
        text.clear();
        for (const TrackPoint& point : batch) {
            // A shot holds no more frames than a frame range may name.
            if (frames.insert(point.frame).second && frames.size() > shot::kMaxFramesInRange)
                throw std::runtime_error("track \"" + p.track + "\" line " + std::to_string(point.line) +
                                         ": points on more than " + std::to_string(shot::kMaxFramesInRange) +
                                         " frames");
            std::optional<double> x, y;
            if (point.x) {
                const LensModel& lens = lens_at(point.frame);
                // Nuke's convention inside: y up from the bottom line.
                const double in[2] = {*point.x, p.top_left ? height - *point.y : *point.y};
                double out[2];
                map_points(lens, size, in, out, 1);
                if (std::isfinite(out[0]) && std::isfinite(out[1])) {
                    x = out[0];
                    y = p.top_left ? height - out[1] : out[1];
                } else {
                    add_no_position(no_position[no_position_reason(lens)], point);
                }
            }
            text += track_line_text(track.header(), point, x, y);
        }
        point_count += batch.size();
        output.write(text);
    }

    const std::vector<int> keyed = shot::keyed_frames(node);
    if (!keyed.empty()) {
        const std::string held =
            held_frames_warning(std::vector<int>(frames.begin(), frames.end()), keyed.front(), keyed.back());
        if (!held.empty()) warn(notes, events, held);
    }
    for (const auto& [reason, list] : no_position) warn(notes, events, no_position_warning(reason, list, distort));
    io::throw_if_stopped();
    output.commit();
    events.note(std::to_string(point_count) + (point_count == 1 ? " point" : " points") + " of " +
                std::to_string(frames.size()) + (frames.size() == 1 ? " frame" : " frames") + " through the " +
                (distort ? "Distort" : "Undistort") + " map, " + camera.reason + "; wrote " + o.output);
}

}  // namespace talvik::pipeline
