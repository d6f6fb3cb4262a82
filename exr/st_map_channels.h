// The channels an ST map file must have: R and G as 32-bit float, A as half
// when the map carries its validity and no A when it does not, nothing
// else. A map re-saved as half float (positions a pixel off on a 4K frame)
// or stripped of a channel keeps a header that otherwise looks right.
#pragma once

#include <ImfChannelList.h>

#include <optional>
#include <string>

namespace talvik::exr {

// Nothing when `channels` are a map's; otherwise what is wrong, naming what
// was found ("its channels are G (half), R (half): a map holds R and G as
// 32-bit float and no validity alpha (A)").
std::optional<std::string> st_map_channel_difference(const Imf::ChannelList& channels, bool alpha);

}  // namespace talvik::exr
