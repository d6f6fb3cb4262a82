// The base of every operator the host runs.
#pragma once

#include <cstddef>
#include <vector>

#include "DDImage/DDImage_API.h"
#include "DDImage/Description.h"
#include "DDImage/Format.h"
#include "DDImage/Knobs.h"

// The host's node; opaque to plug-ins.
class Node;

namespace DD {
namespace Image {

class Iop;
class Knob;

class DDImage_API Op {
public:
    class Description;

    static void* operator new(std::size_t size);
    static void operator delete(void* memory);

    virtual ~Op();

    // The controls: called with a closure that creates them or stores their values.
    virtual void knobs(Knob_Callback f);
    // A control changed (or the panel opened: k == &Knob::showPanel). Non-zero
    // when the operator handled it.
    virtual int knob_changed(Knob* k);
    virtual const char* Class() const = 0;
    virtual const char* node_help() const = 0;
    virtual int minimum_inputs() const { return 1; }
    virtual int maximum_inputs() const { return 1; }

    int inputs() const { return inputs_; }
    void inputs(int n);
    // The operator connected to input n, or null.
    Op* input(int n) const;
    Op* input0() const { return input(0); }
    // Format of input 0; an empty format when nothing is connected.
    const Format& input_format() const;

    Knob* knob(const char* name) const;
    // This operator as an image operator, or null: lets headers cast
    // without the image operator's type information.
    virtual Iop* iop() { return nullptr; }
    virtual const Iop* iop() const { return nullptr; }
    Node* node() const { return node_; }

    void validate(bool for_real = true);
    bool valid() const { return valid_; }
    void invalidate() { valid_ = false; }

protected:
    explicit Op(Node* node);
    virtual void _validate(bool for_real);

private:
    friend class HostAccess;
    Node* node_;
    int inputs_ = 0;
    std::vector<Op*> input_ops_;
    bool valid_ = false;
};

// Announces a node class: its name and its factory.
class DDImage_API Op::Description : public DD::Image::Description {
public:
    typedef Op* (*Constructor)(Node*);

    const char* name;
    Constructor constructor;

    Description(const char* n, Constructor c, License* l = nullptr)
        : name(n), constructor(c) {
        license = l;
        ctor(add);
    }
    // The menu string is not used by this host.
    Description(const char* n, const char* /*menu*/, Constructor c, License* l = nullptr)
        : Description(n, c, l) {}

    static const Description* find(const char* name);

private:
    static void add(DD::Image::Description* d);
};

}  // namespace Image
}  // namespace DD
