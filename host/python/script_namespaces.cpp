#include "host/python/script_namespaces.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace talvik::host {

namespace {

ScriptNamespaces from_environment() {
    const char* text = std::getenv("TALVIK_SCRIPT_NAMESPACES");
    if (text == nullptr || *text == '\0' || std::strcmp(text, "shared") == 0) {
        return ScriptNamespaces::Shared;
    }
    if (std::strcmp(text, "separate") == 0) return ScriptNamespaces::Separate;
    // A typo must not silently test the other mode.
    throw std::invalid_argument("TALVIK_SCRIPT_NAMESPACES must be \"shared\" or \"separate\", not \"" +
                                std::string(text) + "\"");
}

// -1: not read from the environment yet.
std::atomic<int> current_mode{-1};

}  // namespace

ScriptNamespaces script_namespaces() {
    int mode = current_mode.load();
    if (mode < 0) {
        mode = static_cast<int>(from_environment());
        int unset = -1;
        current_mode.compare_exchange_strong(unset, mode);
        mode = current_mode.load();
    }
    return static_cast<ScriptNamespaces>(mode);
}

void set_script_namespaces(ScriptNamespaces mode) { current_mode.store(static_cast<int>(mode)); }

}  // namespace talvik::host
