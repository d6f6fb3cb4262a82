// An ST map produced band by band, so that a writer holds a few bands at a
// time rather than the frame: the frame's size and place, threads to run
// bands on, and each band's planes.
#pragma once

#include <atomic>
#include <exception>
#include <functional>

#include "io/st_map_view.h"

namespace talvik::io {

class StMapBands {
public:
    virtual ~StMapBands() = default;
    // The whole map's size and place; its planes are null.
    virtual StMapView geometry() const = 0;
    // Threads that run(…) spreads tasks over, the caller included.
    virtual int threads() const = 0;
    // Called before run with the most rows a band will have: buffers for
    // bands are made here, never while bands are made.
    virtual void reserve(int band_rows) = 0;
    // Runs work(worker, task) for every task in [0, tasks) with worker in
    // [0, threads()); returns when all are done.
    virtual void run(int tasks, const std::function<void(int worker, int task)>& work) = 0;
    // On `worker`: the map's rows first_row .. first_row + rows - 1 (0 = the
    // bottom row), as a view whose row 0 is first_row. The view stays valid
    // until the worker's next band. Throws when the rows cannot be made.
    virtual StMapView band(int worker, int first_row, int rows) = 0;
};

// Makes every band of `map`, the top one first, with nothing else done
// with them: for what watches the bands pass (checks, a preview). Returns
// false when `cancel` was set before every band was made.
bool make_every_band(StMapBands& map, const std::atomic<bool>* cancel);

// Carries what StMapBands::band threw through a writer, which names its
// own failures after the file: the map's reason reaches the caller as it
// was thrown. Not a std::exception, so that no handler of the writer's
// catches it by mistake.
struct MapBandFailed {
    std::exception_ptr error;
};

// The bands of a map held whole: views into its planes, made on threads of
// their own.
class WholeStMap : public StMapBands {
public:
    WholeStMap(const StMapView& map, int threads) : map_(map), threads_(threads < 1 ? 1 : threads) {}
    StMapView geometry() const override;
    int threads() const override { return threads_; }
    void reserve(int) override {}
    void run(int tasks, const std::function<void(int worker, int task)>& work) override;
    StMapView band(int worker, int first_row, int rows) override;

private:
    StMapView map_;
    int threads_;
};

}  // namespace talvik::io
