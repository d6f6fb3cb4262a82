// Output file names with a frame field, as in Nuke's Write node:
// "out/stmap.####.exr" or "out/stmap.%04d.exr".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvik::shot {

class FramePattern {
public:
    // Recognised frame fields: a run of '#' (its length is the padding
    // width), "%d" and "%0Nd", in the file name or in a folder name. "%%"
    // stands for one '%', as in printf; any other '%' not starting a field
    // is kept as it is. Throws UsageError for an empty pattern, "%Nd"
    // without the zero, or more than one frame field.
    static FramePattern parse(std::string_view pattern);

    const std::string& text() const { return text_; }
    bool has_frame_field() const { return width_ >= 0; }

    // The file name for one frame. Padding counts the sign as printf does,
    // so frame -5 in "####" gives "-005". Without a frame field: the
    // pattern itself.
    std::string path_for(int frame) const;
    // The frame whose name `path` is (path_for(frame) == path), if any.
    std::optional<int> frame_of(std::string_view path) const;

    // The folder every frame's file is in, up to the first folder name
    // holding the frame field ("" for the current folder).
    std::string fixed_folder() const;
    // The file name's text before the frame field; the whole file name
    // when the field is in a folder name or absent.
    std::string file_name_prefix() const;
    // The pattern as Nuke's Read names a sequence: the frame field as a run
    // of '#' as long as its padding ("%04d" -> "####"); "%d", which pads
    // nothing, as it is.
    std::string nuke_text() const;

private:
    std::string text_;
    std::string prefix_;
    std::string suffix_;
    int width_ = -1;  // -1: no frame field; 0: "%d", no padding
};

// Throws UsageError if the pattern has no frame field but more
// than one frame is to be rendered (every frame would overwrite the last).
void check_pattern_fits_frames(const FramePattern& pattern, const std::vector<int>& frames);

}  // namespace talvik::shot
