// An ST-map EXR read back with OpenEXR's own API, in host row order.
#pragma once

#include <ImfFloatAttribute.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfIntAttribute.h>
#include <ImfStringAttribute.h>

#include <string>
#include <vector>

namespace talvik::test {

struct ExrMap {
    int width = 0;
    int height = 0;
    std::vector<float> s, t;  // host row 0 (the bottom line) first
    Imf::Header header;

    // Host pixel (x, y): y counts from the bottom line.
    float s_at(int x, int y) const { return s[static_cast<size_t>(y) * width + x]; }
    float t_at(int x, int y) const { return t[static_cast<size_t>(y) * width + x]; }

    template <typename A>
    const A* attribute(const std::string& name) const {
        return header.findTypedAttribute<A>(name);
    }
};

inline ExrMap read_exr_map(const std::string& path) {
    Imf::InputFile file(path.c_str());
    ExrMap m;
    m.header = file.header();
    const Imath::Box2i dw = file.header().dataWindow();
    m.width = dw.max.x - dw.min.x + 1;
    m.height = dw.max.y - dw.min.y + 1;
    std::vector<float> s(static_cast<size_t>(m.width) * m.height), t(s.size());
    Imf::FrameBuffer fb;
    const size_t xs = sizeof(float), ys = xs * m.width;
    fb.insert("R", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(s.data()), xs, ys));
    fb.insert("G", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(t.data()), xs, ys));
    file.setFrameBuffer(fb);
    file.readPixels(dw.min.y, dw.max.y);
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
