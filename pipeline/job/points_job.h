// A 2D track to convert through a shot's lens: the CSV read, and where its
// y is measured from.
#pragma once

#include <string>

namespace talvik::pipeline {

struct PointsJob {
    std::string track;      // the CSV read; the converted one is the shot's output
    bool top_left = false;  // y down from the top line (else up from the bottom, as Nuke)
};

}  // namespace talvik::pipeline
