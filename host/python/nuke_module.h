// The host's `nuke` and `nukescripts` modules: the scripting view of nodes,
// controls and their animation.
#pragma once

#include <pybind11/pybind11.h>

#include "host/runtime/host.h"

namespace talvik::host {

// The host and node a running script works on.
struct ScriptContext {
    Host* host = nullptr;
    Node* this_node = nullptr;
};
ScriptContext& script_context();

void define_nuke_module(pybind11::module_& m);
void define_nukescripts_module(pybind11::module_& m);

}  // namespace talvik::host
