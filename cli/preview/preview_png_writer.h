// A quick look at an ST map: the preview pattern pushed through the map,
// saved as an 8-bit RGB PNG, top line first.
#pragma once

#include <atomic>
#include <string>

#include "cli/preview/preview_pattern.h"
#include "cli/preview/preview_samples.h"
#include "io/write_cancelled.h"
#include "io/st_map_view.h"

namespace talvik::cli {

struct PreviewOptions {
    // Wider maps are shrunk to this width (aspect kept) by picking map
    // pixels, never averaging them, so unsolved pixels stay visible.
    // 0: full size.
    int max_width = 1920;
    PreviewSampling sampling = PreviewSampling::Bilinear;
    // Set from elsewhere (a signal) to stop a write in flight: the writer
    // then throws WriteCancelled and leaves nothing behind. Null: never.
    const std::atomic<bool>* cancel = nullptr;
};

constexpr const char* kPreviewIdentityKey = "talvik/identity";

// The preview shows the map's whole box; where the box reaches beyond the
// format, the format's edge is a line just outside it. The pattern spans
// the format. Writes via a temporary file renamed into place. Throws std::runtime_error
// (std::invalid_argument for bad arguments) naming the file and the problem;
// nothing is left behind on failure.
// `identity`, what the map was made from, is kept in an iTXt chunk under
// kPreviewIdentityKey so that a re-run can tell whether the file is
// current; empty: no chunk.
void write_preview_png(const std::string& path, const io::StMapView& map,
                       const PreviewOptions& options = {}, const std::string& identity = "");

// The identity text a preview was written with; empty when the file is not
// a PNG or has none.
std::string read_preview_identity(const std::string& path);

// The same from samples already picked (their size is the preview's:
// options.max_width is not applied again).
void write_preview_png(const std::string& path, const PreviewSamples& samples,
                       const PreviewOptions& options = {}, const std::string& identity = "");

}  // namespace talvik::cli
