#include "cli/render/host_bands.h"

#include <algorithm>

#include "shot/frame_checks.h"

namespace talvik::cli {

void HostBands::begin(Node& node, int frame, const std::vector<shot::ControlValue>* values) {
    host_.begin_render(node, frame, box_);
    frame_ = frame;
    values_ = values;
}

io::StMapView HostBands::geometry() const {
    io::StMapView g;
    g.width = box_.width;
    g.height = box_.height;
    g.x = box_.x;
    g.y = box_.y;
    g.format_width = box_.format.width();
    g.format_height = box_.format.height();
    return g;
}

void HostBands::reserve(int band_rows) {
    const size_t size = static_cast<size_t>(box_.width) * static_cast<size_t>(std::max(band_rows, 1));
    const size_t workers = static_cast<size_t>(host_.threads());
    s_.resize(workers);
    t_.resize(workers);
    for (size_t w = 0; w < workers; ++w) {
        // Every value of a band is rendered: no clearing needed.
        s_[w].resize(size);
        t_[w].resize(size);
    }
    band_rows_ = band_rows;
}

void HostBands::run(int tasks, const std::function<void(int worker, int task)>& work) {
    host_.run_tasks(tasks, work);
}

io::StMapView HostBands::band(int worker, int first_row, int rows) {
    if (rows > band_rows_) throw std::logic_error("a band larger than reserved");
    float* planes[4] = {s_[worker].data(), t_[worker].data(), nullptr, nullptr};
    host_.render_band(worker, first_row, rows, planes);
    io::StMapView v = geometry();
    v.s = planes[0];
    v.t = planes[1];
    v.y += first_row;
    v.height = rows;
    if (values_) shot::check_map_finite(v, frame_, *values_, first_row);
    return v;
}

}  // namespace talvik::cli
