// talvik.render, overscan, camera, nuke_script, points, plan and verify:
// the shot pipeline the command runs, called from Python.
#pragma once

#include <pybind11/pybind11.h>

namespace talvik::python {

void define_shot(pybind11::module_& m);

}  // namespace talvik::python
