#include "exr/st_map_exr_writer.h"

#include <gtest/gtest.h>

#include <ImfChannelList.h>
#include <ImfFloatAttribute.h>
#include <ImfFrameBuffer.h>
#include <ImfInputFile.h>
#include <ImfIntAttribute.h>
#include <ImfRationalAttribute.h>
#include <ImfStandardAttributes.h>
#include <ImfStringAttribute.h>
#include <ImfVecAttribute.h>

#include <filesystem>
#include <stdexcept>
#include <thread>
#include <vector>

#include "exr_chunks.h"
#include "tests/support/error_message.h"
#include "tests/support/scratch_folder.h"

namespace talvik::exr {
namespace {

using talvik::test::ScratchFolder;
using exr::test::Planes;
using exr::test::ReadBack;
using exr::test::read_with_openexr;
using exr::test::smooth_planes;

TEST(StMapExrWriter, RoundTripThroughOpenExr) {
    ScratchFolder folder;
    const Planes map = smooth_planes(5, 3);
    StMapExrOptions options;
    options.compression = StMapCompression::Piz;
    write_st_map_exr(folder.file("st.exr"), map.view(), options);

    const ReadBack file = read_with_openexr(folder.file("st.exr"));
    const Imath::Box2i expected_window(Imath::V2i(0, 0), Imath::V2i(4, 2));
    EXPECT_EQ(file.header.dataWindow(), expected_window);
    EXPECT_EQ(file.header.displayWindow(), expected_window);
    EXPECT_EQ(file.header.compression(), Imf::PIZ_COMPRESSION);
    EXPECT_EQ(file.header.lineOrder(), Imf::INCREASING_Y);

    std::vector<std::string> channels;
    for (auto it = file.header.channels().begin(); it != file.header.channels().end(); ++it) {
        channels.emplace_back(it.name());
        EXPECT_EQ(it.channel().type, Imf::FLOAT) << it.name();
    }
    EXPECT_EQ(channels, (std::vector<std::string>{"G", "R"}));

    // File line 0 is the top of the picture: the host's last row.
    for (int line = 0; line < 3; ++line)
        for (int x = 0; x < 5; ++x) {
            const size_t in_file = static_cast<size_t>(line) * 5 + x;
            const size_t in_host = static_cast<size_t>(2 - line) * 5 + x;
            EXPECT_EQ(file.r[in_file], map.s[in_host]) << "line " << line << " x " << x;
            EXPECT_EQ(file.g[in_file], map.t[in_host]) << "line " << line << " x " << x;
        }
}

// A map over a box reaching beyond its format on every side, and one inside
// it: the data window follows the box (EXR line = format height - 1 - host
// row) and every value lands on its own pixel.
TEST(StMapExrWriter, DataWindowIsTheBoxInExrLines) {
    struct Case { int x, y, w, h; Imath::Box2i data; };
    const Case cases[] = {
        {-3, -2, 11, 7, Imath::Box2i(Imath::V2i(-3, -1), Imath::V2i(7, 5))},  // around a 5x4 format
        {1, 1, 2, 2, Imath::Box2i(Imath::V2i(1, 1), Imath::V2i(2, 2))},        // inside it
    };
    for (const Case& c : cases) {
        ScratchFolder folder;
        const Planes map = smooth_planes(c.w, c.h);
        io::StMapView view = map.view();
        view.x = c.x;
        view.y = c.y;
        view.format_width = 5;
        view.format_height = 4;
        StMapExrOptions options;
        options.compression = StMapCompression::Zip;
        write_st_map_exr(folder.file("st.exr"), view, options);

        const ReadBack file = read_with_openexr(folder.file("st.exr"));
        EXPECT_EQ(file.header.displayWindow(), Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(4, 3)));
        ASSERT_EQ(file.header.dataWindow(), c.data);
        for (int line = c.data.min.y; line <= c.data.max.y; ++line)
            for (int px = c.data.min.x; px <= c.data.max.x; ++px) {
                const int host_y = 4 - 1 - line;  // host row counted from the format's bottom
                const size_t in_file = static_cast<size_t>(line - c.data.min.y) * c.w + (px - c.data.min.x);
                const size_t in_planes = static_cast<size_t>(host_y - c.y) * c.w + (px - c.x);
                EXPECT_EQ(file.r[in_file], map.s[in_planes]) << "line " << line << " x " << px;
                EXPECT_EQ(file.g[in_file], map.t[in_planes]) << "line " << line << " x " << px;
            }
    }
}

TEST(StMapExrWriter, CarriesPlateAttributesAndAddsExtras) {
    ScratchFolder folder;
    Imf::Header plate = Imf::InputFile(TALVIK_SAMPLE_PLATE).header();
    plate.screenWindowWidth() = 2.0f;
    plate.pixelAspectRatio() = 2.0f;
    plate.insert("talvik/frame", Imf::StringAttribute("from the plate"));

    const Planes map = smooth_planes(6, 2);
    StMapExrOptions options;
    options.plate_attributes = &plate;
    options.extra = {{"talvik/k1", -0.125f}, {"talvik/frame", 1001}, {"talvik/lensModel", std::string("radial")}};
    write_st_map_exr(folder.file("st.exr"), map.view(), options);
    const Imf::Header header = read_with_openexr(folder.file("st.exr")).header;

    auto* camera = header.findTypedAttribute<Imf::StringAttribute>("unreal/cameraName");
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(camera->value(), "CineCamera2");
    auto* rate = header.findTypedAttribute<Imf::RationalAttribute>("framesPerSecond");
    ASSERT_NE(rate, nullptr);
    EXPECT_EQ(rate->value().n, 24);
    EXPECT_EQ(rate->value().d, 1u);
    EXPECT_TRUE(Imf::hasCapDate(header));
    EXPECT_EQ(header.pixelAspectRatio(), 2.0f);
    EXPECT_EQ(header.screenWindowWidth(), 2.0f);

    // The plate's layout does not come along; ZIP is the default.
    EXPECT_EQ(header.displayWindow().max, Imath::V2i(5, 1));
    EXPECT_EQ(header.compression(), Imf::ZIP_COMPRESSION);
    EXPECT_EQ(header.channels().findChannel("A"), nullptr);

    auto* k1 = header.findTypedAttribute<Imf::FloatAttribute>("talvik/k1");
    ASSERT_NE(k1, nullptr);
    EXPECT_EQ(k1->value(), -0.125f);
    auto* frame = header.findTypedAttribute<Imf::IntAttribute>("talvik/frame");
    ASSERT_NE(frame, nullptr) << "the extra attribute replaces the plate's";
    EXPECT_EQ(frame->value(), 1001);
    auto* model = header.findTypedAttribute<Imf::StringAttribute>("talvik/lensModel");
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->value(), "radial");
}

TEST(StMapExrWriter, ExtraAttributesCannotReplaceTheLayout) {
    ScratchFolder folder;
    const Planes map = smooth_planes(2, 2);
    StMapExrOptions options;
    options.extra = {{"dataWindow", 3}};
    EXPECT_THROW(write_st_map_exr(folder.file("st.exr"), map.view(), options), std::invalid_argument);
    options.extra = {{"", 3}};
    EXPECT_THROW(write_st_map_exr(folder.file("st.exr"), map.view(), options), std::invalid_argument);
    EXPECT_TRUE(folder.entries().empty());
}

TEST(StMapExrWriter, CompressionNames) {
    EXPECT_EQ(parse_st_map_compression("none"), StMapCompression::None);
    EXPECT_EQ(parse_st_map_compression("RLE"), StMapCompression::Rle);
    EXPECT_EQ(parse_st_map_compression("zips"), StMapCompression::Zips);
    EXPECT_EQ(parse_st_map_compression("Zip"), StMapCompression::Zip);
    EXPECT_EQ(parse_st_map_compression("piz"), StMapCompression::Piz);

    auto error = [](const char* name) {
        return talvik::test::error_message<std::invalid_argument>([&] { parse_st_map_compression(name); });
    };
    for (const char* lossy : {"b44", "B44A", "pxr24", "dwaa", "DWAB"})
        EXPECT_CONTAINS(error(lossy), "\"" + std::string(lossy) + "\" is lossy");
    EXPECT_CONTAINS(error("jpeg"), "unknown compression \"jpeg\"");
}

TEST(StMapExrWriter, FailuresLeaveNothingBehind) {
    ScratchFolder folder;
    const Planes map = smooth_planes(3, 3);

    // The final name is taken by a folder: the rename fails after the
    // temporary was written in full.
    std::filesystem::create_directory(folder.file("taken.exr"));
    const std::string taken = folder.file("taken.exr");
    EXPECT_CONTAINS(talvik::test::error_message<std::runtime_error>([&] { write_st_map_exr(taken, map.view()); }),
                    "cannot write \"" + taken + "\": Is a directory");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"taken.exr"});

    const std::string nowhere = folder.file("no/such/folder/st.exr");
    const std::string message =
        talvik::test::error_message<std::runtime_error>([&] { write_st_map_exr(nowhere, map.view()); });
    EXPECT_CONTAINS(message, "cannot write \"" + nowhere + "\": cannot create a file in folder \"" +
                                 folder.file("no/such/folder") + "\": No such file or directory");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"taken.exr"});

    const io::StMapView no_t{3, 3, map.s.data(), nullptr};
    EXPECT_THROW(write_st_map_exr(folder.file("st.exr"), no_t), std::invalid_argument);
    EXPECT_THROW(write_st_map_exr(folder.file("st.exr"), io::StMapView{0, 3, map.s.data(), map.t.data()}),
                 std::invalid_argument);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"taken.exr"});
}

TEST(StMapExrWriter, CompressesOnThreadsFromSeveralWriters) {
    ScratchFolder folder;
    set_exr_thread_count(2);
    const Planes map = smooth_planes(64, 100);
    std::vector<std::thread> writers;
    for (int i = 0; i < 3; ++i)
        writers.emplace_back([&, i] { write_st_map_exr(folder.file("st." + std::to_string(i) + ".exr"), map.view()); });
    for (auto& w : writers) w.join();
    set_exr_thread_count(0);
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"st.0.exr", "st.1.exr", "st.2.exr"}));
    for (int i = 0; i < 3; ++i) {
        const ReadBack file = read_with_openexr(folder.file("st." + std::to_string(i) + ".exr"));
        EXPECT_EQ(file.r[0], map.s[static_cast<size_t>(99) * 64]);
        EXPECT_EQ(file.g.back(), map.t[63]);
    }
    EXPECT_THROW(set_exr_thread_count(-1), std::invalid_argument);
}

}  // namespace
}  // namespace talvik::exr
