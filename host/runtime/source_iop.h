// The host's stand-in for a Read node: a black image of a given format that
// carries metadata. Its bounding box is the format unless told otherwise, as
// a Read node's is the file's data window.
#pragma once

#include "DDImage/Iop.h"
#include "host/runtime/metadata.h"

namespace talvik::host {

class SourceIop : public DD::Image::Iop {
public:
    SourceIop(Node* node, const DD::Image::Format& format, const DD::Image::Box& bbox,
              Metadata metadata);
    const char* Class() const override { return "Source"; }
    const char* node_help() const override { return "A black image with a format and metadata."; }
    int minimum_inputs() const override { return 0; }
    int maximum_inputs() const override { return 0; }
    void engine(int y, int x, int r, DD::Image::ChannelMask channels,
                DD::Image::Row& row) override;
    const Metadata& metadata() const { return metadata_; }
    void set_metadata(Metadata metadata) { metadata_ = std::move(metadata); }
    void set_bbox(const DD::Image::Box& bbox) { bbox_ = bbox; }

protected:
    void _validate(bool for_real) override;

private:
    DD::Image::Format format_;
    DD::Image::Box bbox_;
    Metadata metadata_;
};

}  // namespace talvik::host
