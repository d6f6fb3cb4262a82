#include "python/take_binding.h"

#include <pybind11/stl.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/fbx/fbx_scene.h"
#include "io/input_file.h"
#include "python/host_lock.h"
#include "python/initialised.h"
#include "python/lens_binding.h"
#include "python/py_paths.h"
#include "shot/content_hash.h"
#include "shot/control_values.h"
#include "shot/frame_checks.h"
#include "shot/lens_node.h"
#include "shot/take_cameras.h"
#include "shot/take_reload.h"
#include "shot/version_info.h"

namespace py = pybind11;

namespace talvik::python {
namespace {

constexpr int kMaxCamera = 999999;  // as for --camera

class Take {
public:
    Take(const py::object& path, const py::object& plugin_path)
        : path_(path_bytes(path, "path")), plugin_path_(plugin_path_of(plugin_path)) {
        py::gil_scoped_release release;
        io::check_input_file(path_, "take");
        // Hashed before it is read: a take replaced from here on is refused
        // at its next reload. A file that cannot be read is named as the
        // reader names it.
        std::string content;
        try {
            content = shot::file_content_hash(path_);
        } catch (const std::runtime_error&) {
        }
        cameras_ = shot::lens_cameras(fbx::read_scene(path_));
        content_ = content.empty() ? shot::file_content_hash(path_) : content;
    }

    const std::string& path() const { return path_; }

    std::vector<int> cameras() const {
        std::vector<int> numbers;
        for (const auto& [number, summary] : cameras_) numbers.push_back(number);
        return numbers;
    }

    ~Take() {
        // The host may only go while no script runs.
        py::gil_scoped_release release;
        let_go(std::move(host_));
    }
    Take(const Take&) = delete;
    Take& operator=(const Take&) = delete;

    std::vector<int> frames(int camera) {
        std::vector<int> frames;
        with_node(camera, [&](Node& node) { frames = shot::keyed_frames(node); });
        return frames;
    }

    py::dict controls(int camera, int frame) {
        std::string line;
        with_node(camera, [&](Node& node) { line = shot::controls_json(frame, values_at(node, frame)); });
        return py::module_::import("json").attr("loads")(line);
    }

    py::object lens(int camera, int frame) {
        LensModel panel;
        with_node(camera, [&](Node& node) { panel = shot::panel_lens(values_at(node, frame)); });
        return make_lens(panel);
    }

private:
    // A take reads one file: a camera reloaded from a file written over the
    // take since would not belong with the cameras already read.
    void check_unchanged() const {
        if (shot::file_content_hash(path_) != content_)
            throw std::runtime_error("take \"" + path_ + "\" changed since it was read; read it again with a new talvik.Take");
    }

    // The controls at a frame, refused as the command refuses them when one
    // is not a finite 32-bit float there.
    static std::vector<shot::ControlValue> values_at(const Node& node, int frame) {
        std::vector<shot::ControlValue> values = shot::control_values(node, frame);
        shot::check_frame_values(values, frame);
        return values;
    }

    // Runs `use` on the node of that camera, reloading it the first time,
    // with the GIL released; then shows any warning the plug-in earned.
    template <class Use>
    void with_node(int camera, Use use) {
        if (camera < 0 || camera > kMaxCamera)
            throw py::value_error("camera " + std::to_string(camera) + " is out of range (0 to " +
                                  std::to_string(kMaxCamera) + ")");
        std::string warning;
        {
            py::gil_scoped_release release;
            HostLock lock;
            auto it = nodes_.find(camera);
            if (it == nodes_.end()) {
                if (!host_) host_ = shot::create_lens_host(plugin_path_);
                // Each camera on a node of its own: a reload never inherits
                // another camera's values.
                Node& node = shot::add_lens_node(*host_, DD::Image::Format(1920, 1080));
                try {
                    shot::reload_take(*host_, node, path_, camera, nullptr, {});
                    check_unchanged();
                } catch (...) {
                    host_->delete_node(node);
                    // A reload of another file fails as it may: say why.
                    check_unchanged();
                    throw;
                }
                if (nodes_.empty()) warning = shot::lens_model_warning(shot::plugin_build("TalvikDistort"));
                it = nodes_.emplace(camera, &node).first;
            }
            use(*it->second);
        }
        // Under -W error the warning is raised.
        if (!warning.empty() && PyErr_WarnEx(PyExc_RuntimeWarning, warning.c_str(), 1) != 0)
            throw py::error_already_set();
    }

    std::string path_;
    std::string content_;  // file_content_hash when read
    std::vector<std::string> plugin_path_;
    std::map<int, shot::CameraSummary> cameras_;
    std::unique_ptr<host::Host> host_;
    std::map<int, Node*> nodes_;
};

}  // namespace

void define_take(py::module_& m) {
    py::class_<Take>(m, "Take", R"(An FBX take with lens animation, read as the node's reload reads it.

Each camera is reloaded the first time it is asked for: the plug-in
TalvikDistort.so is loaded into the stand-in host, a node is given the
take and the camera, and its "reload" button is pressed, exactly as
talvik-stmap does. Failures raise RuntimeError with the command's message.)")
        .def(py::init<const py::object&, const py::object&>(), py::arg("path"), py::arg("plugin_path") = py::none(),
             R"(Reads the take at `path` (str, bytes or os.PathLike).

plugin_path: a folder or a list of folders to find TalvikDistort.so in,
    searched first; then TALVIK_PLUGIN_PATH (':'-separated). Folders asked
    for either way are the only ones looked in, and each must exist; asked
    for none, the plug-in installed beside this module (lib/talvik/plugins),
    or the build's plugins folder. A process loads the plug-in once, for
    its first reload: later takes use the same.
Raises RuntimeError for a take that is missing, not a regular file or
damaged, and for a plug-in folder asked for that is not there; ValueError
for a path or folder holding a NUL byte. The take is read once: a camera
reloaded after its file changed raises RuntimeError naming it.)")
        .def_property_readonly("path", [](const Take& t) { return path_text(initialised(t).path()); }, "The take's path.")
        .def_property_readonly("cameras", [](const Take& t) { return initialised(t).cameras(); },
                               "Camera numbers with a lens node in the take, ascending (as `talvik-stmap inspect` lists them).")
        .def("frames", [](Take& t, int camera) { return initialised(t).frames(camera); }, py::arg("camera"),
             R"(The frames the reload keys for `camera`: first to last key, every frame.

camera: the number n of the take's lens nodes (BP_TalvikLensCxCyFOVn and
    the others), as in `cameras`.

Raises RuntimeError with the command's message when the reload fails (a
camera without lens animation, a damaged key), and naming the take when its
file changed since the Take read it.)")
        .def("controls", [](Take& t, int camera, int frame) { return initialised(t).controls(camera, frame); },
             py::arg("camera"), py::arg("frame"),
             R"(Every control of the node at `frame` after reloading `camera`, as a dict.

The same object `talvik-stmap render --print-controls` prints for that
frame: {"frame": 1001, "Mode": "Distort", "cx": ..., "k1": ...}, lens
values in pixels of the 1920 x 1080 reference frame. Frames outside the
keys hold the first or last key.)")
        .def("lens", [](Take& t, int camera, int frame) { return initialised(t).lens(camera, frame); },
             py::arg("camera"), py::arg("frame"),
             R"(The talvik.Lens the node renders at `frame` after reloading `camera`.

Raises as frames does, and RuntimeError for a control that is not a finite
32-bit float at that frame.)")
        .def("__repr__", [](const Take& t) {
            return "talvik.Take(" + py::repr(path_text(initialised(t).path())).cast<std::string>() + ")";
        });
}

}  // namespace talvik::python
