// The map of the last frame rendered, kept so that a frame whose controls
// and box equal it is not rendered again: a held lens costs one render for
// the whole run of frames.
#pragma once

#include <vector>

#include "DDImage/Box.h"
#include "DDImage/ChannelSet.h"
#include "cli/render/control_values.h"
#include "host/runtime/host.h"

namespace talvik::cli {

class FrameCache {
public:
    // Renders `node` at `frame` unless the map held was rendered from
    // `values` over the node's current box `box`. Returns whether it rendered.
    bool render(host::Host& host, Node& node, int frame, const std::vector<ControlValue>& values,
                const DD::Image::Box& box, const DD::Image::ChannelSet& channels = DD::Image::Mask_RGBA);

    const host::Image& image() const { return image_; }
    bool empty() const { return image_.width == 0; }

    // Whether the EXR writer's kept chunks are of the map held: false after
    // every new render, true once the writer wrote this map.
    bool writer_holds_map() const { return writer_holds_map_; }
    void set_writer_holds_map() { writer_holds_map_ = true; }

private:
    host::Image image_;
    std::vector<ControlValue> rendered_with_;
    bool writer_holds_map_ = false;
};

}  // namespace talvik::cli
