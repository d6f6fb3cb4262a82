// Text crossing between the host (bytes, as file systems and EXR headers
// hold them) and scripts (Python str). Bytes that are not UTF-8 cross as
// lone surrogates (the "surrogateescape" error handler), as Nuke passes
// them, and come back as the same bytes: a Latin-1 header value or file
// name never raises UnicodeDecodeError in a script.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace talvik::host {

inline pybind11::str text_to_python(const std::string& bytes) {
    PyObject* text = PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "surrogateescape");
    if (!text) throw pybind11::error_already_set();
    return pybind11::reinterpret_steal<pybind11::str>(text);
}

// A str (or bytes) back to the bytes it stands for.
inline std::string text_from_python(pybind11::handle text) {
    if (PyBytes_Check(text.ptr())) return std::string(PyBytes_AS_STRING(text.ptr()), PyBytes_GET_SIZE(text.ptr()));
    PyObject* bytes = PyUnicode_AsEncodedString(text.ptr(), "utf-8", "surrogateescape");
    if (!bytes) throw pybind11::error_already_set();
    std::string out(PyBytes_AS_STRING(bytes), static_cast<size_t>(PyBytes_GET_SIZE(bytes)));
    Py_DECREF(bytes);
    return out;
}

}  // namespace talvik::host
