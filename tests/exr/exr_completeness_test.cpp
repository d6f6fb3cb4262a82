// A map in place is whole only when every chunk its offset table lists is
// in the file: checked against files OpenEXR's own writer made, cut at
// every length, and with their tables and chunks tampered with.
#include "exr/exr_completeness.h"

#include <gtest/gtest.h>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfOutputFile.h>
#include <ImfTiledOutputFile.h>

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "exr/st_map_exr_writer.h"
#include "exr_chunks.h"
#include "tests/support/scratch_folder.h"

namespace talvik::exr {
namespace {

using talvik::test::read_bytes;
using talvik::test::ScratchFolder;
using talvik::test::write_bytes;

// A small float image written by OpenEXR's scan-line writer.
void write_with_openexr(const std::string& path, int width, int height, Imf::Compression compression) {
    Imf::Header header(width, height);
    header.compression() = compression;
    header.channels().insert("R", Imf::Channel(Imf::FLOAT));
    std::vector<float> r(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < r.size(); ++i) r[i] = static_cast<float>(i) * 0.37f;
    Imf::FrameBuffer fb;
    fb.insert("R", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(r.data()), sizeof(float), sizeof(float) * width));
    Imf::OutputFile file(path.c_str(), header);
    file.setFrameBuffer(fb);
    file.writePixels(height);
}

uint64_t le64_at(const std::string& bytes, size_t at) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

void put_le64(std::string& bytes, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
}

TEST(ExrCompleteness, WholeFilesOfEveryCompressionPass) {
    ScratchFolder dir;
    for (Imf::Compression c : {Imf::NO_COMPRESSION, Imf::RLE_COMPRESSION, Imf::ZIPS_COMPRESSION,
                               Imf::ZIP_COMPRESSION, Imf::PIZ_COMPRESSION}) {
        const std::string path = dir.file("c" + std::to_string(c) + ".exr");
        write_with_openexr(path, 37, 70, c);
        EXPECT_EQ(exr_incompleteness(path), std::nullopt) << "compression " << c;
    }
    // Our own ZIP writer, over a box beyond the format (negative lines).
    const test::Planes planes = test::smooth_planes(40, 35);
    io::StMapView view = planes.view();
    view.x = -3;
    view.y = -2;
    view.format_width = 34;
    view.format_height = 30;
    write_st_map_exr(dir.file("ours.exr"), view);
    EXPECT_EQ(exr_incompleteness(dir.file("ours.exr")), std::nullopt);
}

// Every length short of the whole file is caught, whichever part the cut
// falls in: the header, the offset table or any chunk.
TEST(ExrCompleteness, EveryCutIsCaught) {
    ScratchFolder dir;
    for (Imf::Compression c : {Imf::ZIP_COMPRESSION, Imf::NO_COMPRESSION}) {
        write_with_openexr(dir.file("whole.exr"), 9, 40, c);
        const std::string whole = read_bytes(dir.file("whole.exr"));
        write_bytes(dir.file("cut.exr"), whole);
        for (size_t size = whole.size(); size-- > 0;) {
            ASSERT_EQ(truncate(dir.file("cut.exr").c_str(), static_cast<off_t>(size)), 0);
            ASSERT_NE(exr_incompleteness(dir.file("cut.exr")), std::nullopt)
                << "compression " << c << " cut to " << size << " of " << whole.size();
        }
    }
    // The messages say where: at the header's end the table is missing,
    // one byte short the last chunk is.
    const std::vector<test::FileChunk> chunks = test::read_chunks(dir.file("whole.exr"));
    const std::string whole = read_bytes(dir.file("whole.exr"));
    const size_t header = test::header_bytes(dir.file("whole.exr")).size();
    write_bytes(dir.file("cut.exr"), whole.substr(0, header));
    EXPECT_EQ(exr_incompleteness(dir.file("cut.exr")).value_or(""),
              "cut short: its offset table of 40 chunks ends at byte " + std::to_string(header + 8 * 40) + " of " +
                  std::to_string(header));
    write_bytes(dir.file("cut.exr"), whole.substr(0, header / 2));
    EXPECT_EQ(exr_incompleteness(dir.file("cut.exr")).value_or(""),
              "cut short: " + std::to_string(header / 2) + " bytes, within its header");
    write_bytes(dir.file("cut.exr"), whole.substr(0, whole.size() - 1));
    EXPECT_EQ(exr_incompleteness(dir.file("cut.exr")).value_or(""),
              "cut short: chunk 40 of 40 (line 39) ends at byte " + std::to_string(whole.size()) + " of " +
                  std::to_string(whole.size() - 1));
    ASSERT_EQ(chunks.size(), 40u);
}

TEST(ExrCompleteness, TamperedTablesAndTrailingBytesAreDamage) {
    ScratchFolder dir;
    write_with_openexr(dir.file("m.exr"), 16, 48, Imf::ZIP_COMPRESSION);  // 3 chunks of 16 lines
    const std::string whole = read_bytes(dir.file("m.exr"));
    const size_t table = test::header_bytes(dir.file("m.exr")).size();
    ASSERT_EQ(le64_at(whole, table), table + 3 * 8) << "the first chunk follows the table";

    struct Case {
        const char* what;
        std::string bytes;
        std::string message;
    };
    std::vector<Case> cases;
    {
        std::string b = whole;  // the first two entries swapped
        const uint64_t first = le64_at(b, table), second = le64_at(b, table + 8);
        put_le64(b, table, second);
        put_le64(b, table + 8, first);
        cases.push_back({"swapped entries", b, "damaged: chunk 1 of 3 (line 0) holds line 16"});
    }
    {
        std::string b = whole;  // an entry into the header
        put_le64(b, table + 16, 8);
        cases.push_back({"entry into the header", b, "damaged: chunk 3 of 3 (line 32) is listed at byte 8, before the chunks"});
    }
    {
        std::string b = whole;  // two entries naming one chunk
        put_le64(b, table + 8, le64_at(b, table));
        cases.push_back({"one chunk twice", b, "damaged: chunk 2 of 3 (line 16) holds line 0"});
    }
    cases.push_back({"a byte appended", whole + "x",
                     "damaged: 1 bytes follow its last chunk, which ends at byte " + std::to_string(whole.size())});
    cases.push_back({"not an EXR", "P6\n16 48\n255\n" + std::string(100, 'a'), "not an OpenEXR file"});
    for (const Case& c : cases) {
        write_bytes(dir.file("t.exr"), c.bytes);
        EXPECT_EQ(exr_incompleteness(dir.file("t.exr")).value_or("whole"), c.message) << c.what;
    }
    EXPECT_NE(exr_incompleteness(dir.file("absent.exr")).value_or("").find("cannot be read"), std::string::npos);
}

TEST(ExrCompleteness, TiledFilesAreNoMaps) {
    ScratchFolder dir;
    Imf::Header header(8, 8);
    header.channels().insert("R", Imf::Channel(Imf::FLOAT));
    header.setTileDescription(Imf::TileDescription(4, 4));
    std::vector<float> r(64, 0.5f);
    Imf::FrameBuffer fb;
    fb.insert("R", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(r.data()), sizeof(float), sizeof(float) * 8));
    {
        Imf::TiledOutputFile file(dir.file("tiled.exr").c_str(), header);
        file.setFrameBuffer(fb);
        file.writeTiles(0, file.numXTiles() - 1, 0, file.numYTiles() - 1);
    }
    EXPECT_EQ(exr_incompleteness(dir.file("tiled.exr")).value_or(""), "not a single-part scan-line image");
}

}  // namespace
}  // namespace talvik::exr
