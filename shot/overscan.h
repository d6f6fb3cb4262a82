// Overscan: how far the input's bounding box reaches beyond the format, as
// an AdjustBBox upstream of the node would grow it in Nuke. The request as
// typed, the margins it resolves to (measured from the lens for `auto`),
// the box they give the input, and how they are reported.
//
// The box can only be grown by a ResolvedOverscan, and `auto` resolves by
// measuring over the format (cli/render/auto_overscan.h renders it): so the
// measurement always runs before the input's box grows.
#pragma once

#include "io/st_map_view.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "DDImage/Box.h"
#include "DDImage/Format.h"
#include "shot/json_output.h"
#include "shot/overscan_identity.h"
#include "shot/plate_header.h"
#include "exr/st_map_exr_writer.h"
#include "host/runtime/host.h"

namespace talvik::shot {

// Largest side of a box the command renders, as for --size.
constexpr int kMaxBoxSide = 65536;

// Whole pixels beyond the format on each side; bottom is below host row 0.
struct Margins {
    int left = 0;
    int right = 0;
    int bottom = 0;
    int top = 0;
    bool operator==(const Margins& o) const {
        return left == o.left && right == o.right && bottom == o.bottom && top == o.top;
    }
    bool operator!=(const Margins& o) const { return !(*this == o); }
};

// "N" (every side), "XxY" (left and right, bottom and top), "L,R,B,T"
// (each side its own, as `auto` reports them), "P%" (the box P % wider and
// taller than the format, half on each side, rounded up) or "auto"
// (margins measured from the lens).
struct OverscanRequest {
    enum class Kind { Pixels, Percent, Auto };
    std::string text;  // as given, for messages
    Kind kind = Kind::Pixels;
    Margins pixels;    // Pixels
    // Pixels read from an overscan report: the format it was measured on;
    // 0: any format.
    int format_width = 0;
    int format_height = 0;
    // Percent: percent_numerator / percent_denominator exactly, so that
    // 10% of 1920 is 96 a side and not 97 through rounding.
    long long percent_numerator = 0;
    long long percent_denominator = 1;
    // Pixels read from an overscan report: what it was measured on.
    std::optional<MeasuredOn> measured_on;
};

// Throws UsageError naming the text and the forms there are.
OverscanRequest parse_overscan_request(const std::string& text);

// The margins of a Pixels or Percent request around a width x height
// format. Throws UsageError when a report's margins were measured on
// another format.
Margins fixed_margins(const OverscanRequest& request, int width, int height);

// Where an Undistort map's positions reach, in pixels of its format (x
// across, y up from the bottom line).
struct PositionExtent {
    double min_x = 0.0, max_x = 0.0, min_y = 0.0, max_y = 0.0;
    bool empty = true;
};

// Grows `extent` by every position of an Undistort map over its format.
// Pixels with no position, (0, 0), and values that are not finite are
// skipped.
// `undistort_map` may be a band of the map: its format is the whole map's.
void add_positions(const io::StMapView& undistort_map, PositionExtent& extent);
// Grows `extent` to hold `more`.
void merge(PositionExtent& extent, const PositionExtent& more);

// The smallest whole-pixel margins around a width x height format that
// hold the extent.
Margins margins_holding(const PositionExtent& extent, int width, int height);

// The overscan of a render once its margins are known: none, fixed, or
// measured. Only resolve_overscan makes one.
class ResolvedOverscan {
public:
    const std::optional<Margins>& margins() const { return margins_; }
    // The request as typed, for messages; empty without one.
    const std::string& request_text() const { return text_; }

private:
    friend ResolvedOverscan resolve_overscan(const std::optional<OverscanRequest>&, const DD::Image::Format&,
                                             const std::function<Margins()>&);
    std::optional<Margins> margins_;
    std::string text_;
};

// The margins `request` asks for around `format`; none without one. For
// `auto`, what `measure_auto` measures over the format.
ResolvedOverscan resolve_overscan(const std::optional<OverscanRequest>& request, const DD::Image::Format& format,
                                  const std::function<Margins()>& measure_auto);

// The input's box for one plate header (null: no plate) and the overscan.
// Throws std::runtime_error naming the plate when its data window alone is
// larger than kMaxBoxSide on a side (a damaged input), UsageError when the
// --overscan request makes the box so, naming the box and what made it so.
DD::Image::Box input_box(const DD::Image::Format& format, const PlateHeader* plate,
                         const ResolvedOverscan& overscan);

// "overscan: left 12, right 12, bottom 7, top 7 px; render CG at 1944x1094"
std::string overscan_summary(const Margins& m, int width, int height);

// {"overscan": {"left": 12, "right": 12, "bottom": 7, "top": 7, "width": 1944, "height": 1094}}
std::string overscan_json(const Margins& m, int width, int height);

struct FrameCamera;

// The overscan report (see overscan_report.cpp): the format, the margins,
// the CG render size, the frames measured, what they were measured on and
// what a CG camera needs to render exactly that box around the format.
// `cameras`: the undistorted camera at the shot's frames; the whole-shot
// Nuke camera takes its pixel shape from the earliest of them.
Json overscan_report(const ResolvedOverscan& overscan, int width, int height, const std::vector<int>& frames,
                     const MeasuredOn& measured_on, const std::vector<FrameCamera>& cameras);

// The margins of a report written by overscan_report, as a Pixels request
// that holds only on the report's format, with what it was measured on.
// Throws naming the file and what is wrong with it (std::runtime_error): a
// key given twice, a CG size that is not the format plus the margins, a
// report that does not say what it was measured on (older ones).
OverscanRequest read_overscan_report(const std::string& path);

// talvik/overscan/left, right, bottom and top, as ints.
std::vector<exr::ExtraAttribute> overscan_attributes(const Margins& m);

}  // namespace talvik::shot
