// Writes the sample plate the command's examples and tests use: an HD frame
// of black RGBA half with the header a plate of camera 2 of the sample take
// would have. The pixels do not matter, only the header; black keeps the
// file tiny.
//
//   make_sample_plate sample/plate.exr

#include <ImfRgbaFile.h>
#include <ImfStandardAttributes.h>
#include <ImfStringAttribute.h>

#include <cstdio>
#include <exception>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.exr\n", argv[0]);
        return 2;
    }
    try {
        const int width = 1920, height = 1080;
        Imf::Header header(width, height);
        header.compression() = Imf::ZIP_COMPRESSION;
        header.insert("unreal/cameraName", Imf::StringAttribute("CineCamera2"));
        header.insert("unreal/shotName", Imf::StringAttribute("sample_shot"));
        Imf::addCapDate(header, "2024:03:18 14:05:00");
        Imf::addFramesPerSecond(header, Imf::Rational(24, 1));
        Imf::addOwner(header, "Talvik sample");

        std::vector<Imf::Rgba> black(static_cast<size_t>(width) * height, Imf::Rgba(0, 0, 0, 0));
        Imf::RgbaOutputFile file(argv[1], header, Imf::WRITE_RGBA);
        file.setFrameBuffer(black.data(), 1, width);
        file.writePixels(height);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_sample_plate: %s\n", e.what());
        return 1;
    }
    return 0;
}
