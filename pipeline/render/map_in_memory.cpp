#include "pipeline/render/map_in_memory.h"

#include <algorithm>

#include "pipeline/render/host_bands.h"
#include "shot/control_values.h"
#include "shot/plate_metadata.h"

namespace talvik::pipeline {

exr::StMapPixels render_map_in_memory(RenderPlan& plan, int frame) {
    const shot::PlateHeader* plate = plan.plate_at(frame);
    if (plate && plan.box_per_frame()) shot::show_plate_frame(*plan.host, *plan.node->input(0), *plate);
    plan.host->set_bbox(*plan.node->input(0), plan.box_at(frame));
    const std::vector<shot::ControlValue> values = shot::control_values(*plan.node, frame);
    HostBands bands(*plan.host);
    bands.set_alpha(plan.alpha);
    bands.begin(*plan.node, frame, &values);
    const io::StMapView g = bands.geometry();
    exr::StMapPixels p;
    p.x = g.x;
    p.y = g.exr_line(g.height - 1);
    p.width = g.width;
    p.height = g.height;
    const size_t count = static_cast<size_t>(g.width) * static_cast<size_t>(g.height);
    p.r.resize(count);
    p.g.resize(count);
    if (plan.alpha) p.a.resize(count);
    constexpr int kRows = 64;
    bands.reserve(kRows);
    bands.run((g.height + kRows - 1) / kRows, [&](int worker, int task) {
        const int first = task * kRows, rows = std::min(kRows, g.height - first);
        const io::StMapView v = bands.band(worker, first, rows);
        for (int r = 0; r < rows; ++r) {
            // Host rows run bottom-up, file lines top-down.
            const size_t line = static_cast<size_t>(g.height - 1 - (first + r)) * g.width;
            std::copy(v.s + v.index(0, r), v.s + v.index(0, r + 1), p.r.begin() + line);
            std::copy(v.t + v.index(0, r), v.t + v.index(0, r + 1), p.g.begin() + line);
            if (v.a) std::copy(v.a + v.index(0, r), v.a + v.index(0, r + 1), p.a.begin() + line);
        }
    });
    return p;
}

}  // namespace talvik::pipeline
