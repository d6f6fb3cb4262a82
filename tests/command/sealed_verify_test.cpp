// verify and --skip-existing against maps damaged or replaced after their
// render: each damage is made here with OpenEXR or by editing bytes, never
// by the command under test.
#include <gtest/gtest.h>

#include <ImfChannelList.h>
#include <ImfOutputFile.h>
#include <Imath/half.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <regex>

#include "python_json.h"
#include "run_command.h"
#include "tests/exr/exr_chunks.h"
#include "tests/support/exr_map.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

const std::string kTake = std::string(TALVIK_SAMPLE_DIR) + "/sample_take.fbx";

// The map written again by OpenEXR, its header kept but for the channels:
// R (and G) of `type`, from the file's values after `edit`.
void resave(const std::string& path, Imf::PixelType type, bool with_g,
            const std::function<void(ExrMap&)>& edit = {}) {
    ExrMap m = read_exr_map(path);
    if (edit) edit(m);
    Imf::Header header = m.header;
    header.channels() = Imf::ChannelList();
    header.channels().insert("R", Imf::Channel(type));
    if (with_g) header.channels().insert("G", Imf::Channel(type));
    std::vector<half> r(m.file_s.begin(), m.file_s.end()), g(m.file_t.begin(), m.file_t.end());
    const bool is_half = type == Imf::HALF;
    const size_t size = is_half ? sizeof(half) : sizeof(float);
    const ptrdiff_t origin = static_cast<ptrdiff_t>(m.data_window.min.y) * m.width + m.data_window.min.x;
    auto base = [&](std::vector<float>& f, std::vector<half>& h) {
        return is_half ? reinterpret_cast<char*>(h.data() - origin) : reinterpret_cast<char*>(f.data() - origin);
    };
    Imf::FrameBuffer frame;
    frame.insert("R", Imf::Slice(type, base(m.file_s, r), size, size * m.width));
    if (with_g) frame.insert("G", Imf::Slice(type, base(m.file_t, g), size, size * m.width));
    Imf::OutputFile out(path.c_str(), header);
    out.setFrameBuffer(frame);
    out.writePixels(m.height);
}

// The next float up at EXR pixel (5, 3) of R: a map valid in every way
// but one value.
void one_ulp_up(ExrMap& m) {
    float& r = m.file_s[3 * static_cast<size_t>(m.width) + 5];
    r = std::nextafter(r, 2.0f);
}

std::vector<std::string> shot(const ScratchFolder& dir, std::vector<std::string> head,
                              const std::vector<std::string>& more = {}, const std::string& frames = "1001-1006") {
    const std::vector<std::string> common = {"--size", "32x18", "--fbx", kTake, "--camera", "2", "--frames",
                                             frames, "-o", dir.file("m.####.exr"), "--quiet"};
    head.insert(head.end(), common.begin(), common.end());
    head.insert(head.end(), more.begin(), more.end());
    return head;
}

TEST(SealedOutputs, VerifyNamesEachMapThatIsNotWhatWasWritten) {
    ScratchFolder dir;
    const std::string chunk = dir.file("m.job/chunks/frames-1001-1006.json");
    ASSERT_EQ(run_stmap(shot(dir, {"render"}, {"--manifest", chunk})).status, 0);
    const std::string flipped_then = read_bytes(dir.file("m.1001.exr"));
    struct Damage {
        int frame;
        std::function<void(const std::string&)> make;
        std::string said;  // after "frame N: PATH is "
    };
    const Damage damages[] = {
        {1001,
         [](const std::string& path) {
             // 16 bytes in the middle of the first chunk's compressed lines.
             const exr::test::FileChunk first = exr::test::read_chunks(path).front();
             std::string bytes = read_bytes(path);
             for (size_t i = 0; i < 16; ++i) bytes[first.data_offset + first.packed.size() / 2 - 8 + i] ^= 0x5a;
             write_bytes(path, bytes);
         },
         "altered: its bytes differ from what was written (recorded by " + chunk},
        {1002, [](const std::string& path) { resave(path, Imf::HALF, true); },
         "stale: its channels are G (half), R (half): a map holds R and G as 32-bit float and no validity alpha (A)"},
        {1003, [](const std::string& path) { resave(path, Imf::FLOAT, false); },
         "stale: its channels are R (32-bit float): a map holds R and G as 32-bit float and no validity alpha (A)"},
        {1004, [](const std::string& path) { write_bytes(path, read_bytes(path).substr(0, 700)); },
         "incomplete: cut short"},
        {1005, [](const std::string& path) { resave(path, Imf::FLOAT, true, one_ulp_up); },
         "altered: its bytes differ from what was written (recorded by " + chunk},
    };
    for (const Damage& d : damages) d.make(dir.file("m." + std::to_string(d.frame) + ".exr"));
    ASSERT_NE(read_bytes(dir.file("m.1001.exr")), flipped_then);

    const CommandResult r = run_stmap(shot(dir, {"verify"}));
    EXPECT_EQ(r.status, 1) << r.err;
    for (const Damage& d : damages) {
        const std::string f = std::to_string(d.frame);
        EXPECT_NE(r.out.find("frame " + f + ": " + dir.file("m." + f + ".exr") + " is " + d.said), std::string::npos)
            << f << "\n" << r.out;
    }
    EXPECT_EQ(r.out.find("frame 1006"), std::string::npos) << r.out;
}

// A frame deleted and rendered again by another chunk: the shot manifest
// names the run that ended last, whatever order the manifests are read in.
TEST(SealedOutputs, ShotManifestNamesTheLatestRunThatWroteAFile) {
    ScratchFolder dir;
    const std::string first = dir.file("m.job/chunks/b.json"), again = dir.file("m.job/chunks/a.json");
    ASSERT_EQ(run_stmap(shot(dir, {"render"}, {"--manifest", first})).status, 0);
    // As if it had ended long before: runs a second apart are told by time too.
    write_bytes(first, std::regex_replace(read_bytes(first), std::regex(R"("ended": "[^"]*")"),
                                          R"("ended": "2000-01-01T00:00:00Z")"));
    std::filesystem::remove(dir.file("m.1002.exr"));
    ASSERT_EQ(run_stmap(shot(dir, {"render"}, {"--manifest", again}, "1002")).status, 0);
    ASSERT_EQ(run_stmap(shot(dir, {"verify"}, {"--manifest", dir.file("shot.json")})).status, 0);
    const pybind11::object manifest = parse_json(read_bytes(dir.file("shot.json")));
    const pybind11::object file = manifest["shot_frames"][pybind11::int_(1)]["files"][pybind11::int_(0)];
    EXPECT_EQ(file["recorded"]["manifest"].cast<std::string>(), again);
    EXPECT_TRUE(file["matches_record"].cast<bool>());
    EXPECT_EQ(pybind11::len(file["history"]), 2u);
}

TEST(SealedOutputs, DeepFindsOneUlpInAValidMapWithoutRecord) {
    ScratchFolder dir;
    ASSERT_EQ(run_stmap(shot(dir, {"render"})).status, 0);
    resave(dir.file("m.1003.exr"), Imf::FLOAT, true, one_ulp_up);
    EXPECT_EQ(run_stmap(shot(dir, {"verify"})).status, 0) << "header, layout and channels all hold";
    const CommandResult r = run_stmap(shot(dir, {"verify", "--deep"}));
    EXPECT_EQ(r.status, 1) << r.err;
    const std::string line = "frame 1003: " + dir.file("m.1003.exr") + " is altered: its pixels differ: pixel (5, 3) R";
    EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(", 1 ULP)\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("frame 1002"), std::string::npos) << r.out;
}

TEST(SealedOutputs, SkipExistingRendersAgainAMapWhoseRecordDiffers) {
    ScratchFolder dir;
    const std::vector<std::string> manifest = {"--manifest", dir.file("m.job/chunks/frames-1001-1006.json")};
    ASSERT_EQ(run_stmap(shot(dir, {"render"}, manifest)).status, 0);
    const std::string written = read_bytes(dir.file("m.1004.exr"));
    resave(dir.file("m.1004.exr"), Imf::FLOAT, true, one_ulp_up);
    std::vector<std::string> again = manifest;
    again.push_back("--skip-existing");
    ASSERT_EQ(run_stmap(shot(dir, {"render"}, again)).status, 0);
    EXPECT_EQ(read_bytes(dir.file("m.1004.exr")), written);
}

}  // namespace
}  // namespace talvik::test
