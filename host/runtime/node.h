// The host's node: one operator, its controls, its inputs and its place in
// the graph. Plug-ins only ever see a Node pointer.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "DDImage/Knob.h"
#include "DDImage/Op.h"

namespace talvik::host {
class Host;
}

class Node {
public:
    Node(talvik::host::Host* host, std::string class_name, std::string name);
    ~Node();
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    talvik::host::Host& host() const { return *host_; }
    const std::string& class_name() const { return class_name_; }
    const std::string& name() const { return name_; }
    DD::Image::Op* op() const { return op_; }
    void op(DD::Image::Op* op) { op_ = op; }

    DD::Image::Knob* knob(const std::string& name) const;
    const std::vector<std::unique_ptr<DD::Image::Knob>>& knobs() const { return knobs_; }
    DD::Image::Knob* add_knob(std::unique_ptr<DD::Image::Knob> knob);

    Node* input(int n) const;
    const std::vector<Node*>& inputs() const { return inputs_; }
    void set_input(int n, Node* from);
    void disconnect_all();

    bool selected = false;
    // Never reused within a host, so stale script handles can be told apart.
    unsigned long long id = 0;

private:
    talvik::host::Host* host_;
    std::string class_name_;
    std::string name_;
    DD::Image::Op* op_ = nullptr;
    std::vector<std::unique_ptr<DD::Image::Knob>> knobs_;
    std::vector<Node*> inputs_;
};
