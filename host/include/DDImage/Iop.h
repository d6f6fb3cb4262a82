// Image operators: produce lines of pixels on request.
#pragma once

#include "DDImage/ChannelSet.h"
#include "DDImage/IopInfo.h"
#include "DDImage/Op.h"

namespace DD {
namespace Image {

class Row;

class DDImage_API Iop : public Op, public IopInfoOwner {
public:
    ~Iop() override;

    const Format& format() const { return info_.format(); }
    ChannelMask channels() const { return info_.channels(); }
    ChannelMask out_channels() const { return out_channels_; }
    void set_out_channels(ChannelMask m) { out_channels_ = m; }
    void set_out_channels(ChannelSetInit m) { out_channels_ = ChannelSet(m); }

    // Channels needed from input `input` to produce `mask`; edits it in place.
    virtual void in_channels(int input, ChannelSet& mask) const;
    // Fills row y, pixels x to r - 1, of the requested channels.
    virtual void engine(int y, int x, int r, ChannelMask channels, Row& row) = 0;
    // What callers use: the engine of a validated operator.
    void get(int y, int x, int r, ChannelMask channels, Row& row);

    Iop* iop() override;
    const Iop* iop() const override;
    // The operator on input n when it is an image operator, else null.
    Iop* input(int n) const { return asIop(Op::input(n)); }
    static Iop* asIop(Op* op) { return op != nullptr ? op->iop() : nullptr; }
    void copy_info(int input = 0);

protected:
    explicit Iop(Node* node);
    // Takes the info of input 0 and merges the other inputs' boxes and
    // channels into it.
    void _validate(bool for_real) override;

private:
    ChannelSet out_channels_;
};

}  // namespace Image
}  // namespace DD
