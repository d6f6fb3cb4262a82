// The embedded interpreter the host runs button scripts in, isolated from
// where and by whom the program is run: only the standard library of the
// Python it was built with, and the host's own modules.
#pragma once

namespace talvik::host {

// Starts the interpreter unless one already runs (the host loaded into a
// Python process keeps that process's interpreter as it is). Isolated: no
// current or script folder on sys.path, no user site, no site-packages and
// so no sitecustomize or usercustomize, no PYTHON* environment variable
// (PYTHONPATH, PYTHONHOME, PYTHONSTARTUP, ...) read, no bytecode written, no
// signal handlers of Python's own. Throws std::runtime_error when Python
// cannot start.
void start_isolated_interpreter();

}  // namespace talvik::host
