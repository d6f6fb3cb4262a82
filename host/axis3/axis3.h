// The host's Axis3 node, as far as the reload script uses it: when
// "read_from_file" is on and "file_link" and "fbx_node_name" are set, it
// reads that FBX node's translation animation into "translate".
#pragma once

namespace talvik::host {

// Registers the Axis3 class with the host (once; later calls do nothing).
void register_axis3();

// Tests only: while off, new Axis3 nodes have no "translate" control, as an
// Axis3 of a host that lacks it. On by default.
void set_axis3_translate_for_tests(bool present);

}  // namespace talvik::host
