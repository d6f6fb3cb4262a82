#include "shot/plate_header.h"

#include <gtest/gtest.h>

#include <ImfChannelList.h>
#include <ImfFloatAttribute.h>
#include <ImfIntAttribute.h>
#include <ImfMatrixAttribute.h>
#include <ImfMultiPartOutputFile.h>
#include <ImfOutputFile.h>
#include <ImfPartType.h>
#include <ImfStandardAttributes.h>
#include <ImfStringAttribute.h>
#include <ImfVecAttribute.h>

#include <stdexcept>
#include <vector>

#include "tests/support/error_message.h"
#include "tests/support/scratch_folder.h"

namespace talvik::shot {
namespace {

using test::ScratchFolder;

MetadataValue text(const char* s) { return std::string(s); }

TEST(PlateHeader, SamplePlate) {
    const PlateHeader plate = read_plate_header(TALVIK_SAMPLE_PLATE);
    EXPECT_EQ(plate.width, 1920);
    EXPECT_EQ(plate.height, 1080);
    EXPECT_EQ(plate.metadata.at("exr/unreal/cameraName"), text("CineCamera2"));
    EXPECT_EQ(plate.metadata.at("exr/unreal/shotName"), text("sample_shot"));
    EXPECT_EQ(plate.metadata.at("exr/framesPerSecond"), text("24/1"));
    EXPECT_EQ(plate.metadata.at("exr/displayWindow"), text("0 0 1919 1079"));
    EXPECT_EQ(plate.metadata.at("exr/compression"), text("zip"));
    EXPECT_EQ(plate.metadata.at("exr/channels"), text("A(half) B(half) G(half) R(half)"));
    EXPECT_EQ(plate.metadata.count("exr/capDate"), 1u);

    // The typed attributes match the metadata one for one.
    size_t attributes = 0;
    for (auto it = plate.attributes.begin(); it != plate.attributes.end(); ++it, ++attributes)
        EXPECT_EQ(plate.metadata.count(std::string("exr/") + it.name()), 1u) << it.name();
    EXPECT_EQ(attributes, plate.metadata.size());
    auto* camera = plate.attributes.findTypedAttribute<Imf::StringAttribute>("unreal/cameraName");
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(camera->value(), "CineCamera2");
}

// Only the header matters here: the files are closed without pixels, which
// the reader never looks at.
void write_header_only(const std::string& path, Imf::Header header) {
    header.channels().insert("Y", Imf::Channel(Imf::FLOAT));
    Imf::OutputFile file(path.c_str(), header);
}

TEST(PlateHeader, OffsetWindowAndAttributeTypesAsText) {
    ScratchFolder folder;
    const Imath::Box2i display(Imath::V2i(-10, -20), Imath::V2i(109, 59));
    Imf::Header header(display, Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(3, 1)));
    header.insert("focal", Imf::FloatAttribute(35.2f));
    header.insert("take", Imf::IntAttribute(-3));
    header.insert("sensor", Imf::V2fAttribute(Imath::V2f(36.0f, 24.5f)));
    Imath::M44f camera;  // identity
    camera[3][0] = 5.0f;
    header.insert("worldToCamera", Imf::M44fAttribute(camera));
    Imf::addTimeCode(header, Imf::TimeCode(1, 2, 3, 4, true));
    write_header_only(folder.file("plate.exr"), header);

    const PlateHeader plate = read_plate_header(folder.file("plate.exr"));
    EXPECT_EQ(plate.width, 120);
    EXPECT_EQ(plate.height, 80);
    EXPECT_EQ(plate.display_window.min, Imath::V2i(-10, -20));
    EXPECT_EQ(plate.data_window, Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(3, 1)));
    // EXR line 0 is 20 lines below the display window's top (line -20, host
    // row 79): host row 59; line 1 is row 58. Column 0 is 10 right of -10.
    EXPECT_EQ(plate.bbox, Imath::Box2i(Imath::V2i(10, 58), Imath::V2i(13, 59)));
    EXPECT_EQ(plate.metadata.at("exr/focal"), MetadataValue(35.2f));
    EXPECT_EQ(plate.metadata.at("exr/take"), MetadataValue(-3));
    EXPECT_EQ(plate.metadata.at("exr/sensor"), text("36 24.5"));
    EXPECT_EQ(plate.metadata.at("exr/worldToCamera"), text("1 0 0 0 0 1 0 0 0 0 1 0 5 0 0 1"));
    EXPECT_EQ(plate.metadata.at("exr/timeCode"), text("01:02:03;04"));
    EXPECT_EQ(plate.metadata.at("exr/dataWindow"), text("0 0 3 1"));
    EXPECT_EQ(metadata_text(plate.metadata.at("exr/focal")), "35.2");
}

TEST(PlateHeader, MultiPartFileUsesPartZero) {
    ScratchFolder folder;
    // Parts share the display window; they differ in data window and attributes.
    const Imath::Box2i display(Imath::V2i(0, 0), Imath::V2i(63, 31));
    const Imath::Box2i data[] = {display, Imath::Box2i(Imath::V2i(8, 8), Imath::V2i(15, 11))};
    std::vector<Imf::Header> headers;
    for (int part = 0; part < 2; ++part) {
        Imf::Header h(display, data[part]);
        h.setName(part == 0 ? "beauty" : "depth");
        h.setType(Imf::SCANLINEIMAGE);
        h.channels().insert("Y", Imf::Channel(Imf::FLOAT));
        h.insert("unreal/cameraName", Imf::StringAttribute(part == 0 ? "CineCamera2" : "other"));
        headers.push_back(h);
    }
    Imf::MultiPartOutputFile(folder.file("parts.exr").c_str(), headers.data(), 2);
    const PlateHeader plate = read_plate_header(folder.file("parts.exr"));
    EXPECT_EQ(plate.width, 64);
    EXPECT_EQ(plate.height, 32);
    EXPECT_EQ(plate.metadata.at("exr/unreal/cameraName"), text("CineCamera2"));
    EXPECT_EQ(plate.metadata.at("exr/name"), text("beauty"));
    EXPECT_EQ(plate.metadata.at("exr/dataWindow"), text("0 0 63 31"));
}

TEST(PlateHeader, BrokenFilesNameTheFileAndTheProblem) {
    ScratchFolder folder;
    const std::string sample = test::read_bytes(TALVIK_SAMPLE_PLATE);
    ASSERT_GT(sample.size(), 1000u);
    test::write_bytes(folder.file("notes.exr"), "this is not an image\n");
    test::write_bytes(folder.file("empty.exr"), "");
    test::write_bytes(folder.file("cut.exr"), sample.substr(0, 100));
    test::write_bytes(folder.file("magic_only.exr"), sample.substr(0, 4));
    // Magic, version 2, then an empty attribute list.
    test::write_bytes(folder.file("bare.exr"), std::string("\x76\x2f\x31\x01\x02\0\0\0\0", 9));
    std::string future = sample;
    future[4] = 3;  // version 3
    test::write_bytes(folder.file("future.exr"), future);

    const struct {
        std::string path;
        const char* says;
    } cases[] = {
        {folder.file("missing.exr"), "cannot open: No such file or directory"},
        {folder.file("notes.exr"), "not an OpenEXR file"},
        {folder.file("empty.exr"), "not an OpenEXR file"},
        {folder.file("cut.exr"), "header cut short or damaged"},
        {folder.file("magic_only.exr"), "header cut short after the magic number"},
        {folder.file("future.exr"), "is not one this build reads"},
        {folder.file("bare.exr"), "header has no displayWindow"},
        {folder.path(), "is a folder"},
    };
    for (const auto& c : cases) {
        const std::string message =
            test::error_message<std::runtime_error>([&] { read_plate_header(c.path); });
        EXPECT_CONTAINS(message, "plate \"" + c.path + "\"");
        EXPECT_CONTAINS(message, c.says);
    }
}

TEST(PlateHeader, PixelDataCutShortStillGivesTheHeader) {
    ScratchFolder folder;
    const std::string sample = test::read_bytes(TALVIK_SAMPLE_PLATE);
    test::write_bytes(folder.file("half.exr"), sample.substr(0, sample.size() / 2));
    const PlateHeader plate = read_plate_header(folder.file("half.exr"));
    EXPECT_EQ(plate.width, 1920);
    EXPECT_EQ(plate.metadata.at("exr/unreal/cameraName"), text("CineCamera2"));
}

}  // namespace
}  // namespace talvik::shot
