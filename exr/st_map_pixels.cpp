#include "exr/st_map_pixels.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>

#include <stdexcept>

namespace talvik::exr {

StMapPixels read_st_map_pixels(const std::string& path) {
    try {
        Imf::InputFile file(path.c_str());
        const Imath::Box2i data = file.header().dataWindow();
        StMapPixels p;
        p.x = data.min.x;
        p.y = data.min.y;
        p.width = data.max.x - data.min.x + 1;
        p.height = data.max.y - data.min.y + 1;
        const size_t count = static_cast<size_t>(p.width) * static_cast<size_t>(p.height);
        p.r.resize(count);
        p.g.resize(count);
        const bool alpha = file.header().channels().findChannel("A") != nullptr;
        if (alpha) p.a.resize(count);
        // Slices are addressed with the data window's own coordinates.
        const ptrdiff_t origin = static_cast<ptrdiff_t>(data.min.y) * p.width + data.min.x;
        Imf::FrameBuffer frame;
        frame.insert("R", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(p.r.data() - origin), sizeof(float),
                                     sizeof(float) * p.width));
        frame.insert("G", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(p.g.data() - origin), sizeof(float),
                                     sizeof(float) * p.width));
        if (alpha)
            frame.insert("A", Imf::Slice(Imf::HALF, reinterpret_cast<char*>(p.a.data() - origin), sizeof(uint16_t),
                                         sizeof(uint16_t) * p.width));
        file.setFrameBuffer(frame);
        file.readPixels(data.min.y, data.max.y);
        return p;
    } catch (const std::exception& e) {
        // OpenEXR's reason names the file.
        throw std::runtime_error(e.what());
    }
}

}  // namespace talvik::exr
