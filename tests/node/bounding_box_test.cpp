// Bounding boxes as Nuke has them: an input whose box differs from its
// format, the default validation merging its inputs' boxes, and rows whose
// span starts left of pixel 0.
#include <vector>

#include "DDImage/Iop.h"
#include "DDImage/Row.h"
#include "lens/st_map_row.h"
#include "node_host.h"

namespace talvik::test {
namespace {

using DD::Image::Box;
using DD::Image::ChannelSet;
using DD::Image::Format;

const DD::Image::Iop& iop_of(Node& node) { return *static_cast<DD::Image::Iop*>(node.op()); }

// Every pixel of the image against the row generation at the same host
// (x, y), with the frame size taken from the format, not from the box.
void expect_rows_of_lens(const host::Image& image, const LensModel& lens, int format_w, int format_h) {
    std::vector<float> s(static_cast<size_t>(image.width)), t(s.size());
    for (int y = image.y; y < image.t(); ++y) {
        // Buffers indexed by pixel number, as a Row's are.
        st_map_row_scalar(lens, frame_size_from(format_w, format_h), y, image.x, image.r(),
                          s.data() - image.x, t.data() - image.x);
        for (int x = image.x; x < image.r(); ++x) {
            ASSERT_EQ(image.at(0, x, y), s[static_cast<size_t>(x - image.x)]) << x << "," << y;
            ASSERT_EQ(image.at(1, x, y), t[static_cast<size_t>(x - image.x)]) << x << "," << y;
            ASSERT_EQ(image.at(2, x, y), 0.0f) << x << "," << y;
            ASSERT_EQ(image.at(3, x, y), 0.0f) << x << "," << y;
        }
    }
}

TEST_F(NodeHost, RendersTheInputsBoxBeyondTheFormat) {
    Node& node = create();
    const Box box(-24, -14, 184, 104);  // around 160 x 90
    host.connect(node, 0, &host.create_source(Format(160, 90), box));
    host.set_value(node, "Mode", 1.0);
    host.set_value(node, "k1", -0.05);
    host.set_value(node, "k2", 0.01);
    host.set_value(node, "cx", 12.0);
    host.set_value(node, "fx", 1500.0);
    const host::Image image = host.render(node, 1.0, Format(999, 999));

    EXPECT_EQ(Box(iop_of(node).info()), box) << "the node outputs its input's box";
    EXPECT_EQ(iop_of(node).format().width(), 160);
    EXPECT_EQ(image.format.width(), 160);
    EXPECT_EQ(image.format.height(), 90);
    ASSERT_EQ(Box(image.x, image.y, image.r(), image.t()), box);
    expect_rows_of_lens(image, lens(node), 160, 90);
    // Outside the format the lens goes on beyond [0, 1].
    EXPECT_LT(image.at(0, -24, 45), 0.0f);
    EXPECT_GT(image.at(1, 80, 103), 1.0f);
}

TEST_F(NodeHost, RendersABoxInsideTheFormatAndFollowsItsChanges) {
    Node& node = create();
    host.set_value(node, "k1", 0.05);
    host.connect(node, 0, &host.create_source(Format(200, 100), Box(30, 20, 150, 70)));
    host::Image image;
    host.render_into(node, 1.0, image);
    ASSERT_EQ(Box(image.x, image.y, image.r(), image.t()), Box(30, 20, 150, 70));
    expect_rows_of_lens(image, lens(node), 200, 100);

    // The same image and rows, reused for a box further left and wider.
    host.connect(node, 0, &host.create_source(Format(200, 100), Box(-50, 0, 260, 3)));
    host.render_into(node, 2.0, image);
    ASSERT_EQ(Box(image.x, image.y, image.r(), image.t()), Box(-50, 0, 260, 3));
    expect_rows_of_lens(image, lens(node), 200, 100);
}

// An operator with two inputs and the default validation.
class TwoInputs : public DD::Image::Iop {
public:
    explicit TwoInputs(Node* node) : Iop(node) {}
    const char* Class() const override { return "TwoInputs"; }
    const char* node_help() const override { return ""; }
    int maximum_inputs() const override { return 2; }
    void engine(int, int, int, DD::Image::ChannelMask channels, DD::Image::Row& row) override {
        row.erase(channels);
    }
};

TEST_F(NodeHost, DefaultValidationMergesTheInputsBoxes) {
    Node merge(&host, "TwoInputs", "merge");
    merge.op(new TwoInputs(&merge));
    host.connect(merge, 0, &host.create_source(Format(100, 50), Box(-10, 5, 90, 60)));
    host.connect(merge, 1, &host.create_source(Format(400, 400), Box(20, -30, 120, 40)));
    merge.op()->validate(true);
    const DD::Image::IopInfo& info = iop_of(merge).info();
    EXPECT_EQ(Box(info), Box(-10, -30, 120, 60));
    EXPECT_EQ(info.format().width(), 100) << "the format is input 0's";
    EXPECT_EQ(info.format().height(), 50);
    EXPECT_EQ(ChannelSet(info.channels()), ChannelSet(DD::Image::Mask_RGBA));

    // Without input 0 there is nothing to merge into.
    host.connect(merge, 0, nullptr);
    merge.op()->validate(true);
    EXPECT_EQ(iop_of(merge).info().format().width(), 0);
    EXPECT_EQ(iop_of(merge).info().w(), 0);
    EXPECT_TRUE(ChannelSet(iop_of(merge).info().channels()).empty());
}

TEST(RowSpan, NegativeLeftEdgeIndexesByPixelNumber) {
    using DD::Image::Chan_Green;
    using DD::Image::Chan_Red;
    DD::Image::Row a(-5, 3);
    EXPECT_EQ(a.getLeft(), -5);
    EXPECT_EQ(a.getRight(), 3);
    for (int x = -5; x < 3; ++x) {
        EXPECT_EQ(a[Chan_Green][x], 0.0f) << "fresh lines are black";
        a.writable(Chan_Red)[x] = static_cast<float>(x);
    }

    // Copies only where both spans and the range overlap.
    DD::Image::Row b(-2, 6);
    for (int x = -2; x < 6; ++x) b.writable(Chan_Red)[x] = 100.0f;
    b.copy(a, ChannelSet(Chan_Red), -10, 10);
    for (int x = -2; x < 3; ++x) EXPECT_EQ(b[Chan_Red][x], static_cast<float>(x));
    for (int x = 3; x < 6; ++x) EXPECT_EQ(b[Chan_Red][x], 100.0f);

    // A bound line starts at the left edge, pixel -5.
    std::vector<float> line(8, -1.0f);
    a.bind(Chan_Red, line.data());
    a.erase(Chan_Red);
    a.writable(Chan_Red)[-5] = 7.0f;
    a.writable(Chan_Red)[2] = 9.0f;
    EXPECT_EQ(line.front(), 7.0f);
    EXPECT_EQ(line.back(), 9.0f);
    EXPECT_EQ(line[3], 0.0f);
    a.bind(Chan_Red, nullptr);
}

}  // namespace
}  // namespace talvik::test
