// An image format: integer width and height and a pixel aspect.
#pragma once

#include "DDImage/Box.h"

namespace DD {
namespace Image {

class Format : public Box {
public:
    Format() = default;
    Format(int width, int height, double pixel_aspect = 1.0)
        : Box(0, 0, width, height), width_(width), height_(height), pixel_aspect_(pixel_aspect) {}
    int width() const { return width_; }
    int height() const { return height_; }
    double pixel_aspect() const { return pixel_aspect_; }
    void width(int w) { width_ = w; }
    void height(int h) { height_ = h; }

private:
    int width_ = 0;
    int height_ = 0;
    double pixel_aspect_ = 1.0;
};

}  // namespace Image
}  // namespace DD
