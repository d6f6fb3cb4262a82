#include "pipeline/points/track_csv.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace talvik::pipeline {
namespace {

constexpr std::size_t kReadBytes = 1 << 16;

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

int parse_frame(const std::string& text, const std::string& where) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < INT_MIN || value > INT_MAX)
        throw std::runtime_error(where + ": frame " + quoted(text) + " is not a whole number");
    return static_cast<int>(value);
}

std::optional<double> parse_coordinate(const std::string& name, const std::string& text, const std::string& where) {
    if (text.empty()) return std::nullopt;
    const bool plus = text.size() > 1 && text[0] == '+' && text[1] != '-';
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data() + (plus ? 1 : 0), end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value))
        throw std::runtime_error(where + ": " + name + " " + quoted(text) + " is not a finite number");
    return value;
}

// The number in the fewest digits that read back as the same double.
std::string number_text(double value) {
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return ec == std::errc() ? std::string(text, end) : std::string();
}

}  // namespace

TrackReader::TrackReader(std::istream& in, std::string what) : in_(in), what_(std::move(what)) {
    buffer_.resize(kReadBytes);
    // A byte-order mark, as spreadsheets write one; written back the same.
    if (peek() == 0xEF && end_ - pos_ >= 3 && std::memcmp(&buffer_[pos_], "\xEF\xBB\xBF", 3) == 0) {
        pos_ += 3;
        header_.byte_order_mark = true;
    }
    std::vector<Field> fields;
    read_record(fields);
    header_.line_end = line_end_;
    if (fields.size() == 1 && fields[0].raw.empty())
        throw std::runtime_error(what_ + " line 1: no header (it needs name, frame, x and y)");
    std::optional<std::size_t> columns[4];
    const char* const names[] = {"name", "frame", "x", "y"};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        header_.raw.push_back(fields[i].raw);
        for (int n = 0; n < 4; ++n) {
            if (fields[i].value != names[n]) continue;
            if (columns[n])
                throw std::runtime_error(what_ + " line 1: column " + quoted(names[n]) + " is named twice");
            columns[n] = i;
        }
    }
    for (int n = 0; n < 4; ++n)
        if (!columns[n])
            throw std::runtime_error(what_ + " line 1: the header has no " + quoted(names[n]) +
                                     " column (it needs name, frame, x and y)");
    name_column_ = *columns[0];
    frame_column_ = *columns[1];
    header_.x_column = *columns[2];
    header_.y_column = *columns[3];
}

bool TrackReader::refill() {
    pos_ = end_ = 0;
    if (in_.eof()) return false;
    errno = 0;
    in_.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    if (in_.bad())
        throw std::runtime_error("cannot read " + what_ + ": " + std::strerror(errno ? errno : EIO));
    end_ = static_cast<std::size_t>(in_.gcount());
    return end_ > 0;
}

int TrackReader::peek() {
    if (pos_ == end_ && !refill()) return EOF;
    return static_cast<unsigned char>(buffer_[pos_]);
}

int TrackReader::next() {
    const int c = peek();
    if (c != EOF) {
        ++pos_;
        ++consumed_;
    }
    return c;
}

// Reads the fields of one record; a quoted field may hold commas, doubled
// quotes and line breaks. False at the end of the file.
bool TrackReader::read_record(std::vector<Field>& fields) {
    fields.assign(1, Field{});
    if (peek() == EOF) return false;
    const int first_line = line_;
    const std::size_t start = consumed_;
    const auto check_length = [&] {
        if (consumed_ - start > kMaxTrackRecordBytes)
            throw std::runtime_error(what_ + " line " + std::to_string(first_line) + ": longer than " +
                                     std::to_string(kMaxTrackRecordBytes) +
                                     " bytes (is a quote never closed?)");
    };
    for (int c = next(); c != EOF; c = next()) {
        check_length();
        Field& field = fields.back();
        if (c == '"' && field.raw.empty()) {
            field.raw += '"';
            for (;;) {
                const int q = next();
                check_length();
                if (q == EOF)
                    throw std::runtime_error(what_ + " line " + std::to_string(first_line) +
                                             ": a quote is never closed");
                if (q == '"' && peek() == '"') {
                    next();
                    field.raw += "\"\"";
                    field.value += '"';
                } else if (q == '"') {
                    field.raw += '"';
                    break;
                } else {
                    if (q == '\n') ++line_;
                    field.raw += static_cast<char>(q);
                    field.value += static_cast<char>(q);
                }
            }
            const int after = peek();
            if (after != EOF && after != ',' && after != '\n' && after != '\r')
                throw std::runtime_error(what_ + " line " + std::to_string(line_) +
                                         ": text after a closing quote (a quote inside a field is written \"\")");
            continue;
        }
        if (c == ',') {
            fields.emplace_back();
            continue;
        }
        if (c == '\n') break;
        if (c == '\r' && peek() == '\n') {
            next();
            line_end_ = "\r\n";
            break;
        }
        field.raw += static_cast<char>(c);
        field.value += static_cast<char>(c);
    }
    ++line_;
    return true;
}

bool TrackReader::read(std::vector<TrackPoint>& batch, std::size_t max_points, std::size_t max_bytes) {
    batch.clear();
    const std::size_t start = consumed_;
    std::vector<Field> fields;
    while (batch.size() < max_points && consumed_ - start < max_bytes) {
        const int first_line = line_;
        if (!read_record(fields)) break;
        if (fields.size() == 1 && fields[0].raw.empty()) continue;  // a blank line
        const std::string where = what_ + " line " + std::to_string(first_line);
        if (fields.size() != header_.raw.size())
            throw std::runtime_error(where + ": " + std::to_string(fields.size()) + " fields, the header has " +
                                     std::to_string(header_.raw.size()));
        TrackPoint point;
        point.line = first_line;
        point.name = fields[name_column_].value;
        point.frame = parse_frame(fields[frame_column_].value, where);
        point.x = parse_coordinate("x", fields[header_.x_column].value, where);
        point.y = parse_coordinate("y", fields[header_.y_column].value, where);
        if (point.x.has_value() != point.y.has_value())
            throw std::runtime_error(where + ": x and y must both be given or both be empty");
        for (Field& f : fields) point.raw.push_back(std::move(f.raw));
        batch.push_back(std::move(point));
    }
    return !batch.empty();
}

std::string track_header_text(const TrackHeader& header) {
    std::string out = header.byte_order_mark ? "\xEF\xBB\xBF" : "";
    for (std::size_t i = 0; i < header.raw.size(); ++i) out += (i ? "," : "") + header.raw[i];
    return out + header.line_end;
}

std::string track_line_text(const TrackHeader& header, const TrackPoint& point, std::optional<double> x,
                            std::optional<double> y) {
    std::string out;
    for (std::size_t i = 0; i < point.raw.size(); ++i) {
        if (i) out += ',';
        if (i == header.x_column) out += x ? number_text(*x) : "";
        else if (i == header.y_column) out += y ? number_text(*y) : "";
        else out += point.raw[i];
    }
    return out + header.line_end;
}

}  // namespace talvik::pipeline
