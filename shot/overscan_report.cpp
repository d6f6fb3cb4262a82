// The overscan report: what a farm measures once and hands to every chunk
// (--overscan-from), and what the CG department needs to render the box.
//
// CG camera. The format is W x H pixels, the margins L, R, B, T (B below
// the bottom line), the CG render W' x H' = (W + L + R) x (H + B + T), and
// it must show the format's pixels exactly where they sit inside the box:
// format pixel x at render pixel x + L, y (up) at y + B. The lens, focal
// length and pixel shape stay; only the film back grows and shifts.
//
// Film back, as fractions of the plate camera's aperture: the width grows
// by W'/W and the height by H'/H; the centre of the film back moves by
// half the difference of the opposite margins, (R - L)/2 pixels across,
// which is (R - L)/(2W) of the aperture width, and (T - B)/(2H) of its
// height upwards.
//
// Nuke Camera: horizontal and vertical aperture times those scales. Nuke
// measures the screen window in halves of the render's width, horizontally
// and vertically alike, with win_translate moving the window and
// win_scale dividing it. With the wider aperture a point lands at
// u' = p·W/W' in those units, where p is where the plate camera puts it
// (-1 to 1 across the format); the render's centre must sit (R - L)/2
// pixels right of the format's, (R - L)/W' half-widths of the render.
// Pixels that are not square (fx != fy: an anamorphic lens, or a lens
// given for 16:9 on a format that is not) need the vertical scale fy, not
// fx: the window is the per-frame camera's (undistorted_camera.cpp),
// win_scale (1, fx/fy) and win_translate ((R - L)/W', (fx/fy)(T - B)/W'),
// with fx/fy of the shot's earliest frame, named as "frame". A shot whose
// fx/fy changes over its frames needs the per-frame cameras.
#include "shot/overscan.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>

#include "io/input_file.h"
#include "shot/json_formats.h"
#include "shot/undistorted_camera.h"

namespace talvik::shot {
namespace {

constexpr int kMaxMargin = 65536;
// A report holds a camera per frame of the shot, a few hundred bytes each.
constexpr size_t kMaxReportBytes = size_t(16) << 20;

int member_int(const Json& object, const char* name, const std::string& where, int low, int high) {
    const auto it = object.find(name);
    if (it == object.end() || !it->is_number_integer())
        throw std::runtime_error(where + " has no whole number \"" + name + "\"");
    const long long value = it->get<long long>();
    if (value < low || value > high)
        throw std::runtime_error(where + ": \"" + name + "\" " + std::to_string(value) + " is out of range (" +
                         std::to_string(low) + " to " + std::to_string(high) + ")");
    return static_cast<int>(value);
}

const Json& member_object(const Json& document, const char* name, const std::string& where) {
    const auto it = document.find(name);
    if (it == document.end() || !it->is_object()) throw std::runtime_error(where + " has no \"" + name + "\" object");
    return *it;
}

// The first key given twice in one object, into `twice`; its path as
// "overscan.left".
Json::parser_callback_t duplicate_key_finder(std::string& twice) {
    auto keys = std::make_shared<std::vector<std::pair<std::string, std::set<std::string>>>>();
    auto pending = std::make_shared<std::string>();
    return [keys, pending, &twice](int, Json::parse_event_t event, Json& parsed) {
        switch (event) {
            case Json::parse_event_t::object_start:
                keys->emplace_back(*pending, std::set<std::string>());
                break;
            case Json::parse_event_t::object_end:
                if (!keys->empty()) keys->pop_back();
                break;
            case Json::parse_event_t::key: {
                const std::string key = parsed.get<std::string>();
                if (!keys->empty() && !keys->back().second.insert(key).second && twice.empty())
                    twice = keys->back().first.empty() ? key : keys->back().first + "." + key;
                *pending = keys->empty() || keys->back().first.empty() ? key : keys->back().first + "." + key;
                break;
            }
            default:
                break;
        }
        return true;
    };
}

void check_render_size(const Json& margins, const char* name, int format, int low, int high, const std::string& where) {
    const long long expected = static_cast<long long>(format) + low + high;
    const int given = member_int(margins, name, where, 1, kMaxBoxSide + 2 * kMaxMargin);
    if (given != expected)
        throw std::runtime_error(where + ": \"" + std::string(name) + "\" " + std::to_string(given) + " is not the format's " +
                                 std::to_string(format) + " plus the margins " + std::to_string(low) + " and " +
                                 std::to_string(high) + " (" + std::to_string(expected) + ")");
}

}  // namespace

Json overscan_report(const ResolvedOverscan& overscan, int width, int height, const std::vector<int>& frames,
                     const MeasuredOn& measured_on, const std::vector<FrameCamera>& cameras) {
    const Margins m = overscan.margins().value_or(Margins{});
    const double w = width, h = height;
    const double cg_w = w + m.left + m.right, cg_h = h + m.bottom + m.top;
    Json report = versioned_object(kOverscanReportFormat);
    report["format"] = {{"width", width}, {"height", height}};
    report["request"] = overscan.request_text();
    report["frames"] = frames;
    report["measured_on"] = measured_on_json(measured_on);
    report["overscan"] = {{"left", m.left},   {"right", m.right},
                          {"bottom", m.bottom}, {"top", m.top},
                          {"width", static_cast<long long>(cg_w)}, {"height", static_cast<long long>(cg_h)}};
    const auto earliest = std::min_element(cameras.begin(), cameras.end(),
                                           [](const FrameCamera& a, const FrameCamera& b) { return a.frame < b.frame; });
    const NukeWindow window = nuke_window(earliest == cameras.end() ? UndistortedCamera{} : earliest->camera, width, m);
    report["nuke_camera"] = {{"frame", earliest == cameras.end() ? Json(nullptr) : Json(earliest->frame)},
                             {"haperture_scale", cg_w / w},
                             {"vaperture_scale", cg_h / h},
                             {"win_translate", {window.translate_x, window.translate_y}},
                             {"win_scale", {window.scale_x, window.scale_y}}};
    report["film_back"] = {{"width_scale", cg_w / w},
                           {"height_scale", cg_h / h},
                           {"offset_x", (m.right - m.left) / (2.0 * w)},
                           {"offset_y", (m.top - m.bottom) / (2.0 * h)}};
    return report;
}

OverscanRequest read_overscan_report(const std::string& path) {
    const std::string where = "--overscan-from " + path;
    // A FIFO would block and a device such as /dev/zero never end.
    io::check_input_file(path, "--overscan-from");
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error(where + ": cannot read the file");
    // Anything far larger than a long shot's report is not one.
    std::string text(kMaxReportBytes + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(file.gcount()));
    if (text.size() > kMaxReportBytes)
        throw std::runtime_error(where + " is larger than an overscan report (" + std::to_string(kMaxReportBytes) +
                                 " bytes at most)");
    std::string twice;
    const Json document = Json::parse(text, duplicate_key_finder(twice), false);
    if (document.is_discarded() || !document.is_object())
        throw std::runtime_error(where + " is not an overscan report (JSON from talvik-stmap overscan)");
    // JSON readers disagree on which of two values counts: none is trusted.
    if (!twice.empty()) throw std::runtime_error(where + " gives \"" + twice + "\" twice: which one was measured?");
    check_format_version(document, kOverscanReportFormat, path);
    const Json& format = member_object(document, "format", where);
    const Json& margins = member_object(document, "overscan", where);
    OverscanRequest request;
    request.text = where;
    request.kind = OverscanRequest::Kind::Pixels;
    request.format_width = member_int(format, "width", where, 1, kMaxBoxSide);
    request.format_height = member_int(format, "height", where, 1, kMaxBoxSide);
    const Margins m = {member_int(margins, "left", where, 0, kMaxMargin), member_int(margins, "right", where, 0, kMaxMargin),
                       member_int(margins, "bottom", where, 0, kMaxMargin), member_int(margins, "top", where, 0, kMaxMargin)};
    request.pixels = m;
    // The CG size is what the CG department renders: it must be the
    // format plus the margins the maps are made with.
    check_render_size(margins, "width", request.format_width, m.left, m.right, where);
    check_render_size(margins, "height", request.format_height, m.bottom, m.top, where);
    const auto measured = document.find("measured_on");
    if (measured == document.end())
        throw std::runtime_error(where + " does not say what it was measured on (a report of an older talvik-stmap): "
                                 "measure the shot again with talvik-stmap overscan");
    request.measured_on = measured_on_from_json(*measured, where);
    return request;
}

}  // namespace talvik::shot
