#include "host/python/python_scripting.h"

#include <pybind11/embed.h>

#include <cstdlib>

#include "host/axis3/axis3.h"
#include "host/python/byte_text.h"
#include "host/python/isolated_interpreter.h"
#include "host/python/nuke_module.h"
#include "host/python/script_namespaces.h"

namespace py = pybind11;

PYBIND11_EMBEDDED_MODULE(nuke, m) { talvik::host::define_nuke_module(m); }
PYBIND11_EMBEDDED_MODULE(nukescripts, m) { talvik::host::define_nukescripts_module(m); }

namespace talvik::host {

namespace {

// Script output goes to the host line by line, as the script prints it.
class HostOutput {
public:
    void write(py::handle text) {
        pending_ += text_from_python(text);
        for (std::string::size_type end; (end = pending_.find('\n')) != std::string::npos;) {
            emit(pending_.substr(0, end));
            pending_.erase(0, end + 1);
        }
    }
    void flush() {
        if (!pending_.empty()) emit(pending_);
        pending_.clear();
    }

private:
    static void emit(const std::string& line) {
        if (Host* host = script_context().host) host->output(line);
    }
    std::string pending_;
};

void ensure_interpreter() {
    if (Py_IsInitialized()) return;
    // The interpreter lives as long as the process and is shut down at exit,
    // after every host, so nothing it holds is left behind.
    start_isolated_interpreter();
    std::atexit([] { py::finalize_interpreter(); });
    py::class_<HostOutput>(py::module_::import("nuke"), "_HostOutput")
        .def(py::init<>())
        .def("write", &HostOutput::write)
        .def("flush", &HostOutput::flush);
}

std::string describe(py::error_already_set& e) {
    try {
        py::object format = py::module_::import("traceback").attr("format_exception");
        std::string text;
        for (py::handle line : format(e.type(), e.value(), e.trace())) text += text_from_python(line);
        return text;
    } catch (...) {
        return e.what();
    }
}

// The file name the running script was compiled under.
std::string& script_file() {
    static std::string name;
    return name;
}

// Called by Python at every line and call: a stop the host reports ends
// the script at its next line of its own, however long it would still run.
// Only there: raised inside the standard library (an import's module-lock
// callback, say), Python would report it as an exception it cannot raise,
// with a traceback, and go on.
int check_stop(PyObject*, PyFrameObject* frame, int, PyObject*) {
    const Host* host = script_context().host;
    if (!host || !host->stop_requested()) return 0;
    PyCodeObject* code = PyFrame_GetCode(frame);
    const bool ours = PyUnicode_CompareWithASCIIString(code->co_filename, script_file().c_str()) == 0;
    Py_DECREF(code);
    if (!ours) return 0;
    PyErr_SetString(PyExc_KeyboardInterrupt, "stopped");
    return -1;
}

}  // namespace

void enable_python_scripting(Host& host) {
    register_axis3();
    host.set_script_runner([&host](Node& node, const std::string& script) {
        run_python_script(host, node, script);
    });
}

void run_python_script(Host& host, Node& node, const std::string& script) {
    register_axis3();
    ensure_interpreter();
    const ScriptNamespaces mode = script_namespaces();
    py::gil_scoped_acquire gil;
    ScriptContext saved = script_context();
    script_context() = ScriptContext{&host, &node};
    py::module_ sys = py::module_::import("sys");
    py::object old_stdout = sys.attr("stdout");
    py::object output = py::module_::import("nuke").attr("_HostOutput")();
    sys.attr("stdout") = output;
    std::string error;
    script_file() = "<" + node.name() + " script>";
    PyEval_SetTrace(check_stop, nullptr);
    try {
        py::dict globals;
        globals["__builtins__"] = py::module_::import("builtins");
        globals["__name__"] = "__main__";
        globals["nuke"] = py::module_::import("nuke");
        globals["nukescripts"] = py::module_::import("nukescripts");
        // Compiled by hand: tracebacks then show the script's own line numbers.
        py::module_ builtins = py::module_::import("builtins");
        py::object code = builtins.attr("compile")(script, script_file(), "exec");
        if (mode == ScriptNamespaces::Separate) {
            builtins.attr("exec")(code, globals, py::dict());
        } else {
            builtins.attr("exec")(code, globals);
        }
    } catch (py::error_already_set& e) {
        // Described untraced, so that a stop cannot cut the description
        // short; a stop needs none.
        PyEval_SetTrace(nullptr, nullptr);
        error = host.stop_requested() ? std::string("KeyboardInterrupt: stopped") : describe(e);
    }
    PyEval_SetTrace(nullptr, nullptr);
    output.attr("flush")();
    sys.attr("stdout") = old_stdout;
    script_context() = saved;
    if (!error.empty()) throw ScriptError(error);
}

}  // namespace talvik::host
