// Declaring controls: the closure a host passes to Op::knobs and the knob
// functions that call it, one call per control.
#pragma once

#include "DDImage/DDImage_API.h"
#include "DDImage/Knob.h"

namespace DD {
namespace Image {

#define STRING_KNOB 1
#define FILE_KNOB 2
#define INT_KNOB 3
#define ENUMERATION_KNOB 4
#define BITMASK_KNOB 5
#define BOOL_KNOB 6
#define DOUBLE_KNOB 7
#define FLOAT_KNOB 8
#define ARRAY_KNOB 9
#define XYZ_KNOB 13
#define PYSCRIPT_KNOB 22
#define TEXT_KNOB 26

enum StoreType : int {
    DoublePtr = 0,
    FloatPtr = 1,
    StringPtr = 2,
    IntPtr = 3,
    UnsignedIntPtr = 4,
    BoolPtr = 5,
    Custom = 19,
};

enum FileKnob_Type {
    Normal_File = 0,
    Image_File = 1,
    Geo_File = 2,
};

class Knob_Closure;
typedef Knob_Closure& Knob_Callback;

class DDImage_API Knob_Closure {
public:
    virtual ~Knob_Closure();

    Knob* operator()(int type, StoreType datatype, void* pointer, const char* name,
                     const char* label, const void* extra = nullptr) {
        return call(type, datatype, pointer, name, label, extra);
    }
    // True on the pass that creates the controls, false on passes that store
    // their values into the node.
    bool makeKnobs() const { return makeKnobs_; }
    Knob* lastKnob() const { return lastKnob_; }

protected:
    explicit Knob_Closure(bool make_knobs) : makeKnobs_(make_knobs) {}
    void lastKnob(Knob* k) { lastKnob_ = k; }

private:
    virtual Knob* call(int type, StoreType datatype, void* pointer, const char* name,
                       const char* label, const void* extra) = 0;

    bool makeKnobs_;
    Knob* lastKnob_ = nullptr;
};

// Act on the control declared last.
DDImage_API void Tooltip(Knob_Callback f, const char* text);
DDImage_API void SetFlags(Knob_Callback f, Knob::FlagMask mask);
DDImage_API void ClearFlags(Knob_Callback f, Knob::FlagMask mask);

inline Knob* String_knob(Knob_Callback f, const char** p, const char* n,
                         const char* l = nullptr) {
    return f(STRING_KNOB, StringPtr, p, n, l);
}

inline Knob* File_knob(Knob_Callback f, const char** p, const char* n, const char* l = nullptr,
                       FileKnob_Type type = Normal_File) {
    return f(FILE_KNOB, StringPtr, p, n, l, reinterpret_cast<const void*>(type));
}

inline Knob* Int_knob(Knob_Callback f, int* p, const char* n, const char* l = nullptr) {
    return f(INT_KNOB, IntPtr, p, n, l);
}

inline Knob* Enumeration_knob(Knob_Callback f, int* p, const char* const* e, const char* n,
                              const char* l = nullptr) {
    return f(ENUMERATION_KNOB, IntPtr, p, n, l, e);
}

inline Knob* Bool_knob(Knob_Callback f, bool* p, const char* n, const char* l = nullptr) {
    return f(BOOL_KNOB, BoolPtr, p, n, l);
}

inline Knob* Float_knob(Knob_Callback f, float* p, const char* n, const char* l = nullptr) {
    return f(FLOAT_KNOB, FloatPtr, p, n, l);
}

inline Knob* Float_knob(Knob_Callback f, double* p, const char* n, const char* l = nullptr) {
    return f(DOUBLE_KNOB, DoublePtr, p, n, l);
}

inline Knob* PyScript_knob(Knob_Callback f, const char* command, const char* n,
                           const char* l = nullptr) {
    return f(PYSCRIPT_KNOB, Custom, nullptr, n, l, command);
}

inline Knob* Text_knob(Knob_Callback f, const char* text) {
    return f(TEXT_KNOB, Custom, nullptr, nullptr, nullptr, text);
}

inline Knob* Text_knob(Knob_Callback f, const char* label, const char* text) {
    return f(TEXT_KNOB, Custom, nullptr, nullptr, label, text);
}

}  // namespace Image
}  // namespace DD
