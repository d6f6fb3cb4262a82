// The --plate input: one file whose header holds for every frame, or a
// sequence ("plate.####.exr", "plate.%04d.exr") whose frames each bring
// their own header, as a Read node reads them.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "shot/plate_header.h"

namespace talvik::shot {

class PlateSequence {
public:
    // A path naming an existing file, or without a frame field, is one
    // file (see names_one_file). A sequence reads the header
    // of every frame in `frames`, or of every frame found on disk when
    // `frames` is empty. Throws std::runtime_error naming the frame and its
    // file when a frame is missing or unreadable, or when its format
    // (display window, pixel aspect) differs from the first frame's.
    static PlateSequence open(const std::string& path, const std::vector<int>& frames);

    // Whether `path` is one file rather than a sequence: a file that
    // exists under the very name given is that file, whatever '#' or '%'
    // its name holds. Throws UsageError for any other path that is no
    // frame pattern (two frame fields, "%5d").
    static bool names_one_file(const std::string& path);

    bool is_sequence() const { return sequence_; }
    // The header the first frame brings; the only one of a single file.
    const PlateHeader& first() const;
    // The header of a frame; a single file's for any frame. Throws
    // std::out_of_range for a frame of a sequence that was not read.
    const PlateHeader& at(int frame) const;
    // A sequence's frames in the order read; empty for a single file.
    const std::vector<int>& frames() const { return frames_; }
    // The frames between the first and the last of a sequence found on
    // disk that are not there, as first and last frame of each gap; empty
    // when the frames were asked for (a missing one is then an error) or
    // for a single file.
    std::vector<std::pair<int, int>> gaps() const;
    // Every file read, and every other frame of a sequence on disk: what no
    // output may replace.
    std::vector<std::string> paths() const;

private:
    std::string pattern_;  // as given
    bool sequence_ = false;
    bool from_disk_ = false;
    std::map<int, PlateHeader> headers_;
    std::vector<int> frames_;
};

}  // namespace talvik::shot
