// Image operators that compute each output pixel from the same pixel of
// their input, line by line.
#pragma once

#include "DDImage/Iop.h"
#include "DDImage/Row.h"

namespace DD {
namespace Image {

class DDImage_API PixelIop : public Iop {
public:
    explicit PixelIop(Node* node) : Iop(node) {}
    ~PixelIop() override {}

    // out[x..r) of the channels in `channels` (a subset of the output
    // channels); `in` holds the input's line and may be the same Row as `out`.
    virtual void pixel_engine(const Row& in, int y, int x, int r, ChannelMask channels,
                              Row& out) = 0;
    // Fetches from input 0 every requested channel the operator does not
    // write, plus what in_channels asks for, then runs pixel_engine.
    void engine(int y, int x, int r, ChannelMask channels, Row& row) override;
};

}  // namespace Image
}  // namespace DD
