#include "host/axis3/axis3.h"

#include <atomic>
#include <cstring>
#include <vector>

#include "DDImage/Knobs.h"
#include "DDImage/Op.h"
#include "host/fbx/fbx_scene.h"
#include "host/runtime/node.h"

namespace talvik::host {

namespace {

using DD::Image::Knob;

std::atomic<bool> translate_present{true};

class Axis3 : public DD::Image::Op {
public:
    explicit Axis3(Node* node) : Op(node) {}

    const char* Class() const override { return "Axis3"; }
    const char* node_help() const override { return "A 3D transform; reads animation from FBX files."; }
    int minimum_inputs() const override { return 0; }
    int maximum_inputs() const override { return 1; }

    void knobs(DD::Image::Knob_Callback f) override {
        DD::Image::Bool_knob(f, &read_from_file_, "read_from_file", "read from file");
        DD::Image::File_knob(f, &file_link_, "file_link", "file", DD::Image::Geo_File);
        DD::Image::String_knob(f, &fbx_node_name_, "fbx_node_name", "node name");
        if (has_translate_) f(XYZ_KNOB, DD::Image::FloatPtr, translate_, "translate", "translate");
    }

    int knob_changed(Knob* k) override {
        if (k->is("read_from_file") || k->is("file_link") || k->is("fbx_node_name")) {
            read_animation();
            return 1;
        }
        return Op::knob_changed(k);
    }

private:
    // Keys exactly as stored: value as float32, frame from the file's rate.
    // Switching "read_from_file" off keeps what was read.
    void read_animation() {
        if (!read_from_file_ || !file_link_ || !*file_link_ || !fbx_node_name_ || !*fbx_node_name_) {
            return;
        }
        Knob* translate = knob("translate");
        if (translate == nullptr) return;
        translate->clear_animated();
        const fbx::Scene scene = fbx::read_scene(file_link_);
        const std::optional<fbx::Translation> animation = scene.translation(fbx_node_name_);
        if (!animation) return;
        for (int c = 0; c < 3; ++c) {
            const std::optional<fbx::Curve>& curve = animation->component[c];
            if (!curve) continue;
            std::vector<Knob::Key> keys;
            keys.reserve(curve->times.size());
            for (size_t i = 0; i < curve->times.size(); ++i) {
                keys.push_back({static_cast<double>(scene.frame_of(curve->times[i])),
                                static_cast<double>(curve->values[i])});
            }
            translate->set_keys(c, std::move(keys));
        }
    }

    bool read_from_file_ = false;
    const char* file_link_ = nullptr;
    const char* fbx_node_name_ = nullptr;
    float translate_[3] = {0.0f, 0.0f, 0.0f};
    // Fixed when the node is made: every panel pass declares the same controls.
    const bool has_translate_ = translate_present.load();
};

DD::Image::Op* create_axis3(Node* node) { return new Axis3(node); }

}  // namespace

void register_axis3() {
    static const DD::Image::Op::Description description("Axis3", create_axis3);
    (void)description;
}

void set_axis3_translate_for_tests(bool present) { translate_present.store(present); }

}  // namespace talvik::host
