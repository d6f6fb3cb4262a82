#include "python/lens_binding.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "io/usable_cpus.h"
#include "shot/direction.h"
#include "io/st_map_view.h"
#include "lens/lens_points.h"
#include "lens/st_map_row.h"
#include "python/initialised.h"
#include "python/split_work.h"
#include "shot/frame_checks.h"
#include "shot/lens_usability.h"
#include "shot/memory_check.h"
#include "shot/overscan.h"

namespace py = pybind11;

namespace talvik::python {
namespace {

// Pixel centres stay exact floats up to here (float(x) + 0.5f).
constexpr long long kMaxCoordinate = 1 << 22;

// Rows and points per thread below which threads cost more than they save.
constexpr std::size_t kRowsPerThread = 16;
constexpr std::size_t kPointsPerThread = 1 << 14;
// Points mapped between two looks at the stop flag.
constexpr std::size_t kPointsPerStopCheck = 1 << 12;

// Asked with the GIL released, every few tens of milliseconds of long work:
// whether a signal handler (Ctrl-C's) raised; the error stays set.
bool interrupted() {
    py::gil_scoped_acquire gil;
    return PyErr_CheckSignals() != 0;
}

// MemoryError, before anything is allocated, for what the process may not hold.
void check_memory(const std::string& what, std::uint64_t need) {
    if (const auto refusal = shot::memory_refusal(what, need, shot::current_memory_limits())) {
        PyErr_SetString(PyExc_MemoryError, refusal->c_str());
        throw py::error_already_set();
    }
}

float lens_value(const char* name, double value) {
    if (!std::isfinite(value) || std::fabs(value) > FLT_MAX) {
        char text[64];
        std::snprintf(text, sizeof text, "%.9g", value);
        throw py::value_error(std::string(name) + " " + text + " is not a finite 32-bit float");
    }
    return static_cast<float>(value);
}

// The fewest digits that read back as the same 32-bit float: -0.05, not
// -0.0500000007.
std::string float_text(float value) {
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return ec == std::errc() ? std::string(text, end) : std::to_string(value);
}

// The map's Mode from mode= (the node's names) or direction= (remove,
// add), the words talvik-stmap's --mode and --direction take; given both,
// they must agree.
int mode_index(const std::optional<std::string>& mode, const std::optional<std::string>& direction) {
    auto parse = [](const char* keyword, const std::string& word, shot::DirectionWords words) {
        try {
            return shot::map_mode(shot::parse_direction(word, words));
        } catch (const std::invalid_argument& e) {
            throw py::value_error(std::string(keyword) + " " + e.what());
        }
    };
    if (!mode && !direction) throw py::type_error("st_map() needs mode (\"distort\", \"undistort\") or direction (\"remove\", \"add\")");
    const int from_mode = mode ? parse("mode", *mode, shot::DirectionWords::MapModes) : -1;
    const int from_direction = direction ? parse("direction", *direction, shot::DirectionWords::Directions) : -1;
    if (mode && direction && from_mode != from_direction)
        throw py::value_error("mode \"" + *mode + "\" and direction \"" + *direction + "\" disagree: give one");
    return mode ? from_mode : from_direction;
}

FrameSize format_size(int width, int height) {
    for (const auto& [name, side] : {std::pair{"width", width}, std::pair{"height", height}})
        if (side < 1 || side > shot::kMaxBoxSide)
            throw py::value_error(std::string(name) + " " + std::to_string(side) + " is out of range (1 to " +
                                  std::to_string(shot::kMaxBoxSide) + ")");
    return frame_size_from(width, height);
}

using Box = std::tuple<long long, long long, long long, long long>;

void check_box(const Box& box) {
    const auto [x, y, r, t] = box;
    const std::string text = "box (" + std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(r) +
                             ", " + std::to_string(t) + ")";
    for (long long c : {x, y, r, t})
        if (c < -kMaxCoordinate || c > kMaxCoordinate)
            throw py::value_error(text + ": every coordinate lies within +-" + std::to_string(kMaxCoordinate));
    if (r <= x || t <= y) throw py::value_error(text + ": r must exceed x and t must exceed y");
    if (r - x > shot::kMaxBoxSide || t - y > shot::kMaxBoxSide)
        throw py::value_error(text + ": more than " + std::to_string(shot::kMaxBoxSide) + " pixels on a side");
}

class Lens {
public:
    Lens(double cx, double cy, double fx, double fy, bool anamorphic, double k1, double k2) {
        panel_.cx = lens_value("cx", cx);
        panel_.cy = lens_value("cy", cy);
        panel_.fx = lens_value("fx", fx);
        panel_.fy = lens_value("fy", fy);
        panel_.anamorphic = anamorphic;
        panel_.k1 = lens_value("k1", k1);
        panel_.k2 = lens_value("k2", k2);
    }
    explicit Lens(const LensModel& panel) : panel_(panel) { panel_.mode = 0; }

    const LensModel& panel() const { return panel_; }

    py::array_t<float> st_map(int width, int height, int mode_number, std::optional<Box> box) const {
        const LensModel lens = normalized(mode_number);
        const FrameSize size = format_size(width, height);
        if (box) check_box(*box);
        const auto [x, y, r, t] = box ? *box : Box{0, 0, width, height};
        const int left = static_cast<int>(x), right = static_cast<int>(r), top = static_cast<int>(t);
        const std::size_t columns = static_cast<std::size_t>(r - x), lines = static_cast<std::size_t>(t - y);
        // Judged as the command judges a frame's lens: a warning for a lens
        // that makes no usable map, a refusal for a map holding a position
        // that is not finite.
        const std::vector<shot::ControlValue> values = control_values(mode_number);
        if (const auto why = shot::unusable_lens(values, width, height)) {
            if (PyErr_WarnEx(PyExc_RuntimeWarning, ("the lens makes no usable map: " + *why).c_str(), 1) != 0)
                throw py::error_already_set();
        }
        const std::size_t rows_held = lines + static_cast<std::size_t>(io::usable_cpu_count());
        check_memory("a " + std::to_string(columns) + " x " + std::to_string(lines) + " ST map",
                     static_cast<std::uint64_t>(rows_held) * columns * 2 * sizeof(float));
        py::array_t<float> map({lines, columns, std::size_t{2}});
        float* out = map.mutable_data();
        std::atomic<std::size_t> first_bad_line{SIZE_MAX};
        bool done = false;
        {
            py::gil_scoped_release release;
            done = split_work(lines, kRowsPerThread, [&](std::size_t begin, std::size_t end, const std::atomic<bool>& stop) {
                std::vector<float> s(columns), tv(columns);
                // Lines past one without a finite position are not wanted.
                for (std::size_t line = begin; line < end && !stop && line < first_bad_line; ++line) {
                    // Line 0 is the top of the box; the rows count up from its bottom.
                    const int row = top - 1 - static_cast<int>(line);
                    st_map_row(lens, size, row, left, right, s.data() - left, tv.data() - left);
                    if (shot::first_non_finite_pixel(row_view(s, tv))) {
                        std::size_t first = first_bad_line.load();
                        while (line < first && !first_bad_line.compare_exchange_weak(first, line)) {
                        }
                        return;
                    }
                    float* pixel = out + line * columns * 2;
                    for (std::size_t i = 0; i < columns; ++i) {
                        pixel[2 * i] = s[i];
                        pixel[2 * i + 1] = tv[i];
                    }
                }
            }, interrupted);
        }
        if (!done) throw py::error_already_set();
        if (first_bad_line != SIZE_MAX) {
            // That line again, to name its first such pixel.
            const int row = top - 1 - static_cast<int>(first_bad_line.load());
            std::vector<float> s(columns), tv(columns);
            st_map_row(lens, size, row, left, right, s.data() - left, tv.data() - left);
            const int column = left + shot::first_non_finite_pixel(row_view(s, tv))->x;
            throw py::value_error("the lens gives no finite position at pixel (" + std::to_string(column) + ", " +
                                  std::to_string(row) + ") of the " + std::to_string(width) + " x " +
                                  std::to_string(height) + " format; lens values:" + shot::lens_values_text(values));
        }
        return map;
    }

    py::array_t<double> map_points(const py::array_t<double, py::array::c_style | py::array::forcecast>& points,
                                   int width, int height, int mode) const {
        if (points.ndim() != 2 || points.shape(1) != 2)
            throw py::value_error("points must have shape (N, 2), not " + shape_text(points));
        const LensModel lens = normalized(mode);
        const FrameSize size = format_size(width, height);
        const std::size_t count = static_cast<std::size_t>(points.shape(0));
        check_memory(std::to_string(count) + " points", static_cast<std::uint64_t>(count) * 2 * sizeof(double));
        py::array_t<double> mapped({count, std::size_t{2}});
        const double* in = points.data();
        double* out = mapped.mutable_data();
        bool done = false;
        {
            py::gil_scoped_release release;
            done = split_work(count, kPointsPerThread, [&](std::size_t begin, std::size_t end, const std::atomic<bool>& stop) {
                for (std::size_t at = begin; at < end && !stop; at += kPointsPerStopCheck) {
                    const std::size_t n = std::min(end - at, kPointsPerStopCheck);
                    talvik::map_points(lens, size, in + 2 * at, out + 2 * at, n);
                }
            }, interrupted);
        }
        if (!done) throw py::error_already_set();
        return mapped;
    }

    std::string repr() const {
        return "talvik.Lens(cx=" + float_text(panel_.cx) + ", cy=" + float_text(panel_.cy) +
               ", fx=" + float_text(panel_.fx) + ", fy=" + float_text(panel_.fy) +
               ", anamorphic=" + (panel_.anamorphic ? "True" : "False") + ", k1=" + float_text(panel_.k1) +
               ", k2=" + float_text(panel_.k2) + ")";
    }

    std::tuple<float, float, float, float, bool, float, float> values() const {
        return {panel_.cx, panel_.cy, panel_.fx, panel_.fy, panel_.anamorphic, panel_.k1, panel_.k2};
    }

private:
    // The node's members after a panel pass: panel values normalized.
    LensModel normalized(int mode) const {
        LensModel lens = panel_;
        lens.mode = mode;
        lens.normalize();
        return lens;
    }

    // The controls a refusal names, as the node holds them for this lens.
    std::vector<shot::ControlValue> control_values(int mode) const {
        return {{"Mode", std::string(mode == 0 ? "Distort" : "Undistort")},
                {"cx", panel_.cx},
                {"cy", panel_.cy},
                {"fx", panel_.fx},
                {"fy", panel_.fy},
                {"anamorphic", panel_.anamorphic ? 1 : 0},
                {"k1", panel_.k1},
                {"k2", panel_.k2}};
    }

    static io::StMapView row_view(const std::vector<float>& s, const std::vector<float>& t) {
        io::StMapView view;
        view.width = static_cast<int>(s.size());
        view.height = 1;
        view.s = s.data();
        view.t = t.data();
        return view;
    }

    static std::string shape_text(const py::array& a) {
        std::string text = "(";
        for (py::ssize_t i = 0; i < a.ndim(); ++i) text += (i ? ", " : "") + std::to_string(a.shape(i));
        return text + (a.ndim() == 1 ? ",)" : ")");
    }

    LensModel panel_;
};

}  // namespace

void define_lens(py::module_& m) {
    const LensModel defaults;
    py::class_<Lens>(m, "Lens", R"(A TalvikDistort lens: the node's lens controls in panel units.

Panel units are pixels of the 1920 x 1080 reference frame, whatever the
format the lens is used on: the lens is stretched onto a format per axis.
Every value left out takes the node's default. A Lens never changes; it
compares by value, hashes and pickles.

st_map gives the node's ST map on a format; distort and undistort map
points as its two maps do. Points are pixels of the format in Nuke's
convention: origin at the bottom-left corner, y up, the centre of pixel
(i, j) at (i + 0.5, j + 0.5).)")
        .def(py::init<double, double, double, double, bool, double, double>(), py::kw_only(),
             py::arg("cx") = defaults.cx, py::arg("cy") = defaults.cy, py::arg("fx") = defaults.fx,
             py::arg("fy") = defaults.fy, py::arg("anamorphic") = defaults.anamorphic, py::arg("k1") = defaults.k1,
             py::arg("k2") = defaults.k2,
             R"(A lens of these control values (keywords only).

cx, cy: the principal point's offset from the frame centre, in pixels of
    the 1920 x 1080 reference frame; a positive cx moves it right, a
    positive cy towards the bottom line.
fx, fy: focal lengths in reference pixels; fy counts only when anamorphic
    is true (otherwise fy is fx).
k1, k2: radial coefficients of r**2 and r**4, r being a distance from the
    frame centre divided by the focal length.
Raises ValueError for a value that is not a finite 32-bit float.)")
        .def_property_readonly("cx", [](const Lens& l) { return initialised(l).panel().cx; }, "Principal point offset from the frame centre, reference pixels, positive to the right.")
        .def_property_readonly("cy", [](const Lens& l) { return initialised(l).panel().cy; },
                               "Principal point offset from the frame centre, reference pixels, positive towards the bottom line.")
        .def_property_readonly("fx", [](const Lens& l) { return initialised(l).panel().fx; }, "Horizontal focal length, pixels of the 1920 x 1080 reference frame.")
        .def_property_readonly("fy", [](const Lens& l) { return initialised(l).panel().fy; },
                               "Vertical focal length, reference pixels (used only when anamorphic).")
        .def_property_readonly("anamorphic", [](const Lens& l) { return initialised(l).panel().anamorphic; },
                               "Whether fy is used; otherwise fy is fx.")
        .def_property_readonly("k1", [](const Lens& l) { return initialised(l).panel().k1; }, "Radial coefficient of r**2.")
        .def_property_readonly("k2", [](const Lens& l) { return initialised(l).panel().k2; }, "Radial coefficient of r**4.")
        .def("st_map",
             [](const Lens& l, int width, int height, std::optional<std::string> mode, std::optional<Box> box,
                std::optional<std::string> direction) {
                 return initialised(l).st_map(width, height, mode_index(mode, direction), box);
             },
             py::arg("width"), py::arg("height"), py::arg("mode") = py::none(), py::arg("box") = py::none(),
             py::arg("direction") = py::none(),
             R"(The ST map the node renders for this lens on a width x height format.

width, height: the format, in pixels.
mode: "distort" (the remove-distortion map: each undistorted pixel holds
    its position on the plate) or "undistort" (the add-distortion map: each
    plate pixel holds its undistorted position).
direction: the same as talvik-stmap's --direction: "remove" (mode
    "distort") or "add" (mode "undistort"); give mode or direction.
box: (x, y, r, t), the pixels rendered, in Nuke's pixel numbering (y up
    from the bottom line, r and t exclusive); default (0, 0, width,
    height). Pixels beyond the format hold the model's values there.
Returns a float32 array of shape (t - y, r - x, 2): s and t, normalized
(0 to 1 over the format, t = 0 at the bottom line); row 0 is the box's top
line, as an EXR file stores it and OpenImageIO reads it. Bit for bit the R
and G of the map talvik-stmap writes for the same values. A pixel with no
position holds (0, 0), as in the node's map.
Judged as the command judges a lens: RuntimeWarning for one that makes no
usable map on the format; ValueError, naming the pixel and the lens values,
for a map that would hold a position that is not finite. MemoryError, before
anything is allocated, for a map larger than the process may hold;
KeyboardInterrupt at once on Ctrl-C.)")
        .def(
            "distort", [](const Lens& l, const py::array_t<double, py::array::c_style | py::array::forcecast>& p, int w,
                          int h) { return initialised(l).map_points(p, w, h, 0); },
            py::arg("points"), py::arg("width"), py::arg("height"),
            R"(Undistorted positions to their positions on the plate, as the Distort map maps them.

points: an array of shape (N, 2) in pixels of a width x height format, in
    Nuke's convention: origin at the bottom-left corner, y up, the centre
    of pixel (i, j) at (i + 0.5, j + 0.5).
Returns a float64 array of shape (N, 2) in the same convention. At a pixel
centre the result equals the map's value times the format size. A point
with no position (a focal length of 0) is NaN. MemoryError for more points
than the process may hold; KeyboardInterrupt at once on Ctrl-C.)")
        .def(
            "undistort", [](const Lens& l, const py::array_t<double, py::array::c_style | py::array::forcecast>& p,
                            int w, int h) { return initialised(l).map_points(p, w, h, 1); },
            py::arg("points"), py::arg("width"), py::arg("height"),
            R"(Positions on the plate to their undistorted positions, as the Undistort map maps them.

points: an array of shape (N, 2) in pixels of a width x height format, in
    Nuke's convention (see distort).
Returns a float64 array of shape (N, 2). A point with no undistorted
position (at or beyond where the lens folds back) is NaN, not (0, 0).
MemoryError for more points than the process may hold; KeyboardInterrupt
at once on Ctrl-C.)")
        .def("__repr__", [](const Lens& l) { return initialised(l).repr(); })
        .def(
            "__eq__", [](const Lens& a, const Lens& b) { return initialised(a).values() == initialised(b).values(); }, py::is_operator())
        .def("__hash__", [](const Lens& l) { return py::hash(py::cast(initialised(l).values())); })
        .def(py::pickle([](const Lens& l) { return initialised(l).values(); },
                        [](const std::tuple<float, float, float, float, bool, float, float>& v) {
                            return Lens(std::get<0>(v), std::get<1>(v), std::get<2>(v), std::get<3>(v),
                                        std::get<4>(v), std::get<5>(v), std::get<6>(v));
                        }));
}

py::object make_lens(const LensModel& panel) { return py::cast(Lens(panel)); }

}  // namespace talvik::python
