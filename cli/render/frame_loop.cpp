#include "cli/render/frame_loop.h"

#include <string>
#include <utility>
#include <vector>

#include "cli/output/output_paths.h"
#include "cli/preview/preview_png_writer.h"
#include "cli/render/control_values.h"
#include "cli/render/frame_cache.h"
#include "cli/render/frame_checks.h"
#include "cli/render/map_identity.h"
#include "cli/render/plate_metadata.h"
#include "cli/render/progress_reporter.h"
#include "cli/render/render_safety.h"
#include "cli/render/version_info.h"
#include "exr/st_map_exr_writer.h"
#include "io/stop_signal.h"

namespace talvik::cli {
namespace {

std::string output_folder(const RenderOptions& o) {
    const std::string& any = o.output.empty() ? o.preview : o.output;
    if (any.empty()) return "";
    const std::string parent = OutputPattern::parse(any).fixed_folder();
    return parent.empty() ? "./" : parent == "/" ? parent : parent + "/";
}

io::StMapView view_of(const host::Image& image) {
    return {image.width, image.height, image.channel[0].data(), image.channel[1].data(),
            image.x,     image.y,      image.format.width(),    image.format.height()};
}

class FrameLoop {
public:
    FrameLoop(RenderPlan& plan, const RenderOptions& o, std::FILE* err)
        : plan_(plan),
          source_box_(0, 0, plan.format.width(), plan.format.height()),
          progress_(err, plan.outputs->frames_to_render(), output_folder(o), progress_options(plan, o)) {
        exr_options_.compression = o.compression;
        exr_options_.cancel = &io::stop_requested();
        preview_options_.cancel = &io::stop_requested();
    }

    // One frame: its controls checked, its map rendered unless held, its
    // files written.
    void frame(int frame, const std::vector<ControlValue>& values) {
        const FrameFiles& files = plan_.outputs->at(frame);
        if (!files.any()) return;
        show_frame_input(frame);
        cache_.render(*plan_.host, *plan_.node, frame, values, source_box_);
        const io::StMapView view = view_of(cache_.image());
        check_map_finite(view, frame, values);
        io::throw_if_stopped();
        if (files.exr) write_exr(*files.exr, frame, values, view);
        if (files.preview) {
            folders_.prepare(*files.preview);
            write_preview_png(*files.preview, view, preview_options_,
                              identity_text(map_identity(frame, values, plan_.format, plan_.box_at(frame))));
            manifest_.add(*files.preview, frame, values);
        }
        progress_.frame_done(frame);
    }

    void finish() { progress_.finish(); }
    RenderManifest take_manifest() { return std::move(manifest_); }

private:
    static ProgressOptions progress_options(const RenderPlan& plan, const RenderOptions& o) {
        ProgressOptions options;
        options.quiet = o.quiet || !plan.rendering();
        return options;
    }

    // The frame's plate header reaches the node, and its box the source.
    void show_frame_input(int frame) {
        const PlateHeader* plate = plan_.plate_at(frame);
        if (plate && plan_.box_per_frame()) show_plate_frame(*plan_.host, *plan_.node->input(0), *plate);
        exr_options_.plate_attributes = plate ? &plate->attributes : nullptr;
        const DD::Image::Box box = plan_.box_at(frame);
        if (box != source_box_) {
            plan_.host->set_bbox(*plan_.node->input(0), box);
            source_box_ = box;
        }
    }

    void write_exr(const std::string& path, int frame, const std::vector<ControlValue>& values,
                   const io::StMapView& view) {
        exr_options_.extra = control_attributes(frame, values);
        // The map is ours, not the plate's: its software replaces the plate's.
        exr_options_.extra.push_back({"software", std::string("talvik-stmap ") + command_version()});
        if (const auto& margins = plan_.overscan.margins()) {
            for (exr::ExtraAttribute& a : overscan_attributes(*margins)) exr_options_.extra.push_back(std::move(a));
        }
        folders_.prepare(path);
        // The writer reuses its chunks only when it wrote this very map
        // last: a frame whose EXR was skipped may have rendered anew.
        exr_writer_.write(path, view, exr_options_, cache_.writer_holds_map());
        cache_.set_writer_holds_map();
        manifest_.add(path, frame, values);
    }

    RenderPlan& plan_;
    DD::Image::Box source_box_;  // the source's box now
    FrameCache cache_;
    exr::StMapExrWriter exr_writer_;  // keeps the last map's compressed chunks
    exr::StMapExrOptions exr_options_;
    PreviewOptions preview_options_;
    OutputFolders folders_;
    ProgressReporter progress_;
    RenderManifest manifest_;
};

}  // namespace

RenderManifest render_frames(RenderPlan& plan, const RenderOptions& o, std::FILE* out, std::FILE* err) {
    FrameLoop loop(plan, o, err);
    for (int frame : plan.frames) {
        io::throw_if_stopped();
        const std::vector<ControlValue> values = control_values(*plan.node, frame);
        check_frame_values(values, frame);
        if (o.print_controls) print_line(out, controls_json(frame, values));
        if (plan.rendering()) loop.frame(frame, values);
    }
    if (plan.rendering()) loop.finish();
    return loop.take_manifest();
}

}  // namespace talvik::cli
