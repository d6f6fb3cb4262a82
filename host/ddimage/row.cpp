#include <algorithm>
#include <cstring>

#include "DDImage/Row.h"

namespace DD {
namespace Image {

Row::Row(int x, int r) : x_(x), r_(std::max(x, r)) {
    for (int c = Chan_Black; c <= Chan_Alpha; ++c) buffer(static_cast<Channel>(c));
}

Row::~Row() = default;

float* Row::buffer(Channel z) const {
    const int c = (z > Chan_Black && z <= Chan_Last) ? static_cast<int>(z) : 0;
    // Offsets so that the buffer is indexed by pixel number.
    if (bound_[c]) return bound_[c] - x_;
    if (!lines_[c]) lines_[c].reset(new float[static_cast<size_t>(r_ - x_ + 1)]());
    return lines_[c].get() - x_;
}

void Row::bind(Channel z, float* line) {
    if (z > Chan_Black && z <= Chan_Last) bound_[z] = line;
}
float* Row::writable(Channel z) { return buffer(z); }

const float* Row::operator[](Channel z) const { return buffer(z); }

void Row::erase(Channel z) {
    if (z == Chan_Black) return;
    std::fill(buffer(z) + x_, buffer(z) + r_, 0.0f);
}

void Row::erase(ChannelMask channels) {
    for (Channel z = channels.first(); z != Chan_Black; z = channels.next(z)) erase(z);
}

void Row::copy(const Row& source, ChannelMask channels, int x, int r) {
    x = std::max({x, x_, source.x_});
    r = std::min({r, r_, source.r_});
    if (x >= r) return;
    for (Channel z = channels.first(); z != Chan_Black; z = channels.next(z)) {
        std::memcpy(buffer(z) + x, source[z] + x, sizeof(float) * static_cast<size_t>(r - x));
    }
}

}  // namespace Image
}  // namespace DD
