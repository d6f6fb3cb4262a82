#include "DDImage/ChannelSet.h"

namespace DD {
namespace Image {

Channel ChannelSet::next(Channel z) const {
    for (int c = static_cast<int>(z) + 1; c <= Chan_Last; ++c) {
        if (contains(static_cast<Channel>(c))) return static_cast<Channel>(c);
    }
    return Chan_Black;
}

}  // namespace Image
}  // namespace DD
