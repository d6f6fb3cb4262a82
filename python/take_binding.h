// talvik.Take: a take's lens cameras, and what the node's reload gives each
// of them, frame by frame.
#pragma once

#include <pybind11/pybind11.h>

namespace talvik::python {

void define_take(pybind11::module_& m);

}  // namespace talvik::python
