// Paths from Python as the operating system takes them, and the plug-in
// folders a call searches.
#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <vector>

namespace talvik::python {

// str, bytes or os.PathLike as bytes (os.fsencode). `what` names the
// argument for a path the system would cut short (a NUL: ValueError).
std::string path_bytes(const pybind11::handle& path, const char* what);

// And back as Python shows it, undecodable bytes kept (os.fsdecode).
pybind11::object path_text(const std::string& path);

// A folder or a list of folders asked for, then TALVIK_PLUGIN_PATH; asked
// for none, the plug-in installed beside this module.
std::vector<std::string> plugin_path_of(const pybind11::object& given);

}  // namespace talvik::python
