// A node's map rendered band by band on the host's threads: only R and G,
// each band checked for positions that are not finite as it is made and
// given its validity alpha when asked.
#pragma once

#include <vector>

#include "lens/lens_model.h"
#include "shot/control_values.h"
#include "host/runtime/host.h"
#include "io/st_map_bands.h"

namespace talvik::pipeline {

class HostBands : public io::StMapBands {
public:
    explicit HostBands(host::Host& host) : host_(host) {}

    // Begins the render of `node` at `frame` (validation, the box). With
    // `values`, every band is checked (check_map_finite).
    void begin(Node& node, int frame, const std::vector<shot::ControlValue>* values);

    io::StMapView geometry() const override;
    int threads() const override { return host_.threads(); }
    void reserve(int band_rows) override;
    void run(int tasks, const std::function<void(int worker, int task)>& work) override;
    io::StMapView band(int worker, int first_row, int rows) override;

    // Whether each band also brings its validity (io::StMapView::a), from
    // the lens of the frame's control values given to begin.
    void set_alpha(bool alpha) { alpha_ = alpha; }

private:
    host::Host& host_;
    host::Image box_;  // the box begun; no pixels
    int frame_ = 0;
    const std::vector<shot::ControlValue>* values_ = nullptr;
    int band_rows_ = 0;
    std::vector<std::vector<float>> s_, t_;  // one band per worker
    bool alpha_ = false;
    LensModel lens_;                          // the frame's, for the alpha
    std::vector<std::vector<uint16_t>> a_;   // one band per worker
};

}  // namespace talvik::pipeline
