// What a 2D operator tells its consumers: its format, and as the Box itself
// the bounding box of the pixels it has, which may reach beyond the format
// on every side.
#pragma once

#include "DDImage/Box.h"
#include "DDImage/DDImage_API.h"
#include "DDImage/Format.h"
#include "DDImage/GeneralInfo.h"

namespace DD {
namespace Image {

class DDImage_API Info2D : public GeneralInfo, public Box {
public:
    const Format& format() const { return format_; }
    void format(const Format& f) { format_ = f; }

private:
    Format format_;
};

}  // namespace Image
}  // namespace DD
