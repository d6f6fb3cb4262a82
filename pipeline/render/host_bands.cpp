#include "pipeline/render/host_bands.h"

#include <algorithm>
#include <stdexcept>

#include "lens/validity_row.h"
#include "shot/frame_checks.h"
#include "shot/frame_lens.h"

namespace talvik::pipeline {

void HostBands::begin(Node& node, int frame, const std::vector<shot::ControlValue>* values) {
    host_.begin_render(node, frame, box_);
    frame_ = frame;
    values_ = values;
    if (alpha_) {
        if (!values) throw std::logic_error("the validity alpha needs the frame's control values");
        lens_ = shot::frame_lens(*values);
    }
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
    a_.resize(alpha_ ? workers : 0);
    for (std::vector<uint16_t>& a : a_) a.resize(size);
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
    if (alpha_) {
        uint16_t* a = a_[worker].data();
        const FrameSize size = frame_size_from(v.format_width, v.format_height);
        for (int r = 0; r < rows; ++r)
            validity_row(lens_, size, v.y + r, v.x, v.width, v.s + v.index(0, r), v.t + v.index(0, r),
                         a + v.index(0, r));
        v.a = a;
    }
    if (values_) shot::check_map_finite(v, frame_, *values_, first_row);
    return v;
}

}  // namespace talvik::pipeline
