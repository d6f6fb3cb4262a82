// Whole 4320 x 2160 Undistort frames rendered by the host through the
// plug-in, on 1 and more threads, with each rate as a ratio to one thread.
#include <benchmark/benchmark.h>

#include <thread>

#include "host/runtime/host.h"
#include "ratio_reporter.h"

namespace talvik::bench {
namespace {

constexpr int kWidth = 4320;
constexpr int kHeight = 2160;

void host_render(benchmark::State& state) {
    host::Host host({TALVIK_PLUGIN_DIR});
    host.set_threads(static_cast<int>(state.range(0)));
    Node& node = host.create_node("TalvikDistort");
    host.connect(node, 0, &host.create_source({kWidth, kHeight}));
    // The barrel lens of the row benchmark.
    host.set_value(node, "Mode", 1);
    host.set_value(node, "cx", 10);
    host.set_value(node, "cy", -5);
    host.set_value(node, "fx", 1500);
    host.set_value(node, "k1", -0.05);
    host.set_value(node, "k2", 0.01);
    host::Image image;
    for (auto _ : state) {
        host.render_into(node, 1.0, image);
        benchmark::DoNotOptimize(image.channel[0].data());
    }
    state.counters["Mpx/s"] = benchmark::Counter(
        static_cast<double>(kWidth) * kHeight * static_cast<double>(state.iterations()) / 1e6,
        benchmark::Counter::kIsRate);
}

BENCHMARK(host_render)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->Arg(static_cast<int>(std::max(2u, std::thread::hardware_concurrency())))
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace talvik::bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    talvik::bench::RatioReporter reporter("host_render/threads:1/");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
