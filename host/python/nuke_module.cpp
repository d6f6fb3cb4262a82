#include "host/python/nuke_module.h"

#include <pybind11/stl.h>

#include <cmath>
#include <string>
#include <vector>

#include "DDImage/Knobs.h"
#include "host/python/byte_text.h"

namespace py = pybind11;

namespace talvik::host {

using DD::Image::Knob;

ScriptContext& script_context() {
    static ScriptContext context;
    return context;
}

namespace {

Host& current_host() {
    Host* host = script_context().host;
    if (!host) throw std::runtime_error("no script is running");
    return *host;
}

// A script's handle on a node; it outlives the node if the script deletes it.
struct PyNode {
    unsigned long long id;

    Node& get() const {
        Node* node = current_host().find_node(id);
        if (!node) throw py::value_error("A PythonObject is not attached to a node");
        return *node;
    }
};

struct PyKnob {
    PyNode node;
    std::string name;

    Knob& get() const {
        Knob* k = node.get().knob(name);
        if (!k) throw py::value_error("A PythonObject is not attached to a knob");
        return *k;
    }
};

struct PyAnimationKey {
    double x;
    double y;
};

struct PyAnimationCurve {
    PyKnob knob;
    int index;
};

PyNode wrap(const Node& node) { return PyNode{node.id}; }

py::object knob_or_none(const PyNode& node, const std::string& name) {
    if (!node.get().knob(name)) return py::none();
    return py::cast(PyKnob{node, name});
}

py::object number_value(const Knob& k, int index) {
    const double v = k.value(index);
    switch (k.type()) {
        case INT_KNOB:
            return py::int_(std::lround(v));
        case BOOL_KNOB:
            return py::bool_(v != 0.0);
        default:
            return py::float_(v);
    }
}

py::object knob_value(const PyKnob& pk, py::object index) {
    const Knob& k = pk.get();
    if (k.store_type() == DD::Image::StringPtr) return text_to_python(k.get_text());
    if (k.type() == ENUMERATION_KNOB) {
        // An enumeration answers with the name of its entry.
        const auto* entries = static_cast<const char* const*>(k.extra());
        const long at = std::lround(k.value());
        for (long i = 0; entries && entries[i]; ++i) {
            if (i == at) return py::str(entries[i]);
        }
        return py::str("");
    }
    if (k.components() == 0) return text_to_python(k.get_text());
    if (!index.is_none()) return number_value(k, index.cast<int>());
    if (k.components() == 1) return number_value(k, 0);
    py::list values;
    for (int c = 0; c < k.components(); ++c) values.append(number_value(k, c));
    return values;
}

void knob_set_value(const PyKnob& pk, py::object value, int index) {
    Knob& k = pk.get();
    Node& node = pk.node.get();
    if (k.store_type() == DD::Image::StringPtr) {
        if (!py::isinstance<py::str>(value)) throw py::type_error(pk.name + " takes a string");
        current_host().set_text(node, pk.name, text_from_python(value));
        return;
    }
    if (k.type() == ENUMERATION_KNOB && py::isinstance<py::str>(value)) {
        const auto* entries = static_cast<const char* const*>(k.extra());
        const std::string wanted = value.cast<std::string>();
        for (int i = 0; entries && entries[i]; ++i) {
            if (wanted == entries[i]) {
                current_host().set_value(node, pk.name, i);
                return;
            }
        }
        throw py::value_error("no entry " + wanted + " in " + pk.name);
    }
    if (py::isinstance<py::str>(value) || value.is_none()) {
        throw py::type_error(pk.name + " takes a number");
    }
    current_host().set_value(node, pk.name, value.cast<double>(), index);
}

PyNode create_node(const std::string& class_name) {
    Host& host = current_host();
    const std::vector<Node*> selected = host.selected_nodes();
    Node& node = host.create_node(class_name);
    // A new node takes the selected node as its input and becomes the selection.
    if (!selected.empty() && node.op()->maximum_inputs() > 0) host.connect(node, 0, selected.front());
    host.select_only(&node);
    return wrap(node);
}

}  // namespace

void define_nuke_module(py::module_& m) {
    py::class_<PyAnimationKey>(m, "AnimationKey")
        .def_readonly("x", &PyAnimationKey::x)
        .def_readonly("y", &PyAnimationKey::y)
        .def("__repr__", [](const PyAnimationKey& k) {
            return "<AnimationKey x=" + std::to_string(k.x) + " y=" + std::to_string(k.y) + ">";
        });

    py::class_<PyAnimationCurve>(m, "AnimationCurve")
        .def("keys",
             [](const PyAnimationCurve& c) {
                 std::vector<PyAnimationKey> keys;
                 for (const Knob::Key& k : c.knob.get().keys(c.index)) keys.push_back({k.frame, k.value});
                 return keys;
             })
        .def("knobIndex", [](const PyAnimationCurve& c) { return c.index; })
        .def("evaluate", [](const PyAnimationCurve& c, double t) { return c.knob.get().value_at(t, c.index); });

    py::class_<PyKnob>(m, "Knob")
        .def("name", [](const PyKnob& k) { return k.name; })
        .def("value", &knob_value, py::arg("index") = py::none())
        .def("getValue", [](const PyKnob& k, int index) { return k.get().value(index); },
             py::arg("index") = 0)
        .def("setValue", &knob_set_value, py::arg("value"), py::arg("index") = -1)
        .def("isAnimated", [](const PyKnob& k, int index) { return k.get().is_animated(index); },
             py::arg("index") = -1)
        .def("animation",
             [](const PyKnob& k, int index) -> py::object {
                 if (!k.get().is_animated(index) || index < 0) return py::none();
                 return py::cast(PyAnimationCurve{k, index});
             },
             py::arg("index"))
        .def("setAnimated", [](const PyKnob& k, int index) { k.get().set_animated(index); return true; },
             py::arg("index") = -1)
        .def("clearAnimated", [](const PyKnob& k, int index) { k.get().clear_animated(index); return true; },
             py::arg("index") = -1)
        .def("setValueAt",
             [](const PyKnob& pk, double value, double time, int index) {
                 Knob& k = pk.get();
                 for (int c = 0; c < k.components(); ++c) {
                     if (index < 0 || c == index) k.set_value_at(value, time, c);
                 }
                 return true;
             },
             py::arg("value"), py::arg("time"), py::arg("index") = -1);

    py::class_<PyNode>(m, "Node")
        .def("name", [](const PyNode& n) { return n.get().name(); })
        .def("Class", [](const PyNode& n) { return n.get().class_name(); })
        .def("knob", &knob_or_none)
        .def("__getitem__",
             [](const PyNode& n, const std::string& name) {
                 if (!n.get().knob(name)) {
                     PyErr_SetString(PyExc_NameError, name.c_str());
                     throw py::error_already_set();
                 }
                 return PyKnob{n, name};
             })
        .def("metadata",
             [](const PyNode& n) {
                 py::dict out;
                 for (const auto& [key, value] : current_host().metadata(n.get())) {
                     out[text_to_python(key)] = std::visit(
                        [](const auto& v) -> py::object {
                            if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::string>) return text_to_python(v);
                            else return py::cast(v);
                        },
                        value);
                 }
                 return out;
             })
        .def("input",
             [](const PyNode& n, int i) -> py::object {
                 const Node* in = n.get().input(i);
                 return in ? py::cast(wrap(*in)) : py::none();
             })
        .def("__eq__", [](const PyNode& a, const PyNode& b) { return a.id == b.id; });

    m.def("thisNode", []() {
        Node* node = script_context().this_node;
        if (!node) throw std::runtime_error("no current node");
        return wrap(*node);
    });
    m.def("createNode", [](const std::string& class_name, const std::string&, bool) {
        return create_node(class_name);
    }, py::arg("node"), py::arg("args") = "", py::arg("inpanel") = true);
    m.def("delete", [](const PyNode& n) { current_host().delete_node(n.get()); });
    m.def("alert", [](py::object text) { current_host().alert(text_from_python(py::str(text))); });
    m.def("allNodes", []() {
        std::vector<PyNode> out;
        for (const auto& n : current_host().nodes()) out.push_back(wrap(*n));
        return out;
    });
    m.def("selectedNodes", []() {
        std::vector<PyNode> out;
        for (Node* n : current_host().selected_nodes()) out.push_back(wrap(*n));
        return out;
    });
}

void define_nukescripts_module(py::module_& m) {
    m.def("remove_inputs", []() {
        Host& host = current_host();
        for (Node* node : host.selected_nodes()) {
            for (int i = 0; i < static_cast<int>(node->inputs().size()); ++i) host.connect(*node, i, nullptr);
        }
    });
}

}  // namespace talvik::host
