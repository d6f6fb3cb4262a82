#include <algorithm>
#include <cstring>

#include "DDImage/Row.h"

namespace DD {
namespace Image {

namespace {
// Channels a row carries: black plus red to Chan_Last. Black stays zero.
constexpr int kChannels = Chan_Last + 1;
}  // namespace

Row::Row(int x, int r)
    : x_(x), r_(std::max(x, r)),
      storage_(new float[static_cast<size_t>(kChannels) * static_cast<size_t>(r_ - x_ + 1)]()) {}

Row::~Row() = default;

float* Row::buffer(Channel z) const {
    const int c = (z > Chan_Black && z <= Chan_Last) ? static_cast<int>(z) : 0;
    const size_t width = static_cast<size_t>(r_ - x_ + 1);
    // Offset so that the buffer is indexed by pixel number.
    return storage_.get() + static_cast<size_t>(c) * width - x_;
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
