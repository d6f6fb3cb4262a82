// One line of pixels, x to r - 1, with one float buffer per channel indexed by
// pixel number.
#pragma once

#include <memory>

#include "DDImage/ChannelSet.h"
#include "DDImage/DDImage_API.h"

namespace DD {
namespace Image {

class DDImage_API Row {
public:
    Row(int x, int r);
    ~Row();
    Row(const Row&) = delete;
    Row& operator=(const Row&) = delete;

    int getLeft() const { return x_; }
    int getRight() const { return r_; }

    // Buffer of channel z, to be indexed with x <= i < r.
    float* writable(Channel z);
    const float* operator[](Channel z) const;
    void erase(Channel z);
    void erase(ChannelMask channels);
    void copy(const Row& source, ChannelMask channels, int x, int r);

    // --- Host section, not for plug-ins. ---
    // Channel z's line becomes `line` (r - x floats, for pixel x first), so a
    // renderer can have rows written straight into its image. Null unbinds.
    void bind(Channel z, float* line);

private:
    float* buffer(Channel z) const;
    int x_;
    int r_;
    // Lines of black to alpha, zeroed at start; other channels on first use.
    mutable std::unique_ptr<float[]> lines_[Chan_Last + 1];
    float* bound_[Chan_Last + 1] = {};
};

}  // namespace Image
}  // namespace DD
