// An ST-map EXR read back with OpenEXR's own API, in host row order.
#pragma once

#include <ImfFloatAttribute.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfIntAttribute.h>
#include <ImfStringAttribute.h>

#include <cstddef>
#include <string>
#include <vector>

namespace talvik::test {

struct ExrMap {
    int width = 0;
    int height = 0;
    std::vector<float> s, t;  // host row 0 (the bottom line) first
    Imf::Header header;
    Imath::Box2i display_window, data_window;
    std::vector<float> file_s, file_t;  // file order: top line of the data window first

    // Host pixel (x, y): y counts from the bottom line.
    float s_at(int x, int y) const { return s[static_cast<size_t>(y) * width + x]; }
    float t_at(int x, int y) const { return t[static_cast<size_t>(y) * width + x]; }

    // Host pixel (x, y) of the display window: x from its left column, y up
    // from its bottom line, both possibly outside it; the pixel must lie in
    // the data window. EXR lines run top-down, so y is the line that many
    // above the display window's last.
    bool has_host_pixel(int x, int y) const {
        return data_window.intersects(Imath::V2i(x + display_window.min.x, display_window.max.y - y));
    }
    float s_host(int x, int y) const { return file_s[file_index(x, y)]; }
    float t_host(int x, int y) const { return file_t[file_index(x, y)]; }
    size_t file_index(int x, int y) const {
        const int exr_x = x + display_window.min.x, exr_y = display_window.max.y - y;
        return static_cast<size_t>(exr_y - data_window.min.y) * width + static_cast<size_t>(exr_x - data_window.min.x);
    }

    template <typename A>
    const A* attribute(const std::string& name) const {
        return header.findTypedAttribute<A>(name);
    }
};

inline ExrMap read_exr_map(const std::string& path) {
    Imf::InputFile file(path.c_str());
    ExrMap m;
    m.header = file.header();
    m.display_window = file.header().displayWindow();
    m.data_window = file.header().dataWindow();
    const Imath::Box2i dw = file.header().dataWindow();
    m.width = dw.max.x - dw.min.x + 1;
    m.height = dw.max.y - dw.min.y + 1;
    std::vector<float> s(static_cast<size_t>(m.width) * m.height), t(s.size());
    Imf::FrameBuffer fb;
    const size_t xs = sizeof(float), ys = xs * m.width;
    // Slices are addressed with the data window's own coordinates.
    const ptrdiff_t origin = static_cast<ptrdiff_t>(dw.min.x) + static_cast<ptrdiff_t>(dw.min.y) * m.width;
    fb.insert("R", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(s.data() - origin), xs, ys));
    fb.insert("G", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(t.data() - origin), xs, ys));
    file.setFrameBuffer(fb);
    file.readPixels(dw.min.y, dw.max.y);
    m.file_s = s;
    m.file_t = t;
    // File line 0 is the top of the picture; the host's row 0 is the bottom.
    m.s.resize(s.size());
    m.t.resize(t.size());
    for (int y = 0; y < m.height; ++y) {
        const size_t from = static_cast<size_t>(m.height - 1 - y) * m.width;
        std::copy(s.begin() + from, s.begin() + from + m.width, m.s.begin() + static_cast<size_t>(y) * m.width);
        std::copy(t.begin() + from, t.begin() + from + m.width, m.t.begin() + static_cast<size_t>(y) * m.width);
    }
    return m;
}

}  // namespace talvik::test
