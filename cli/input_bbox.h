// The bounding box the command gives the node's input: the plate's data
// window (the format without a plate), merged with the format grown by the
// --overscan margins.
#pragma once

#include <optional>
#include <vector>

#include "DDImage/Box.h"
#include "DDImage/Format.h"
#include "cli/overscan_request.h"
#include "cli/plate_header.h"
#include "host/runtime/host.h"

namespace talvik::cli {

// Largest side of a box the command renders, as for --size.
constexpr int kMaxBoxSide = 65536;

// The margins --overscan asks for, none without it. For `auto` the node is
// rendered in Undistort mode at `frames` first (see measure_auto_overscan):
// its input must still have the format as its box.
std::optional<Margins> overscan_margins(host::Host& host, Node& node, const std::vector<int>& frames,
                                        const DD::Image::Format& format,
                                        const std::optional<OverscanRequest>& overscan);

// The input's box for one plate header (null: no plate) and the margins.
// Throws std::invalid_argument when the box would be larger than
// kMaxBoxSide on a side, naming the box and what made it so.
DD::Image::Box input_box(const DD::Image::Format& format, const PlateHeader* plate,
                         const std::optional<Margins>& margins, const std::optional<OverscanRequest>& overscan);

}  // namespace talvik::cli
