// The Python module `talvik` (its compiled part, talvik._talvik): the
// node's lens and takes, on the libraries talvik-stmap is built from.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <exception>
#include <new>
#include <stdexcept>

#include "lens/lens_model_version.h"
#include "python/lens_binding.h"
#include "python/shot_binding.h"
#include "python/take_binding.h"
#include "shot/usage_error.h"
#include "shot/version_info.h"

namespace py = pybind11;

namespace {

// Messages may hold file names that are not UTF-8: their bytes are kept as
// os.fsdecode keeps them.
void raise(PyObject* type, const char* what) {
    PyObject* text = PyUnicode_DecodeFSDefault(what);
    if (!text) return;  // the decoding error is raised instead
    PyErr_SetObject(type, text);
    Py_DECREF(text);
}

}  // namespace

PYBIND11_MODULE(_talvik, m) {
    m.doc() = "TalvikDistort's lens model, ST maps and takes (the compiled part of the talvik package).";
    m.attr("__version__") = talvik::shot::command_version();
    m.attr("lens_model_version") = talvik::kLensModelVersion;
    // pybind11 sets numpy up on first use, under a static's guard, which
    // imports numpy: a thread holding the GIL waiting on the guard while
    // another runs that import would hang both. Done here, under the import
    // lock, before any thread can call in.
    py::detail::npy_api::get();
    py::dtype::of<float>();
    py::dtype::of<double>();
    talvik::python::define_lens(m);
    talvik::python::define_take(m);
    talvik::python::define_shot(m);
    // The command's usage errors are ValueError, its other failures
    // RuntimeError; pybind11's own exceptions pass on unchanged.
    py::register_exception_translator([](std::exception_ptr failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const py::builtin_exception&) {
            throw;
        } catch (const py::error_already_set&) {
            throw;
        } catch (const talvik::shot::UsageError& e) {
            raise(PyExc_ValueError, e.what());
        } catch (const std::bad_alloc&) {
            PyErr_NoMemory();
        } catch (const std::invalid_argument& e) {
            raise(PyExc_ValueError, e.what());
        } catch (const std::exception& e) {
            raise(PyExc_RuntimeError, e.what());
        }
    });
}
