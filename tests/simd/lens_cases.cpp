#include "lens_cases.h"

#include <limits>

#include "tests/lens/lens_from_panel.h"

namespace talvik::test {

namespace {

LensModel with_mode(PanelLens panel, int mode) {
    panel.mode = mode;
    return normalized(panel);
}

}  // namespace

std::vector<LensCase> lens_cases() {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<LensCase> cases;
    for (int mode : {0, 1}) {
        const std::string m = mode == 0 ? "distort_" : "undistort_";
        cases.push_back({m + "defaults", with_mode(PanelLens{}, mode)});
        cases.push_back({m + "barrel", with_mode(worked_lens(-0.05f, 0.01f), mode)});
        cases.push_back({m + "pincushion", with_mode(worked_lens(0.05f, 0.01f), mode)});

        PanelLens anamorphic = worked_lens(-0.1f, 0.02f);
        anamorphic.anamorphic = true;
        anamorphic.fy = 900.0f;
        anamorphic.cx = -300.0f;
        cases.push_back({m + "anamorphic_offset", with_mode(anamorphic, mode)});

        PanelLens folding = worked_lens(-0.2f, 0.0f);
        folding.fx = 1000.0f;
        cases.push_back({m + "folds_in_frame", with_mode(folding, mode)});

        PanelLens huge = worked_lens(1e30f, 1e30f);
        cases.push_back({m + "huge_coefficients", with_mode(huge, mode)});
        cases.push_back({m + "nan_k1", with_mode(worked_lens(nan, 0.01f), mode)});
        cases.push_back({m + "nan_k1_k2", with_mode(worked_lens(nan, nan), mode)});

        LensModel cubic = with_mode(worked_lens(-0.05f, 0.01f), mode);
        cubic.k3 = -0.3f;  // no control, but a member the math reads
        cases.push_back({m + "k3", cubic});
    }

    PanelLens flat;
    flat.fx = 0.0f;  // fy follows
    cases.push_back({"distort_zero_fx", with_mode(flat, 0)});
    LensModel zero_fy = with_mode(worked_lens(0.05f, 0.0f), 0);
    zero_fy.fy = 0.0f;
    cases.push_back({"distort_zero_fy", zero_fy});
    LensModel zero_ufx = with_mode(worked_lens(0.05f, 0.0f), 1);
    zero_ufx.undistorted_fx = 0.0f;
    cases.push_back({"undistort_zero_ufx", zero_ufx});
    LensModel zero_ufy = with_mode(worked_lens(0.05f, 0.0f), 1);
    zero_ufy.undistorted_fy = 0.0f;
    cases.push_back({"undistort_zero_ufy", zero_ufy});
    cases.push_back({"mode_2", with_mode(worked_lens(-0.05f, 0.01f), 2)});
    cases.push_back({"mode_minus_1_folds", with_mode(worked_lens(-0.3f, 0.0f), -1)});
    return cases;
}

}  // namespace talvik::test
