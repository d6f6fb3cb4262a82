#include "DDImage/Iop.h"
#include "DDImage/PixelIop.h"
#include "DDImage/Row.h"

namespace DD {
namespace Image {

IopInfoOwner::~IopInfoOwner() = default;

Iop::Iop(Node* node) : Op(node) {}

Iop::~Iop() = default;

Iop* Iop::iop() { return this; }

const Iop* Iop::iop() const { return this; }

void Iop::in_channels(int, ChannelSet&) const {}

void Iop::copy_info(int n) {
    if (Iop* in = input(n)) {
        info_ = in->info();
    }
}

// Format and frame range come from input 0; the bounding box and channels
// are those of all inputs together. Without input 0 there is nothing: no
// format, an empty box, no channels.
void Iop::_validate(bool) {
    if (input(0)) {
        copy_info(0);
    } else {
        info_ = IopInfo();
        info_.set(0, 0, 0, 0);
    }
    for (int n = 1; n < inputs() && input(0); ++n) {
        if (const Iop* in = input(n)) {
            info_.merge(in->info());
            info_.channels(info_.channels() + in->info().channels());
        }
    }
    info_.channels(info_.channels() + out_channels_);
}

void Iop::get(int y, int x, int r, ChannelMask channels, Row& row) {
    engine(y, x, r, channels, row);
}

void PixelIop::engine(int y, int x, int r, ChannelMask channels, Row& row) {
    ChannelSet wanted = channels;
    in_channels(0, wanted);
    const ChannelSet fetch = (channels - out_channels()) + wanted;
    if (Iop* in = input(0)) {
        in->get(y, x, r, fetch, row);
    } else {
        row.erase(fetch);  // an unconnected input is black
    }
    const ChannelSet done = channels & out_channels();
    if (!done.empty()) pixel_engine(row, y, x, r, done, row);
}

}  // namespace Image
}  // namespace DD
