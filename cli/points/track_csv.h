// 2D tracks as CSV: a header naming the columns (name, frame, x and y,
// any others carried through), one point per line. Fields may be quoted
// as RFC 4180 says; every field but x and y is written back exactly as it
// was read, quotes included.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace talvik::cli {

struct TrackPoint {
    std::string name;
    int frame = 0;
    std::optional<double> x, y;  // none: the fields were empty
    int line = 0;                // in the file, from 1
};

struct TrackCsv {
    std::vector<std::string> header;           // raw header fields
    std::vector<std::vector<std::string>> rows;  // raw fields of each point line
    std::vector<TrackPoint> points;            // one per row
    std::size_t x_column = 0, y_column = 0;
    std::string line_end = "\n";               // "\r\n" when the file used it
};

// Parses CSV text; `what` names the file in messages. Throws
// std::runtime_error naming the line and the field that is wrong: no
// header or a header without name, frame, x or y (or with one twice), a
// line with another number of fields, a frame that is not a whole number,
// a coordinate that is not a finite number, or only one of x and y.
TrackCsv parse_track_csv(const std::string& text, const std::string& what);

// The same CSV with each point's x and y replaced (empty where none).
std::string write_track_csv(const TrackCsv& track, const std::vector<std::optional<double>>& x,
                            const std::vector<std::optional<double>>& y);

}  // namespace talvik::cli
