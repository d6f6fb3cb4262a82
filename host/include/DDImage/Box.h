// An integer rectangle: x, y inclusive, r, t exclusive.
#pragma once

namespace DD {
namespace Image {

class Box {
public:
    Box() = default;
    Box(int x, int y, int r, int t) : x_(x), y_(y), r_(r), t_(t) {}
    int x() const { return x_; }
    int y() const { return y_; }
    int r() const { return r_; }
    int t() const { return t_; }
    int w() const { return r_ - x_; }
    int h() const { return t_ - y_; }
    void set(int x, int y, int r, int t) { x_ = x; y_ = y; r_ = r; t_ = t; }

private:
    int x_ = 0, y_ = 0, r_ = 1, t_ = 1;
};

}  // namespace Image
}  // namespace DD
