// libFuzzer target: any bytes must give a scene or an FbxError, nothing else.
#include <cstddef>
#include <cstdint>

#include "host/fbx/fbx_scene.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const talvik::fbx::Scene scene = talvik::fbx::parse_scene(data, size, "fuzz.fbx");
        // Walk the result so a damaged scene cannot hide behind lazy access.
        for (const std::string& name : scene.model_names()) {
            const auto t = scene.translation(name);
            if (!t) continue;
            for (const auto& c : t->component) {
                if (!c) continue;
                if (c->times.size() != c->values.size()) __builtin_trap();
                for (int64_t k : c->times) (void)scene.frame_of(k);
            }
        }
    } catch (const talvik::fbx::FbxError&) {
    }
    return 0;
}
