// 2D tracks as CSV: a header naming the columns (name, frame, x and y,
// any others carried through), one point per line. Fields may be quoted
// as RFC 4180 says; every field but x and y is written back exactly as it
// was read, quotes included, and so is a byte-order mark before the header.
// Read and written a batch at a time, so a track of any length takes the
// same memory.
#pragma once

#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace talvik::pipeline {

struct TrackPoint {
    std::string name;
    int frame = 0;
    std::optional<double> x, y;  // none: the fields were empty
    int line = 0;                // in the file, from 1
    std::vector<std::string> raw;  // every field as read
};

struct TrackHeader {
    std::vector<std::string> raw;  // the header's fields as read
    std::size_t x_column = 0, y_column = 0;
    std::string line_end = "\n";   // "\r\n" when the header line used it
    bool byte_order_mark = false;  // the file began with UTF-8's
};

// One record (a line, or several for a quoted line break) may hold at most
// this many bytes: a quote never closed must not swallow the whole file.
inline constexpr std::size_t kMaxTrackRecordBytes = 1 << 20;

// Reads a track from `in`; `what` names the file in messages. Throws
// std::runtime_error naming the line and the field that is wrong: no
// header or a header without name, frame, x or y (or with one twice), a
// line with another number of fields or longer than kMaxTrackRecordBytes,
// a frame that is not a whole number, a coordinate that is not a finite
// number, or only one of x and y.
class TrackReader {
public:
    TrackReader(std::istream& in, std::string what);  // reads the header
    const TrackHeader& header() const { return header_; }
    // The next points into `batch` (emptied first): up to `max_points`, and
    // no more once they hold `max_bytes` of text. False when the file had
    // none left.
    bool read(std::vector<TrackPoint>& batch, std::size_t max_points, std::size_t max_bytes);

private:
    struct Field {
        std::string raw;    // as in the file
        std::string value;  // quotes removed
    };
    bool read_record(std::vector<Field>& fields);
    bool refill();
    int peek();  // the next byte, EOF at the end
    int next();  // the same, consumed

    std::istream& in_;
    std::string what_;
    TrackHeader header_;
    std::size_t name_column_ = 0, frame_column_ = 0;
    std::vector<char> buffer_;
    std::size_t pos_ = 0, end_ = 0;
    std::size_t consumed_ = 0;  // bytes of the file read so far
    int line_ = 1;
    std::string line_end_ = "\n";
};

// The byte-order mark when the file had one and the header line.
std::string track_header_text(const TrackHeader& header);

// The point's line with its x and y replaced (empty where none).
std::string track_line_text(const TrackHeader& header, const TrackPoint& point, std::optional<double> x,
                            std::optional<double> y);

}  // namespace talvik::pipeline
