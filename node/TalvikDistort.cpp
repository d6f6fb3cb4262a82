#include "TalvikDistort.h"

#include <string>

#include "lens/lens_model_version.h"
#include "lens/st_map_row.h"
#include "reload_script.h"

using namespace DD::Image;

namespace {

const char* const kHelp = "Handles Talvik Oskaro recorded FBX lens distortion and undistortion";
const char* const modeKnobEntries[] = {"Distort", "Undistort", nullptr};
const char* const kLensControls[] = {"lens1", "lens2", "lens3", "lens4"};

}  // namespace

const Op::Description TalvikDistort::description("TalvikDistort", TalvikDistortCreate);

Op* TalvikDistortCreate(Node* node) { return new TalvikDistort(node); }

int talvik_lens_model_version() { return talvik::kLensModelVersion; }

TalvikDistort::TalvikDistort(Node* node) : PixelIop(node) { inputs(0); }

// Strings point at static defaults or at text the host's controls own.
TalvikDistort::~TalvikDistort() = default;

const char* TalvikDistort::Class() const { return description.name; }

const char* TalvikDistort::node_help() const { return kHelp; }

void TalvikDistort::knobs(Knob_Callback f) {
    Enumeration_knob(f, &lens.mode, modeKnobEntries, "Mode");
    File_knob(f, &lens.fbx_file_path, "fbx_file_path", "FBX File");
    PyScript_knob(f, PyScript, "reload");
    Int_knob(f, &lens.camera_index, "camera_index", "Camera");
    Tooltip(f, "Index of which camera to pull lens parameters from.");
    Float_knob(f, &lens.cx, "cx", "Cx");
    ClearFlags(f, Knob::SLIDER);
    Float_knob(f, &lens.cy, "cy", "Cy");
    ClearFlags(f, Knob::SLIDER | Knob::STARTLINE);
    Float_knob(f, &lens.fx, "fx", "Fx");
    ClearFlags(f, Knob::SLIDER);
    Float_knob(f, &lens.fy, "fy", "Fy");
    ClearFlags(f, Knob::SLIDER | Knob::STARTLINE);
    Bool_knob(f, &lens.anamorphic, "anamorphic");
    ClearFlags(f, Knob::STARTLINE);
    Float_knob(f, &lens.k1, "k1", "K1");
    ClearFlags(f, Knob::SLIDER);
    Float_knob(f, &lens.k2, "k2", "K2");
    ClearFlags(f, Knob::SLIDER | Knob::STARTLINE);
    Text_knob(f, " ", "");
    Bool_knob(f, &lens.show_advanced, "show advanced");
    Tooltip(f, "Check this option to show advanced options");
    String_knob(f, &lens.lens1, "lens1", "Lens 1");
    String_knob(f, &lens.lens2, "lens2", "Lens 2");
    String_knob(f, &lens.lens3, "lens3", "Lens 3");
    String_knob(f, &lens.lens4, "lens4", "Lens 4");
    // Every pass, creating or storing, leaves the members normalized.
    lens.normalize();
}

int TalvikDistort::knob_changed(Knob* k) {
    if (k == &Knob::showPanel) {
        update_lens_controls();
        update_fy_control();
        return 1;
    }
    if (k->is("show advanced")) {
        update_lens_controls();
        return 1;
    }
    if (k->is("anamorphic")) {
        update_fy_control();
        return 1;
    }
    if (k->is("fbx_file_path")) {
        camera_from_file_name();
        return 1;
    }
    return Op::knob_changed(k);
}

void TalvikDistort::update_lens_controls() {
    for (const char* name : kLensControls) {
        if (Knob* k = knob(name)) k->enable(lens.show_advanced);
        if (Knob* k = knob(name)) k->visible(lens.show_advanced);
    }
}

void TalvikDistort::update_fy_control() {
    if (Knob* k = knob("fy")) k->enable(lens.anamorphic);
}

// The camera number is the single digit just before the last "." of the
// path: take_cam12.fbx gives camera 2. Anything else leaves it as it was.
void TalvikDistort::camera_from_file_name() {
    const std::string path = lens.fbx_file_path ? lens.fbx_file_path : "";
    if (path.size() <= 5) return;
    const std::string::size_type dot = path.rfind('.');
    if (dot == std::string::npos || dot == 0) return;
    const unsigned char digit = static_cast<unsigned char>(path[dot - 1]);
    if (digit < '0' || digit > '9') return;
    lens.camera_index = digit - '0';
    if (Knob* k = knob("camera_index")) k->set_value(lens.camera_index);
}

void TalvikDistort::_validate(bool for_real) {
    set_out_channels(Mask_RGBA);
    Iop::_validate(for_real);
}

void TalvikDistort::in_channels(int, ChannelSet& mask) const {
    if (mask.contains(Chan_Red) || mask.contains(Chan_Green) || mask.contains(Chan_Blue) ||
        mask.contains(Chan_Alpha)) {
        mask += Mask_RGBA;
    }
}

// Runs on many host threads at once: reads the members, writes only `out`.
void TalvikDistort::pixel_engine(const Row&, int y, int x, int r, ChannelMask, Row& out) {
    talvik::FrameSize size;
    if (input(0) != nullptr) {
        const Format& format = input_format();
        size = talvik::frame_size_from(format.width(), format.height());
    }
    talvik::st_map_row(lens, size, y, x, r, out.writable(Chan_Red), out.writable(Chan_Green));
}
