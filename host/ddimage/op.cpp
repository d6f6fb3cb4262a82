#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "DDImage/Iop.h"
#include "DDImage/Op.h"
#include "host/runtime/node.h"

namespace DD {
namespace Image {

namespace {

std::atomic<long> g_live_ops{0};

struct Registry {
    std::mutex mutex;
    std::vector<const Op::Description*> descriptions;
};

Registry& registry() {
    static Registry r;
    return r;
}

const Format& empty_format() {
    static const Format f;
    return f;
}

}  // namespace

long live_op_count() { return g_live_ops.load(); }

void* Op::operator new(std::size_t size) {
    void* memory = std::malloc(size);
    if (!memory) throw std::bad_alloc();
    ++g_live_ops;
    return memory;
}

void Op::operator delete(void* memory) {
    if (!memory) return;
    --g_live_ops;
    std::free(memory);
}

Op::Op(Node* node) : node_(node) {}

Op::~Op() = default;

void Op::knobs(Knob_Callback) {}

int Op::knob_changed(Knob*) { return 0; }

void Op::inputs(int n) {
    inputs_ = n < 0 ? 0 : n;
    input_ops_.resize(static_cast<size_t>(inputs_), nullptr);
}

Op* Op::input(int n) const {
    if (n < 0 || n >= static_cast<int>(input_ops_.size())) return nullptr;
    return input_ops_[static_cast<size_t>(n)];
}

const Format& Op::input_format() const {
    const Op* in = input(0);
    if (const Iop* iop = in ? dynamic_cast<const Iop*>(in) : nullptr) return iop->format();
    return empty_format();
}

Knob* Op::knob(const char* name) const {
    if (!node_ || !name) return nullptr;
    return node_->knob(name);
}

void Op::validate(bool for_real) {
    if (valid_) return;
    for (Op* in : input_ops_) {
        if (in) in->validate(for_real);
    }
    _validate(for_real);
    valid_ = true;
}

void Op::_validate(bool) {}

void Description::ctor2(void (*announce)(Description*)) { announce(this); }

void Op::Description::add(DD::Image::Description* d) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.descriptions.push_back(static_cast<const Op::Description*>(d));
}

const Op::Description* Op::Description::find(const char* name) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    // The latest registration of a name wins, as when a plug-in is reloaded.
    for (auto it = r.descriptions.rbegin(); it != r.descriptions.rend(); ++it) {
        if (std::strcmp((*it)->name, name) == 0) return *it;
    }
    return nullptr;
}

}  // namespace Image
}  // namespace DD
