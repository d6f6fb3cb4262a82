// Named lenses that reach every branch of the row math: ordinary lenses in
// both modes, a fold inside the frame, zero focal lengths, NaN and huge
// coefficients.
#pragma once

#include <string>
#include <vector>

#include "lens/lens_model.h"

namespace talvik::test {

struct LensCase {
    std::string name;
    LensModel lens;
};

std::vector<LensCase> lens_cases();

}  // namespace talvik::test
