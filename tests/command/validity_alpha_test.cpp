// render --alpha: an A channel (half) that is 1 where the map holds a
// position and 0 where the lens has none, against the fold of r * F(r)
// found in double precision here; read back by OpenEXR and by OpenImageIO
// in every compression; and --skip-existing telling maps with and without
// it apart.
#include <gtest/gtest.h>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfInputFile.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "python_json.h"
#include "run_command.h"
#include "tests/support/exr_map.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

namespace py = pybind11;

constexpr uint16_t kOne = 0x3C00;  // half 1.0

// A strong barrel whose corners lie past the fold: the frame's horizontal
// edge sits just inside it (fx 950 puts the reference edge at r = 1.01).
const double kCx = 20.0, kCy = -10.0, kFx = 950.0, kK1 = -0.3, kK2 = 0.02;

std::vector<std::string> strong_barrel() {
    return {"--set", "cx=20", "--set", "cy=-10", "--set", "fx=950", "--set", "k1=-0.3", "--set", "k2=0.02"};
}

// The peak of r * F(r), by golden-section search on the curve itself: it
// rises from 0 to its only maximum on [0, 2] for these coefficients.
double peak_height() {
    const auto h = [](double r) { return r * (1.0 + kK1 * r * r + kK2 * r * r * r * r); };
    const double golden = (std::sqrt(5.0) - 1.0) / 2.0;
    double lo = 0.0, hi = 2.0;
    for (int i = 0; i < 200; ++i) {
        const double a = hi - golden * (hi - lo), b = lo + golden * (hi - lo);
        if (h(a) < h(b)) {
            lo = a;
        } else {
            hi = b;
        }
    }
    return h((lo + hi) / 2.0);
}

// The distorted radius of host pixel (x, y) of a width x height format, in
// double, from the panel values: centred on the principal point and scaled
// by the edge-fitted focal length (the reference half-width for both axes).
double distorted_radius(int x, int y, int width, int height) {
    const double r = 960.0 / kFx;
    const double fitted = kFx / (1.0 + kK1 * r * r + kK2 * r * r * r * r);
    const double dx = ((x + 0.5) / width - (kCx / 1920.0 + 0.5)) / (fitted / 1920.0);
    const double dy = ((y + 0.5) / height - (-kCy / 1080.0 + 0.5)) / (fitted / 1080.0);
    return std::hypot(dx, dy);
}

struct AlphaPlane {
    bool present = false;
    Imf::PixelType type = Imf::FLOAT;
    std::vector<uint16_t> bits;  // file order, as ExrMap's file_s
};

AlphaPlane read_alpha(const std::string& path) {
    Imf::InputFile file(path.c_str());
    AlphaPlane a;
    const Imf::Channel* channel = file.header().channels().findChannel("A");
    if (!channel) return a;
    a.present = true;
    a.type = channel->type;
    const Imath::Box2i dw = file.header().dataWindow();
    const int width = dw.max.x - dw.min.x + 1;
    a.bits.resize(static_cast<size_t>(width) * (dw.max.y - dw.min.y + 1));
    Imf::FrameBuffer fb;
    const ptrdiff_t origin = static_cast<ptrdiff_t>(dw.min.x) + static_cast<ptrdiff_t>(dw.min.y) * width;
    fb.insert("A", Imf::Slice(Imf::HALF, reinterpret_cast<char*>(a.bits.data() - origin), 2, 2 * width));
    file.setFrameBuffer(fb);
    file.readPixels(dw.min.y, dw.max.y);
    return a;
}

std::vector<std::string> args(std::vector<std::string> first, const std::vector<std::string>& more) {
    first.insert(first.end(), more.begin(), more.end());
    return first;
}

TEST(ValidityAlpha, ZeroExactlyWhereTheDistortedRadiusPassesThePeak) {
    ScratchFolder dir;
    const int width = 480, height = 270;
    const std::vector<std::string> shot = args({"--size", "480x270", "--overscan", "6,2,3,9", "--quiet"},
                                               strong_barrel());
    CommandResult r = run_stmap(args({"render", "--mode", "undistort", "--alpha", "-o", dir.file("a.exr")}, shot));
    ASSERT_EQ(r.status, 0) << r.err;
    r = run_stmap(args({"render", "--mode", "undistort", "-o", dir.file("plain.exr")}, shot));
    ASSERT_EQ(r.status, 0) << r.err;
    const ExrMap map = read_exr_map(dir.file("a.exr")), plain = read_exr_map(dir.file("plain.exr"));
    const AlphaPlane alpha = read_alpha(dir.file("a.exr"));
    ASSERT_TRUE(alpha.present);
    EXPECT_EQ(alpha.type, Imf::HALF);
    EXPECT_FALSE(read_alpha(dir.file("plain.exr")).present) << "no A unless asked";
    // The positions are the same with or without the alpha.
    EXPECT_EQ(map.file_s, plain.file_s);
    EXPECT_EQ(map.file_t, plain.file_t);

    const double peak = peak_height();
    int zeros = 0, checked = 0;
    for (int line = 0; line < map.height; ++line) {
        for (int col = 0; col < map.width; ++col) {
            const size_t k = static_cast<size_t>(line) * map.width + col;
            const int x = map.data_window.min.x + col;
            const int y = map.display_window.max.y - (map.data_window.min.y + line);
            const double rd = distorted_radius(x, y, width, height);
            if (std::abs(rd - peak) < 1e-5) continue;  // single precision decides
            ++checked;
            ASSERT_EQ(alpha.bits[k], rd < peak ? kOne : 0) << "pixel " << x << "," << y << " rd " << rd;
            if (alpha.bits[k] == 0) {
                ++zeros;
                EXPECT_EQ(map.file_s[k], 0.0f);
                EXPECT_EQ(map.file_t[k], 0.0f);
            }
        }
    }
    EXPECT_GT(checked, map.width * map.height - 100);
    EXPECT_GT(zeros, map.width * map.height / 50) << "the corners are past the fold";

    // The forward model has a position everywhere.
    r = run_stmap(args({"render", "--mode", "distort", "--alpha", "-o", dir.file("d.exr")}, shot));
    ASSERT_EQ(r.status, 0) << r.err;
    for (uint16_t a : read_alpha(dir.file("d.exr")).bits) ASSERT_EQ(a, kOne);
}

TEST(ValidityAlpha, EveryCompressionWritesAHalfAlphaOpenImageIoReads) {
    ScratchFolder dir;
    const std::vector<std::string> shot = args({"--size", "160x90", "--overscan", "5,3,2,7", "--mode", "undistort",
                                                "--alpha", "--quiet"},
                                               strong_barrel());
    const char* compressions[] = {"none", "rle", "zips", "zip", "piz"};
    std::string files;
    AlphaPlane reference;
    ExrMap reference_map;
    for (const char* compression : compressions) {
        const std::string path = dir.file(std::string(compression) + ".exr");
        const CommandResult r = run_stmap(args({"render", "--compression", compression, "-o", path}, shot));
        ASSERT_EQ(r.status, 0) << compression << ": " << r.err;
        const AlphaPlane a = read_alpha(path);
        const ExrMap map = read_exr_map(path);
        ASSERT_TRUE(a.present) << compression;
        EXPECT_EQ(a.type, Imf::HALF) << compression;
        if (reference.bits.empty()) {
            reference = a;
            reference_map = map;
        }
        EXPECT_EQ(a.bits, reference.bits) << compression;
        EXPECT_EQ(map.file_s, reference_map.file_s) << compression;
        files += " '" + path + "'";
    }
    size_t zeros = 0;
    for (uint16_t v : reference.bits) zeros += v == 0;
    ASSERT_GT(zeros, 0u);

    // OpenImageIO: the channels, their types, and how many pixels of A are
    // 0 (with R and G both 0 there) and 1.
    write_bytes(dir.file("read.py"), R"(import json, sys
import OpenImageIO as oiio
out = {}
for path in sys.argv[1:]:
    image = oiio.ImageBuf(path)
    layout = image.nativespec()  # the channels and types as the file holds them
    pixels = image.get_pixels(oiio.FLOAT)
    names = list(layout.channelnames)
    a, r, g = (names.index(c) for c in "ARG")
    zero = pixels[:, :, a] == 0
    out[path] = {"channels": names,
                 "formats": [str(layout.channelformat(i)) for i in range(layout.nchannels)],
                 "zeros": int(zero.sum()), "ones": int((pixels[:, :, a] == 1).sum()),
                 "zeros_at_origin": int((zero & (pixels[:, :, r] == 0) & (pixels[:, :, g] == 0)).sum())}
print(json.dumps(out))
)");
    std::FILE* pipe = popen(("/usr/bin/python3 '" + dir.file("read.py") + "'" + files).c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    ASSERT_EQ(pclose(pipe), 0) << text;
    const py::object read = parse_json(text);
    for (const char* compression : compressions) {
        SCOPED_TRACE(compression);
        const py::object facts = read[py::str(dir.file(std::string(compression) + ".exr"))];
        const py::list channels = facts["channels"];
        const py::list formats = facts["formats"];
        ASSERT_EQ(py::len(channels), 3u);
        for (size_t i = 0; i < 3; ++i) {
            const std::string name = channels[i].cast<std::string>();
            EXPECT_EQ(formats[i].cast<std::string>(), name == "A" ? "half" : "float") << name;
        }
        EXPECT_EQ(facts["zeros"].cast<size_t>(), zeros);
        EXPECT_EQ(facts["zeros_at_origin"].cast<size_t>(), zeros);
        EXPECT_EQ(facts["ones"].cast<size_t>(), reference.bits.size() - zeros);
    }
}

TEST(ValidityAlpha, SkipExistingKeepsOnlyMapsWithTheAlphaAsked) {
    ScratchFolder dir;
    const std::vector<std::string> shot = {"render", "--size", "64x36", "--mode", "undistort", "-o",
                                           dir.file("m.exr"), "--skip-existing", "--manifest", dir.file("run.json"),
                                           "--quiet"};
    const auto run = [&](bool alpha) {
        std::vector<std::string> a = shot;
        if (alpha) a.push_back("--alpha");
        const CommandResult r = run_stmap(a);
        EXPECT_EQ(r.status, 0) << r.err;
        const py::object manifest = parse_json(read_bytes(dir.file("run.json")));
        return std::make_pair(manifest["frames_kept"].cast<int>(), manifest["frames_stale"].cast<int>());
    };
    run(false);
    EXPECT_EQ(run(false), std::make_pair(1, 0));
    EXPECT_EQ(run(true), std::make_pair(0, 1)) << "a map without the alpha asked for is stale";
    EXPECT_TRUE(read_alpha(dir.file("m.exr")).present);
    EXPECT_EQ(run(true), std::make_pair(1, 0));
    EXPECT_EQ(run(false), std::make_pair(0, 1)) << "a map with an alpha not asked for is stale";
    EXPECT_FALSE(read_alpha(dir.file("m.exr")).present);

    // verify judges the shot the same way, naming the alpha.
    const std::vector<std::string> check = {"verify", "--size", "64x36", "--mode", "undistort", "-o", dir.file("m.exr")};
    EXPECT_EQ(run_stmap(check).status, 0);
    std::vector<std::string> with_alpha = check;
    with_alpha.push_back("--alpha");
    const CommandResult r = run_stmap(with_alpha);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("validity alpha"), std::string::npos) << r.out << r.err;
}

}  // namespace
}  // namespace talvik::test
