// The Nuke script `nuke-script` writes, parsed back by a reader of .nk node
// blocks written here (knob values as words, quoted texts and brace groups;
// the node stack of set, push and inputs), and its numbers compared with
// the overscan report and the camera JSON of the same shot.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "python_json.h"
#include "run_command.h"
#include "tests/support/crafted_plate.h"
#include "tests/support/fixture_util.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

namespace py = pybind11;

// A knob's value: a word, a quoted text (unescaped) or a {group}.
struct Value {
    std::string text;
    bool group = false;
    std::vector<Value> items;
};

struct NkNode {
    std::string type;
    std::map<std::string, Value> knobs;
    std::vector<std::string> inputs;  // node names, input 0 first; "" for none

    const Value& at(const std::string& name) const { return knobs.at(name); }
    std::string text(const std::string& name) const {
        const auto it = knobs.find(name);
        return it == knobs.end() ? "" : it->second.text;
    }
};

class NkReader {
public:
    explicit NkReader(std::string text) : text_(std::move(text)) {}

    // Every node by name (its class when unnamed).
    std::map<std::string, NkNode> read() {
        std::map<std::string, NkNode> nodes;
        std::vector<std::string> stack;  // node names, the top last
        std::map<std::string, std::string> variables;
        for (skip_blanks(); at_ < text_.size(); skip_blanks()) {
            const std::string word = token().text;
            if (word == "version") {
                rest_of_line();
            } else if (word == "set") {
                const std::string name = token().text;
                if (rest_of_line() != "[stack 0]") throw std::runtime_error("set " + name + " without [stack 0]");
                variables[name] = stack.at(stack.size() - 1);
            } else if (word == "push") {
                const std::string what = token().text;
                stack.push_back(what == "0" ? "" : variables.at(what.substr(1)));
            } else {
                NkNode node;
                node.type = word;
                if (token().text != "{") throw std::runtime_error(word + " without {");
                for (Value name = token(); name.text != "}"; name = token()) node.knobs[name.text] = value_after(token());
                const bool free_standing = node.type == "Root" || node.type == "BackdropNode";
                const int inputs = node.knobs.count("inputs") ? std::stoi(node.text("inputs")) : free_standing ? 0 : 1;
                for (int i = 0; i < inputs; ++i) {
                    node.inputs.push_back(stack.at(stack.size() - 1));
                    stack.pop_back();
                }
                const std::string name = node.text("name").empty() ? node.type : node.text("name");
                if (!free_standing) stack.push_back(name);
                if (!nodes.emplace(name, node).second) throw std::runtime_error("two nodes named " + name);
            }
        }
        return nodes;
    }

private:
    void skip_blanks() {
        while (at_ < text_.size()) {
            if (std::isspace(static_cast<unsigned char>(text_[at_]))) {
                ++at_;
            } else if (text_[at_] == '#') {
                while (at_ < text_.size() && text_[at_] != '\n') ++at_;
            } else {
                return;
            }
        }
    }

    std::string rest_of_line() {
        while (at_ < text_.size() && text_[at_] == ' ') ++at_;
        const size_t end = std::min(text_.find('\n', at_), text_.size());
        std::string rest = text_.substr(at_, end - at_);
        at_ = end;
        return rest;
    }

    Value token() {
        while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
        if (at_ >= text_.size()) throw std::runtime_error("the script ends inside a node");
        Value v;
        const char c = text_[at_];
        if (c == '{' || c == '}') {
            ++at_;
            v.text = std::string(1, c);
        } else if (c == '"') {
            for (++at_; text_.at(at_) != '"'; ++at_) {
                if (text_[at_] == '\\') v.text += text_.at(++at_) == 'n' ? '\n' : text_[at_];
                else v.text += text_[at_];
            }
            ++at_;
        } else {
            while (at_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[at_])) &&
                   text_[at_] != '{' && text_[at_] != '}')
                v.text += text_[at_++];
        }
        return v;
    }

    Value value_after(Value first) {
        if (first.text != "{") return first;
        Value group;
        group.group = true;
        for (Value item = token(); item.text != "}"; item = token()) group.items.push_back(value_after(item));
        return group;
    }

    std::string text_;
    size_t at_ = 0;
};

// A value at each frame: a number holds for every frame; {curve x1001 a
// x1002 b ...} keys frames; a one-value knob's animation comes in braces of
// its own ({{curve ...}}).
double at_frame(const Value& v, int frame) {
    if (!v.group) return std::stod(v.text);
    if (v.items.size() == 1 && v.items[0].group) return at_frame(v.items[0], frame);
    if (v.items.empty() || v.items[0].text != "curve") throw std::runtime_error("neither a number nor a curve");
    for (size_t i = 1; i + 1 < v.items.size(); i += 2)
        if (v.items[i].text == "x" + std::to_string(frame)) return std::stod(v.items[i + 1].text);
    throw std::runtime_error("no key at frame " + std::to_string(frame));
}

TEST(NukeScript, WiresTheRoundTripWithTheReportsNumbers) {
    ScratchFolder dir;
    CraftedPlate plate;
    plate.width = 200;
    plate.height = 120;
    // A folder name the script must quote (blank, braces, quotes), reached
    // through a link and "..": the Read names it as given, which the system
    // resolves as the command did, not as its text tidied would.
    const std::string folder = dir.file("deep/sh 010 {\"x\"}");
    std::filesystem::create_directories(folder);
    std::filesystem::create_directories(dir.file("deep/inner"));
    std::filesystem::create_directories(dir.file("via"));
    std::filesystem::create_directory_symlink(dir.file("deep/inner"), dir.file("via/link"));
    const std::string plate_pattern = dir.file("via/link/../sh 010 {\"x\"}/plate.#.exr");
    for (int frame = 1001; frame <= 1010; ++frame)
        write_plate(folder + "/plate." + std::to_string(frame) + ".exr", plate);
    const std::vector<std::string> shot = {"--plate", plate_pattern, "--fbx",
                                           fbx::testing::fixture("blender_take.fbx"), "--camera", "2", "--frames", "1001-1010",
                                           "--quiet"};
    const auto with = [&](std::vector<std::string> args) {
        args.insert(args.end(), shot.begin(), shot.end());
        return args;
    };
    CommandResult r = run_stmap(with({"overscan", "-o", dir.file("overscan.json")}));
    ASSERT_EQ(r.status, 0) << r.err;
    r = run_stmap(with({"camera", "--overscan-from", dir.file("overscan.json"), "--film-back", "36x24", "-o",
                        dir.file("camera.json")}));
    ASSERT_EQ(r.status, 0) << r.err;
    r = run_stmap(with({"nuke-script", "--overscan-from", dir.file("overscan.json"), "--haperture", "36",
                        "--remove-map", dir.file("maps/rd.%04d.exr"), "--add-map", dir.file("maps/ad.####.exr"),
                        "-o", dir.file("shot.nk")}));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::map<std::string, NkNode> nk = NkReader(read_bytes(dir.file("shot.nk"))).read();
    const py::object report = parse_json(read_bytes(dir.file("overscan.json")));
    const py::object camera = parse_json(read_bytes(dir.file("camera.json")));

    // The plate and both maps are read raw, over the shot's frames, with
    // the patterns as Nuke names a sequence.
    const std::map<std::string, std::string> files = {{"Plate", plate_pattern},
                                                      {"RemoveDistortionMap", dir.file("maps/rd.####.exr")},
                                                      {"AddDistortionMap", dir.file("maps/ad.####.exr")}};
    for (const auto& [name, file] : files) {
        SCOPED_TRACE(name);
        const NkNode& read = nk.at(name);
        EXPECT_EQ(read.type, "Read");
        EXPECT_EQ(read.text("file"), file);
        EXPECT_EQ(read.text("raw"), "true");
        EXPECT_EQ(read.text("first"), "1001");
        EXPECT_EQ(read.text("last"), "1010");
        EXPECT_EQ(read.text("format").substr(0, 17), "200 120 0 0 200 1");
    }
    EXPECT_EQ(nk.at("Root").text("first_frame"), "1001");
    EXPECT_EQ(nk.at("Root").text("last_frame"), "1010");

    // Plate -> STMap with the remove-distortion map -> the overscan's box
    // -> the comp -> STMap with the add-distortion map.
    const NkNode& remove = nk.at("RemoveDistortion");
    const NkNode& add = nk.at("AddDistortion");
    EXPECT_EQ(remove.type, "STMap");
    EXPECT_EQ(add.type, "STMap");
    EXPECT_EQ(remove.inputs, (std::vector<std::string>{"Plate", "RemoveDistortionMap"}));
    EXPECT_EQ(nk.at("OverscanBox").inputs, std::vector<std::string>{"RemoveDistortion"});
    EXPECT_EQ(nk.at("Comp").inputs, std::vector<std::string>{"OverscanBox"});
    EXPECT_EQ(add.inputs, (std::vector<std::string>{"Comp", "AddDistortionMap"}));
    EXPECT_EQ(remove.text("uv"), "rgb");
    EXPECT_EQ(nk.at("CompBackdrop").type, "BackdropNode");

    // The box: the format grown by the report's margins.
    const py::object m = report["overscan"];
    const Value& box = nk.at("OverscanBox").at("box");
    ASSERT_EQ(box.items.size(), 4u);
    EXPECT_EQ(std::stoi(box.items[0].text), -m["left"].cast<int>());
    EXPECT_EQ(std::stoi(box.items[1].text), -m["bottom"].cast<int>());
    EXPECT_EQ(std::stoi(box.items[2].text), 200 + m["right"].cast<int>());
    EXPECT_EQ(std::stoi(box.items[3].text), 120 + m["top"].cast<int>());
    EXPECT_GT(m["left"].cast<int>() + m["right"].cast<int>(), 0) << "the take's lens needs an overscan";

    // The camera of the plate's format, keyed at every frame with the
    // camera JSON's numbers (same film back width), and the report's.
    const NkNode& cam = nk.at("UndistortedCamera");
    EXPECT_EQ(cam.type, "Camera2");
    EXPECT_EQ(std::stod(cam.text("haperture")), 36.0);
    const Value& scale = cam.at("win_scale");
    const Value& translate = cam.at("win_translate");
    ASSERT_EQ(scale.items.size(), 2u);
    ASSERT_EQ(translate.items.size(), 2u);
    EXPECT_TRUE(cam.at("focal").group) << "the take zooms: the focal length is animated";
    const py::list frames = camera["undistorted_camera"];
    const py::list reported = report["undistorted_camera"];
    ASSERT_EQ(py::len(frames), 10u);
    for (const py::handle f : frames) {
        const int frame = f["frame"].cast<int>();
        SCOPED_TRACE(frame);
        EXPECT_DOUBLE_EQ(at_frame(cam.at("focal"), frame), f["focal"].cast<double>());
        EXPECT_DOUBLE_EQ(at_frame(cam.at("vaperture"), frame), f["vaperture"].cast<double>());
        EXPECT_DOUBLE_EQ(at_frame(scale.items[0], frame), 1.0);
        EXPECT_DOUBLE_EQ(at_frame(scale.items[1], frame), f["fx"].cast<double>() / f["fy"].cast<double>());
        // The format's own camera: the principal point at its centre.
        EXPECT_DOUBLE_EQ(at_frame(translate.items[0], frame), 0.0);
        EXPECT_DOUBLE_EQ(at_frame(translate.items[1], frame), 0.0);
        // The report measured the whole shot, these frames among it.
        bool found = false;
        for (const py::handle same : reported) {
            if (same["frame"].cast<int>() != frame) continue;
            found = true;
            EXPECT_DOUBLE_EQ(same["fx"].cast<double>(), f["fx"].cast<double>());
            EXPECT_DOUBLE_EQ(same["fy"].cast<double>(), f["fy"].cast<double>());
        }
        EXPECT_TRUE(found);
    }

    // Maps made at every third frame: the Reads still play 1001 to 1010,
    // and the Camera is keyed at each of those frames.
    std::vector<std::string> args = with({"nuke-script", "--haperture", "36", "--remove-map",
                                          dir.file("maps/rd.####.exr"), "--add-map", dir.file("maps/ad.####.exr"),
                                          "-o", dir.file("stepped.nk")});
    *std::find(args.begin(), args.end(), "1001-1010") = "1001-1010x3";
    r = run_stmap(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::map<std::string, NkNode> stepped = NkReader(read_bytes(dir.file("stepped.nk"))).read();
    EXPECT_EQ(stepped.at("Plate").text("first"), "1001");
    EXPECT_EQ(stepped.at("Plate").text("last"), "1010");
    for (const py::handle f : frames) {
        SCOPED_TRACE(f["frame"].cast<int>());
        EXPECT_DOUBLE_EQ(at_frame(stepped.at("UndistortedCamera").at("focal"), f["frame"].cast<int>()),
                         f["focal"].cast<double>());
    }
}

TEST(NukeScript, RefusesWithoutWhatTheScriptReads) {
    ScratchFolder dir;
    CraftedPlate plate;
    write_plate(dir.file("plate.exr"), plate);
    const std::string nk = dir.file("shot.nk");
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"--size", "64x36", "--remove-map", "r.####.exr", "--add-map", "a.####.exr", "-o", nk}, "give --plate"},
        {{"--plate", dir.file("plate.exr"), "--add-map", "a.####.exr", "-o", nk}, "give --remove-map and --add-map"},
        {{"--plate", dir.file("plate.exr"), "--remove-map", "r.####.exr", "--add-map", "a.####.exr"}, "give -o"},
        {{"--plate", dir.file("plate.exr"), "--remove-map", "r.%4d.exr", "--add-map", "a.####.exr", "-o", nk},
         "bad output pattern"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"nuke-script"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CommandResult r = run_stmap(args);
        EXPECT_EQ(r.status, 2) << c.message << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    // The script may not replace the plate it reads.
    const CommandResult r = run_stmap({"nuke-script", "--plate", dir.file("plate.exr"), "--remove-map", "r.exr",
                                       "--add-map", "a.exr", "-o", dir.file("plate.exr"), "--quiet"});
    EXPECT_NE(r.status, 0);
    EXPECT_FALSE(std::filesystem::exists(nk));
}

// A Read's file is its name's own text to Nuke: a name Nuke would run,
// expand or read as a frame number is refused, and so is a script that
// would land on a file it reads.
TEST(NukeScript, RefusesNamesNukeWouldReadAsOtherThanThemselves) {
    ScratchFolder dir;
    const std::string code = dir.file("[python {__import__(\"os\").system(\"touch pwned\")}]");
    std::filesystem::create_directories(code);
    const std::string p = dir.file("p.exr"), r = dir.file("r.####.exr"), a = dir.file("a.####.exr");
    const std::string nk = dir.file("s.nk");
    for (const std::string& file : {p, code + "/p.exr", dir.file("pl%05d.exr"), dir.file("plate#1.exr"),
                                    dir.file("shot%5d.exr"), dir.file("a\\b.exr")})
        write_plate(file, CraftedPlate());
    const struct {
        std::vector<std::string> plate_maps_output;
        std::string named;
    } cases[] = {
        {{code + "/p.exr", r, a, nk}, "--plate \"" + code + "/p.exr\" holds '['"},
        {{p, dir.file("$HOME/r.%04d.exr"), a, nk}, "--remove-map \"" + dir.file("$HOME/r.%04d.exr") + "\" holds '$'"},
        {{dir.file("a\\b.exr"), r, a, nk}, "holds '\\'"},
        {{dir.file("pl%05d.exr"), r, a, nk}, "--plate \"" + dir.file("pl%05d.exr") + "\" holds '%'"},
        {{dir.file("plate#1.exr"), r, a, nk}, "holds '#'"},
        {{dir.file("shot%5d.exr"), r, a, nk}, "holds '%'"},
        {{p, r, dir.file("a_%%04d_.%04d.exr"), nk}, "--add-map \"" + dir.file("a_%%04d_.%04d.exr") + "\" holds '%'"},
        {{p, r, a, dir.file("r.1001.exr")}, "is the remove-distortion map \"" + dir.file("r.1001.exr")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.named);
        const std::vector<std::string>& f = c.plate_maps_output;
        const CommandResult run = run_stmap({"nuke-script", "--plate", f[0], "--remove-map", f[1], "--add-map", f[2],
                                             "--frames", "1001", "-o", f[3], "--quiet"});
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(f[3]));
    }
}

}  // namespace
}  // namespace talvik::test
