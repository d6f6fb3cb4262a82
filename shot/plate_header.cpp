#include "shot/plate_header.h"

#include "io/input_file.h"

#include <ImfBoxAttribute.h>
#include <ImfStdIO.h>
#include <ImfVersion.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace talvik::shot {
namespace {

[[noreturn]] void fail(const std::string& path, const std::string& what) {
    throw std::runtime_error("plate \"" + path + "\": " + what);
}

// Imf::Header() starts with a default displayWindow; replacing it with an
// empty box, which no readable file has, shows whether the file set one.
// (Erasing the defaults instead leaks them in OpenEXR 3.1.)
const Imath::Box2i kNoWindow(Imath::V2i(1, 1), Imath::V2i(0, 0));

std::string box_text(const Imath::Box2i& b) {
    return "(" + std::to_string(b.min.x) + "," + std::to_string(b.min.y) + ")-(" + std::to_string(b.max.x) +
           "," + std::to_string(b.max.y) + ")";
}

// The data window in host pixels; see PlateHeader::bbox.
Imath::Box2i host_box(const std::string& path, const Imath::Box2i& data, const Imath::Box2i& display) {
    const long long top = display.min.y, height = static_cast<long long>(display.max.y) - top + 1;
    const long long x0 = static_cast<long long>(data.min.x) - display.min.x;
    const long long x1 = static_cast<long long>(data.max.x) - display.min.x;
    const long long y0 = height - 1 - (static_cast<long long>(data.max.y) - top);
    const long long y1 = height - 1 - (static_cast<long long>(data.min.y) - top);
    for (long long v : {x0, x1, y0, y1}) {
        if (v < INT32_MIN || v > INT32_MAX)
            fail(path, "data window " + box_text(data) + " lies too far from the display window " +
                           box_text(display));
    }
    return Imath::Box2i(Imath::V2i(static_cast<int>(x0), static_cast<int>(y0)),
                        Imath::V2i(static_cast<int>(x1), static_cast<int>(y1)));
}

// Values no valid OpenEXR file holds, which no output could carry over:
// refused here, naming the attribute, rather than when a map is written.
void check_header_values(const std::string& path, const Imf::Header& header) {
    auto number = [](float v) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", v);
        return std::string(text);
    };
    // The bounds OpenEXR itself accepts.
    const float aspect = header.pixelAspectRatio();
    if (!std::isnormal(aspect) || aspect < 1e-6f || aspect > 1e6f)
        fail(path, "pixelAspectRatio " + number(aspect) + " is not a pixel aspect ratio (a number from 1e-06 to 1e+06)");
    const float width = header.screenWindowWidth();
    if (!std::isfinite(width) || width < 0)
        fail(path, "screenWindowWidth " + number(width) + " is not a width (a finite number, 0 or more)");
    const Imath::V2f& center = header.screenWindowCenter();
    if (!std::isfinite(center.x) || !std::isfinite(center.y))
        fail(path, "screenWindowCenter (" + number(center.x) + ", " + number(center.y) + ") is not a point");
}

}  // namespace

PlateHeader read_plate_header(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) fail(path, "is a folder, not a file");
    // A FIFO would block the open for good, a device be read without end.
    io::check_input_file(path, "plate");

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
    plate.attributes.dataWindow() = kNoWindow;
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
        fail(path, "display window " + box_text(box) + " is empty or too large");
    plate.width = static_cast<int>(width);
    plate.height = static_cast<int>(height);

    auto* data = plate.attributes.findTypedAttribute<Imf::Box2iAttribute>("dataWindow");
    if (!data || data->value() == kNoWindow) fail(path, "header has no dataWindow");
    plate.data_window = data->value();
    if (plate.data_window.isEmpty()) fail(path, "data window " + box_text(plate.data_window) + " is empty");
    plate.bbox = host_box(path, plate.data_window, box);
    check_header_values(path, plate.attributes);

    for (auto it = plate.attributes.begin(); it != plate.attributes.end(); ++it)
        plate.metadata.emplace(std::string("exr/") + it.name(), metadata_value_of(it.attribute()));
    return plate;
}

}  // namespace talvik::shot
