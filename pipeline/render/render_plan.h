// A render decided before anything is rendered: the node set up with the
// take reloaded, the frames, the format and every frame's box, the overscan
// margins, the files each frame writes, the camera, memory and threads.
// Every check that can refuse a render is made while the plan is built, so
// a refused render has written nothing.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DDImage/Box.h"
#include "DDImage/Format.h"
#include "pipeline/job/shot_events.h"
#include "pipeline/job/shot_job.h"
#include "pipeline/output/frame_outputs.h"
#include "shot/frame_pattern.h"
#include "shot/map_identity.h"
#include "shot/memory_check.h"
#include "shot/overscan.h"
#include "shot/plate_sequence.h"
#include "pipeline/render/render_notes.h"
#include "host/runtime/host.h"

namespace talvik::pipeline {

struct RenderPlan {
    std::unique_ptr<host::Host> host;
    Node* node = nullptr;
    DD::Image::Format format;
    std::optional<shot::PlateSequence> plates;
    std::vector<int> frames;
    shot::ResolvedOverscan overscan;
    std::vector<int> overscan_frames;  // the frames `auto` measured; empty otherwise
    std::optional<shot::FramePattern> exr_pattern;
    std::optional<shot::FramePattern> preview_pattern;
    std::optional<FrameOutputs> outputs;  // always set by plan_render
    RenderNotes notes;
    std::optional<shot::OverscanRequest> overscan_request;  // as given, before it is resolved
    std::string take_hash;  // content_hash.h of the take reloaded; empty without one
    bool alpha = false;     // maps carry the validity alpha
    exr::StMapCompression compression = exr::StMapCompression::Zip;

    // Whether any file is written; without, the frames only print controls.
    bool rendering() const { return exr_pattern || preview_pattern; }
    // The header of a frame's plate; null without a plate.
    const shot::PlateHeader* plate_at(int frame) const;
    // Each frame of a sequence brings its own data window, as a Read node's
    // frames do; a single plate or none gives every frame one box.
    bool box_per_frame() const { return plates && plates->is_sequence(); }
    DD::Image::Box box_at(int frame) const;
    // What a frame's files are made from, as they record it.
    shot::MapIdentity identity_at(int frame) const;

private:
    friend void plan_overscan(const ShotJob&, RenderPlan&, ShotEvents&);
    DD::Image::Box fixed_box_;
};

// Files a document this run writes names for another program to read,
// frame by frame over the shot's frames from first to last (a Nuke
// script's Reads): no output may land on one of them.
struct NamedSequence {
    shot::FramePattern pattern;
    std::string what;  // "remove-distortion map": named in the refusal
};

// Makes every check and decision of a render. Warnings, the reload's
// messages and the overscan found reach `events`. Throws UsageError for a command line that cannot be
// rendered and std::runtime_error for input that cannot, naming the culprit.
RenderPlan plan_render(const ShotJob& options, ShotEvents& events,
                       const std::vector<NamedSequence>& named = {});

// Its first part, what a farm job's plan needs: the inputs read, the node
// set up with the take reloaded, the frames chosen. No overscan is
// resolved and nothing is done about the outputs.
RenderPlan plan_shot(const ShotJob& options, ShotEvents& events);

// The checks on the outputs between the two: none may replace an input,
// the program or a library it loaded, another output, or something that is
// not a file, and each file written once must be writable. Throws as
// plan_render does.
void check_render_outputs(const ShotJob& options, const RenderPlan& plan);

// Its second part: the overscan resolved (a report checked against what
// this shot is, `auto` measured) and every frame's box checked.
void plan_overscan(const ShotJob& options, RenderPlan& plan, ShotEvents& events);

// How a frame of `options` is made, as far as its memory goes, on `threads`.
shot::FrameWork render_frame_work(const ShotJob& options, int threads);

// What this shot is, as an overscan report records it.
shot::MeasuredOn measured_on(const ShotJob& options, const RenderPlan& plan);

}  // namespace talvik::pipeline
