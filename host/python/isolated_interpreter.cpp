#include "host/python/isolated_interpreter.h"

#include <pybind11/embed.h>

#include <stdexcept>
#include <string>

namespace talvik::host {
namespace {

void check(PyStatus status, PyConfig& config, const char* what) {
    if (!PyStatus_Exception(status)) return;
    const std::string why = status.err_msg ? status.err_msg : "unknown reason";
    PyConfig_Clear(&config);
    throw std::runtime_error(std::string("cannot start the embedded Python: ") + what + ": " + why);
}

}  // namespace

void start_isolated_interpreter() {
    if (Py_IsInitialized()) return;
    PyConfig config;
    // Isolated: no environment variables, no user site, no script or
    // current folder on the path (safe_path), no signal handlers: SIGINT
    // stays with the host (Python's would only be acted on between
    // bytecodes) and SIGPIPE and SIGXFSZ keep the dispositions the program
    // chose.
    PyConfig_InitIsolatedConfig(&config);
    // Without the site module nothing outside the standard library is on
    // the path and no sitecustomize or usercustomize runs.
    config.site_import = 0;
    config.write_bytecode = 0;
    // The standard library of the Python built against, wherever this
    // program lies and whatever "python3" stands first on PATH: without a
    // home Python looks for its library beside the program and along PATH.
    check(PyConfig_SetBytesString(&config, &config.home, TALVIK_PYTHON_HOME), config, "home");
    // pybind11 takes the configuration and clears it.
    pybind11::initialize_interpreter(&config, 0, nullptr, false);
}

}  // namespace talvik::host
