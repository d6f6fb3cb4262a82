#include "shot/plate_sequence.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "shot/frame_pattern.h"

namespace talvik::shot {
namespace {

std::string format_text(const PlateHeader& plate) {
    const Imath::Box2i& w = plate.display_window;
    std::string text = std::to_string(plate.width) + " x " + std::to_string(plate.height);
    if (w.min.x != 0 || w.min.y != 0)
        text += " at (" + std::to_string(w.min.x) + "," + std::to_string(w.min.y) + ")";
    const float aspect = plate.attributes.pixelAspectRatio();
    if (aspect != 1.0f) {
        char number[32];
        std::snprintf(number, sizeof number, "%g", aspect);
        text += std::string(", pixel aspect ") + number;
    }
    return text;
}

bool same_format(const PlateHeader& a, const PlateHeader& b) {
    return a.display_window == b.display_window &&
           a.attributes.pixelAspectRatio() == b.attributes.pixelAspectRatio();
}

// Frames of the sequence on disk, in frame order, as a Read node finds them.
// The frame field may be in a folder name ("pf/f_####/p.exr"): the folder
// above it is listed, and each name found completed with what follows.
std::vector<int> frames_on_disk(const FramePattern& pattern) {
    const std::string parent = pattern.fixed_folder();
    const std::filesystem::path folder = parent.empty() ? "." : parent;
    // Every frame's path starts with `parent`; what follows the name holding
    // the field is the same for all.
    const std::string text = pattern.path_for(0);
    const size_t field_slash = text.find('/', parent.empty() || parent.back() == '/' ? parent.size() : parent.size() + 1);
    const std::string below = field_slash == std::string::npos ? "" : text.substr(field_slash);
    std::vector<int> frames;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = (parent.empty() ? it->path().filename().string()
                                                 : (std::filesystem::path(parent) / it->path().filename()).string()) +
                                 below;
        std::error_code exists_ec;
        if (!below.empty() && !std::filesystem::exists(name, exists_ec)) continue;
        if (const std::optional<int> frame = pattern.frame_of(name)) frames.push_back(*frame);
    }
    if (ec)
        throw std::runtime_error("plate sequence \"" + pattern.text() + "\": cannot list folder \"" +
                                 folder.string() + "\": " + ec.message());
    std::sort(frames.begin(), frames.end());
    if (frames.empty())
        throw std::runtime_error("plate sequence \"" + pattern.text() + "\" has no frames in \"" +
                                 folder.string() + "\"");
    return frames;
}

}  // namespace

bool PlateSequence::names_one_file(const std::string& path) {
    std::error_code ec;
    // Asked before the name is read as a pattern, which it need not be.
    return std::filesystem::is_regular_file(path, ec) || !FramePattern::parse(path).has_frame_field();
}

PlateSequence PlateSequence::open(const std::string& path, const std::vector<int>& frames) {
    PlateSequence plates;
    plates.pattern_ = path;
    if (names_one_file(path)) {
        plates.headers_.emplace(0, read_plate_header(path));
        return plates;
    }
    const FramePattern pattern = FramePattern::parse(path);
    std::error_code ec;
    plates.sequence_ = true;
    plates.from_disk_ = frames.empty();
    plates.frames_ = frames.empty() ? frames_on_disk(pattern) : frames;
    const PlateHeader* first = nullptr;
    for (int frame : plates.frames_) {
        const std::string file = pattern.path_for(frame);
        if (!std::filesystem::exists(file, ec))
            throw std::runtime_error("plate frame " + std::to_string(frame) + " is missing: no file \"" +
                                     file + "\"");
        PlateHeader header;
        try {
            header = read_plate_header(file);
        } catch (const std::exception& e) {
            throw std::runtime_error("plate frame " + std::to_string(frame) + ": " + e.what());
        }
        if (first && !same_format(*first, header))
            throw std::runtime_error("plate frame " + std::to_string(frame) + " (\"" + file + "\") is " +
                                     format_text(header) + " but frame " + std::to_string(plates.frames_[0]) +
                                     " is " + format_text(*first) +
                                     ": every frame of a plate sequence must have one format");
        const PlateHeader& stored = plates.headers_.emplace(frame, std::move(header)).first->second;
        if (!first) first = &stored;
    }
    return plates;
}

const PlateHeader& PlateSequence::first() const {
    return sequence_ ? headers_.at(frames_.front()) : headers_.begin()->second;
}

const PlateHeader& PlateSequence::at(int frame) const {
    if (!sequence_) return headers_.begin()->second;
    const auto it = headers_.find(frame);
    if (it == headers_.end())
        throw std::out_of_range("plate frame " + std::to_string(frame) + " was not read");
    return it->second;
}

std::vector<std::pair<int, int>> PlateSequence::gaps() const {
    std::vector<std::pair<int, int>> gaps;
    if (!from_disk_) return gaps;
    // Sorted, as found on disk.
    for (size_t i = 1; i < frames_.size(); ++i)
        if (frames_[i] - 1 > frames_[i - 1]) gaps.emplace_back(frames_[i - 1] + 1, frames_[i] - 1);
    return gaps;
}

std::vector<std::string> PlateSequence::paths() const {
    std::vector<std::string> out;
    for (const auto& [frame, header] : headers_) out.push_back(header.path);
    if (!sequence_) return out;
    const FramePattern pattern = FramePattern::parse(pattern_);
    try {
        for (int frame : frames_on_disk(pattern))
            if (!headers_.count(frame)) out.push_back(pattern.path_for(frame));
    } catch (const std::exception&) {
        // The folder read a moment ago is gone: the frames read still count.
    }
    return out;
}

}  // namespace talvik::shot
