// Channel numbers of the host image library.
#pragma once

namespace DD {
namespace Image {

enum Channel {
    Chan_Black = 0,
    Chan_Red = 1,
    Chan_Green = 2,
    Chan_Blue = 3,
    Chan_Alpha = 4,
    Chan_Z = 5,
    Chan_Last = 63,
};

}  // namespace Image
}  // namespace DD
