// What an image operator tells its consumers: format and channels.
#pragma once

#include "DDImage/ChannelSet.h"
#include "DDImage/DDImage_API.h"
#include "DDImage/Format.h"

namespace DD {
namespace Image {

class DDImage_API IopInfo {
public:
    const Format& format() const { return format_; }
    void format(const Format& f) { format_ = f; }
    ChannelMask channels() const { return channels_; }
    void channels(const ChannelSet& c) { channels_ = c; }

private:
    Format format_;
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
