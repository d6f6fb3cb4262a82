// What the last frame rendered was rendered from, so that a frame whose
// controls and box equal it is not rendered again: a held lens costs one
// render for the whole run of frames. The map itself is not kept; what was
// made from it (a file, preview samples) is.
#pragma once

#include <vector>

#include "DDImage/Box.h"
#include "shot/control_values.h"

namespace talvik::pipeline {

class FrameCache {
public:
    // Whether the last map rendered came from `values` over the box `box`.
    bool holds(const std::vector<shot::ControlValue>& values, const DD::Image::Box& box) const {
        return held_ && values == rendered_with_ && box == box_;
    }
    void hold(const std::vector<shot::ControlValue>& values, const DD::Image::Box& box) {
        rendered_with_ = values;
        box_ = box;
        held_ = true;
    }
    // Before a render that may fail half-way.
    void drop() { held_ = false; }

private:
    bool held_ = false;
    std::vector<shot::ControlValue> rendered_with_;
    DD::Image::Box box_;
};

}  // namespace talvik::pipeline
