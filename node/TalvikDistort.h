// TalvikDistort: renders the ST map of a lens recorded in FBX files, in
// Distort or Undistort mode, at the size of its input's format.
#pragma once

#include "DDImage/Knobs.h"
#include "DDImage/PixelIop.h"
#include "DDImage/Row.h"
#include "lens/lens_model.h"

class TalvikDistort : public DD::Image::PixelIop {
public:
    using float2 = talvik::float2;

    explicit TalvikDistort(Node* node);

    void _validate(bool for_real) override;
    void knobs(DD::Image::Knob_Callback f) override;
    int knob_changed(DD::Image::Knob* k) override;
    ~TalvikDistort() override;
    int minimum_inputs() const override { return 1; }
    int maximum_inputs() const override { return 1; }
    const char* node_help() const override;
    const char* Class() const override;
    void in_channels(int input, DD::Image::ChannelSet& mask) const override;
    void pixel_engine(const DD::Image::Row& in, int y, int x, int r,
                      DD::Image::ChannelMask channels, DD::Image::Row& out) override;

    // The lens operations, answered by the lens model the node carries.
    float get_undistorted_fx() const { return lens.get_undistorted_fx(); }
    float get_undistorted_fy() const { return lens.get_undistorted_fy(); }
    float2 _distort(float2 p) const { return lens._distort(p); }
    float2 _undistort_v2(float2 p) const { return lens._undistort_v2(p); }
    float2 _undistort(float2 p) const { return lens._undistort(p); }

    // The lens members, in panel units after a store and normalized after
    // every panel pass.
    talvik::LensModel lens;

    static const DD::Image::Op::Description description;

private:
    void update_lens_controls();
    void update_fy_control();
    void camera_from_file_name();
};

DD::Image::Op* TalvikDistortCreate(Node* node);

// The lens model this build renders (talvik::kLensModelVersion), for tools
// that load the plug-in and mark what it makes; Nuke never calls it.
extern "C" __attribute__((visibility("default"))) int talvik_lens_model_version();
