// The lens a Blender fixture take keys for one camera, frame by frame, read
// from the CSV its generator wrote rather than through the command.
#pragma once

#include <map>
#include <string>

#include "lens/lens_model.h"
#include "tests/support/fixture_util.h"

namespace talvik::test {

// Panel units, not normalized. The anamorphic flag is the first frame's.
inline std::map<int, LensModel> keyed_lenses(const std::string& csv_path, char camera) {
    std::map<int, std::map<std::string, fbx::testing::KeyedFrame>> keyed;
    for (const auto& row : fbx::testing::read_keyed_frames(csv_path)) {
        if (row.model.back() == camera) keyed[row.frame][row.model.substr(0, row.model.size() - 1)] = row;
    }
    std::map<int, LensModel> out;
    for (const auto& [frame, m] : keyed) {
        LensModel& lens = out[frame];
        lens.cx = static_cast<float>(m.at("BP_TalvikLensCxCyFOV").xyz[0]);
        lens.cy = static_cast<float>(m.at("BP_TalvikLensCxCyFOV").xyz[2]);
        lens.fx = static_cast<float>(m.at("BP_TalvikLensFxAndOverscanFactor").xyz[0]);
        lens.fy = static_cast<float>(m.at("BP_TalvikLensEPDFy").xyz[0]);
        lens.k1 = static_cast<float>(m.at("BP_TalvikLensK1K2FD").xyz[0]);
        lens.k2 = static_cast<float>(m.at("BP_TalvikLensK1K2FD").xyz[2]);
        lens.anamorphic = keyed.begin()->second.at("BP_TalvikLensFxAndOverscanFactor").xyz[1] != 0.0;
    }
    return out;
}

}  // namespace talvik::test
