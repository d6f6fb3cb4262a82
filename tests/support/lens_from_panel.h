// Builds normalized lenses from panel values, as a store pass would.
#pragma once

#include "lens/lens_model.h"

namespace talvik::test {

struct PanelLens {
    float cx = 0.0f;
    float cy = 0.0f;
    float fx = 1920.0f;
    float fy = 1920.0f;
    float k1 = 0.0f;
    float k2 = 0.0f;
    bool anamorphic = false;
    int mode = 0;
};

inline LensModel normalized(const PanelLens& panel) {
    LensModel lens;
    lens.cx = panel.cx;
    lens.cy = panel.cy;
    lens.fx = panel.fx;
    lens.fy = panel.fy;
    lens.k1 = panel.k1;
    lens.k2 = panel.k2;
    lens.anamorphic = panel.anamorphic;
    lens.mode = panel.mode;
    lens.normalize();
    return lens;
}

// The lens of the worked examples: panel cx 10, cy -5, fx = fy = 1500.
inline PanelLens worked_lens(float k1, float k2) {
    PanelLens panel;
    panel.cx = 10.0f;
    panel.cy = -5.0f;
    panel.fx = 1500.0f;
    panel.fy = 1500.0f;
    panel.k1 = k1;
    panel.k2 = k2;
    return panel;
}

// Panel k1 -0.8, k2 0.287407, Undistort: k2 just under 9 k1^2 / 20, where
// the two zeros of D would meet, so D = 1 - 2.4 u + 1.437 u^2 is below 0
// only for r from 0.8928 to 0.9343, where r * F(r) falls a little before it
// rises again on the outer branch. At the largest radius below the peak,
// Newton alone settles on that branch, at r = 0.9547.
inline PanelLens shallow_fold_lens() {
    PanelLens panel;
    panel.k1 = -0.8f;
    panel.k2 = 0.287407f;
    panel.mode = 1;
    return panel;
}

}  // namespace talvik::test
