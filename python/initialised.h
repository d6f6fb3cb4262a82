// An object of the module's classes made by T.__new__(T) alone, its
// __init__ never run: pybind11 hands its methods raw, unconstructed storage
// as self. Every method reaches its object through `initialised`.
#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <typeinfo>

namespace talvik::python {

// `self`, or TypeError when it was never constructed. pybind11 registers an
// instance when its __init__ has constructed it, and only then.
template <class T>
T& initialised(T& self) {
    namespace detail = pybind11::detail;
    if (!detail::get_object_handle(&self, detail::get_type_info(typeid(T)))) {
        const std::string name = pybind11::str(pybind11::type::of<T>().attr("__name__"));
        throw pybind11::type_error("talvik." + name + " object was never initialised: its __init__ did not run");
    }
    return self;
}

}  // namespace talvik::python
