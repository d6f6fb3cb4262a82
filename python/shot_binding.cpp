#include "python/shot_binding.h"

#include <pybind11/stl.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "pipeline/farm/job_plan.h"
#include "pipeline/farm/shot_verify.h"
#include "pipeline/handoff/shot_handoff.h"
#include "pipeline/points/track_conversion.h"
#include "pipeline/render/shot_render.h"
#include "python/host_lock.h"
#include "python/py_paths.h"
#include "python/shot_call.h"
#include "python/shot_keywords.h"

namespace py = pybind11;

namespace talvik::python {
namespace {

// Each function takes the keywords its command takes as options.
using Keys = std::set<std::string>;
Keys operator+(Keys a, const Keys& b) {
    a.insert(b.begin(), b.end());
    return a;
}
const Keys kFrames = {"frames", "set", "threads"};
const Keys kMargins = {"overscan", "overscan_from"};
const Keys kWay = {"direction", "mode"};
const Keys kRenderKeys = kFrames + kMargins + kWay + Keys{"preview", "manifest", "overscan_report", "compression",
                                                          "alpha", "skip_existing"};
const Keys kFilmBack = {"film_back", "haperture"};

// Runs `work` on the call's job with the one host lock held.
template <class Work>
void run_locked(const ShotCall& call, Work work) {
    run_shot_call(
        [&](pipeline::ShotEvents& events) {
            HostLock lock;
            work(events);
        },
        call.progress);
}

py::object read_json_file(const std::string& path) {
    py::object open = py::module_::import("builtins").attr("open");
    py::object file = open(path_text(path), "rb");
    py::object value = py::module_::import("json").attr("load")(file);
    file.attr("close")();
    return value;
}

// The job plan as the command's --json prints it.
py::object plan_json(const pipeline::JobPlan& plan) {
    char* text = nullptr;
    size_t size = 0;
    std::FILE* memory = open_memstream(&text, &size);
    if (!memory) throw std::bad_alloc();
    std::unique_ptr<char, decltype(&std::free)> owned(nullptr, &std::free);
    try {
        pipeline::write_job_plan_json(plan, memory);
    } catch (...) {
        std::fclose(memory);
        owned.reset(text);
        throw;
    }
    std::fclose(memory);
    owned.reset(text);
    return py::module_::import("json").attr("loads")(py::str(text, size));
}

// What talvik.verify returns: true when every frame holds.
struct Verdict {
    pipeline::ShotVerdict verdict;
    std::string text() const {
        std::string text;
        for (const std::string& line : verdict.file_lines()) text += line + "\n";
        return text + verdict.summary();
    }
};

}  // namespace

void define_shot(py::module_& m) {
    m.def(
        "render",
        [](const py::object& output, const py::kwargs& kwargs) {
            ShotCall call = read_shot_keywords("render", kwargs, kRenderKeys);
            call.job.output = path_bytes(output, "output");
            run_locked(call, [&](pipeline::ShotEvents& events) { pipeline::render_shot(call.job, events); });
        },
        py::arg("output"),
        R"(Renders the shot's ST maps to `output` (a frame pattern, "st.####.exr"), as `talvik-stmap render -o` does.

Keywords are render's long options with '-' written '_': plate, size
((width, height) or "1920x1080"), fbx, camera, frames ("1001-1100x2", a
number or a list of frames), direction ("remove" or "add") or the node's
mode ("distort" or "undistort"), set ({control: value}),
overscan ("auto", margins), overscan_from, overscan_report, preview,
manifest, compression, alpha, skip_existing, threads, plugin_path, and
progress: None or a callable called as progress(done, total).
The files are those the command writes, bit for bit. Warnings the command
prints arrive as RuntimeWarning; under -W error the first one stops the
render, as --strict does. Raises FileNotFoundError for a take or plate that
is not there, ValueError for a value the command refuses, RuntimeError for
input it cannot render, and KeyboardInterrupt on Ctrl-C (finished frames
are kept).)");

    m.def(
        "overscan",
        [](const py::object& output, const py::kwargs& kwargs) {
            ShotCall call = read_shot_keywords("overscan", kwargs, kFrames);
            call.job.overscan_report = path_bytes(output, "output");
            call.job.overscan_report_name = "output";
            if (!call.job.overscan) call.job.overscan = "auto";
            run_locked(call, [&](pipeline::ShotEvents& events) { pipeline::measure_overscan(call.job, events); });
            return read_json_file(call.job.overscan_report);
        },
        py::arg("output"),
        R"(Measures the overscan the shot's add-distortion maps need and writes the report to `output`, as `talvik-stmap overscan -o` does; returns the report as a dict.

Keywords as for render: plate, size, fbx, camera, frames, set, threads,
plugin_path, progress.)");

    m.def(
        "camera",
        [](const py::object& output, const py::kwargs& kwargs) {
            ShotCall call = read_shot_keywords("camera", kwargs, kFrames + kMargins + kFilmBack);
            call.job.document = path_bytes(output, "output");
            run_locked(call, [&](pipeline::ShotEvents& events) { pipeline::write_camera(call.job, call.handoff, events); });
            return read_json_file(call.job.document);
        },
        py::arg("output"),
        R"(Writes the undistorted CG camera of each frame to `output` (JSON), as `talvik-stmap camera -o` does; returns it as a dict.

film_back: (width, height) in mm; haperture: the horizontal aperture in mm
(the vertical one follows the format). Other keywords as for render.)");

    m.def(
        "nuke_script",
        [](const py::object& output, const py::kwargs& kwargs) {
            ShotCall call = read_shot_keywords("nuke_script", kwargs,
                                               kFrames + kMargins + kFilmBack + Keys{"remove_map", "add_map"});
            call.job.document = path_bytes(output, "output");
            run_locked(call,
                       [&](pipeline::ShotEvents& events) { pipeline::write_nuke_script(call.job, call.handoff, events); });
        },
        py::arg("output"),
        R"(Writes a Nuke script to `output` that reads the plate, removes the distortion with remove_map, leaves room for the comp, adds it back with add_map and carries the camera, as `talvik-stmap nuke-script -o` does.

remove_map and add_map are the maps' frame patterns; plate is required.)");

    m.def(
        "points",
        [](const py::object& output, const py::kwargs& kwargs) {
            ShotCall call = read_shot_keywords("points", kwargs, kWay + Keys{"track", "origin"});
            call.job.output = path_bytes(output, "output");
            run_locked(call, [&](pipeline::ShotEvents& events) { pipeline::convert_track(call.job, call.points, events); });
        },
        py::arg("output"),
        R"(Converts the 2D track in `track` (CSV) through the take's lens, frame by frame, and writes it to `output`, as `talvik-stmap points -o` does.

origin: "bottom-left" (Nuke's, the default) or "top-left".)");

    m.def(
        "plan",
        [](const py::object& output, const py::kwargs& kwargs) {
            ShotCall call = read_shot_keywords("plan", kwargs, kRenderKeys + Keys{"chunk", "job_dir", "remove_map", "add_map"});
            if (!output.is_none()) call.job.output = path_bytes(output, "output");  // None: remove_map=, add_map=
            std::unique_ptr<pipeline::JobPlan> plan;
            run_locked(call, [&](pipeline::ShotEvents& events) {
                plan = std::make_unique<pipeline::JobPlan>(pipeline::plan_shot_job(call.job, call.farm, events));
            });
            return plan_json(*plan);
        },
        py::arg("output"),
        R"(The shot as a farm job rendering `output` in chunks of `chunk` frames, as `talvik-stmap plan --json` prints it, as a dict.

With output None and remove_map=, add_map= (either or both): both maps
from one overscan measurement, as plan --remove-map --add-map.)");

    py::class_<Verdict>(m, "Verdict", "What talvik.verify found: true when every frame of the shot holds.")
        .def("__bool__", [](const Verdict& v) { return v.verdict.holds(); })
        .def("__str__", &Verdict::text)
        .def_property_readonly("failing", [](const Verdict& v) { return v.verdict.failing; },
                               "The frames that do not hold, in order.")
        .def_property_readonly("frame_count", [](const Verdict& v) { return v.verdict.frames.size(); },
                               "How many frames were checked.")
        .def("__repr__", [](const Verdict& v) {
            return "<talvik.Verdict " + std::string(v.verdict.holds() ? "holds" : "does not hold") + ">";
        });

    m.def(
        "verify",
        [](const py::object& output, const py::kwargs& kwargs) {
            ShotCall call = read_shot_keywords("verify", kwargs, kFrames + kMargins + kWay +
                                                                  Keys{"preview", "manifest", "alpha", "compression", "job_dir", "deep"});
            call.job.output = path_bytes(output, "output");
            Verdict verdict;
            run_locked(call, [&](pipeline::ShotEvents& events) {
                verdict.verdict = pipeline::verify_shot(call.job, call.farm, events);
            });
            return verdict;
        },
        py::arg("output"),
        R"(Checks the shot's maps at `output` (and preview=) as `talvik-stmap verify` does: every frame's files there, whole and made from this shot's values.

deep=True also decodes every map and compares it bit for bit with the map
this shot's values make, as verify --deep does.
Returns a talvik.Verdict: true when the shot holds; str() names each frame
that does not and why, as the command's report does.)");
}

}  // namespace talvik::python
