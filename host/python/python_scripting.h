// Runs script-button texts in an embedded Python interpreter, with the
// host's own `nuke` and `nukescripts` modules in scope.
#pragma once

#include <stdexcept>
#include <string>

#include "host/runtime/host.h"

namespace talvik::host {

// A script raised: the message is its traceback.
class ScriptError : public std::runtime_error {
    using runtime_error::runtime_error;
};

// Makes `host` run button scripts through Python (and registers the Axis3
// class the scripts create). One script runs at a time.
void enable_python_scripting(Host& host);

// Runs `script` with `node` as nuke.thisNode(). Throws ScriptError.
void run_python_script(Host& host, Node& node, const std::string& script);

}  // namespace talvik::host
