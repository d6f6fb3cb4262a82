// The two kinds of panel pass: one creates a node's controls from its
// declarations, the other stores the controls' values at a frame into the
// members the declarations point to.
#pragma once

class Node;

namespace talvik::host {

void create_knobs_pass(Node& node);
void store_knobs_pass(Node& node, double frame);

}  // namespace talvik::host
