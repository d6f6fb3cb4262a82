// What an image operator tells its consumers: format, bounding box (the
// Info2D) and channels.
#pragma once

#include "DDImage/ChannelSet.h"
#include "DDImage/DDImage_API.h"
#include "DDImage/Info2D.h"

namespace DD {
namespace Image {

class DDImage_API IopInfo : public Info2D {
public:
    ChannelMask channels() const { return channels_; }
    void channels(const ChannelSet& c) { channels_ = c; }

private:
    ChannelSet channels_;
};

class DDImage_API IopInfoOwner {
public:
    virtual ~IopInfoOwner();
    const IopInfo& info() const { return info_; }

protected:
    IopInfo info_;
};

}  // namespace Image
}  // namespace DD
