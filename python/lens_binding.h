// talvik.Lens: the node's lens controls in panel units, and what the node's
// maps hold for them.
#pragma once

#include <pybind11/pybind11.h>

#include "lens/lens_model.h"

namespace talvik::python {

// The Python class of a lens, defined in `m`.
void define_lens(pybind11::module_& m);

// A talvik.Lens of these panel values (mode ignored).
pybind11::object make_lens(const LensModel& panel);

}  // namespace talvik::python
