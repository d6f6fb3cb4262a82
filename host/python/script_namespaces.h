// How the host runs a script's text: with one dictionary for its globals and
// locals (the default), or with separate ones, as some hosts run knob
// scripts. In the second mode names bound at the script's top level are
// locals, which functions defined in the text cannot see.
#pragma once

namespace talvik::host {

enum class ScriptNamespaces { Shared, Separate };

// The mode scripts run in. Starts from TALVIK_SCRIPT_NAMESPACES ("shared" or
// "separate"; unset is shared) and then follows set_script_namespaces.
// Throws std::invalid_argument for any other value of the variable.
ScriptNamespaces script_namespaces();
void set_script_namespaces(ScriptNamespaces mode);

}  // namespace talvik::host
