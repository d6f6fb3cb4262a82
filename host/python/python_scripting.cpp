#include "host/python/python_scripting.h"

#include <pybind11/embed.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/axis3/axis3.h"
#include "host/python/byte_text.h"
#include "host/python/isolated_interpreter.h"
#include "host/python/nuke_module.h"
#include "host/python/script_namespaces.h"

namespace py = pybind11;

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

// The one place the interpreter is started: in the command, which embeds
// it, and not at all inside a Python process (the module), whose own
// interpreter then runs the scripts.
void ensure_interpreter() {
    if (Py_IsInitialized()) return;
    // The interpreter lives as long as the process and is shut down at exit,
    // after every host, so nothing it holds is left behind.
    start_isolated_interpreter();
    std::atexit([] { py::finalize_interpreter(); });
}

// The host's `nuke` and `nukescripts`, made on first use. They are not
// registered as built-in modules (impossible once an interpreter runs) but
// put in sys.modules for the length of each script, so that a process with
// a `nuke` of its own keeps it. Released when Python shuts down, so that
// their classes are freed with it.
struct HostModules {
    py::module_ nuke, nukescripts;
};

HostModules* made_modules = nullptr;  // under the GIL

const HostModules& host_modules() {
    if (made_modules) return *made_modules;
    auto made = std::make_unique<HostModules>(
        HostModules{py::reinterpret_steal<py::module_>(PyModule_New("nuke")),
                    py::reinterpret_steal<py::module_>(PyModule_New("nukescripts"))});
    if (!made->nuke || !made->nukescripts) throw py::error_already_set();
    define_nuke_module(made->nuke);
    define_nukescripts_module(made->nukescripts);
    py::class_<HostOutput>(made->nuke, "_HostOutput")
        .def(py::init<>())
        .def("write", &HostOutput::write)
        .def("flush", &HostOutput::flush);
    py::module_::import("atexit").attr("register")(py::cpp_function([] {
        delete made_modules;
        made_modules = nullptr;
    }));
    made_modules = made.release();
    return *made_modules;
}

// Puts the host's modules in sys.modules while it lives, then puts back
// what was there.
class ModulesInScope {
public:
    explicit ModulesInScope(const HostModules& modules) : sys_modules_(py::module_::import("sys").attr("modules")) {
        for (const auto& [name, module] : {std::pair{"nuke", modules.nuke}, std::pair{"nukescripts", modules.nukescripts}}) {
            saved_.emplace_back(name, sys_modules_.contains(name) ? py::object(sys_modules_[name]) : py::object());
            sys_modules_[name] = module;
        }
    }
    ~ModulesInScope() {
        try {
            for (const auto& [name, before] : saved_) {
                if (before) sys_modules_[name.c_str()] = before;
                else sys_modules_.attr("pop")(name, py::none());
            }
        } catch (py::error_already_set&) {
            // sys.modules replaced by the script itself: nothing to put back.
        }
    }

private:
    py::dict sys_modules_;
    std::vector<std::pair<std::string, py::object>> saved_;
};

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
    const HostModules& modules = host_modules();
    ModulesInScope in_scope(modules);
    ScriptContext saved = script_context();
    script_context() = ScriptContext{&host, &node};
    py::module_ sys = py::module_::import("sys");
    py::object old_stdout = sys.attr("stdout");
    py::object output = modules.nuke.attr("_HostOutput")();
    sys.attr("stdout") = output;
    std::string error;
    script_file() = "<" + node.name() + " script>";
    // A tracer of the process's own (a debugger, coverage) resumes after.
    PyThreadState* thread = PyThreadState_Get();
    const Py_tracefunc old_trace = thread->c_tracefunc;
    const py::object old_trace_object = py::reinterpret_borrow<py::object>(thread->c_traceobj);
    PyEval_SetTrace(check_stop, nullptr);
    try {
        py::dict globals;
        globals["__builtins__"] = py::module_::import("builtins");
        globals["__name__"] = "__main__";
        globals["nuke"] = modules.nuke;
        globals["nukescripts"] = modules.nukescripts;
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
    PyEval_SetTrace(old_trace, old_trace_object.ptr());
    output.attr("flush")();
    sys.attr("stdout") = old_stdout;
    script_context() = saved;
    if (!error.empty()) throw ScriptError(error);
}

}  // namespace talvik::host
