// Registration records that plug-ins create statically: the host learns of
// each one when the library is loaded.
#pragma once

#include "DDImage/DDImage_API.h"
#include "DDImage/ddImageVersionNumbers.h"

namespace DD {
namespace Image {

class License;

class DDImage_API Description {
public:
    // "Mmm dd yyyy for 15.0": when the plug-in was compiled, and for which host.
    const char* compiled = nullptr;
    // Path of the library the record came from, filled in by the host.
    const char* plugin = nullptr;
    License* license = nullptr;

protected:
    // Inline so that the date is the plug-in's own compile date.
    void ctor(void (*announce)(Description*)) {
        compiled = __DATE__ " for " kDDImageVersionMajorMinor;
        ctor2(announce);
    }

private:
    void ctor2(void (*announce)(Description*));
};

}  // namespace Image
}  // namespace DD
