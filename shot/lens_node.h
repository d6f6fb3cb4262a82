// The plug-in's node in the stand-in host, set up as the command and the
// Python module both drive it: the host loads TalvikDistort.so from a
// plug-in path and runs button scripts in Python; each node is fed by a
// source of the shot's format and metadata, its panel open as a user's is.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "DDImage/Format.h"
#include "host/runtime/host.h"
#include "host/runtime/metadata.h"
#include "lens/lens_model.h"
#include "shot/control_values.h"

namespace talvik::shot {

// A host that finds plug-ins in `plugin_path` and runs the reload's script.
std::unique_ptr<host::Host> create_lens_host(std::vector<std::string> plugin_path);

// A TalvikDistort node (its plug-in loaded on first use) with a source of
// `format` and `metadata` on its input and its panel open. Throws
// std::runtime_error when the plug-in cannot be found or loaded.
Node& add_lens_node(host::Host& host, const DD::Image::Format& format, host::Metadata metadata = {});

// The lens the node renders from these control values, in panel units (not
// normalized): Mode, cx, cy, fx, fy, anamorphic, k1 and k2; defaults for
// any missing.
LensModel panel_lens(const std::vector<ControlValue>& values);

}  // namespace talvik::shot
