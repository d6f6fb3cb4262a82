#include "exr/st_map_channels.h"

namespace talvik::exr {
namespace {

const char* type_name(Imf::PixelType type) {
    switch (type) {
        case Imf::UINT: return "32-bit unsigned integer";
        case Imf::HALF: return "half";
        case Imf::FLOAT: return "32-bit float";
        default: return "unknown type";
    }
}

std::string found(const Imf::ChannelList& channels) {
    std::string text;
    for (auto it = channels.begin(); it != channels.end(); ++it)
        text += std::string(text.empty() ? "" : ", ") + it.name() + " (" + type_name(it.channel().type) + ")";
    return text.empty() ? "its channels are none" : "its channels are " + text;
}

}  // namespace

std::optional<std::string> st_map_channel_difference(const Imf::ChannelList& channels, bool alpha) {
    const std::string wanted = alpha ? "a map holds R and G as 32-bit float and its validity alpha A as half"
                                     : "a map holds R and G as 32-bit float and no validity alpha (A)";
    int count = 0;
    for (auto it = channels.begin(); it != channels.end(); ++it) ++count;
    const Imf::Channel* r = channels.findChannel("R");
    const Imf::Channel* g = channels.findChannel("G");
    const Imf::Channel* a = channels.findChannel("A");
    const bool alpha_holds = alpha ? a && a->type == Imf::HALF : !a;
    const bool holds =
        r && r->type == Imf::FLOAT && g && g->type == Imf::FLOAT && alpha_holds && count == (a ? 3 : 2);
    if (holds) return std::nullopt;
    return found(channels) + ": " + wanted;
}

}  // namespace talvik::exr
