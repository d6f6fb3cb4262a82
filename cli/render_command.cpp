#include "cli/render_command.h"

#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "cli/control_values.h"
#include "cli/frame_checks.h"
#include "cli/frame_outputs.h"
#include "cli/frame_range.h"
#include "cli/input_bbox.h"
#include "cli/memory_check.h"
#include "cli/output_paths.h"
#include "cli/output_pattern.h"
#include "cli/overscan_report.h"
#include "cli/plate_header.h"
#include "cli/plate_metadata.h"
#include "cli/plate_sequence.h"
#include "cli/preview_png_writer.h"
#include "cli/progress_reporter.h"
#include "cli/render_manifest.h"
#include "cli/render_notes.h"
#include "cli/render_safety.h"
#include "cli/stop_signal.h"
#include "cli/take_camera.h"
#include "cli/version_info.h"
#include "exr/st_map_exr_writer.h"
#include "host/fbx/fbx_scene.h"
#include "host/python/python_scripting.h"
#include "host/runtime/host.h"

namespace talvik::cli {

namespace {

// The node's own size when it has no input format.
const DD::Image::Format kDefaultFormat(4320, 2160);

// Presses "reload"; every alert the script raises is a failure it reports.
CameraChoice reload(host::Host& host, Node& node, const RenderOptions& o, const PlateSequence* plates,
                    std::FILE* err) {
    std::vector<std::string> alerts;
    host.set_alert_sink([&](const std::string& text) {
        alerts.push_back(text);
        std::fprintf(err, "reload: %s\n", text.c_str());
    });
    host.set_output_sink([&](const std::string& text) {
        if (!o.quiet) std::fprintf(err, "reload: %s\n", text.c_str());
    });
    // A file the script would read is read once first, so that a damaged
    // take is reported as plainly as the reader words it.
    if (o.fbx.size() >= 4 && o.fbx.compare(o.fbx.size() - 4, 4, ".fbx") == 0) fbx::read_scene(o.fbx);
    else explain_fbx_extension(o.fbx, err);
    const CameraChoice camera = set_take_and_camera(host, node, o.fbx, chosen_camera(node, o), plates);
    try {
        host.press(node, "reload");
    } catch (const host::ScriptError& e) {
        throw std::runtime_error("reload of " + o.fbx + " failed:\n" + e.what());
    }
    if (!alerts.empty()) throw std::runtime_error("reload of " + o.fbx + " failed: " + alerts.back());
    return camera;
}

std::string output_folder(const RenderOptions& o) {
    const std::string& any = o.output.empty() ? o.preview : o.output;
    if (any.empty()) return "";
    const std::string parent = OutputPattern::parse(any).fixed_folder();
    return parent.empty() ? "./" : parent == "/" ? parent : parent + "/";
}

}  // namespace

int run_render(const RenderOptions& o, std::FILE* out, std::FILE* err) {
    std::optional<OutputPattern> exr_pattern, preview_pattern;
    if (!o.output.empty()) exr_pattern = OutputPattern::parse(o.output);
    if (!o.preview.empty()) preview_pattern = OutputPattern::parse(o.preview);
    check_render_inputs(o);
    std::vector<int> frames;
    if (!o.frames.empty()) frames = parse_frame_range(o.frames);
    std::optional<PlateSequence> plates;
    if (!o.plate.empty()) plates = PlateSequence::open(o.plate, frames);
    std::optional<PlateHeader> plate;
    if (plates) plate = plates->first();

    host::Host host(o.plugin_path);
    host::enable_python_scripting(host);
    start_threads(host, o.threads);

    Node& node = host.create_node("TalvikDistort");
    const DD::Image::Format format = plate ? DD::Image::Format(plate->width, plate->height)
                                     : o.size ? DD::Image::Format(o.size->first, o.size->second)
                                              : kDefaultFormat;
    const host::Metadata metadata = plate ? host_metadata(*plate) : host::Metadata{};
    // The format as the box until the box is known: --overscan auto measures over it.
    host.connect(node, 0, &host.create_source(format, metadata));
    host.open_panel(node);
    if (o.mode) host.set_value(node, "Mode", *o.mode);
    for (const auto& [name, value] : o.sets) set_control(host, node, name, value);
    RenderNotes notes;
    if (!o.fbx.empty()) {
        notes.camera = reload(host, node, o, plates ? &*plates : nullptr, err).reason;
        check_take_keys(node, o.fbx);
    }
    throw_if_stopped();

    const std::vector<int> keyed = o.fbx.empty() ? std::vector<int>{} : keyed_frames(node);
    if (frames.empty()) frames = plates && plates->is_sequence() ? plates->frames() : keyed;
    if (frames.empty()) frames = {1};
    if (!keyed.empty() && !o.quiet) {
        const std::string held = held_frames_warning(frames, keyed.front(), keyed.back());
        if (!held.empty()) std::fprintf(err, "%s\n", held.c_str());
    }
    if (exr_pattern) check_pattern_fits_frames(*exr_pattern, frames);
    if (preview_pattern) check_pattern_fits_frames(*preview_pattern, frames);

    const bool rendering = exr_pattern || preview_pattern;
    // --overscan auto renders the format once to measure it.
    if (rendering || o.overscan) check_frame_memory(format.width(), format.height());
    const std::optional<Margins> margins = overscan_margins(host, node, frames, format, o.overscan);
    if (margins && !o.quiet)
        std::fprintf(err, "%s\n", overscan_summary(*margins, format.width(), format.height()).c_str());
    if (margins && o.print_controls) print_line(out, overscan_json(*margins, format.width(), format.height()));
    // The input's box: each frame of a sequence brings its own data window,
    // as a Read node's frames do. All are checked before anything renders.
    const bool box_per_frame = plates && plates->is_sequence();
    const DD::Image::Box fixed_box = input_box(format, plate ? &*plate : nullptr, margins, o.overscan);
    auto box_at = [&](int frame) {
        return box_per_frame ? input_box(format, &plates->at(frame), margins, o.overscan) : fixed_box;
    };
    if (rendering) {
        for (int frame : box_per_frame ? frames : std::vector<int>{frames.front()}) {
            const DD::Image::Box box = box_at(frame);
            check_frame_memory(box.w(), box.h());
        }
    }
    std::vector<std::string> inputs = plates ? plates->paths() : std::vector<std::string>{};
    if (!o.fbx.empty()) inputs.push_back(o.fbx);
    std::vector<std::string> single_outputs;
    if (!o.manifest.empty()) single_outputs.push_back(o.manifest);
    check_output_paths(exr_pattern, preview_pattern, frames, inputs, single_outputs);
    const FrameOutputs outputs(frames, exr_pattern, preview_pattern, o.skip_existing);
    RenderManifest manifest;
    if (!o.manifest.empty()) check_manifest_path(o.manifest, outputs.all_paths());
    if (exr_pattern) make_fixed_folders(*exr_pattern);
    if (preview_pattern) make_fixed_folders(*preview_pattern);
    OutputFolders folders;
    ProgressOptions progress_options;
    progress_options.quiet = o.quiet || !rendering;
    ProgressReporter progress(err, outputs.frames_to_render(), output_folder(o), progress_options);

    host::Image image;
    DD::Image::Box source_box(0, 0, format.width(), format.height());  // the source's box now
    std::vector<ControlValue> rendered_with;  // controls of the map in `image`
    StMapExrWriter exr_writer;  // keeps the last map's compressed chunks
    bool exr_writer_holds_map = false;  // its chunks are of the map in `image`
    StMapExrOptions exr_options;
    exr_options.compression = o.compression;
    if (plate) exr_options.plate_attributes = &plate->attributes;
    exr_options.cancel = &stop_requested();
    PreviewOptions preview_options;
    preview_options.cancel = &stop_requested();
    for (int frame : frames) {
        throw_if_stopped();
        const std::vector<ControlValue> values = control_values(node, frame);
        check_frame_values(values, frame);
        if (o.print_controls) print_line(out, controls_json(frame, values));
        if (!rendering) continue;
        const FrameFiles& files = outputs.at(frame);
        if (!files.any()) continue;
        if (box_per_frame) {
            show_plate_frame(host, *node.input(0), plates->at(frame));
            exr_options.plate_attributes = &plates->at(frame).attributes;
        }
        const DD::Image::Box box = box_at(frame);
        if (box != source_box) {
            host.set_bbox(*node.input(0), box);
            source_box = box;
        }
        // A frame whose controls and box equal the last rendered frame's has its map.
        if (values != rendered_with || image.width == 0 || DD::Image::Box(image.x, image.y, image.r(), image.t()) != box) {
            host.render_into(node, frame, image);
            rendered_with = values;
            exr_writer_holds_map = false;
        }
        const StMapView view{image.width, image.height, image.channel[0].data(), image.channel[1].data(),
                             image.x,     image.y,      image.format.width(),    image.format.height()};
        check_map_finite(view, frame, values);
        throw_if_stopped();
        if (files.exr) {
            exr_options.extra = control_attributes(frame, values);
            if (margins) {
                for (ExtraAttribute& a : overscan_attributes(*margins))
                    exr_options.extra.push_back(std::move(a));
            }
            folders.prepare(*exr_pattern, *files.exr);
            // The writer reuses its chunks only when it wrote this very map
            // last: a frame whose EXR was skipped may have rendered anew.
            exr_writer.write(*files.exr, view, exr_options, exr_writer_holds_map);
            exr_writer_holds_map = true;
            manifest.add(*files.exr, frame, values);
        }
        if (files.preview) {
            folders.prepare(*preview_pattern, *files.preview);
            write_preview_png(*files.preview, view, preview_options);
            manifest.add(*files.preview, frame, values);
        }
        progress.frame_done(frame);
    }
    if (rendering) progress.finish();
    notes.default_size = !plate && !o.size;
    notes.width = kDefaultFormat.width();
    notes.height = kDefaultFormat.height();
    notes.skipped = outputs.frames_skipped();
    notes.plugin_path = plugin_build("TalvikDistort").path;
    if (rendering && !o.quiet) print_render_notes(err, notes);
    if (!o.manifest.empty()) {
        for (const std::string& path : outputs.skipped_paths()) manifest.add_skipped(path);
        write_manifest(o.manifest, manifest.json(notes.plugin_path));
    }
    return 0;
}

}  // namespace talvik::cli
