#include "cli/points_command.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/output/loaded_files.h"
#include "cli/output/output_paths.h"
#include "cli/points/track_csv.h"
#include "cli/render/render_manifest.h"
#include "cli/render/render_notes.h"
#include "cli/render/render_safety.h"
#include "io/input_file.h"
#include "io/stop_signal.h"
#include "lens/lens_points.h"
#include "shot/control_values.h"
#include "shot/frame_checks.h"
#include "shot/lens_node.h"
#include "shot/plate_metadata.h"
#include "shot/plate_sequence.h"
#include "shot/take_reload.h"

namespace talvik::cli {
namespace {

std::string read_text(const std::string& path) {
    io::check_input_file(path, "track");
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read track \"" + path + "\": " + std::strerror(errno ? errno : ENOENT));
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) throw std::runtime_error("cannot read track \"" + path + "\": " + std::strerror(errno ? errno : EIO));
    return text.str();
}

// "name at frame 1001, ..." for the first few points.
std::string name_points(const TrackCsv& track, const std::vector<std::size_t>& rows) {
    constexpr std::size_t kNamed = 8;
    std::string text;
    for (std::size_t i = 0; i < std::min(rows.size(), kNamed); ++i) {
        const TrackPoint& p = track.points[rows[i]];
        text += (i ? ", " : "") + std::string("\"") + p.name + "\" at frame " + std::to_string(p.frame) +
                " (line " + std::to_string(p.line) + ")";
    }
    if (rows.size() > kNamed) text += " and " + std::to_string(rows.size() - kNamed) + " more";
    return text;
}

}  // namespace

int run_points(const CommandLine& cl, std::FILE* err) {
    const RenderOptions& o = cl.render;
    const PointsOptions& p = cl.points;
    const std::string what = "track \"" + p.track + "\"";
    const TrackCsv track = parse_track_csv(read_text(p.track), what);

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
    check_output_paths(std::nullopt, std::nullopt, {}, inputs, {{"-o", o.output}});
    shot::ReloadSinks sinks;
    sinks.alert = [err](const std::string& text) { std::fprintf(err, "reload: %s\n", text.c_str()); };
    const shot::CameraChoice camera =
        shot::reload_take(*host, node, o.fbx, o.camera, plates ? &*plates : nullptr, sinks);

    // Each frame's lens, once.
    const FrameSize size = frame_size_from(width, height);
    std::map<int, LensModel> lenses;
    for (const TrackPoint& point : track.points) {
        if (lenses.count(point.frame)) continue;
        const std::vector<shot::ControlValue> values = shot::control_values(node, point.frame);
        shot::check_frame_values(values, point.frame);
        LensModel lens = shot::panel_lens(values);
        lens.mode = *o.mode;
        lens.normalize();
        lenses.emplace(point.frame, lens);
    }

    RenderNotes notes;
    const std::vector<int> keyed = shot::keyed_frames(node);
    std::vector<int> frames;
    for (const auto& [frame, lens] : lenses) frames.push_back(frame);
    if (!keyed.empty()) {
        const std::string held = held_frames_warning(frames, keyed.front(), keyed.back());
        if (!held.empty()) warn(notes, err, o.strict, held);
    }

    std::vector<std::optional<double>> xs(track.points.size()), ys(track.points.size());
    std::vector<std::size_t> no_position;
    for (std::size_t row = 0; row < track.points.size(); ++row) {
        const TrackPoint& point = track.points[row];
        if (!point.x) continue;
        // Nuke's convention inside: y up from the bottom line.
        const double in[2] = {*point.x, p.top_left ? height - *point.y : *point.y};
        double out[2];
        map_points(lenses.at(point.frame), size, in, out, 1);
        if (std::isnan(out[0]) || std::isnan(out[1])) {
            no_position.push_back(row);
            continue;
        }
        xs[row] = out[0];
        ys[row] = p.top_left ? height - out[1] : out[1];
    }
    if (!no_position.empty()) {
        const bool one = no_position.size() == 1;
        warn(notes, err, o.strict,
             std::to_string(no_position.size()) + " point" + (one ? " has" : "s have") + " no " +
                 (*o.mode == 0 ? "distorted" : "undistorted") + " position (" +
                 (*o.mode == 0 ? "the lens has a focal length of 0" : "at or beyond where the lens folds back") +
                 ") and " + (one ? "is" : "are") + " written with empty x and y: " + name_points(track, no_position));
    }
    io::throw_if_stopped();
    remove_abandoned_temporaries({o.output});
    write_json_file(o.output, write_track_csv(track, xs, ys), "track");
    if (!o.quiet)
        std::fprintf(err, "%zu point%s of %zu frame%s through the %s map, %s; wrote %s\n", track.points.size(),
                     track.points.size() == 1 ? "" : "s", frames.size(), frames.size() == 1 ? "" : "s",
                     *o.mode == 0 ? "Distort" : "Undistort", camera.reason.c_str(), o.output.c_str());
    return 0;
}

}  // namespace talvik::cli
