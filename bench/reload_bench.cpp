// What each farm chunk pays before its first frame: a reload of the sample
// take (two cameras, 24 keyed frames) through the host's Python, as
// talvik-stmap does it, and the same with reading the FBX file alone.
#include <benchmark/benchmark.h>

#include <string>

#include "host/fbx/fbx_scene.h"
#include "host/python/python_scripting.h"
#include "host/runtime/host.h"

namespace talvik::bench {
namespace {

const std::string kTake = std::string(TALVIK_SAMPLE_DIR) + "/sample_take.fbx";

void reload_sample_take(benchmark::State& state) {
    host::Host host({TALVIK_PLUGIN_DIR});
    host::enable_python_scripting(host);
    for (auto _ : state) {
        Node& node = host.create_node("TalvikDistort");
        host.set_text(node, "fbx_file_path", kTake);
        host.set_value(node, "camera_index", 2);
        host.press(node, "reload");
        benchmark::DoNotOptimize(node.knob("cx"));
        state.PauseTiming();
        host.delete_node(node);
        state.ResumeTiming();
    }
}

void read_sample_take(benchmark::State& state) {
    for (auto _ : state) {
        const fbx::Scene scene = fbx::read_scene(kTake);
        benchmark::DoNotOptimize(scene.frames_per_second());
    }
}

BENCHMARK(reload_sample_take)->Unit(benchmark::kMillisecond);
BENCHMARK(read_sample_take)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace talvik::bench

BENCHMARK_MAIN();
