// A set of channels: bit (z - 1) stands for channel z.
#pragma once

#include <cstdint>

#include "DDImage/Channel.h"
#include "DDImage/DDImage_API.h"

namespace DD {
namespace Image {

enum ChannelSetInit : unsigned int {
    Mask_None = 0,
    Mask_Red = 1 << (Chan_Red - 1),
    Mask_Green = 1 << (Chan_Green - 1),
    Mask_Blue = 1 << (Chan_Blue - 1),
    Mask_Alpha = 1 << (Chan_Alpha - 1),
    Mask_Z = 1 << (Chan_Z - 1),
    Mask_RGB = Mask_Red | Mask_Green | Mask_Blue,
    Mask_RGBA = Mask_RGB | Mask_Alpha,
    Mask_All = 0xFFFFFFFFu,
};

class DDImage_API ChannelSet {
public:
    ChannelSet() = default;
    ChannelSet(ChannelSetInit init) : bits_(init == Mask_All ? ~uint64_t{0} : uint64_t{init}) {}
    ChannelSet(Channel z) : bits_(bit(z)) {}

    bool empty() const { return bits_ == 0; }
    bool contains(Channel z) const { return (bits_ & bit(z)) != 0; }
    bool contains(const ChannelSet& other) const { return (bits_ & other.bits_) == other.bits_; }
    unsigned size() const { return static_cast<unsigned>(__builtin_popcountll(bits_)); }
    // First channel of the set, Chan_Black when empty; next() walks upwards.
    Channel first() const { return next(Chan_Black); }
    Channel next(Channel z) const;
    uint64_t value() const { return bits_; }

    ChannelSet& operator+=(const ChannelSet& o) { bits_ |= o.bits_; return *this; }
    ChannelSet& operator-=(const ChannelSet& o) { bits_ &= ~o.bits_; return *this; }
    ChannelSet& operator&=(const ChannelSet& o) { bits_ &= o.bits_; return *this; }
    ChannelSet operator+(const ChannelSet& o) const { return ChannelSet(*this) += o; }
    ChannelSet operator-(const ChannelSet& o) const { return ChannelSet(*this) -= o; }
    ChannelSet operator&(const ChannelSet& o) const { return ChannelSet(*this) &= o; }
    bool operator==(const ChannelSet& o) const { return bits_ == o.bits_; }
    bool operator!=(const ChannelSet& o) const { return bits_ != o.bits_; }
    operator bool() const { return !empty(); }

private:
    static uint64_t bit(Channel z) {
        return (z > Chan_Black && z <= Chan_Last) ? uint64_t{1} << (z - 1) : 0;
    }
    uint64_t bits_ = 0;
};

typedef const ChannelSet& ChannelMask;

}  // namespace Image
}  // namespace DD
