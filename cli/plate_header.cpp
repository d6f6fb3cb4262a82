#include "cli/plate_header.h"

#include <ImfBoxAttribute.h>
#include <ImfStdIO.h>
#include <ImfVersion.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace talvik::cli {
namespace {

[[noreturn]] void fail(const std::string& path, const std::string& what) {
    throw std::runtime_error("plate \"" + path + "\": " + what);
}

// Imf::Header() starts with a default displayWindow; replacing it with an
// empty box, which no readable file has, shows whether the file set one.
// (Erasing the defaults instead leaks them in OpenEXR 3.1.)
const Imath::Box2i kNoWindow(Imath::V2i(1, 1), Imath::V2i(0, 0));

}  // namespace

PlateHeader read_plate_header(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) fail(path, "is a folder, not a file");

    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file) fail(path, std::string("cannot open: ") + std::strerror(errno ? errno : ENOENT));

    char magic[4] = {};
    char version_bytes[4] = {};
    if (!file.read(magic, 4) || !Imf::isImfMagic(magic)) fail(path, "not an OpenEXR file");
    if (!file.read(version_bytes, 4)) fail(path, "header cut short after the magic number");
    // The version field is little-endian in the file.
    int version = 0;
    for (int i = 3; i >= 0; --i) version = (version << 8) | static_cast<unsigned char>(version_bytes[i]);
    if (Imf::getVersion(version) != Imf::EXR_VERSION || !Imf::supportsFlags(Imf::getFlags(version)))
        fail(path, "OpenEXR version field " + std::to_string(version) + " is not one this build reads");

    PlateHeader plate;
    plate.path = path;
    plate.attributes.displayWindow() = kNoWindow;
    try {
        // Part 0's header comes first in single- and multi-part files alike.
        Imf::StdIFStream stream(file, path.c_str());
        plate.attributes.readFrom(stream, version);
    } catch (const std::exception& e) {
        fail(path, std::string("header cut short or damaged (") + e.what() + ")");
    }

    auto* window = plate.attributes.findTypedAttribute<Imf::Box2iAttribute>("displayWindow");
    if (!window || window->value() == kNoWindow) fail(path, "header has no displayWindow");
    plate.display_window = window->value();
    const auto& box = plate.display_window;
    const long long width = static_cast<long long>(box.max.x) - box.min.x + 1;
    const long long height = static_cast<long long>(box.max.y) - box.min.y + 1;
    if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX)
        fail(path, "display window (" + std::to_string(box.min.x) + "," + std::to_string(box.min.y) +
                       ")-(" + std::to_string(box.max.x) + "," + std::to_string(box.max.y) +
                       ") is empty or too large");
    plate.width = static_cast<int>(width);
    plate.height = static_cast<int>(height);

    for (auto it = plate.attributes.begin(); it != plate.attributes.end(); ++it)
        plate.metadata.emplace(std::string("exr/") + it.name(), metadata_value_of(it.attribute()));
    return plate;
}

}  // namespace talvik::cli
