// Small plates written with OpenEXR for the command to read: a given size
// and the header attributes a studio plate carries.
#pragma once

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <ImfStringAttribute.h>
#include <ImfTimeCodeAttribute.h>

#include <string>
#include <vector>

namespace talvik::test {

struct CraftedPlate {
    int width = 16;
    int height = 9;
    std::string camera_name;  // unreal/cameraName; empty: none
    int time_code_frame = -1; // timeCode 01:00:00:<frame>; negative: none
    Imf::Header extra;        // further attributes, copied in
};

inline void write_plate(const std::string& path, const CraftedPlate& plate) {
    Imf::Header header(plate.width, plate.height);
    for (auto it = plate.extra.begin(); it != plate.extra.end(); ++it) {
        const std::string name = it.name();
        if (name != "displayWindow" && name != "dataWindow" && name != "channels" && name != "compression" &&
            name != "lineOrder" && name != "pixelAspectRatio" && name != "screenWindowCenter" &&
            name != "screenWindowWidth")
            header.insert(it.name(), it.attribute());
    }
    if (!plate.camera_name.empty())
        header.insert("unreal/cameraName", Imf::StringAttribute(plate.camera_name));
    if (plate.time_code_frame >= 0)
        header.insert("timeCode", Imf::TimeCodeAttribute(Imf::TimeCode(1, 0, 0, plate.time_code_frame)));
    header.channels().insert("R", Imf::Channel(Imf::FLOAT));
    std::vector<float> pixels(static_cast<size_t>(plate.width) * plate.height, 0.0f);
    Imf::OutputFile file(path.c_str(), header);
    Imf::FrameBuffer frame;
    frame.insert("R", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(pixels.data()), sizeof(float),
                                 sizeof(float) * plate.width));
    file.setFrameBuffer(frame);
    file.writePixels(plate.height);
}

}  // namespace talvik::test
