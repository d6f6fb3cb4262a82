// JSON read back with Python's own json module: a reader independent of
// the command that wrote it.
#pragma once

#include <pybind11/embed.h>

#include <string>

namespace talvik::test {

inline pybind11::object parse_json(const std::string& text) {
    static pybind11::scoped_interpreter python;
    return pybind11::module_::import("json").attr("loads")(text);
}

}  // namespace talvik::test
