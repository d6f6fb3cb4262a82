#include "host/runtime/source_iop.h"

#include "DDImage/Row.h"

namespace talvik::host {

SourceIop::SourceIop(Node* node, const DD::Image::Format& format, const DD::Image::Box& bbox,
                     Metadata metadata)
    : Iop(node), format_(format), bbox_(bbox), metadata_(std::move(metadata)) {}

void SourceIop::_validate(bool) {
    info_.format(format_);
    info_.set(bbox_);
    info_.channels(DD::Image::Mask_RGBA);
}

void SourceIop::engine(int, int, int, DD::Image::ChannelMask channels, DD::Image::Row& row) {
    row.erase(channels);
}

}  // namespace talvik::host
