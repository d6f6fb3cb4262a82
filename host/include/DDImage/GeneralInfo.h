// What every operator tells its consumers: the frame range it covers.
#pragma once

#include "DDImage/DDImage_API.h"

namespace DD {
namespace Image {

class DDImage_API GeneralInfo {
public:
    int first_frame() const { return first_frame_; }
    int last_frame() const { return last_frame_; }
    void first_frame(int f) { first_frame_ = f; }
    void last_frame(int f) { last_frame_ = f; }

private:
    int first_frame_ = 1;
    int last_frame_ = 1;
};

}  // namespace Image
}  // namespace DD
