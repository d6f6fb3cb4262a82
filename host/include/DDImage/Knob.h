// A control of a node's panel. Plug-ins see the part above the host section;
// the host keeps the control's value, animation and panel state here.
#pragma once

#include <string>
#include <vector>

#include "DDImage/DDImage_API.h"
#include "DDImage/ValueStuffI.h"

class Node;

namespace DD {
namespace Image {

enum StoreType : int;

class DDImage_API Knob : public ValueStuffI {
public:
    typedef unsigned long long FlagMask;
    static constexpr FlagMask DISABLED = 0x80;
    static constexpr FlagMask SLIDER = 0x2;
    static constexpr FlagMask LOG_SLIDER = 0x4;
    static constexpr FlagMask NO_ANIMATION = 0x100;
    static constexpr FlagMask STARTLINE = 0x1000;
    static constexpr FlagMask ENDLINE = 0x2000;
    static constexpr FlagMask INVISIBLE = 0x400;

    // Passed to knob_changed when the node's panel opens.
    static Knob& showPanel;

    virtual ~Knob();

    const std::string& name() const { return name_; }
    const std::string& label() const { return label_; }
    bool is(const char* name) const { return name != nullptr && name_ == name; }

    virtual void enable(bool on);
    void enable() { enable(true); }
    void disable() { enable(false); }
    bool isEnabled() const { return enabled_; }
    virtual void visible(bool on);
    bool isVisible() const { return visible_; }

    FlagMask flags() const { return flags_; }
    bool flag(FlagMask f) const { return (flags_ & f) != 0; }
    void set_flag(FlagMask f) { flags_ |= f; }
    void clear_flag(FlagMask f) { flags_ &= ~f; }
    const char* tooltip() const { return tooltip_.c_str(); }
    void tooltip(const std::string& text) { tooltip_ = text; }

    // set_value (inherited, inline) lands here: a key at the current frame
    // when the component is animated, the plain value otherwise.
    int value_stuff(int what, ValueStuffArg* user = nullptr) const override;
    void set_text(const char* text);
    const char* get_text() const { return text_.c_str(); }

    // --- Host section: the stand-in's own state, not for plug-ins. ---
    struct Key {
        double frame;
        double value;
    };

    Knob(Node* node, int type, StoreType store, const char* name, const char* label,
         const void* extra, int components);
    Node* node() const { return node_; }
    int type() const { return type_; }
    StoreType store_type() const { return store_; }
    const void* extra() const { return extra_; }
    int components() const { return static_cast<int>(values_.size()); }

    double value(int component = 0) const;  // at the host's current frame
    double value_at(double frame, int component = 0) const;
    void set_value_at(double value, double frame, int component = 0);
    // Animated: the component has a curve, even one without keys yet.
    bool is_animated(int component = -1) const;
    void set_animated(int component = -1);
    void clear_animated(int component = -1);
    const std::vector<Key>& keys(int component) const;
    void set_keys(int component, std::vector<Key> keys);

private:
    bool set_value_now(double value, int channel);

    struct Component {
        double value = 0.0;
        bool animated = false;
        std::vector<Key> keys;  // sorted by frame
    };

    Node* node_;
    int type_;
    StoreType store_;
    std::string name_;
    std::string label_;
    const void* extra_;
    FlagMask flags_;
    std::string tooltip_;
    bool enabled_ = true;
    bool visible_ = true;
    std::string text_;
    std::vector<Component> values_;
};

}  // namespace Image
}  // namespace DD
