// Output paths as a Write node takes them, and messages that name the
// culprit and the reason in words, whatever bytes the input holds.
#include <gtest/gtest.h>

#include <ImfChannelList.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <ImfStringAttribute.h>

#include <filesystem>

#include "run_command.h"
#include "stmap_process.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/fixture_util.h"

namespace talvik::test {
namespace {

namespace fs = std::filesystem;

TEST(OutputPaths, FrameFieldsInFolderNamesAndLiteralPercentSigns) {
    test::ScratchFolder dir;
    CommandResult r = run_stmap({"render", "--size", "8x8", "--frames", "1-2", "-q", "-o", dir.file("d/shot_%04d/map.exr"),
                                 "--preview", dir.file("d/shot_####/map.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"d"});
    for (const char* f : {"d/shot_0001/map.exr", "d/shot_0002/map.exr", "d/shot_0001/map.png", "d/shot_0002/map.png"})
        EXPECT_TRUE(fs::is_regular_file(dir.file(f))) << f;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("d")), fs::directory_iterator()), 2);

    r = run_stmap({"render", "--size", "8x8", "-q", "-o", dir.file("x.%%04d.exr")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_regular_file(dir.file("x.%04d.exr")));
    r = run_stmap({"render", "--size", "8x8", "--frames", "1-2", "-q", "-o", dir.file("y.%%04d.exr")});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("has no frame field"), std::string::npos) << r.err;
}

TEST(OutputPaths, LongestLegalFileNamesAreWritten) {
    test::ScratchFolder dir;
    for (const size_t length : {245, 255}) {
        const std::string name = std::string(length - 4, 'a') + ".exr";
        const CommandResult r = run_stmap({"render", "--size", "8x8", "-q", "-o", dir.file(name)});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(fs::is_regular_file(dir.file(name))) << length;
    }
    EXPECT_EQ(dir.entries().size(), 2u) << "no temporary left";
}

// A plate whose attributes hold Latin-1 text, as older tools write them.
std::string latin1_plate(const test::ScratchFolder& dir) {
    Imf::Header header(40, 24);
    header.channels().insert("R", Imf::Channel(Imf::HALF));
    header.insert("comments", Imf::StringAttribute("caf\xe9 cr\xe8me"));
    header.insert("unreal/cameraName", Imf::StringAttribute("CineCamera2"));
    const std::string path = dir.file("plate.exr");
    { Imf::OutputFile(path.c_str(), header); }
    return path;
}

TEST(Messages, BytesThatAreNotUtf8ReachTheReloadUnharmed) {
    test::ScratchFolder dir;
    const std::string take = dir.file("take\xff\xfe.fbx");
    fs::copy_file(fbx::testing::fixture("blender_take.fbx"), take);
    CommandResult r = run_stmap({"render", "--plate", latin1_plate(dir), "--fbx", take, "--frames", "1", "-o",
                                 dir.file("m.exr"), "--verbose"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("File reloaded"), std::string::npos) << r.err;
    // An alert about the file names it with its own bytes.
    r = run_stmap({"render", "--size", "8x8", "--fbx", take, "--camera", "7", "--print-controls"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("No lens animation found for camera 7 in " + take), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Traceback"), std::string::npos) << r.err;
}

TEST(Messages, NameTheCulpritAndTheReason) {
    test::ScratchFolder dir;
    // A damaged record whose name holds a NUL and a control byte.
    std::string fbx = std::string("Kaydara FBX Binary  \0\x1a\0", 23) + std::string("\xe8\x1c\0\0", 4);
    fbx += std::string("\x05\0\0\0\0\0\0\0\0\0\0\0\x05", 13) + std::string("Ke\0y\x05", 5) + std::string(40, '\0');
    test::write_bytes(dir.file("ctl.fbx"), fbx);
    fs::copy_file(fbx::testing::fixture("blender_take.fbx"), dir.file("TAKE.FBX"));
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"inspect", dir.file("ctl.fbx")}, "record 'Ke\\x00y\\x05' at offset 27 has end offset 5 pointing backwards"},
        {{"render", "--size", "8x8", "-o", dir.path() + "/."}, "Is a directory"},
        {{"render", "--size", "8x8", "--fbx", dir.file("TAKE.FBX"), "--print-controls"},
         "must end in a lower-case .fbx"},
    };
    for (const auto& [args, says] : cases) {
        SCOPED_TRACE(args.back());
        const CommandResult r = run_stmap(args);
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    }
}

TEST(Messages, FullDiskNamesTheFileAndTheReason) {
    test::ScratchFolder dir;
    ProcessOptions options;
    // Writes past the file-size limit fail as on a full disk.
    options.limits = {{RLIMIT_FSIZE, 2000}};
    for (const std::string option : {"--preview", "-o"}) {
        const std::string file = dir.file(option == "-o" ? "m.exr" : "p.png");
        StmapProcess render({"render", "--size", "1920x1080", option, file}, options);
        const std::optional<int> status = render.wait(60);
        ASSERT_TRUE(status);
        EXPECT_EQ(*status, 1) << render.err();
        EXPECT_NE(render.err().find("cannot write \"" + file + "\""), std::string::npos) << render.err();
        EXPECT_NE(render.err().find("File too large"), std::string::npos) << render.err();
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{});
}

}  // namespace
}  // namespace talvik::test

namespace talvik::test {
namespace {

// The bytes a terminal would act on rather than show.
std::string raw_controls(const std::string& text) {
    std::string found;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\n') || c == 0x7F || (c >= 0x80 && c <= 0x9F && (i == 0 || text[i - 1] != '\xc2')) ||
            (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F))
            found += "byte " + std::to_string(c) + " at " + std::to_string(i) + "; ";
    }
    return found;
}

// File names and a plate's camera name carrying escape sequences (a
// window title, a screen clear, a colour), a carriage return and a C1
// control reach the terminal escaped, in messages and in the summary.
TEST(Messages, ControlCharactersFromNamesAndPlatesAreShownEscaped) {
    test::ScratchFolder dir;
    Imf::Header header(40, 24);
    header.channels().insert("R", Imf::Channel(Imf::HALF));
    header.insert("unreal/cameraName", Imf::StringAttribute("Cine\x1b]0;owned\x07\r\xc2\x9b" "Camera2"));
    const std::string plate = dir.file("plate\x1b[31m.exr");
    { Imf::OutputFile(plate.c_str(), header); }
    const std::string take = dir.file("t\x1b[2J\x9b" "ake.fbx");
    fs::copy_file(fbx::testing::fixture("blender_take.fbx"), take);
    const std::string take_cam1 = dir.file("t\x1b[2J_cam1.fbx");
    fs::copy_file(fbx::testing::fixture("blender_take.fbx"), take_cam1);
    // A folder whose name clears the screen and starts a line of its own.
    const std::string odd = dir.file("d\x1b[2J\nFAKE");
    fs::create_directory(odd);
    test::write_bytes(dir.file("track.csv"), "name,frame,x,y\na,1001,1,1\n");
    const struct {
        std::vector<std::string> args;
        std::string shown;  // as the terminal shows it
    } cases[] = {
        // The summary names the camera the plate gave, and the output folder.
        {{"render", "--plate", plate, "--fbx", take, "--frames", "1001", "-o", dir.file("out\x1b[1m/m.exr")},
         "unreal/cameraName Cine\\e]0;owned\\x07\\r\\xc2\\x9bCamera2"},
        {{"render", "--plate", plate, "--fbx", take, "--frames", "1001", "-o", dir.file("out\x1b[1m/m.exr")},
         "out\\e[1m/"},
        // The file name and the plate disagree on the camera: both named.
        {{"render", "--plate", plate, "--fbx", take_cam1, "-o", dir.file("m.exr")}, "t\\e[2J_cam1.fbx"},
        {{"render", "--size", "8x8", "--fbx", dir.file("missing\x1b[2J\r.fbx"), "-o", dir.file("m.exr")},
         "missing\\e[2J\\r.fbx"},
        {{"inspect", take}, "t\\e[2J\\x9bake.fbx"},
        {{"render", "--plate", dir.file("missing\x1b[2J.exr"), "-o", dir.file("m.exr")}, "missing\\e[2J.exr"},
        // Every command's lines, as they name the shot's files.
        {{"points", "--plate", plate, "--fbx", take, "--mode", "distort", dir.file("track.csv"), "-o", odd + "/t.csv"},
         "unreal/cameraName Cine\\e]0;owned\\x07\\r\\xc2\\x9bCamera2"},
        {{"points", "--plate", plate, "--fbx", take, "--mode", "distort", dir.file("track.csv"), "-o", odd + "/t.csv"},
         "d\\e[2J\\nFAKE/t.csv"},
        {{"plan", "--size", "8x8", "--frames", "1-2", "--chunk", "1", "-o", odd + "/m.####.exr"}, "d\\e[2J\\nFAKE/"},
        {{"verify", "--size", "8x8", "--frames", "1", "-o", odd + "/v.####.exr"}, "d\\e[2J\\nFAKE/v.0001.exr"},
        {{"camera", "--size", "8x8", "-o", odd}, "d\\e[2J\\nFAKE"},
        {{"nuke-script", "--plate", plate, "--remove-map", odd + "/r.####.exr", "--add-map", odd + "/a.####.exr", "-o",
          odd},
         "plate\\e[31m.exr\" holds a control character"},
        {{"--version", "--plugin-path", odd + "/none"}, "d\\e[2J\\nFAKE/none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        const CommandResult r = run_stmap(c.args);
        EXPECT_EQ(raw_controls(r.err), "") << r.err;
        EXPECT_EQ(raw_controls(r.out), "") << r.out;
        EXPECT_NE((r.err + r.out).find(c.shown), std::string::npos) << r.err << r.out;
        EXPECT_EQ(("\n" + r.err).find("\nFAKE"), std::string::npos) << r.err;
        EXPECT_EQ(("\n" + r.out).find("\nFAKE"), std::string::npos) << r.out;
    }
}

}  // namespace
}  // namespace talvik::test
