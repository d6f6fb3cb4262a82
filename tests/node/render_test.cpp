// Validation, input channels and rendered rows, through the host.
#include <cmath>
#include <cstring>

#include "DDImage/Row.h"
#include "lens/st_map_row.h"
#include "node_host.h"

namespace talvik::test {
namespace {

using DD::Image::ChannelSet;
using DD::Image::Format;

TEST_F(NodeHost, DefaultsRenderTheIdentityMap) {
    Node& node = create();
    Node& plate = host.create_source(Format(1920, 1080));
    host.connect(node, 0, &plate);
    const host::Image image = host.render(node, 1.0);
    ASSERT_EQ(image.width, 1920);
    ASSERT_EQ(image.height, 1080);
    EXPECT_NEAR(image.at(0, 0, 0), 0.5 / 1920, 3e-8);
    EXPECT_NEAR(image.at(1, 0, 0), 0.5 / 1080, 3e-8);
    EXPECT_NEAR(image.at(0, 1919, 1079), 1919.5 / 1920, 3e-7);
    EXPECT_NEAR(image.at(1, 1919, 1079), 1079.5 / 1080, 3e-7);
    EXPECT_EQ(node.op()->inputs(), 1);
}

TEST_F(NodeHost, RowsBeforeAnyPanelPassUsePanelUnits) {
    create();
    Node bare(&host, "TalvikDistort", "bare");
    bare.op(DD::Image::Op::Description::find("TalvikDistort")->constructor(&bare));
    Node& plate = host.create_source(Format(1920, 1080));
    plate.op()->validate(true);
    host.connect(bare, 0, &plate);
    DD::Image::Row row(0, 4);
    distort(bare).pixel_engine(row, 0, 0, 4, ChannelSet(DD::Image::Mask_RGBA), row);
    EXPECT_NEAR(row[DD::Image::Chan_Red][0], -0.49974, 1e-5);
    EXPECT_NEAR(row[DD::Image::Chan_Green][0], -0.49954, 1e-5);
}

TEST_F(NodeHost, ZeroWidthFormatRendersAs4320Wide) {
    Node& node = create();
    Node& plate = host.create_source(Format(0, 1080));
    host.connect(node, 0, &plate);
    host::Image image = host.render(node, 1.0, Format(8, 1080));
    EXPECT_NEAR(image.at(0, 0, 0), 0.5 / 4320, 3e-8);
    EXPECT_NEAR(image.at(1, 0, 0), 0.5 / 1080, 3e-8);

    // No input at all: 4320 x 2160.
    host.connect(node, 0, nullptr);
    image = host.render(node, 1.0, Format(8, 8));
    EXPECT_NEAR(image.at(1, 0, 0), 0.5 / 2160, 3e-8);
}

TEST_F(NodeHost, ChannelsAskedAndProduced) {
    Node& node = create();
    const DD::Image::Iop& iop = *static_cast<DD::Image::Iop*>(node.op());
    ChannelSet blue(DD::Image::Chan_Blue);
    iop.in_channels(0, blue);
    EXPECT_EQ(blue, ChannelSet(DD::Image::Mask_RGBA));
    ChannelSet depth(DD::Image::Chan_Z);
    iop.in_channels(3, depth);
    EXPECT_EQ(depth, ChannelSet(DD::Image::Chan_Z));

    node.op()->validate(true);
    EXPECT_EQ(iop.out_channels(), ChannelSet(DD::Image::Mask_RGBA));
}

TEST_F(NodeHost, RenderedRowsMatchTheRowGeneration) {
    Node& node = create();
    Node& plate = host.create_source(Format(640, 360));
    host.connect(node, 0, &plate);
    host.set_value(node, "Mode", 1.0);
    host.set_value(node, "k1", -0.05);
    host.set_value(node, "k2", 0.01);
    host.set_value(node, "cx", 10.0);
    host.set_value(node, "fx", 1500.0);
    const host::Image image = host.render(node, 1.0);
    std::vector<float> s(640), t(640);
    for (int y : {0, 100, 359}) {
        st_map_row_scalar(lens(node), frame_size_from(640, 360), y, 0, 640, s.data(), t.data());
        for (int x = 0; x < 640; ++x) {
            ASSERT_EQ(image.at(0, x, y), s[x]) << x << "," << y;
            ASSERT_EQ(image.at(1, x, y), t[x]) << x << "," << y;
            ASSERT_EQ(image.at(2, x, y), 0.0f) << "blue comes from the black input";
            ASSERT_EQ(image.at(3, x, y), 0.0f) << "alpha comes from the black input";
        }
    }
}

TEST_F(NodeHost, ThreadCountDoesNotChangeABit) {
    Node& node = create();
    Node& plate = host.create_source(Format(1000, 600));
    host.connect(node, 0, &plate);
    host.set_value(node, "Mode", 1.0);
    host.set_value(node, "k1", -0.2);
    host.set_value(node, "fx", 1000.0);
    host.set_threads(1);
    const host::Image one = host.render(node, 1.0);
    for (int threads : {2, 4, 7}) {
        host.set_threads(threads);
        const host::Image many = host.render(node, 1.0);
        for (int c = 0; c < 4; ++c) {
            ASSERT_EQ(std::memcmp(one.channel[c].data(), many.channel[c].data(),
                                  one.channel[c].size() * sizeof(float)),
                      0)
                << threads << " threads, channel " << c;
        }
    }
}

}  // namespace
}  // namespace talvik::test
