#include "io/st_map_bands.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace talvik::io {

bool make_every_band(StMapBands& map, const std::atomic<bool>* cancel) {
    const StMapView g = map.geometry();
    const int rows = std::max(1, std::min(g.height, 64));
    const int bands = (g.height + rows - 1) / rows;
    map.reserve(rows);
    map.run(bands, [&](int worker, int b) {
        if (cancel && cancel->load()) return;
        // Band b ends b bands below the top row.
        const int end = g.height - b * rows;
        const int first = std::max(0, end - rows);
        map.band(worker, first, end - first);
    });
    return !(cancel && cancel->load());
}

StMapView WholeStMap::geometry() const {
    StMapView g = map_;
    g.s = g.t = nullptr;
    g.a = nullptr;
    return g;
}

void WholeStMap::run(int tasks, const std::function<void(int worker, int task)>& work) {
    std::atomic<int> next{0};
    std::mutex error_mutex;
    std::exception_ptr error;
    auto drain = [&](int worker) {
        for (int task = next++; task < tasks; task = next++) {
            try {
                work(worker, task);
            } catch (...) {
                std::lock_guard<std::mutex> lock(error_mutex);
                if (!error) error = std::current_exception();
            }
        }
    };
    std::vector<std::thread> helpers;
    for (int w = 1; w < threads_ && w < tasks; ++w) {
        try {
            helpers.emplace_back(drain, w);
        } catch (const std::system_error&) {
            break;  // no thread to spare: the others do the work
        }
    }
    drain(0);
    for (std::thread& t : helpers) t.join();
    if (error) std::rethrow_exception(error);
}

StMapView WholeStMap::band(int, int first_row, int rows) {
    StMapView v = map_;
    v.s = map_.s + map_.index(0, first_row);
    v.t = map_.t + map_.index(0, first_row);
    if (map_.a) v.a = map_.a + map_.index(0, first_row);
    v.y = map_.y + first_row;
    v.height = rows;
    // The band keeps the whole map's format (0 meant "the planes").
    v.format_width = map_.display_width();
    v.format_height = map_.display_height();
    return v;
}

}  // namespace talvik::io
