// Stack order: a node with `inputs N` takes the last N nodes written (or
// pushed), its input 0 being the last. STMap's input 0 is src, input 1 the
// map, so the map is written before the image it moves.
#include "pipeline/handoff/nuke_script.h"

#include <charconv>
#include <functional>
#include <sstream>

#include "shot/version_info.h"

namespace talvik::pipeline {
namespace {

// The shortest text that reads back as the same double.
std::string number(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

// One value of a knob over the frames: the number when it holds for every
// frame, else {curve x1001 v1 x1002 v2 ...}, a key at every frame, as Nuke
// writes animation.
std::string over_frames(const std::vector<shot::FrameCamera>& cameras,
                        const std::function<double(const shot::FrameCamera&)>& value) {
    bool constant = true;
    std::string keys;
    for (const shot::FrameCamera& c : cameras) {
        constant = constant && value(c) == value(cameras.front());
        keys += " x" + std::to_string(c.frame) + " " + number(value(c));
    }
    return constant ? number(value(cameras.front())) : "{curve" + keys + "}";
}

// A one-value knob: a number as it is, an animation in braces of its own.
std::string single(const std::string& value) { return value[0] == '{' ? "{" + value + "}" : value; }

class ScriptText {
public:
    void begin(const std::string& node_class) { out_ << node_class << " {\n"; }
    void knob(const std::string& name, const std::string& value) { out_ << ' ' << name << ' ' << value << '\n'; }
    void end(const std::string& name, int x, int y) {
        knob("name", name);
        knob("xpos", std::to_string(x));
        knob("ypos", std::to_string(y));
        out_ << "}\n";
    }
    void line(const std::string& text) { out_ << text << '\n'; }
    std::string text() const { return out_.str(); }

private:
    std::ostringstream out_;
};

std::string format_text(const NukeScriptShot& shot) {
    const std::string w = std::to_string(shot.width), h = std::to_string(shot.height);
    return nuke_quoted(w + " " + h + " 0 0 " + w + " " + h + " " + number(shot.pixel_aspect) + " talvik_" + w + "x" + h);
}

// A Read of raw data: a map holds positions, and the plate goes through the
// round trip untouched.
void read(ScriptText& nk, const NukeScriptShot& shot, const std::string& file, const std::string& name,
          const std::string& label, int x, int y) {
    const std::string first = std::to_string(shot.first_frame), last = std::to_string(shot.last_frame);
    nk.begin("Read");
    nk.knob("inputs", "0");
    nk.knob("file", nuke_quoted(file));
    nk.knob("format", format_text(shot));
    nk.knob("first", first);
    nk.knob("last", last);
    nk.knob("origfirst", first);
    nk.knob("origlast", last);
    nk.knob("origset", "true");
    nk.knob("raw", "true");
    nk.knob("label", nuke_quoted(label));
    nk.end(name, x, y);
}

void st_map(ScriptText& nk, const std::string& name, const std::string& label, int x, int y) {
    nk.begin("STMap");
    nk.knob("inputs", "2");
    nk.knob("uv", "rgb");
    nk.knob("label", nuke_quoted(label));
    nk.end(name, x, y);
}

}  // namespace

std::string nuke_quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        if (c == '\\' || c == '"' || c == '[' || c == ']' || c == '$' || c == '{' || c == '}') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string nuke_script(const NukeScriptShot& shot) {
    const shot::Margins& m = shot.margins;
    const int left = -m.left, bottom = -m.bottom, right = shot.width + m.right, top = shot.height + m.top;
    const std::string box = std::to_string(left) + " " + std::to_string(bottom) + " " + std::to_string(right) + " " +
                            std::to_string(top);
    ScriptText nk;
    nk.line("# " + std::string("talvik-stmap ") + shot::command_version() +
            " nuke-script: plate, remove distortion, comp, add distortion");
    nk.line("version 15.0 v1");
    nk.begin("Root");
    nk.knob("inputs", "0");
    nk.knob("first_frame", std::to_string(shot.first_frame));
    nk.knob("last_frame", std::to_string(shot.last_frame));
    nk.knob("format", format_text(shot));
    nk.line("}");

    nk.begin("BackdropNode");
    nk.knob("inputs", "0");
    nk.knob("label", nuke_quoted("Comp in undistorted space\nformat " + std::to_string(shot.width) + "x" +
                                 std::to_string(shot.height) + ", box " + box));
    nk.knob("note_font_size", "20");
    nk.knob("bdwidth", "560");
    nk.knob("bdheight", "220");
    nk.end("CompBackdrop", -170, 230);

    read(nk, shot, shot.remove_map, "RemoveDistortionMap", "remove-distortion map (Mode Distort), with the overscan",
         200, 0);
    read(nk, shot, shot.plate, "Plate", "the plate", 0, 0);
    st_map(nk, "RemoveDistortion", "the plate undistorted", 0, 120);
    // The box the remove-distortion map was rendered over: the format grown
    // by the overscan's margins, whatever bounding box the map's Read gives.
    nk.begin("Crop");
    nk.knob("box", "{" + box + "}");
    nk.knob("crop", "false");
    nk.knob("label", nuke_quoted("the overscan's box"));
    nk.end("OverscanBox", 0, 170);
    nk.begin("NoOp");
    nk.knob("label", nuke_quoted("the comp goes here"));
    nk.end("Comp", 0, 300);
    nk.line("set N_comp [stack 0]");

    read(nk, shot, shot.add_map, "AddDistortionMap", "add-distortion map (Mode Undistort)", 200, 480);
    nk.line("push $N_comp");
    st_map(nk, "AddDistortion", "the comp distorted back onto the plate's format", 0, 530);

    // The camera of the plate's format: what a ScanlineRender over the comp
    // renders with (its overscan extends the same projection over the box).
    using Value = std::function<double(const shot::FrameCamera&)>;
    const auto keys = [&](const Value& value) { return over_frames(shot.cameras, value); };
    const auto mm = [&](const shot::FrameCamera& c) {
        return shot::camera_millimetres(c.camera, shot.width, shot.height, shot.haperture);
    };
    const auto window = [&](const shot::FrameCamera& c) { return shot::nuke_window(c.camera, shot.width, {}); };
    nk.begin("Camera2");
    nk.knob("inputs", "0");
    nk.knob("focal", single(keys([&](const shot::FrameCamera& c) { return mm(c).focal; })));
    nk.knob("haperture", number(shot.haperture));
    nk.knob("vaperture", single(keys([&](const shot::FrameCamera& c) { return mm(c).vaperture; })));
    nk.knob("win_translate", "{" + keys([&](const shot::FrameCamera& c) { return window(c).translate_x; }) + " " +
                                 keys([&](const shot::FrameCamera& c) { return window(c).translate_y; }) + "}");
    nk.knob("win_scale", "{" + keys([&](const shot::FrameCamera& c) { return window(c).scale_x; }) + " " +
                             keys([&](const shot::FrameCamera& c) { return window(c).scale_y; }) + "}");
    nk.knob("label", nuke_quoted("the undistorted camera of the plate's format"));
    nk.end("UndistortedCamera", 250, 300);
    return nk.text();
}

}  // namespace talvik::pipeline
