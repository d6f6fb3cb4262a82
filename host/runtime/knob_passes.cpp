#include "host/runtime/knob_passes.h"

#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>

#include "DDImage/Knobs.h"
#include "DDImage/Op.h"
#include "host/runtime/node.h"

namespace talvik::host {

using DD::Image::Knob;
using DD::Image::StoreType;

namespace {

int components_of(int type) { return type == XYZ_KNOB ? 3 : (type == TEXT_KNOB || type == PYSCRIPT_KNOB ? 0 : 1); }

// The control's initial value is whatever the member holds at creation.
void read_member(Knob& k, StoreType store, const void* p) {
    if (!p) return;
    switch (store) {
        case DD::Image::FloatPtr:
            for (int c = 0; c < k.components(); ++c) k.set_value(static_cast<const float*>(p)[c], c);
            break;
        case DD::Image::DoublePtr:
            for (int c = 0; c < k.components(); ++c) k.set_value(static_cast<const double*>(p)[c], c);
            break;
        case DD::Image::IntPtr:
            k.set_value(*static_cast<const int*>(p), 0);
            break;
        case DD::Image::BoolPtr:
            k.set_value(*static_cast<const bool*>(p) ? 1.0 : 0.0, 0);
            break;
        case DD::Image::StringPtr:
            k.set_text(*static_cast<const char* const*>(p));
            break;
        default:
            break;
    }
}

void write_member(const Knob& k, StoreType store, void* p, double frame) {
    if (!p) return;
    switch (store) {
        case DD::Image::FloatPtr:
            for (int c = 0; c < k.components(); ++c)
                static_cast<float*>(p)[c] = static_cast<float>(k.value_at(frame, c));
            break;
        case DD::Image::DoublePtr:
            for (int c = 0; c < k.components(); ++c) static_cast<double*>(p)[c] = k.value_at(frame, c);
            break;
        case DD::Image::IntPtr:
            *static_cast<int*>(p) = static_cast<int>(std::lround(k.value_at(frame, 0)));
            break;
        case DD::Image::BoolPtr:
            *static_cast<bool*>(p) = std::lround(k.value_at(frame, 0)) != 0;
            break;
        case DD::Image::StringPtr:
            // The host owns the text; the member points into it.
            *static_cast<const char**>(p) = k.get_text();
            break;
        default:
            break;
    }
}

class CreateClosure : public DD::Image::Knob_Closure {
public:
    explicit CreateClosure(Node& node) : Knob_Closure(true), node_(node) {}

private:
    Knob* call(int type, StoreType store, void* p, const char* name, const char* label,
               const void* extra) override {
        auto knob = std::make_unique<Knob>(&node_, type, store, name, label, extra,
                                           components_of(type));
        read_member(*knob, store, p);
        if (type == TEXT_KNOB && extra) knob->set_text(static_cast<const char*>(extra));
        Knob* k = node_.add_knob(std::move(knob));
        lastKnob(k);
        return k;
    }
    Node& node_;
};

class StoreClosure : public DD::Image::Knob_Closure {
public:
    StoreClosure(Node& node, double frame) : Knob_Closure(false), node_(node), frame_(frame) {}

private:
    Knob* call(int type, StoreType store, void* p, const char*, const char*,
               const void*) override {
        // Declarations come in the same order on every pass.
        const auto& knobs = node_.knobs();
        if (index_ >= knobs.size() || knobs[index_]->type() != type) {
            throw std::logic_error(node_.name() + ": controls declared differently than at creation");
        }
        Knob* k = knobs[index_++].get();
        write_member(*k, store, p, frame_);
        lastKnob(k);
        return k;
    }
    Node& node_;
    double frame_;
    size_t index_ = 0;
};

}  // namespace

void create_knobs_pass(Node& node) {
    CreateClosure closure(node);
    node.op()->knobs(closure);
}

void store_knobs_pass(Node& node, double frame) {
    StoreClosure closure(node, frame);
    node.op()->knobs(closure);
}

}  // namespace talvik::host
