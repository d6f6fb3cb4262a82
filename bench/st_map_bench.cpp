// Whole 4320 x 2160 ST maps through the row generation, in megapixels per
// second, beside OpenCV's undistortion map where OpenCV is installed.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "lens/st_map_row.h"
#include "lens/st_map_row_targets.h"
#include "ratio_reporter.h"

#ifdef TALVIK_BENCH_OPENCV
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#endif

namespace talvik::bench {
namespace {

constexpr int kWidth = 4320;
constexpr int kHeight = 2160;
constexpr const char* kOpenCvName = "OpenCV_initUndistortRectifyMap";

struct PanelLens {
    float k1;
    float k2;
    int mode;
};

LensModel bench_lens(PanelLens panel) {
    LensModel lens;
    lens.cx = 10.0f;
    lens.cy = -5.0f;
    lens.fx = 1500.0f;
    lens.fy = 1500.0f;
    lens.k1 = panel.k1;
    lens.k2 = panel.k2;
    lens.mode = panel.mode;
    lens.normalize();
    return lens;
}

void set_rate(benchmark::State& state) {
    const double pixels = static_cast<double>(kWidth) * kHeight;
    state.counters["Mpx/s"] = benchmark::Counter(
        pixels * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

template <typename RowFn>
void whole_map(benchmark::State& state, PanelLens panel, RowFn row) {
    const LensModel lens = bench_lens(panel);
    const FrameSize size = frame_size_from(kWidth, kHeight);
    std::vector<float> s(kWidth), t(kWidth);
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y) {
            row(lens, size, y, 0, kWidth, s.data(), t.data());
            benchmark::DoNotOptimize(s.data());
            benchmark::DoNotOptimize(t.data());
        }
        benchmark::ClobberMemory();
    }
    set_rate(state);
}

struct BenchMode {
    const char* name;
    PanelLens panel;
};

const BenchMode kModes[] = {
    {"Distort", {-0.05f, 0.01f, 0}},
    {"Undistort_barrel", {-0.05f, 0.01f, 1}},
    {"Undistort_pincushion", {0.05f, 0.01f, 1}},
};

// Each mode through st_map_row as renders call it, then forced onto every
// target this CPU runs.
void register_row_benchmarks() {
    for (const BenchMode& mode : kModes) {
        const std::string dispatched = std::string(mode.name) + "/dispatched_" +
                                       row_target_name(dispatched_row_target());
        benchmark::RegisterBenchmark(dispatched.c_str(), whole_map<RowFunction>, mode.panel,
                                     st_map_row)
            ->Unit(benchmark::kMillisecond);
        for (RowTarget target : runnable_row_targets()) {
            const std::string name = std::string(mode.name) + "/" + row_target_name(target);
            benchmark::RegisterBenchmark(name.c_str(), whole_map<RowFunction>, mode.panel,
                                         row_function(target))
                ->Unit(benchmark::kMillisecond);
        }
    }
}

#ifdef TALVIK_BENCH_OPENCV
// The same lens as OpenCV sees it: pixel focal lengths and principal point of
// the 4320 x 2160 frame, k1 and k2, float maps, one thread.
void opencv_map(benchmark::State& state) {
    cv::setNumThreads(1);
    const double scale = kWidth / 1920.0;
    const cv::Matx33d camera(1500.0 * scale, 0.0, kWidth / 2.0 + 10.0 * scale, 0.0,
                             1500.0 * scale, kHeight / 2.0 + 5.0 * scale, 0.0, 0.0, 1.0);
    const cv::Vec4d coefficients(-0.05, 0.01, 0.0, 0.0);
    cv::Mat map_x, map_y;
    for (auto _ : state) {
        cv::initUndistortRectifyMap(camera, coefficients, cv::noArray(), camera,
                                    cv::Size(kWidth, kHeight), CV_32FC1, map_x, map_y);
        benchmark::DoNotOptimize(map_x.data);
        benchmark::DoNotOptimize(map_y.data);
    }
    set_rate(state);
}
BENCHMARK(opencv_map)->Name(kOpenCvName)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
}  // namespace talvik::bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    talvik::bench::register_row_benchmarks();
    talvik::bench::RatioReporter reporter(talvik::bench::kOpenCvName);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
