// A map's bands with its preview made as they pass: each band, once made
// on its worker, gives the preview its lines there, before whoever asked
// for the band (the EXR writer, say) gets it.
#pragma once

#include "png/preview_png_writer.h"
#include "io/st_map_bands.h"

namespace talvik::png {

class PreviewBands : public io::StMapBands {
public:
    // `preview` is begun for `map`'s geometry and finished by the caller.
    PreviewBands(io::StMapBands& map, PreviewPngWriter& preview) : map_(map), preview_(preview) {}

    io::StMapView geometry() const override { return map_.geometry(); }
    int threads() const override { return map_.threads(); }
    void reserve(int band_rows) override {
        map_.reserve(band_rows);
        preview_.reserve(map_.threads(), band_rows);
    }
    void run(int tasks, const std::function<void(int worker, int task)>& work) override { map_.run(tasks, work); }
    io::StMapView band(int worker, int first_row, int rows) override {
        const io::StMapView v = map_.band(worker, first_row, rows);
        preview_.take(worker, v, first_row);
        return v;
    }

private:
    io::StMapBands& map_;
    PreviewPngWriter& preview_;
};

}  // namespace talvik::png
