// The stand-in host: loads plug-ins, keeps nodes and their controls, runs
// panel passes and scripts, validates and renders.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DDImage/ChannelSet.h"
#include "DDImage/Format.h"
#include "host/runtime/metadata.h"
#include "host/runtime/node.h"

namespace DD::Image {
class Iop;
class Row;
}

namespace talvik::host {

class PluginLoader;
class ThreadPool;

// Red, green, blue and alpha of a rendered frame: the pixels of the node's
// bounding box, its bottom row first. The box may reach beyond the format on
// every side, or lie inside it.
struct Image {
    int x = 0;  // host pixel of the first value: the box's left column
    int y = 0;  // and its bottom row
    int width = 0;
    int height = 0;
    DD::Image::Format format;       // the format the box belongs to
    std::vector<float> channel[4];  // r, g, b, a; width * height each
    int r() const { return x + width; }
    int t() const { return y + height; }
    // At host pixel (px, py), which must lie in the box.
    float at(int c, int px, int py) const {
        return channel[c][static_cast<size_t>(py - y) * width + static_cast<size_t>(px - x)];
    }
};

// Runs a script-button's text with `node` as the current node.
using ScriptRunner = std::function<void(Node& node, const std::string& script)>;
using MessageSink = std::function<void(const std::string& text)>;

class Host {
public:
    explicit Host(std::vector<std::string> plugin_path = {});
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Nodes. create_node loads the class's plug-in when needed, builds the
    // operator through its factory and creates its controls.
    Node& create_node(const std::string& class_name);
    // A black input with a format and metadata, like a Read node; its
    // bounding box is the format, or `bbox`.
    Node& create_source(const DD::Image::Format& format, Metadata metadata = {});
    Node& create_source(const DD::Image::Format& format, const DD::Image::Box& bbox,
                        Metadata metadata = {});
    // Replaces a source's metadata, as a Read node's changes from frame to
    // frame of a sequence. Throws std::invalid_argument for any other node.
    void set_metadata(Node& source, Metadata metadata);
    // Replaces a source's bounding box, as a Read node's data window changes
    // from frame to frame. Throws std::invalid_argument for any other node.
    void set_bbox(Node& source, const DD::Image::Box& bbox);
    void delete_node(Node& node);
    const std::vector<std::unique_ptr<Node>>& nodes() const { return nodes_; }
    void connect(Node& node, int input, Node* from);
    // The live node with that id, or null once it has been deleted.
    Node* find_node(unsigned long long id) const;

    std::vector<Node*> selected_nodes() const;
    void select_only(Node* node);

    // Time.
    double frame() const { return frame_; }
    void set_frame(double frame);

    // Panel passes and changes made by a user or a script.
    void store(Node& node);  // at the current frame
    void open_panel(Node& node);
    void set_value(Node& node, const std::string& knob, double value, int component = -1);
    void set_text(Node& node, const std::string& knob, const std::string& text);
    void press(Node& node, const std::string& button);

    // Metadata reaching the node's output.
    Metadata metadata(const Node& node) const;

    // Rendering: a store pass at `frame`, validation, then every row and
    // column of the node's validated bounding box, as Nuke asks for them
    // (the whole of `fallback` when the node has no format).
    Image render(Node& node, double frame, const DD::Image::Format& fallback = {});
    // The same into an image that is reused from frame to frame; only the
    // channels in `keep` (of red to alpha) are stored.
    void render_into(Node& node, double frame, Image& image,
                     const DD::Image::ChannelSet& keep = DD::Image::Mask_RGBA,
                     const DD::Image::Format& fallback = {});
    int threads() const;
    void set_threads(int threads);

    // Rendering in bands, for a caller that consumes rows as they come:
    // begin_render does the store pass and validation of render_into and
    // sets `image`'s box and format, leaving its channels empty. Then
    // run_tasks spreads the caller's tasks over the render threads and each
    // task renders rows of that box with render_band, as worker `worker`.
    void begin_render(Node& node, double frame, Image& image, const DD::Image::Format& fallback = {});
    void run_tasks(int tasks, const std::function<void(int worker, int task)>& work);
    // Rows first_row .. first_row + rows - 1 of the box begun (0 = its
    // bottom) into planes[c] for red to alpha, `rows` lines of the box's
    // width each, bottom first; a null plane is not rendered. Allocates
    // nothing and takes no lock.
    void render_band(int worker, int first_row, int rows, float* const planes[4]);

    // Scripting and messages.
    void set_script_runner(ScriptRunner runner) { script_runner_ = std::move(runner); }
    void set_alert_sink(MessageSink sink) { alert_sink_ = std::move(sink); }
    void set_output_sink(MessageSink sink) { output_sink_ = std::move(sink); }
    void alert(const std::string& text) const;
    void output(const std::string& text) const;
    // Asked while a script runs: when it says true, the script is stopped
    // (Python raises KeyboardInterrupt at its next line).
    void set_stop_check(std::function<bool()> check) { stop_check_ = std::move(check); }
    bool stop_requested() const { return stop_check_ && stop_check_(); }

    // Operators alive, for leak checks.
    static long live_ops();

private:
    DD::Image::Iop& prepare(Node& node, double frame);
    void prepare_rows(const Image& image);
    void notify_changed(Node& node, DD::Image::Knob& knob);
    std::string unique_name(const std::string& class_name);

    std::unique_ptr<PluginLoader> plugins_;
    std::unique_ptr<ThreadPool> pool_;
    std::vector<std::unique_ptr<DD::Image::Row>> rows_;  // one per worker, kept between frames
    DD::Image::Iop* begun_ = nullptr;  // the render begun, and its box
    DD::Image::Box begun_box_;
    std::vector<std::unique_ptr<Node>> nodes_;
    double frame_ = 1.0;
    unsigned long long next_id_ = 1;
    ScriptRunner script_runner_;
    MessageSink alert_sink_;
    MessageSink output_sink_;
    std::function<bool()> stop_check_;
};

}  // namespace talvik::host
