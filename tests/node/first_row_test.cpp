// The first frame a fresh process renders, counted row by row from the very
// first: the plug-in's rows allocate nothing and wait on no static's guard.
// This executable holds only this test, so no row has run before it.
#include <cstdlib>

#include "DDImage/Row.h"
#include "node_host.h"
#include "row_counters.h"

namespace talvik::test {
namespace {

using DD::Image::ChannelSet;
using DD::Image::Format;

__attribute__((noinline)) int first_use_of_a_static() {
    static const int value = std::rand();
    return value;
}

TEST_F(NodeHost, FirstFrameRowsAllocateNothingAndTakeNoGuard) {
    // The counters see what they are meant to see.
    start_counting();
    void* volatile memory = ::operator new(16);
    ::operator delete(memory);
    (void)first_use_of_a_static();
    const RowCounts control = stop_counting();
    ASSERT_EQ(control.allocations, 1);
    if (control.static_guards >= 0) {
        ASSERT_EQ(control.static_guards, 1);
    }

    constexpr int kWidth = 96;
    constexpr int kHeight = 54;
    Node& node = create();
    Node& plate = host.create_source(Format(kWidth, kHeight));
    host.connect(node, 0, &plate);
    host.set_value(node, "Mode", 1.0);  // Undistort: the per-pixel solve
    host.set_value(node, "k1", -0.05);
    host.set_value(node, "k2", 0.01);
    host.set_value(node, "fx", 1500.0);
    host.store(node);
    plate.op()->validate(true);
    node.op()->validate(true);

    std::vector<std::vector<float>> s(kHeight), t(kHeight);
    DD::Image::Row row(0, kWidth);
    for (int y = 0; y < kHeight; ++y) {
        start_counting();
        distort(node).pixel_engine(row, y, 0, kWidth, ChannelSet(DD::Image::Mask_RGBA), row);
        const RowCounts counts = stop_counting();
        ASSERT_EQ(counts.allocations, 0) << "row " << y;
        if (counts.static_guards >= 0) {
            ASSERT_EQ(counts.static_guards, 0) << "row " << y;
        }
        s[y].assign(row[DD::Image::Chan_Red], row[DD::Image::Chan_Red] + kWidth);
        t[y].assign(row[DD::Image::Chan_Green], row[DD::Image::Chan_Green] + kWidth);
    }

    // Those were the frame's real rows.
    const host::Image image = host.render(node, 1.0);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            ASSERT_EQ(image.at(0, x, y), s[y][x]) << x << "," << y;
            ASSERT_EQ(image.at(1, x, y), t[y][x]) << x << "," << y;
        }
    }
    EXPECT_NE(s[0][0], (0.5f / kWidth)) << "the lens is not the identity";
}

}  // namespace
}  // namespace talvik::test
