#include "cli/render/frame_cache.h"

namespace talvik::cli {

bool FrameCache::render(host::Host& host, Node& node, int frame, const std::vector<ControlValue>& values,
                        const DD::Image::Box& box, const DD::Image::ChannelSet& channels) {
    const DD::Image::Box held(image_.x, image_.y, image_.r(), image_.t());
    if (!empty() && values == rendered_with_ && held == box) return false;
    host.render_into(node, frame, image_, channels);
    rendered_with_ = values;
    writer_holds_map_ = false;
    return true;
}

}  // namespace talvik::cli
