#include "cli/render/render_plan.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>

#include "DDImage/Knob.h"
#include "cli/output/output_paths.h"
#include "cli/preview/preview_png_writer.h"
#include "cli/render/auto_overscan.h"
#include "cli/render/render_manifest.h"
#include "cli/render/render_safety.h"
#include "io/stop_signal.h"
#include "shot/control_values.h"
#include "shot/frame_range.h"
#include "shot/lens_node.h"
#include "shot/map_identity.h"
#include "shot/memory_check.h"
#include "shot/plate_metadata.h"
#include "shot/take_reload.h"
#include "shot/version_info.h"

namespace talvik::cli {
namespace {

// The node's own size when it has no input format.
const DD::Image::Format kDefaultFormat(4320, 2160);

// What the command line names, read and checked before the host starts.
struct Inputs {
    std::optional<shot::OverscanRequest> overscan;
    std::vector<int> frames;  // --frames; empty: decided after the reload
};

Inputs read_inputs(const RenderOptions& o, RenderPlan& plan) {
    Inputs in;
    if (o.overscan) in.overscan = shot::parse_overscan_request(*o.overscan);
    if (!o.overscan_from.empty()) in.overscan = shot::read_overscan_report(o.overscan_from);
    if (!o.output.empty()) plan.exr_pattern = shot::FramePattern::parse(o.output);
    if (!o.preview.empty()) plan.preview_pattern = shot::FramePattern::parse(o.preview);
    check_render_inputs(o);
    if (!o.frames.empty()) in.frames = shot::parse_frame_range(o.frames);
    if (!o.plate.empty()) plan.plates = shot::PlateSequence::open(o.plate, in.frames);
    return in;
}

// What the command line chose: --camera, or a --set camera_index (already
// applied to the node).
std::optional<int> chosen_camera(const Node& node, const RenderOptions& options) {
    if (options.camera) return options.camera;
    for (const auto& [name, value] : options.sets)
        if (name == "camera_index")
            if (const DD::Image::Knob* k = node.knob("camera_index")) return static_cast<int>(k->value());
    return std::nullopt;
}

// Presses "reload": alerts reach stderr as they come, the script's lines
// unless --quiet.
shot::CameraChoice reload(host::Host& host, Node& node, const RenderOptions& o, const shot::PlateSequence* plates,
                          std::FILE* err) {
    if (o.fbx.size() < 4 || o.fbx.compare(o.fbx.size() - 4, 4, ".fbx") != 0) explain_fbx_extension(o.fbx, err);
    shot::ReloadSinks sinks;
    sinks.alert = [err](const std::string& text) { std::fprintf(err, "reload: %s\n", text.c_str()); };
    if (!o.quiet) sinks.output = sinks.alert;
    return shot::reload_take(host, node, o.fbx, chosen_camera(node, o), plates, sinks);
}

// Controls the reload reads: a value set on them acts before it.
bool read_by_reload(const std::string& name) {
    static const char* const kRead[] = {"fbx_file_path", "camera_index", "lens1", "lens2", "lens3", "lens4"};
    for (const char* read : kRead)
        if (name == read) return true;
    return false;
}

// A value set on the command line holds for every frame: set again after
// the reload, it replaces the keys the take brought. Returns the controls
// whose value the reload had changed.
std::vector<std::string> set_again_after_reload(host::Host& host, Node& node, const RenderOptions& o,
                                                const std::vector<shot::ControlValue>& before) {
    const std::vector<shot::ControlValue> after = shot::control_values(node, 1.0);
    auto value_of = [](const std::vector<shot::ControlValue>& values, const std::string& name) {
        const auto it = std::find_if(values.begin(), values.end(), [&](const shot::ControlValue& v) { return v.name == name; });
        return it == values.end() ? std::optional<shot::ControlValue>() : std::optional<shot::ControlValue>(*it);
    };
    std::vector<std::string> overridden;
    for (const auto& [name, value] : o.sets) {
        if (read_by_reload(name)) continue;
        const DD::Image::Knob* k = node.knob(name);
        const bool changed = (k && k->is_animated()) || value_of(before, name) != value_of(after, name);
        shot::set_control(host, node, name, value);
        if (changed && std::find(overridden.begin(), overridden.end(), name) == overridden.end())
            overridden.push_back(name);
    }
    return overridden;
}

// The host with the plug-in's node fed by a source of the plate's format
// and metadata, its controls set from the command line and the take.
void set_up_node(const RenderOptions& o, RenderPlan& plan, std::FILE* err) {
    const shot::PlateHeader* plate = plan.plates ? &plan.plates->first() : nullptr;
    plan.host = shot::create_lens_host(o.plugin_path);
    host::Host& host = *plan.host;
    start_threads(host, o.threads);

    plan.format = plate ? DD::Image::Format(plate->width, plate->height)
                  : o.size ? DD::Image::Format(o.size->first, o.size->second)
                           : kDefaultFormat;
    // The format as the box until the overscan is resolved: `auto` measures over it.
    plan.node = &shot::add_lens_node(host, plan.format, plate ? shot::host_metadata(*plate) : host::Metadata{});
    const std::string other_model = shot::lens_model_warning(shot::plugin_build("TalvikDistort"));
    if (!other_model.empty()) warn(plan.notes, err, o.strict, other_model);
    if (o.mode) host.set_value(*plan.node, "Mode", *o.mode);
    for (const auto& [name, value] : o.sets) shot::set_control(host, *plan.node, name, value);
    if (!o.fbx.empty()) {
        const std::vector<shot::ControlValue> before = shot::control_values(*plan.node, 1.0);
        plan.notes.camera = reload(host, *plan.node, o, plan.plates ? &*plan.plates : nullptr, err).reason;
        plan.notes.overridden = set_again_after_reload(host, *plan.node, o, before);
        const std::string overridden = overridden_controls_warning(plan.notes.overridden);
        if (!overridden.empty()) warn(plan.notes, err, o.strict, overridden);
    }
    io::throw_if_stopped();
}

// --frames, else a sequence's frames on disk, else the take's keyed range.
void choose_frames(const RenderOptions& o, std::vector<int> frames, RenderPlan& plan, std::FILE* err) {
    const std::vector<int> keyed = o.fbx.empty() ? std::vector<int>{} : shot::keyed_frames(*plan.node);
    if (frames.empty()) frames = plan.box_per_frame() ? plan.plates->frames() : keyed;
    if (frames.empty()) frames = {1};
    if (!keyed.empty()) {
        const std::string held = held_frames_warning(frames, keyed.front(), keyed.back());
        if (!held.empty()) warn(plan.notes, err, o.strict, held);
    }
    if (plan.exr_pattern) shot::check_pattern_fits_frames(*plan.exr_pattern, frames);
    if (plan.preview_pattern) shot::check_pattern_fits_frames(*plan.preview_pattern, frames);
    plan.frames = std::move(frames);
}

// `auto` measures over the whole shot, so that every chunk of it gets the
// same margins: every keyed frame of the take, every frame of a plate
// sequence, and the frames asked beyond them.
std::vector<int> shot_frames(const RenderOptions& o, const RenderPlan& plan) {
    std::vector<int> frames = plan.frames;
    if (!o.fbx.empty())
        for (int frame : shot::keyed_frames(*plan.node)) frames.push_back(frame);
    if (plan.box_per_frame())
        for (int frame : plan.plates->frames()) frames.push_back(frame);
    std::sort(frames.begin(), frames.end());
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    return frames;
}

// The overscan margins, then every frame's box, each checked for memory
// before anything of that size is allocated. Returns the box of a plate
// that is one file, or of no plate.
DD::Image::Box plan_boxes(const RenderOptions& o, const std::optional<shot::OverscanRequest>& request,
                          RenderPlan& plan, std::FILE* out, std::FILE* err) {
    const int width = plan.format.width(), height = plan.format.height();
    // --overscan auto renders the format once to measure it.
    if (plan.rendering() || request) shot::check_frame_memory(width, height);
    if (request && request->kind == shot::OverscanRequest::Kind::Auto) plan.overscan_frames = shot_frames(o, plan);
    plan.overscan = shot::resolve_overscan(request, plan.format, [&] {
        return measure_auto_overscan(*plan.host, *plan.node, plan.overscan_frames, plan.format);
    });
    if (const auto& margins = plan.overscan.margins()) {
        if (!o.quiet) std::fprintf(err, "%s\n", shot::overscan_summary(*margins, width, height).c_str());
        if (o.print_controls) print_line(out, shot::overscan_json(*margins, width, height));
    }
    const shot::PlateHeader* plate = plan.plates ? &plan.plates->first() : nullptr;
    const DD::Image::Box fixed_box = shot::input_box(plan.format, plate, plan.overscan);
    if (!plan.rendering()) return fixed_box;
    if (!plan.box_per_frame()) shot::check_frame_memory(fixed_box.w(), fixed_box.h());
    for (int frame : plan.box_per_frame() ? plan.frames : std::vector<int>{}) {
        const DD::Image::Box box = shot::input_box(plan.format, &plan.plates->at(frame), plan.overscan);
        shot::check_frame_memory(box.w(), box.h());
    }
    return fixed_box;
}

// Where each frame's files go, refusing any that would replace an input,
// each other or something that is not a file; the folders that do not
// depend on the frame are made now.
void plan_outputs(const RenderOptions& o, RenderPlan& plan) {
    std::vector<std::string> inputs = plan.plates ? plan.plates->paths() : std::vector<std::string>{};
    if (!o.fbx.empty()) inputs.push_back(o.fbx);
    if (!o.overscan_from.empty()) inputs.push_back(o.overscan_from);
    // A file written once per render is one line here.
    std::vector<SingleOutput> single_outputs;
    if (!o.manifest.empty()) single_outputs.push_back({"--manifest", o.manifest});
    if (!o.overscan_report.empty()) single_outputs.push_back({"--overscan-report", o.overscan_report});
    if (!o.document.empty()) single_outputs.push_back({"-o", o.document});
    if (!o.manifest.empty()) check_manifest_folder(o.manifest);
    check_output_paths(plan.exr_pattern, plan.preview_pattern, plan.frames, inputs, single_outputs);
    // A file in place is current only when it says it was made from what
    // this frame would be made from now.
    const IsCurrent is_current = [&plan, alpha = o.alpha](const std::string& path, int frame) {
        const shot::MapIdentity id = shot::map_identity(frame, shot::control_values(*plan.node, frame), plan.format,
                                                        plan.box_at(frame), alpha);
        const bool exr = plan.exr_pattern && path == plan.exr_pattern->path_for(frame);
        return exr ? shot::exr_made_from(path, id) : shot::preview_identity_matches(read_preview_identity(path), id);
    };
    plan.outputs.emplace(plan.frames, plan.exr_pattern, plan.preview_pattern, o.skip_existing, is_current);
    std::vector<std::string> every_output = plan.outputs->all_paths();
    for (const SingleOutput& file : single_outputs) every_output.push_back(file.path);
    remove_abandoned_temporaries(every_output);
    if (plan.exr_pattern) make_fixed_folders(*plan.exr_pattern);
    if (plan.preview_pattern) make_fixed_folders(*plan.preview_pattern);
}

}  // namespace

const shot::PlateHeader* RenderPlan::plate_at(int frame) const {
    return plates ? &plates->at(frame) : nullptr;
}

DD::Image::Box RenderPlan::box_at(int frame) const {
    return box_per_frame() ? shot::input_box(format, &plates->at(frame), overscan) : fixed_box_;
}

RenderPlan plan_render(const RenderOptions& o, std::FILE* out, std::FILE* err) {
    RenderPlan plan;
    const Inputs in = read_inputs(o, plan);
    if (!plan.plates && !o.size && (!o.output.empty() || !o.preview.empty() || !o.overscan_report.empty()))
        warn(plan.notes, err, o.strict,
             "size " + std::to_string(kDefaultFormat.width()) + " x " + std::to_string(kDefaultFormat.height()) +
                 ": the node's default (no --plate or --size given)");
    set_up_node(o, plan, err);
    choose_frames(o, in.frames, plan, err);
    plan.fixed_box_ = plan_boxes(o, in.overscan, plan, out, err);
    plan_outputs(o, plan);
    return plan;
}

}  // namespace talvik::cli
