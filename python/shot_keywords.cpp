#include "python/shot_keywords.h"

#include <pybind11/stl.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <vector>

#include "exr/st_map_exr_writer.h"
#include "python/py_paths.h"
#include "shot/direction.h"
#include "shot/frame_range.h"
#include "shot/size_text.h"
#include "shot/plate_sequence.h"

namespace py = pybind11;

namespace talvik::python {
namespace {

std::string text_of(const py::handle& value) { return py::str(value).cast<std::string>(); }

int whole_number(const char* key, const py::handle& value, int low, int high) {
    if (py::isinstance<py::bool_>(value) || !py::isinstance<py::int_>(value))
        throw py::type_error(std::string(key) + " takes a whole number, not " + text_of(py::repr(value)));
    const long long n = value.cast<long long>();
    if (n < low || n > high)
        throw py::value_error(std::string(key) + " " + std::to_string(n) + " is out of range (" + std::to_string(low) +
                              " to " + std::to_string(high) + ")");
    return static_cast<int>(n);
}

double millimetres(const char* key, const py::handle& value) {
    if (py::isinstance<py::str>(value)) return shot::parse_millimetres(key, value.cast<std::string>());
    return shot::checked_millimetres(key, value.cast<double>());
}

// A take, plate, track or report that is not there, as open() says it.
void must_exist(const char* key, const std::string& path, const char* what) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) return;
    PyErr_SetObject(PyExc_FileNotFoundError,
                    py::make_tuple(ENOENT, std::string(what) + " not found (" + key + ")", path_text(path)).ptr());
    throw py::error_already_set();
}

// mode= (the node's Mode words) and direction= (remove or add) both choose
// the way; a track goes through the lens against its map's way.
std::optional<int> mode_of(const ShotCall& call, bool points) {
    std::optional<int> mode;
    for (const auto& [key, word] : {std::pair{"direction", &call.direction_word}, std::pair{"mode", &call.mode_word}}) {
        if (word->empty()) continue;
        const bool direction_word = std::string(key) == "direction";
        const shot::DirectionWords words = direction_word ? shot::DirectionWords::Directions
                                           : points       ? shot::DirectionWords::PointModes
                                                          : shot::DirectionWords::MapModes;
        shot::Direction direction{};
        try {
            direction = shot::parse_direction(*word, words);
        } catch (const std::invalid_argument& e) {
            throw py::value_error(std::string(key) + " " + e.what());
        }
        const int given = points ? shot::point_mode(direction) : shot::map_mode(direction);
        if (mode && *mode != given)
            throw py::value_error("direction=\"" + call.direction_word + "\" and mode=\"" + call.mode_word +
                                  "\" disagree: give one");
        mode = given;
    }
    return mode;
}

std::string frames_text(const py::handle& value) {
    if (py::isinstance<py::str>(value)) return value.cast<std::string>();
    if (py::isinstance<py::int_>(value) && !py::isinstance<py::bool_>(value)) return text_of(value);
    std::vector<int> frames;
    for (const py::handle frame : value) frames.push_back(whole_number("frames", frame, INT32_MIN, INT32_MAX));
    if (frames.empty()) throw py::value_error("frames: no frame given");
    return shot::format_frames(frames);
}

using Reader = std::function<void(ShotCall&, const py::handle&)>;

const std::map<std::string, Reader>& readers() {
    static const std::map<std::string, Reader> table = {
        {"plate", [](ShotCall& c, const py::handle& v) { c.job.plate = path_bytes(v, "plate"); }},
        {"size",
         [](ShotCall& c, const py::handle& v) {
             if (py::isinstance<py::str>(v)) {
                 c.job.size = shot::parse_frame_size("size", v.cast<std::string>());
                 return;
             }
             const auto wh = v.cast<std::vector<py::object>>();
             if (wh.size() != 2) throw py::value_error("size takes (width, height) or \"WIDTHxHEIGHT\"");
             c.job.size = std::pair{whole_number("size", wh[0], 1, shot::kMaxFrameSide),
                                    whole_number("size", wh[1], 1, shot::kMaxFrameSide)};
         }},
        {"fbx", [](ShotCall& c, const py::handle& v) { c.job.fbx = path_bytes(v, "fbx"); }},
        {"camera", [](ShotCall& c, const py::handle& v) { c.job.camera = whole_number("camera", v, 0, 999999); }},
        {"frames", [](ShotCall& c, const py::handle& v) { c.job.frames = frames_text(v); }},
        {"mode", [](ShotCall& c, const py::handle& v) { c.mode_word = v.cast<std::string>(); }},
        {"direction", [](ShotCall& c, const py::handle& v) { c.direction_word = v.cast<std::string>(); }},
        {"set",
         [](ShotCall& c, const py::handle& v) {
             const py::object pairs = py::isinstance<py::dict>(v) ? v.attr("items")() : py::reinterpret_borrow<py::object>(v);
             for (const py::handle pair : pairs) {
                 const auto nv = pair.cast<std::vector<py::object>>();
                 if (nv.size() != 2) throw py::value_error("set takes {name: value} or (name, value) pairs");
                 c.job.sets.emplace_back(nv[0].cast<std::string>(), text_of(nv[1]));
             }
         }},
        {"overscan", [](ShotCall& c, const py::handle& v) { c.job.overscan = text_of(v); }},
        {"overscan_from", [](ShotCall& c, const py::handle& v) { c.job.overscan_from = path_bytes(v, "overscan_from"); }},
        {"overscan_report",
         [](ShotCall& c, const py::handle& v) { c.job.overscan_report = path_bytes(v, "overscan_report"); }},
        {"preview", [](ShotCall& c, const py::handle& v) { c.job.preview = path_bytes(v, "preview"); }},
        {"manifest", [](ShotCall& c, const py::handle& v) { c.job.manifest = path_bytes(v, "manifest"); }},
        {"threads", [](ShotCall& c, const py::handle& v) { c.job.threads = whole_number("threads", v, 1, 4096); }},
        {"compression",
         [](ShotCall& c, const py::handle& v) { c.job.compression = exr::parse_st_map_compression(v.cast<std::string>()); }},
        {"alpha", [](ShotCall& c, const py::handle& v) { c.job.alpha = v.cast<bool>(); }},
        {"skip_existing", [](ShotCall& c, const py::handle& v) { c.job.skip_existing = v.cast<bool>(); }},
        {"plugin_path",
         [](ShotCall& c, const py::handle& v) { c.job.plugin_path = plugin_path_of(py::reinterpret_borrow<py::object>(v)); }},
        {"progress", [](ShotCall& c, const py::handle& v) { c.progress = py::reinterpret_borrow<py::object>(v); }},
        {"film_back",
         [](ShotCall& c, const py::handle& v) {
             if (c.handoff.film_back) throw py::value_error("film_back and haperture both give the film back: give one");
             if (py::isinstance<py::str>(v)) {
                 c.handoff.film_back = shot::parse_film_back("film_back", v.cast<std::string>());
                 return;
             }
             const auto wh = v.cast<std::vector<py::object>>();
             if (wh.size() != 2) throw py::value_error("film_back takes (width, height) in mm or \"36x24\"");
             c.handoff.film_back = shot::FilmBack{millimetres("film_back", wh[0]), millimetres("film_back", wh[1])};
         }},
        {"haperture",
         [](ShotCall& c, const py::handle& v) {
             if (c.handoff.film_back) throw py::value_error("film_back and haperture both give the film back: give one");
             c.handoff.film_back = shot::FilmBack{millimetres("haperture", v), std::nullopt};
         }},
        // The Nuke script's maps, or a farm job's two maps.
        {"remove_map",
         [](ShotCall& c, const py::handle& v) { c.handoff.remove_map = c.farm.remove_map = path_bytes(v, "remove_map"); }},
        {"add_map", [](ShotCall& c, const py::handle& v) { c.handoff.add_map = c.farm.add_map = path_bytes(v, "add_map"); }},
        {"track", [](ShotCall& c, const py::handle& v) { c.points.track = path_bytes(v, "track"); }},
        {"origin",
         [](ShotCall& c, const py::handle& v) {
             const std::string origin = v.cast<std::string>();
             if (origin != "bottom-left" && origin != "top-left")
                 throw py::value_error("origin takes \"bottom-left\" or \"top-left\", not \"" + origin + "\"");
             c.points.top_left = origin == "top-left";
         }},
        {"chunk", [](ShotCall& c, const py::handle& v) { c.farm.chunk = whole_number("chunk", v, 1, 1000000); }},
        {"job_dir", [](ShotCall& c, const py::handle& v) { c.farm.job_dir = path_bytes(v, "job_dir"); }},
        {"deep", [](ShotCall& c, const py::handle& v) { c.farm.deep = v.cast<bool>(); }},
    };
    return table;
}

}  // namespace

ShotCall read_shot_keywords(const char* function, const py::kwargs& kwargs, const std::set<std::string>& allowed) {
    static const std::set<std::string> kShot = {"plate", "size", "fbx", "camera", "plugin_path", "progress"};
    ShotCall call;
    call.job.naming = pipeline::Naming::Keywords;
    bool plugins_given = false;
    for (const auto& [key_handle, value] : kwargs) {
        const std::string key = key_handle.cast<std::string>();
        if (!kShot.count(key) && !allowed.count(key))
            throw py::type_error(std::string(function) + "() got an unexpected keyword argument '" + key + "'");
        if (value.is_none()) continue;  // as not given
        try {
            readers().at(key)(call, value);
        } catch (const std::invalid_argument& e) {
            throw py::value_error(key + ": " + e.what());
        } catch (const py::cast_error&) {
            throw py::type_error(key + ": cannot take " + text_of(py::repr(value)));
        }
        plugins_given = plugins_given || key == "plugin_path";
    }
    call.job.mode = mode_of(call, std::string(function) == "points");
    if (!plugins_given) call.job.plugin_path = plugin_path_of(py::none());
    if (!call.job.fbx.empty()) must_exist("fbx", call.job.fbx, "take");
    if (!call.points.track.empty()) must_exist("track", call.points.track, "track");
    if (!call.job.overscan_from.empty()) must_exist("overscan_from", call.job.overscan_from, "overscan report");
    if (!call.job.plate.empty() && shot::PlateSequence::names_one_file(call.job.plate))
        must_exist("plate", call.job.plate, "plate");
    return call;
}

}  // namespace talvik::python
