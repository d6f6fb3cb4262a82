#include "host/runtime/node.h"

#include <algorithm>

Node::Node(talvik::host::Host* host, std::string class_name, std::string name)
    : host_(host), class_name_(std::move(class_name)), name_(std::move(name)) {}

Node::~Node() {
    // The operator was made by the plug-in's factory with Op's allocator;
    // deleting it through its virtual destructor returns it there.
    delete op_;
}

DD::Image::Knob* Node::knob(const std::string& name) const {
    for (const auto& k : knobs_) {
        if (!k->name().empty() && k->name() == name) return k.get();
    }
    return nullptr;
}

DD::Image::Knob* Node::add_knob(std::unique_ptr<DD::Image::Knob> knob) {
    knobs_.push_back(std::move(knob));
    return knobs_.back().get();
}

Node* Node::input(int n) const {
    if (n < 0 || n >= static_cast<int>(inputs_.size())) return nullptr;
    return inputs_[static_cast<size_t>(n)];
}

void Node::set_input(int n, Node* from) {
    if (n < 0) return;
    if (n >= static_cast<int>(inputs_.size())) inputs_.resize(static_cast<size_t>(n) + 1, nullptr);
    inputs_[static_cast<size_t>(n)] = from;
}

void Node::disconnect_all() { std::fill(inputs_.begin(), inputs_.end(), nullptr); }
