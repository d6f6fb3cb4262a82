#include "pipeline/render/render_plan.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "DDImage/Knob.h"
#include "pipeline/output/loaded_files.h"
#include "pipeline/output/output_paths.h"
#include "png/preview_png_writer.h"
#include "pipeline/render/auto_overscan.h"
#include "pipeline/render/chunk_records.h"
#include "pipeline/render/existing_output.h"
#include "pipeline/render/render_manifest.h"
#include "pipeline/render/render_safety.h"
#include "host/python/python_scripting.h"
#include "io/input_file.h"
#include "io/stop_signal.h"
#include "shot/content_hash.h"
#include "shot/control_values.h"
#include "shot/duplicate_keys.h"
#include "shot/frame_checks.h"
#include "shot/frame_range.h"
#include "shot/lens_usability.h"
#include "shot/lens_node.h"
#include "shot/map_identity.h"
#include "shot/memory_check.h"
#include "shot/plate_metadata.h"
#include "shot/take_reload.h"
#include "shot/usage_error.h"
#include "shot/version_info.h"
#include "pipeline/job/field_names.h"

namespace talvik::pipeline {
namespace {

// The node's own size when it has no input format.
const DD::Image::Format kDefaultFormat(4320, 2160);

// What the command line names, read and checked before the host starts.
struct Inputs {
    std::optional<shot::OverscanRequest> overscan;
    std::vector<int> frames;  // --frames; empty: decided after the reload
};

Inputs read_inputs(const ShotJob& o, RenderPlan& plan) {
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

// A sequence found on disk with frames missing between its first and last:
// a render that failed, or frames deleted by hand.
void warn_plate_gaps(const ShotJob& o, const shot::PlateSequence& plates, RenderNotes& notes, ShotEvents& events) {
    std::string missing;
    for (const auto& [first, last] : plates.gaps())
        missing += (missing.empty() ? "" : ", ") + std::to_string(first) +
                   (last > first ? "-" + std::to_string(last) : std::string());
    if (missing.empty()) return;
    warn(notes, events,
         "plate sequence \"" + o.plate + "\" has no frame " + missing + " between its frames " +
             std::to_string(plates.frames().front()) + " and " + std::to_string(plates.frames().back()) + " on disk");
}

// What the command line chose: --camera, or a --set camera_index (already
// applied to the node).
std::optional<int> chosen_camera(const Node& node, const ShotJob& options) {
    if (options.camera) return options.camera;
    for (const auto& [name, value] : options.sets)
        if (name == "camera_index")
            if (const DD::Image::Knob* k = node.knob("camera_index")) return static_cast<int>(k->value());
    return std::nullopt;
}

// --mode, --fbx and --camera set the controls Mode, fbx_file_path and
// camera_index: a --set of one of them must give the option's value (the
// same file, for the take). Compared on the control, so that "undistort",
// "Undistort" and "1" agree.
void check_agrees_with_options(const Node& node, const ShotJob& o, const std::string& name,
                               const std::string& value) {
    const DD::Image::Knob* k = node.knob(name);
    std::string option;
    if (name == "Mode" && o.mode && std::lround(k->value()) != *o.mode)
        option = std::string("--mode ") + (*o.mode == 0 ? "distort" : "undistort");
    if (name == "camera_index" && o.camera && std::lround(k->value()) != *o.camera)
        option = "--camera " + std::to_string(*o.camera);
    if (name == "fbx_file_path" && !o.fbx.empty() && !io::same_file(o.fbx, value) && o.fbx != value)
        option = "--fbx " + o.fbx;
    if (!option.empty())
        throw shot::UsageError(option + " and --set " + name + "=" + value + " contradict each other: give one");
}

// Presses "reload": its alerts and the script's lines reach the caller as
// they come.
shot::CameraChoice reload(host::Host& host, Node& node, const ShotJob& o, const shot::PlateSequence* plates,
                          ShotEvents& events) {
    shot::ReloadSinks sinks;
    sinks.alert = [&events](const std::string& text) { events.alert(text); };
    sinks.output = [&events](const std::string& text) { events.script_output(text); };
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
std::vector<std::string> set_again_after_reload(host::Host& host, Node& node, const ShotJob& o,
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
void set_up_node(const ShotJob& o, RenderPlan& plan, ShotEvents& events) {
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
    if (!other_model.empty()) warn(plan.notes, events, other_model);
    if (o.mode) host.set_value(*plan.node, "Mode", *o.mode);
    for (const auto& [name, value] : o.sets) {
        shot::set_control(host, *plan.node, name, value);
        check_agrees_with_options(*plan.node, o, name, value);
    }
    if (!o.fbx.empty()) {
        const std::vector<shot::ControlValue> before = shot::control_values(*plan.node, 1.0);
        plan.notes.camera = reload(host, *plan.node, o, plan.plates ? &*plan.plates : nullptr, events).reason;
        plan.take_hash = shot::file_content_hash(o.fbx);
        for (const std::string& twice : shot::duplicate_key_warnings(*plan.node, o.fbx)) warn(plan.notes, events, twice);
        plan.notes.overridden = set_again_after_reload(host, *plan.node, o, before);
        const std::string overridden = overridden_controls_warning(plan.notes.overridden);
        if (!overridden.empty()) warn(plan.notes, events, overridden);
    }
    io::throw_if_stopped();
}

// --frames, else a sequence's frames on disk, else the take's keyed range.
void choose_frames(const ShotJob& o, std::vector<int> frames, RenderPlan& plan, ShotEvents& events) {
    const std::vector<int> keyed = o.fbx.empty() ? std::vector<int>{} : shot::keyed_frames(*plan.node);
    if (frames.empty()) frames = plan.box_per_frame() ? plan.plates->frames() : keyed;
    if (frames.empty()) frames = {1};
    if (!keyed.empty()) {
        const std::string held = held_frames_warning(frames, keyed.front(), keyed.back());
        if (!held.empty()) warn(plan.notes, events, held);
    }
    if (plan.exr_pattern) shot::check_pattern_fits_frames(*plan.exr_pattern, frames);
    if (plan.preview_pattern) shot::check_pattern_fits_frames(*plan.preview_pattern, frames);
    plan.frames = std::move(frames);
}

// `auto` measures over the whole shot, so that every chunk of it gets the
// same margins: every keyed frame of the take, every frame of a plate
// sequence, and the frames asked beyond them.
std::vector<int> shot_frames(const ShotJob& o, const RenderPlan& plan) {
    std::vector<int> frames = plan.frames;
    if (!o.fbx.empty())
        for (int frame : shot::keyed_frames(*plan.node)) frames.push_back(frame);
    if (plan.box_per_frame())
        for (int frame : plan.plates->frames()) frames.push_back(frame);
    std::sort(frames.begin(), frames.end());
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    return frames;
}

// Names, in a warning, every frame rendered or measured whose lens makes no
// usable map (see lens_usability.h); `auto` leaves those out of its
// measurement, so they never widen the margins of the whole shot.
void warn_unusable_lenses(RenderPlan& plan, ShotEvents& events) {
    std::vector<int> frames = plan.frames;
    frames.insert(frames.end(), plan.overscan_frames.begin(), plan.overscan_frames.end());
    std::sort(frames.begin(), frames.end());
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    const bool measured = !plan.overscan_frames.empty();
    const char* left_out = measured ? "; the overscan measurement leaves it out" : "";
    auto why_at = [&](int frame) {
        return shot::unusable_lens(shot::control_values(*plan.node, frame), plan.format.width(), plan.format.height());
    };
    // Without animation every frame has one lens: one look, one line.
    if (shot::keyed_frames(*plan.node).empty()) {
        const auto why = why_at(frames.front());
        if (!why) return;
        warn(plan.notes, events,
             std::string(frames.size() == 1 ? "frame " : "frames ") + shot::format_frames(frames) +
                 ": the lens makes no usable map: " + *why + left_out);
        if (measured) throw std::runtime_error("no frame to measure the overscan on: the lens makes no usable map");
        return;
    }
    // A few frames in full, the rest in one line.
    constexpr size_t kNamedInFull = 5;
    std::vector<int> unusable;
    for (int frame : frames) {
        const auto why = why_at(frame);
        if (!why) continue;
        unusable.push_back(frame);
        if (unusable.size() <= kNamedInFull)
            warn(plan.notes, events,
                 "frame " + std::to_string(frame) + ": the lens makes no usable map: " + *why + left_out);
    }
    if (unusable.size() > kNamedInFull)
        warn(plan.notes, events,
             std::to_string(unusable.size() - kNamedInFull) + " more frames whose lens makes no usable map: " +
                 shot::format_frames(std::vector<int>(unusable.begin() + kNamedInFull, unusable.end())));
    if (!measured || unusable.empty()) return;
    std::vector<int>& measure = plan.overscan_frames;
    measure.erase(std::remove_if(measure.begin(), measure.end(),
                                 [&](int f) { return std::binary_search(unusable.begin(), unusable.end(), f); }),
                  measure.end());
    if (measure.empty())
        throw std::runtime_error("no frame to measure the overscan on: the lens of every frame of the shot makes "
                                 "no usable map");
}

// The overscan margins, then every frame's box, each checked for memory
// before anything of that size is allocated. Returns the box of a plate
// that is one file, or of no plate.
DD::Image::Box plan_boxes(const ShotJob& o, const std::optional<shot::OverscanRequest>& request,
                          RenderPlan& plan, ShotEvents& events) {
    const int width = plan.format.width(), height = plan.format.height();
    if (request && request->measured_on) {
        const std::string differs = shot::measured_on_difference(*request->measured_on, measured_on(o, plan));
        if (!differs.empty())
            throw std::runtime_error(request->text + " was measured on another shot: " + differs +
                                     "; measure this one (talvik-stmap overscan)");
    }
    const int threads = plan.host->threads();
    // --overscan auto renders the format to measure it, in bands.
    if (!plan.overscan_frames.empty()) shot::check_frame_memory(width, height, shot::FrameWork{std::nullopt, threads, 0});
    plan.overscan = shot::resolve_overscan(request, plan.format, [&] {
        return measure_auto_overscan(*plan.host, *plan.node, plan.overscan_frames, plan.format, events);
    });
    if (const auto& margins = plan.overscan.margins()) {
        events.note(shot::overscan_summary(*margins, width, height));
        events.values(shot::overscan_json(*margins, width, height));
    }
    const shot::PlateHeader* plate = plan.plates ? &plan.plates->first() : nullptr;
    const DD::Image::Box fixed_box = shot::input_box(plan.format, plate, plan.overscan);
    if (!plan.rendering()) return fixed_box;
    const shot::FrameWork work = render_frame_work(o, threads);
    if (!plan.box_per_frame()) shot::check_frame_memory(fixed_box.w(), fixed_box.h(), work);
    for (int frame : plan.box_per_frame() ? plan.frames : std::vector<int>{}) {
        const DD::Image::Box box = shot::input_box(plan.format, &plan.plates->at(frame), plan.overscan);
        shot::check_frame_memory(box.w(), box.h(), work);
    }
    return fixed_box;
}

// A file written once per render is one line here.
std::vector<SingleOutput> single_outputs(const ShotJob& o) {
    std::vector<SingleOutput> files;
    if (!o.manifest.empty()) files.push_back({field_name(o.naming, "--manifest"), o.manifest});
    if (!o.overscan_report.empty()) files.push_back({field_name(o.naming, o.overscan_report_name), o.overscan_report});
    if (!o.document.empty()) files.push_back({field_name(o.naming, "-o"), o.document});
    return files;
}

// Refuses, before anything is rendered (an `auto` measurement included),
// outputs that would replace a file the run depends on or names, each
// other or something that is not a file.
void check_outputs(const ShotJob& o, const RenderPlan& plan, const std::vector<NamedSequence>& named) {
    std::vector<InputFile> inputs;
    const auto [first, last] = std::minmax_element(plan.frames.begin(), plan.frames.end());
    for (const NamedSequence& sequence : named) {
        if (plan.frames.empty()) break;
        const int end = sequence.pattern.has_frame_field() ? *last : *first;
        for (long long frame = *first; frame <= end; ++frame)
            inputs.push_back({sequence.pattern.path_for(static_cast<int>(frame)), sequence.what, true});
    }
    for (const std::string& path : plan.plates ? plan.plates->paths() : std::vector<std::string>{})
        inputs.push_back({path, plan.plates->is_sequence() ? "plate frame" : "plate"});
    if (!o.fbx.empty()) inputs.push_back({o.fbx, "take"});
    if (!o.overscan_from.empty()) inputs.push_back({o.overscan_from, "overscan report"});
    std::error_code ec;
    const std::string program = std::filesystem::canonical("/proc/self/exe", ec).string();
    for (const std::string& path : loaded_files())
        inputs.push_back({path, path == program ? "program itself" : "library this run loaded"});
    check_output_paths(plan.exr_pattern, plan.preview_pattern, plan.frames, inputs, single_outputs(o), o.naming);
    for (const SingleOutput& file : single_outputs(o)) check_single_output_writable(file);
}

// Which frames' files are written, whose are kept; the temporaries killed
// renders left are removed and the folders that do not depend on the frame
// made.
void plan_outputs(const ShotJob& o, RenderPlan& plan) {
    // A file in place is current only when it says it was made from what
    // this frame would be made from now.
    // And when a run recorded it, only as the bytes that run wrote: the
    // records of the manifests beside this run's (a farm job's chunks).
    std::optional<ChunkRecords> records;
    if (o.skip_existing && !o.manifest.empty())
        records = ChunkRecords::read(std::filesystem::path(recorded_path(o.manifest)).parent_path().string());
    const IsCurrent is_current = [&plan, &records](const std::string& path, int frame) {
        const shot::MapIdentity id = plan.identity_at(frame);
        const bool exr = plan.exr_pattern && path == plan.exr_pattern->path_for(frame);
        OutputCheck check = exr ? check_existing_map(path, id) : check_existing_preview(path, id);
        if (records) check = check_record(path, check, records->latest_written(recorded_path(path)));
        return check.state == OutputCheck::State::Current;
    };
    plan.outputs.emplace(plan.frames, plan.exr_pattern, plan.preview_pattern, o.skip_existing, is_current);
    std::vector<std::string> every_output = plan.outputs->all_paths();
    for (const SingleOutput& file : single_outputs(o)) every_output.push_back(file.path);
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

shot::MapIdentity RenderPlan::identity_at(int frame) const {
    const std::optional<shot::Margins>& margins = overscan.margins();
    return shot::map_identity(frame, shot::control_values(*node, frame), format, box_at(frame),
                              margins ? shot::overscan_attributes(*margins) : std::vector<exr::ExtraAttribute>{}, alpha,
                              compression);
}

shot::FrameWork render_frame_work(const ShotJob& o, int threads) {
    shot::FrameWork work{std::nullopt, threads, o.preview.empty() ? 0 : png::PreviewOptions().max_width};
    if (!o.output.empty()) work.exr = o.compression;
    return work;
}

shot::MeasuredOn measured_on(const ShotJob& o, const RenderPlan& plan) {
    shot::MeasuredOn m;
    m.take_hash = plan.take_hash;
    m.take_path = o.fbx;
    if (!o.fbx.empty())
        if (const DD::Image::Knob* index = plan.node->knob("camera_index")) m.camera = static_cast<int>(index->value());
    m.width = plan.format.width();
    m.height = plan.format.height();
    m.pixel_aspect = plan.plates ? plan.plates->first().attributes.pixelAspectRatio() : 1.0;
    m.lens_model = shot::lens_model_version();
    // `auto` measures the Undistort map; a report hands on what it measured.
    const std::optional<shot::OverscanRequest>& request = plan.overscan_request;
    if (request && request->kind == shot::OverscanRequest::Kind::Auto) m.mode = "Undistort";
    if (request && request->measured_on) m.mode = request->measured_on->mode;
    return m;
}

RenderPlan plan_shot(const ShotJob& o, ShotEvents& events) {
    RenderPlan plan;
    plan.alpha = o.alpha;
    plan.compression = o.compression;
    const Inputs in = read_inputs(o, plan);
    if (!plan.plates && !o.size && (!o.output.empty() || !o.preview.empty() || !o.overscan_report.empty()))
        warn(plan.notes, events,
             "size " + std::to_string(kDefaultFormat.width()) + " x " + std::to_string(kDefaultFormat.height()) +
                 ": the node's default (no --plate or --size given)");
    if (plan.plates) warn_plate_gaps(o, *plan.plates, plan.notes, events);
    plan.overscan_request = in.overscan;
    set_up_node(o, plan, events);
    choose_frames(o, in.frames, plan, events);
    return plan;
}

void plan_overscan(const ShotJob& o, RenderPlan& plan, ShotEvents& events) {
    const auto& request = plan.overscan_request;
    if (request && request->kind == shot::OverscanRequest::Kind::Auto) plan.overscan_frames = shot_frames(o, plan);
    warn_unusable_lenses(plan, events);
    plan.fixed_box_ = plan_boxes(o, request, plan, events);
}

void check_render_outputs(const ShotJob& o, const RenderPlan& plan) { check_outputs(o, plan, {}); }

RenderPlan plan_render(const ShotJob& o, ShotEvents& events,
                       const std::vector<NamedSequence>& named) {
    RenderPlan plan = plan_shot(o, events);
    check_outputs(o, plan, named);
    plan_overscan(o, plan, events);
    plan_outputs(o, plan);
    return plan;
}

}  // namespace talvik::pipeline
