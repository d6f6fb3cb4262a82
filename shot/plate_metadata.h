// A plate header's attributes as metadata reaching the node, as a Read node
// passes them on: "exr/<attribute name>" keys.
#pragma once

#include "shot/plate_header.h"
#include "host/runtime/host.h"

namespace talvik::shot {

host::Metadata host_metadata(const PlateHeader& plate);

// Makes the frame's own header the metadata of the node's source: its time
// code and camera name reach the node at that frame.
void show_plate_frame(host::Host& host, Node& source, const PlateHeader& plate);

}  // namespace talvik::shot
