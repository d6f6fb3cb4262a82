#include "python/py_paths.h"

#include <dlfcn.h>

#include <filesystem>

#include "shot/plugin_search.h"

namespace py = pybind11;

namespace talvik::python {
namespace {

// Where the plug-in sits beside this module, which is in
// <prefix>/lib/python3/dist-packages/talvik: lib/talvik/plugins of the
// installed tree, or the plugins folder of a build (laid out the same).
std::vector<std::string> plugins_beside_module() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&plugins_beside_module), &info) || !info.dli_fname) return {};
    std::error_code ec;
    std::filesystem::path module = std::filesystem::canonical(info.dli_fname, ec);
    if (ec) module = info.dli_fname;
    const std::filesystem::path lib = module.parent_path().parent_path().parent_path().parent_path();
    return {(lib / "talvik" / "plugins").string(), (lib.parent_path() / "plugins").string()};
}

}  // namespace

std::string path_bytes(const py::handle& path, const char* what) {
    std::string bytes = py::module_::import("os").attr("fsencode")(path).cast<std::string>();
    // As open() refuses it: the system would read the path up to the NUL.
    if (bytes.find('\0') != std::string::npos) throw py::value_error(std::string(what) + ": embedded null byte");
    return bytes;
}

py::object path_text(const std::string& path) {
    return py::module_::import("os").attr("fsdecode")(py::bytes(path));
}

std::vector<std::string> plugin_path_of(const py::object& given) {
    std::vector<std::string> folders;
    if (given.is_none()) {
    } else if (py::isinstance<py::str>(given) || py::isinstance<py::bytes>(given) ||
               py::hasattr(given, "__fspath__")) {
        folders.push_back(path_bytes(given, "plugin_path"));
    } else {
        for (const py::handle folder : given) folders.push_back(path_bytes(folder, "plugin_path"));
    }
    return shot::plugin_search_path(std::move(folders), "plugin_path", plugins_beside_module());
}

}  // namespace talvik::python
