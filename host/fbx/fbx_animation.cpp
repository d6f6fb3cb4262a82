#include "host/fbx/fbx_animation.h"

#include <optional>
#include <set>
#include <unordered_map>

#include "host/fbx/fbx_values.h"

namespace talvik::fbx::detail {

namespace {

struct Object {
    const Node* node;
    std::string_view kind;  // Model, AnimationCurveNode, AnimationCurve
};

struct Link {
    int64_t source;
    std::string property;
};

class AnimationReader {
public:
    explicit AnimationReader(const Document& doc) : doc_(doc) {}

    ModelAnimation read() {
        index_objects();
        index_connections();
        ModelAnimation out;
        std::set<std::string> seen;
        for (const auto& [id, node] : models_) {
            std::string name = model_name(object_name(*node));
            out.names.push_back(name);
            if (!seen.insert(name).second) continue;  // the first Model of a name counts
            if (auto t = translation_of(id)) out.animated.emplace(name, std::move(*t));
        }
        return out;
    }

private:
    std::string label(const Node& n) const {
        return std::string(n.name) + " (" + doc_.where(n.offset) + ")";
    }

    int64_t object_id(const Node& n) const {
        const auto id = n.props.empty() ? std::nullopt : as_integer(n.props[0]);
        if (!id) fail(doc_.file, label(n) + " has no integer id");
        return *id;
    }

    std::string object_name(const Node& n) const {
        const std::string* s = n.props.size() > 1 ? as_text(n.props[1]) : nullptr;
        if (!s) fail(doc_.file, label(n) + " has no name");
        return *s;
    }

    void index_objects() {
        const Node* objects = doc_.root("Objects");
        if (!objects) return;
        for (const Node& n : objects->children) {
            if (n.name != "Model" && n.name != "AnimationCurveNode" && n.name != "AnimationCurve")
                continue;
            const int64_t id = object_id(n);
            // A repeated id keeps its first object.
            objects_.emplace(id, Object{&n, n.name});
            if (n.name == "Model") models_.emplace_back(id, &n);
        }
    }

    void index_connections() {
        const Node* connections = doc_.root("Connections");
        if (!connections) return;
        for (const Node& c : connections->children) {
            if (c.name != "C") continue;
            const std::string* type = c.props.empty() ? nullptr : as_text(c.props[0]);
            if (!type || c.props.size() < 3)
                fail(doc_.file, "connection " + label(c) + " is malformed");
            if (*type != "OP") continue;
            const auto src = as_integer(c.props[1]);
            const auto dst = as_integer(c.props[2]);
            const std::string* prop = c.props.size() > 3 ? as_text(c.props[3]) : nullptr;
            if (!src || !dst || !prop)
                fail(doc_.file, "object-to-property connection " + label(c) +
                                    " needs two integer ids and a property name");
            links_[*dst].push_back(Link{*src, *prop});
        }
    }

    const Node* object_of_kind(int64_t id, std::string_view kind) const {
        const auto it = objects_.find(id);
        return (it != objects_.end() && it->second.kind == kind) ? it->second.node : nullptr;
    }

    std::optional<Translation> translation_of(int64_t model_id) const {
        const auto it = links_.find(model_id);
        if (it == links_.end()) return std::nullopt;
        for (const Link& link : it->second) {
            if (link.property != "Lcl Translation") continue;
            if (!object_of_kind(link.source, "AnimationCurveNode")) continue;
            if (auto t = curves_of(link.source)) return t;
        }
        return std::nullopt;
    }

    std::optional<Translation> curves_of(int64_t curve_node_id) const {
        static const char* const kChannels[3] = {"d|X", "d|Y", "d|Z"};
        const auto it = links_.find(curve_node_id);
        if (it == links_.end()) return std::nullopt;
        Translation t;
        bool any = false;
        for (const Link& link : it->second) {
            for (int axis = 0; axis < 3; ++axis) {
                if (link.property != kChannels[axis] || t.component[axis]) continue;
                const Node* curve = object_of_kind(link.source, "AnimationCurve");
                if (!curve) continue;
                t.component[axis] = read_curve(*curve);
                any = true;
            }
        }
        if (!any) return std::nullopt;
        return t;
    }

    Curve read_curve(const Node& curve) const {
        const std::string what = "AnimationCurve " + std::to_string(object_id(curve)) + " (" +
                                 doc_.where(curve.offset) + ")";
        const Node* times = curve.child("KeyTime");
        const Node* values = curve.child("KeyValueFloat");
        if (!times || times->props.empty()) fail(doc_.file, what + " has no KeyTime array");
        if (!values || values->props.empty()) fail(doc_.file, what + " has no KeyValueFloat array");
        Curve c;
        c.times = int64_array(doc_, times->props[0], what + " KeyTime");
        c.values = float_array(doc_, values->props[0], what + " KeyValueFloat");
        if (c.times.size() != c.values.size())
            fail(doc_.file, what + " has " + std::to_string(c.times.size()) + " KeyTime values but " +
                                std::to_string(c.values.size()) + " KeyValueFloat values");
        return c;
    }

    const Document& doc_;
    std::unordered_map<int64_t, Object> objects_;
    std::vector<std::pair<int64_t, const Node*>> models_;
    std::unordered_map<int64_t, std::vector<Link>> links_;
};

}  // namespace

std::string model_name(const std::string& object_name) {
    const size_t sep = object_name.find(std::string("\0\x01", 2));
    if (sep != std::string::npos) return object_name.substr(0, sep);
    const std::string prefix = "Model::";
    if (object_name.compare(0, prefix.size(), prefix) == 0) return object_name.substr(prefix.size());
    return object_name;
}

ModelAnimation read_translations(const Document& doc) { return AnimationReader(doc).read(); }

}  // namespace talvik::fbx::detail
