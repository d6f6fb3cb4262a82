#include <algorithm>

#include "DDImage/Knob.h"
#include "DDImage/Knobs.h"
#include "host/runtime/host.h"
#include "host/runtime/node.h"

namespace DD {
namespace Image {

namespace {
Knob show_panel_sentinel(nullptr, TEXT_KNOB, Custom, "showPanel", nullptr, nullptr, 0);
}  // namespace

Knob& Knob::showPanel = show_panel_sentinel;

Knob::Knob(Node* node, int type, StoreType store, const char* name, const char* label,
           const void* extra, int components)
    : node_(node),
      type_(type),
      store_(store),
      name_(name ? name : ""),
      label_(label ? label : ""),
      extra_(extra),
      flags_(STARTLINE | ((type == FLOAT_KNOB || type == DOUBLE_KNOB) ? SLIDER : 0)),
      values_(static_cast<size_t>(components)) {}

Knob::~Knob() = default;

void Knob::enable(bool on) { enabled_ = on; }

void Knob::visible(bool on) { visible_ = on; }

void Knob::set_text(const char* text) { text_ = text ? text : ""; }

int Knob::value_stuff(int what, ValueStuffArg* user) const {
    if (what != SET_VALUE || user == nullptr) return 0;
    // The interface is const for every operation; setting is the one that
    // writes, on a control that is never itself const.
    Knob& self = const_cast<Knob&>(*this);
    return self.set_value_now(user->set_value.v, user->set_value.channel) ? 1 : 0;
}

bool Knob::set_value_now(double value, int channel) {
    const double frame = node_ ? node_->host().frame() : 0.0;
    bool any = false;
    for (int c = 0; c < components(); ++c) {
        if (channel >= 0 && c != channel) continue;
        if (values_[c].animated) {
            set_value_at(value, frame, c);
        } else {
            values_[c].value = value;
        }
        any = true;
    }
    return any;
}

double Knob::value(int component) const {
    return value_at(node_ ? node_->host().frame() : 0.0, component);
}

double Knob::value_at(double frame, int component) const {
    if (component < 0 || component >= components()) return 0.0;
    const Component& c = values_[component];
    if (!c.animated || c.keys.empty()) return c.value;
    const std::vector<Key>& keys = c.keys;
    if (frame <= keys.front().frame) return keys.front().value;
    if (frame >= keys.back().frame) return keys.back().value;
    const auto after = std::upper_bound(keys.begin(), keys.end(), frame,
                                        [](double f, const Key& k) { return f < k.frame; });
    const Key& b = *after;
    const Key& a = *(after - 1);
    const double t = (frame - a.frame) / (b.frame - a.frame);
    return a.value + (b.value - a.value) * t;
}

void Knob::set_value_at(double value, double frame, int component) {
    if (component < 0 || component >= components()) return;
    Component& c = values_[component];
    c.animated = true;
    auto at = std::lower_bound(c.keys.begin(), c.keys.end(), frame,
                               [](const Key& k, double f) { return k.frame < f; });
    if (at != c.keys.end() && at->frame == frame) {
        at->value = value;
    } else {
        c.keys.insert(at, Key{frame, value});
    }
}

bool Knob::is_animated(int component) const {
    for (int c = 0; c < components(); ++c) {
        if ((component < 0 || c == component) && values_[c].animated) return true;
    }
    return false;
}

void Knob::set_animated(int component) {
    for (int c = 0; c < components(); ++c) {
        if (component < 0 || c == component) values_[c].animated = true;
    }
}

void Knob::clear_animated(int component) {
    for (int c = 0; c < components(); ++c) {
        if (component >= 0 && c != component) continue;
        Component& comp = values_[c];
        // The value seen at the current frame becomes the plain value.
        if (comp.animated) comp.value = value(c);
        comp.animated = false;
        comp.keys.clear();
    }
}

const std::vector<Knob::Key>& Knob::keys(int component) const {
    static const std::vector<Key> none;
    if (component < 0 || component >= components()) return none;
    return values_[component].keys;
}

void Knob::set_keys(int component, std::vector<Key> keys) {
    if (component < 0 || component >= components()) return;
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return a.frame < b.frame; });
    values_[component].animated = true;
    values_[component].keys = std::move(keys);
}

Knob_Closure::~Knob_Closure() = default;

void Tooltip(Knob_Callback f, const char* text) {
    if (Knob* k = f.lastKnob()) k->tooltip(text ? text : "");
}

void SetFlags(Knob_Callback f, Knob::FlagMask mask) {
    if (Knob* k = f.lastKnob()) k->set_flag(mask);
}

void ClearFlags(Knob_Callback f, Knob::FlagMask mask) {
    if (Knob* k = f.lastKnob()) k->clear_flag(mask);
}

}  // namespace Image
}  // namespace DD
