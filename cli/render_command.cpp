#include "cli/render_command.h"

#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "cli/control_values.h"
#include "cli/frame_checks.h"
#include "cli/frame_range.h"
#include "cli/memory_check.h"
#include "cli/output_paths.h"
#include "cli/output_pattern.h"
#include "cli/plate_header.h"
#include "cli/preview_png_writer.h"
#include "cli/progress_reporter.h"
#include "cli/render_safety.h"
#include "cli/st_map_exr_writer.h"
#include "cli/stop_signal.h"
#include "host/fbx/fbx_scene.h"
#include "host/python/python_scripting.h"
#include "host/runtime/host.h"

namespace talvik::cli {

namespace {

// The node's own size when it has no input format.
const DD::Image::Format kDefaultFormat(4320, 2160);

host::Metadata host_metadata(const PlateHeader& plate) {
    host::Metadata out;
    for (const auto& [key, value] : plate.metadata) {
        std::visit(
            [&](const auto& v) {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, int>) {
                    out[key] = static_cast<long long>(v);
                } else if constexpr (std::is_same_v<T, std::string>) {
                    out[key] = v;
                } else {
                    out[key] = static_cast<double>(v);
                }
            },
            value);
    }
    return out;
}

// Presses "reload"; every alert the script raises is a failure it reports.
void reload(host::Host& host, Node& node, const RenderOptions& o, std::FILE* err) {
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
    host.set_text(node, "fbx_file_path", o.fbx);
    if (o.camera) host.set_value(node, "camera_index", *o.camera);
    try {
        host.press(node, "reload");
    } catch (const host::ScriptError& e) {
        throw std::runtime_error("reload of " + o.fbx + " failed:\n" + e.what());
    }
    if (!alerts.empty()) throw std::runtime_error("reload of " + o.fbx + " failed: " + alerts.back());
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
    std::optional<PlateHeader> plate;
    if (!o.plate.empty()) plate = read_plate_header(o.plate);

    host::Host host(o.plugin_path);
    host::enable_python_scripting(host);
    start_threads(host, o.threads);

    Node& node = host.create_node("TalvikDistort");
    if (plate) {
        host.connect(node, 0, &host.create_source({plate->width, plate->height}, host_metadata(*plate)));
    } else if (o.size) {
        host.connect(node, 0, &host.create_source({o.size->first, o.size->second}));
    }
    host.open_panel(node);
    if (o.mode) host.set_value(node, "Mode", *o.mode);
    for (const auto& [name, value] : o.sets) set_control(host, node, name, value);
    if (!o.fbx.empty()) {
        reload(host, node, o, err);
        check_take_keys(node, o.fbx);
    }
    throw_if_stopped();

    std::vector<int> frames;
    if (!o.frames.empty()) {
        frames = parse_frame_range(o.frames);
    } else if (!o.fbx.empty()) {
        frames = keyed_frames(node);
    }
    if (frames.empty()) frames = {1};
    if (exr_pattern) check_pattern_fits_frames(*exr_pattern, frames);
    if (preview_pattern) check_pattern_fits_frames(*preview_pattern, frames);

    const bool rendering = exr_pattern || preview_pattern;
    const DD::Image::Format format = plate ? DD::Image::Format(plate->width, plate->height)
                                     : o.size ? DD::Image::Format(o.size->first, o.size->second)
                                              : kDefaultFormat;
    if (rendering) check_frame_memory(format.width(), format.height());
    check_output_paths(exr_pattern, preview_pattern, frames, {o.plate, o.fbx});
    if (exr_pattern) make_fixed_folders(*exr_pattern);
    if (preview_pattern) make_fixed_folders(*preview_pattern);
    OutputFolders folders;
    ProgressOptions progress_options;
    progress_options.quiet = o.quiet || !rendering;
    ProgressReporter progress(err, static_cast<int>(frames.size()), output_folder(o), progress_options);

    host::Image image;
    std::vector<ControlValue> rendered_with;  // controls of the map in `image`
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
        // A frame whose controls equal the last rendered frame's has its map.
        if (values != rendered_with || image.width == 0) {
            host.render_into(node, frame, format.width(), format.height(), image);
            rendered_with = values;
        }
        const StMapView view{image.width, image.height, image.channel[0].data(), image.channel[1].data()};
        check_map_finite(view, frame, values);
        throw_if_stopped();
        if (exr_pattern) {
            exr_options.extra = control_attributes(frame, values);
            folders.prepare(*exr_pattern, exr_pattern->path_for(frame));
            write_st_map_exr(exr_pattern->path_for(frame), view, exr_options);
        }
        if (preview_pattern) {
            folders.prepare(*preview_pattern, preview_pattern->path_for(frame));
            write_preview_png(preview_pattern->path_for(frame), view, preview_options);
        }
        progress.frame_done(frame);
    }
    if (rendering) progress.finish();
    return 0;
}

}  // namespace talvik::cli
