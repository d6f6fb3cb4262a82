#include "host/runtime/host.h"

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "DDImage/Iop.h"
#include "DDImage/Knobs.h"
#include "DDImage/Row.h"
#include "host/runtime/knob_passes.h"
#include "host/runtime/plugin_loader.h"
#include "host/runtime/source_iop.h"
#include "host/runtime/thread_pool.h"
#include "io/usable_cpus.h"

namespace DD {
namespace Image {

long live_op_count();

// The host's way into operator state plug-ins cannot reach.
class HostAccess {
public:
    static void set_input(Op& op, int n, Op* from) {
        if (n >= static_cast<int>(op.input_ops_.size())) op.input_ops_.resize(static_cast<size_t>(n) + 1);
        op.input_ops_[static_cast<size_t>(n)] = from;
    }
};

}  // namespace Image
}  // namespace DD

namespace talvik::host {

using DD::Image::Knob;

namespace {

int default_threads() { return io::usable_cpu_count(); }

}  // namespace

Host::Host(std::vector<std::string> plugin_path)
    : plugins_(std::make_unique<PluginLoader>(std::move(plugin_path))),
      pool_(std::make_unique<ThreadPool>(default_threads())) {}

Host::~Host() {
    while (!nodes_.empty()) delete_node(*nodes_.back());
}

long Host::live_ops() { return DD::Image::live_op_count(); }

std::string Host::unique_name(const std::string& class_name) {
    for (int i = 1;; ++i) {
        const std::string name = class_name + std::to_string(i);
        const bool taken = std::any_of(nodes_.begin(), nodes_.end(),
                                       [&](const auto& n) { return n->name() == name; });
        if (!taken) return name;
    }
}

Node& Host::create_node(const std::string& class_name) {
    const DD::Image::Op::Description* d = DD::Image::Op::Description::find(class_name.c_str());
    if (!d && plugins_->load(class_name)) d = DD::Image::Op::Description::find(class_name.c_str());
    if (!d) {
        std::string folders;
        for (const std::string& f : plugins_->path()) folders += (folders.empty() ? "" : ":") + f;
        // A library that loaded but registered nothing is named: it is not
        // the plug-in its file name promises.
        const std::string loaded = plugins_->loaded_file(class_name);
        throw std::runtime_error("unknown node class " + class_name + " (plug-in path: " +
                                 (folders.empty() ? "empty" : folders) + ")" +
                                 (loaded.empty() ? "" : ": loaded " + loaded + ", which registers no such class"));
    }
    auto node = std::make_unique<Node>(this, class_name, unique_name(class_name));
    node->op(d->constructor(node.get()));
    if (!node->op()) throw std::runtime_error("the factory of " + class_name + " made nothing");
    node->id = next_id_++;
    create_knobs_pass(*node);
    nodes_.push_back(std::move(node));
    return *nodes_.back();
}

Node& Host::create_source(const DD::Image::Format& format, Metadata metadata) {
    return create_source(format, DD::Image::Box(0, 0, format.width(), format.height()), std::move(metadata));
}

Node& Host::create_source(const DD::Image::Format& format, const DD::Image::Box& bbox, Metadata metadata) {
    auto node = std::make_unique<Node>(this, "Source", unique_name("Source"));
    node->op(new SourceIop(node.get(), format, bbox, std::move(metadata)));
    node->id = next_id_++;
    nodes_.push_back(std::move(node));
    return *nodes_.back();
}

void Host::set_metadata(Node& source, Metadata metadata) {
    auto* op = dynamic_cast<SourceIop*>(source.op());
    if (!op) throw std::invalid_argument(source.name() + " is not a source and holds no metadata of its own");
    op->set_metadata(std::move(metadata));
    op->invalidate();
}

void Host::set_bbox(Node& source, const DD::Image::Box& bbox) {
    auto* op = dynamic_cast<SourceIop*>(source.op());
    if (!op) throw std::invalid_argument(source.name() + " is not a source and has no bounding box of its own");
    op->set_bbox(bbox);
    op->invalidate();
}

void Host::delete_node(Node& node) {
    begun_ = nullptr;
    for (auto& other : nodes_) {
        for (int i = 0; i < static_cast<int>(other->inputs().size()); ++i) {
            if (other->input(i) == &node) connect(*other, i, nullptr);
        }
    }
    nodes_.erase(std::remove_if(nodes_.begin(), nodes_.end(),
                                [&](const auto& n) { return n.get() == &node; }),
                 nodes_.end());
}

void Host::connect(Node& node, int input, Node* from) {
    DD::Image::Op& op = *node.op();
    if (input < 0 || input >= std::max(op.maximum_inputs(), 1)) {
        throw std::out_of_range(node.name() + " has no input " + std::to_string(input));
    }
    if (input >= op.inputs()) op.inputs(input + 1);
    node.set_input(input, from);
    DD::Image::HostAccess::set_input(op, input, from ? from->op() : nullptr);
    op.invalidate();
}

Node* Host::find_node(unsigned long long id) const {
    for (const auto& n : nodes_) {
        if (n->id == id) return n.get();
    }
    return nullptr;
}

std::vector<Node*> Host::selected_nodes() const {
    std::vector<Node*> out;
    for (const auto& n : nodes_) {
        if (n->selected) out.push_back(n.get());
    }
    return out;
}

void Host::select_only(Node* node) {
    for (auto& n : nodes_) n->selected = n.get() == node;
}

void Host::set_frame(double frame) { frame_ = frame; }

void Host::store(Node& node) {
    store_knobs_pass(node, frame_);
    node.op()->invalidate();
}

void Host::open_panel(Node& node) {
    store(node);
    node.op()->knob_changed(&Knob::showPanel);
}

void Host::notify_changed(Node& node, Knob& knob) {
    store(node);
    node.op()->knob_changed(&knob);
}

static Knob& require_knob(Node& node, const std::string& name) {
    Knob* k = node.knob(name);
    if (!k) throw std::invalid_argument(node.name() + " has no control named " + name);
    return *k;
}

void Host::set_value(Node& node, const std::string& name, double value, int component) {
    Knob& k = require_knob(node, name);
    if (k.components() == 0 || k.store_type() == DD::Image::StringPtr) {
        throw std::invalid_argument(node.name() + "." + name + " holds no number");
    }
    k.set_value(value, component);
    notify_changed(node, k);
}

void Host::set_text(Node& node, const std::string& name, const std::string& text) {
    Knob& k = require_knob(node, name);
    if (k.store_type() != DD::Image::StringPtr) {
        throw std::invalid_argument(node.name() + "." + name + " holds no text");
    }
    k.set_text(text.c_str());
    notify_changed(node, k);
}

void Host::press(Node& node, const std::string& button) {
    Knob& k = require_knob(node, button);
    if (k.type() != PYSCRIPT_KNOB) throw std::invalid_argument(node.name() + "." + button + " is not a button");
    if (!script_runner_) throw std::runtime_error("this host runs no scripts");
    const char* script = static_cast<const char*>(k.extra());
    script_runner_(node, script ? script : "");
}

Metadata Host::metadata(const Node& node) const {
    if (const auto* source = dynamic_cast<const SourceIop*>(node.op())) return source->metadata();
    if (const Node* in = node.input(0)) return metadata(*in);
    return {};
}

void Host::alert(const std::string& text) const {
    if (alert_sink_) alert_sink_(text);
}

void Host::output(const std::string& text) const {
    if (output_sink_) output_sink_(text);
}

int Host::threads() const { return pool_->size(); }

void Host::set_threads(int threads) {
    if (threads < 1) throw std::invalid_argument("thread count must be at least 1");
    if (threads == pool_->size()) return;
    begun_ = nullptr;  // its rows belong to the old workers
    // The old workers go first: under a thread or memory limit they are
    // what the new ones need room for.
    pool_.reset();
    try {
        pool_ = std::make_unique<ThreadPool>(threads);
    } catch (...) {
        pool_ = std::make_unique<ThreadPool>(1);  // starts no thread
        throw;
    }
}

// A store pass at the frame, then validation of the node and its inputs.
DD::Image::Iop& Host::prepare(Node& node, double frame) {
    set_frame(frame);
    store(node);
    node.op()->validate(true);
    auto* iop = dynamic_cast<DD::Image::Iop*>(node.op());
    if (!iop) throw std::invalid_argument(node.name() + " does not make images");
    return *iop;
}

Image Host::render(Node& node, double frame, const DD::Image::Format& fallback) {
    Image image;
    render_into(node, frame, image, DD::Image::Mask_RGBA, fallback);
    return image;
}

void Host::begin_render(Node& node, double frame, Image& image, const DD::Image::Format& fallback) {
    begun_ = nullptr;
    DD::Image::Iop& iop = prepare(node, frame);
    image.format = iop.format();
    DD::Image::Box box = iop.info();
    if (image.format.width() <= 0 || image.format.height() <= 0) {
        image.format = fallback;
        box.set(0, 0, fallback.width(), fallback.height());
    }
    if (image.format.width() <= 0 || image.format.height() <= 0) {
        throw std::invalid_argument(node.name() + " has no format to render");
    }
    if (box.w() <= 0 || box.h() <= 0) {
        throw std::invalid_argument(node.name() + " has an empty bounding box");
    }
    image.x = box.x();
    image.y = box.y();
    image.width = box.w();
    image.height = box.h();
    for (auto& c : image.channel) c.clear();
    prepare_rows(image);
    begun_ = &iop;
    begun_box_ = box;
}

void Host::run_tasks(int tasks, const std::function<void(int worker, int task)>& work) { pool_->run(tasks, work); }

// One Row per worker, spanning the box's columns.
void Host::prepare_rows(const Image& image) {
    if (static_cast<int>(rows_.size()) == pool_->size() && rows_.front()->getLeft() == image.x &&
        rows_.front()->getRight() == image.r())
        return;
    rows_.clear();
    for (int w = 0; w < pool_->size(); ++w) rows_.push_back(std::make_unique<DD::Image::Row>(image.x, image.r()));
}

void Host::render_band(int worker, int first_row, int rows, float* const planes[4]) {
    using DD::Image::Channel;
    if (!begun_) throw std::logic_error("render_band without begin_render");
    DD::Image::ChannelSet wanted;
    for (int c = 0; c < 4; ++c)
        if (planes[c]) wanted += static_cast<Channel>(DD::Image::Chan_Red + c);
    if (wanted.empty()) return;
    const size_t width = static_cast<size_t>(begun_box_.w());
    DD::Image::Row& row = *rows_[static_cast<size_t>(worker)];
    for (int i = 0; i < rows; ++i) {
        // The rows are written straight into the planes.
        for (int c = 0; c < 4; ++c) {
            row.bind(static_cast<Channel>(DD::Image::Chan_Red + c),
                     planes[c] ? planes[c] + static_cast<size_t>(i) * width : nullptr);
        }
        begun_->get(begun_box_.y() + first_row + i, begun_box_.x(), begun_box_.r(), wanted, row);
    }
    for (int c = 0; c < 4; ++c) row.bind(static_cast<Channel>(DD::Image::Chan_Red + c), nullptr);
}

void Host::render_into(Node& node, double frame, Image& image, const DD::Image::ChannelSet& keep,
                       const DD::Image::Format& fallback) {
    begin_render(node, frame, image, fallback);
    const size_t width = static_cast<size_t>(image.width);
    float* planes[4] = {};
    for (int c = 0; c < 4; ++c) {
        if (!keep.contains(static_cast<DD::Image::Channel>(DD::Image::Chan_Red + c))) continue;
        // Every stored pixel is written by the rows below: no clearing needed.
        image.channel[c].resize(width * static_cast<size_t>(image.height));
        planes[c] = image.channel[c].data();
    }
    pool_->run(image.height, [&](int worker, int i) {
        float* row_planes[4];
        for (int c = 0; c < 4; ++c) row_planes[c] = planes[c] ? planes[c] + static_cast<size_t>(i) * width : nullptr;
        render_band(worker, i, 1, row_planes);
    });
}

}  // namespace talvik::host
