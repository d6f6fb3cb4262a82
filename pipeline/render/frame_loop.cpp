#include "pipeline/render/frame_loop.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pipeline/output/output_paths.h"
#include "png/preview_bands.h"
#include "png/preview_png_writer.h"
#include "shot/control_values.h"
#include "pipeline/render/frame_cache.h"
#include "shot/frame_checks.h"
#include "pipeline/render/host_bands.h"
#include "shot/map_identity.h"
#include "shot/plate_metadata.h"
#include "pipeline/render/render_safety.h"
#include "shot/version_info.h"
#include "exr/st_map_exr_writer.h"
#include "io/stop_signal.h"

namespace talvik::pipeline {
namespace {

std::string output_folder(const ShotJob& o) {
    const std::string& any = o.output.empty() ? o.preview : o.output;
    if (any.empty()) return "";
    const std::string parent = shot::FramePattern::parse(any).fixed_folder();
    return parent.empty() ? "./" : parent == "/" ? parent : parent + "/";
}

class FrameLoop {
public:
    FrameLoop(RenderPlan& plan, const ShotJob& o, ShotEvents& events)
        : plan_(plan), source_box_(0, 0, plan.format.width(), plan.format.height()), events_(events) {
        events_.frames_started(plan.outputs->frames_to_render(), output_folder(o));
        exr_options_.compression = o.compression;
        exr_options_.alpha = o.alpha;
        bands_.set_alpha(o.alpha);
        exr_options_.cancel = &io::stop_requested();
        preview_options_.cancel = &io::stop_requested();
    }

    // One frame: its controls checked, its map rendered in bands unless
    // held (each band checked, packed and written, its preview lines made
    // and written, as it comes), its files written.
    void frame(int frame, const std::vector<shot::ControlValue>& values) {
        const FrameFiles& files = plan_.outputs->at(frame);
        if (!files.any()) return;
        show_frame_input(frame);
        if (files.exr) set_exr_attributes(frame, values);
        const std::string preview_identity =
            files.preview ? shot::identity_text(plan_.identity_at(frame)) : "";
        // A held map's files copy the pixels of the last ones.
        const bool held = cache_.holds(values, source_box_) &&
                          (!files.preview || preview_writer_.can_write_again(bands_.geometry(), preview_options_)) &&
                          (!files.exr || write_exr_again(*files.exr));
        if (held && files.preview) {
            folders_.prepare(*files.preview);
            preview_writer_.write_again(*files.preview, preview_identity);
        }
        if (!held) render(frame, values, files, preview_identity);
        io::throw_if_stopped();
        if (files.exr) manifest_.add(*files.exr, frame, values, exr_writer_.last_seal());
        if (files.preview) manifest_.add(*files.preview, frame, values, preview_writer_.last_seal());
        events_.frame_done(frame);
    }

    void finish() { events_.frames_finished(); }
    RenderManifest take_manifest() { return std::move(manifest_); }

private:
    // The frame's plate header reaches the node, and its box the source.
    void show_frame_input(int frame) {
        const shot::PlateHeader* plate = plan_.plate_at(frame);
        if (plate && plan_.box_per_frame()) shot::show_plate_frame(*plan_.host, *plan_.node->input(0), *plate);
        exr_options_.plate_attributes = plate ? &plate->attributes : nullptr;
        const DD::Image::Box box = plan_.box_at(frame);
        if (box != source_box_) {
            plan_.host->set_bbox(*plan_.node->input(0), box);
            source_box_ = box;
        }
    }

    void set_exr_attributes(int frame, const std::vector<shot::ControlValue>& values) {
        exr_options_.extra = shot::map_attributes(frame, values, plan_.take_hash);
        // The map is ours, not the plate's: its software replaces the plate's.
        exr_options_.extra.push_back({"software", std::string("talvik-stmap ") + shot::command_version()});
        if (const auto& margins = plan_.overscan.margins()) {
            for (exr::ExtraAttribute& a : shot::overscan_attributes(*margins)) exr_options_.extra.push_back(std::move(a));
        }
    }

    // The held map's EXR, its chunks copied from the last file; false when
    // that file cannot serve.
    bool write_exr_again(const std::string& path) {
        folders_.prepare(path);
        return exr_writer_.write_again(path, bands_.geometry(), exr_options_);
    }

    // Renders the map band by band into the EXR and the preview, if any,
    // checking every band.
    void render(int frame, const std::vector<shot::ControlValue>& values, const FrameFiles& files,
                const std::string& preview_identity) {
        cache_.drop();
        bands_.begin(*plan_.node, frame, &values);
        png::PreviewBands with_preview(bands_, preview_writer_);
        io::StMapBands& bands = files.preview ? static_cast<io::StMapBands&>(with_preview) : bands_;
        if (files.preview) {
            folders_.prepare(*files.preview);
            preview_writer_.begin(*files.preview, bands_.geometry(), preview_options_, preview_identity);
        } else {
            preview_writer_.forget();  // its last file is not of this map
        }
        try {
            if (files.exr) {
                folders_.prepare(*files.exr);
                exr_writer_.write(*files.exr, bands, exr_options_);
            } else {
                exr_writer_.forget();
                io::make_every_band(bands, &io::stop_requested());
                io::throw_if_stopped();
            }
            if (files.preview) preview_writer_.finish();
        } catch (...) {
            preview_writer_.abandon();
            throw;
        }
        const io::StMapView g = bands_.geometry();
        cache_.hold(values, DD::Image::Box(g.x, g.y, g.x + g.width, g.y + g.height));
    }

    RenderPlan& plan_;
    DD::Image::Box source_box_;  // the source's box now
    FrameCache cache_;
    HostBands bands_{*plan_.host};
    exr::StMapExrWriter exr_writer_;  // keeps the last map's file to copy its chunks
    png::PreviewPngWriter preview_writer_;  // keeps the last preview to copy its pixels
    exr::StMapExrOptions exr_options_;
    png::PreviewOptions preview_options_;
    OutputFolders folders_;
    ShotEvents& events_;
    RenderManifest manifest_;
};

}  // namespace

RenderManifest render_frames(RenderPlan& plan, const ShotJob& o, ShotEvents& events) {
    // Without files to write, the frames only tell their values.
    std::optional<FrameLoop> loop;
    if (plan.rendering()) loop.emplace(plan, o, events);
    for (int frame : plan.frames) {
        io::throw_if_stopped();
        const std::vector<shot::ControlValue> values = shot::control_values(*plan.node, frame);
        shot::check_frame_values(values, frame);
        events.values(shot::controls_line(frame, values));
        if (loop) loop->frame(frame, values);
    }
    if (!loop) return {};
    loop->finish();
    return loop->take_manifest();
}

}  // namespace talvik::pipeline
