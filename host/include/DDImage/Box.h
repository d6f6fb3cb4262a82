// An integer rectangle: x, y inclusive, r, t exclusive.
#pragma once

#include <algorithm>

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
    void x(int v) { x_ = v; }
    void y(int v) { y_ = v; }
    void r(int v) { r_ = v; }
    void t(int v) { t_ = v; }
    void set(int x, int y, int r, int t) { x_ = x; y_ = y; r_ = r; t_ = t; }
    void set(const Box& b) { *this = b; }
    // Grows to hold the other rectangle as well.
    void merge(int x, int y, int r, int t) {
        x_ = std::min(x_, x);
        y_ = std::min(y_, y);
        r_ = std::max(r_, r);
        t_ = std::max(t_, t);
    }
    void merge(const Box& b) { merge(b.x_, b.y_, b.r_, b.t_); }
    bool operator==(const Box& b) const { return x_ == b.x_ && y_ == b.y_ && r_ == b.r_ && t_ == b.t_; }
    bool operator!=(const Box& b) const { return !(*this == b); }

private:
    int x_ = 0, y_ = 0, r_ = 1, t_ = 1;
};

}  // namespace Image
}  // namespace DD
