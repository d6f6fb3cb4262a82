#include "cli/points/track_csv.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <stdexcept>

namespace talvik::cli {
namespace {

struct Field {
    std::string raw;    // as in the file
    std::string value;  // quotes removed
};

// Reads the fields of one record from `at`; a quoted field may hold commas,
// doubled quotes and line breaks. Leaves `at` past the record's line end.
std::vector<Field> read_record(const std::string& text, std::size_t& at, int& line, const std::string& what,
                               std::string& line_end) {
    std::vector<Field> fields(1);
    const int first_line = line;
    while (at < text.size()) {
        const char c = text[at];
        Field& field = fields.back();
        if (c == '"' && field.raw.empty()) {
            field.raw += c;
            for (++at;; ++at) {
                if (at >= text.size())
                    throw std::runtime_error(what + " line " + std::to_string(first_line) + ": a quote is never closed");
                if (text[at] == '"' && at + 1 < text.size() && text[at + 1] == '"') {
                    field.raw += "\"\"";
                    field.value += '"';
                    ++at;
                } else if (text[at] == '"') {
                    field.raw += '"';
                    ++at;
                    break;
                } else {
                    if (text[at] == '\n') ++line;
                    field.raw += text[at];
                    field.value += text[at];
                }
            }
            if (at < text.size() && text[at] != ',' && text[at] != '\n' && text[at] != '\r')
                throw std::runtime_error(what + " line " + std::to_string(line) +
                                         ": text after a closing quote (a quote inside a field is written \"\")");
            continue;
        }
        if (c == ',') {
            fields.emplace_back();
            ++at;
            continue;
        }
        if (c == '\n' || (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n')) {
            if (c == '\r') line_end = "\r\n";
            at += c == '\r' ? 2 : 1;
            break;
        }
        field.raw += c;
        field.value += c;
        ++at;
    }
    ++line;
    return fields;
}

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

TrackCsv parse_track_csv(const std::string& text, const std::string& what) {
    TrackCsv track;
    // A byte-order mark, as spreadsheets write one.
    std::size_t at = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    int line = 1;
    std::string line_end = "\n";
    std::vector<Field> header = read_record(text, at, line, what, line_end);
    track.line_end = line_end;
    if (header.size() == 1 && header[0].raw.empty())
        throw std::runtime_error(what + " line 1: no header (it needs name, frame, x and y)");
    std::optional<std::size_t> columns[4];
    const char* const names[] = {"name", "frame", "x", "y"};
    for (std::size_t i = 0; i < header.size(); ++i) {
        track.header.push_back(header[i].raw);
        for (int n = 0; n < 4; ++n) {
            if (header[i].value != names[n]) continue;
            if (columns[n])
                throw std::runtime_error(what + " line 1: column " + quoted(names[n]) + " is named twice");
            columns[n] = i;
        }
    }
    for (int n = 0; n < 4; ++n)
        if (!columns[n])
            throw std::runtime_error(what + " line 1: the header has no " + quoted(names[n]) +
                                     " column (it needs name, frame, x and y)");
    track.x_column = *columns[2];
    track.y_column = *columns[3];
    while (at < text.size()) {
        const int first_line = line;
        std::vector<Field> fields = read_record(text, at, line, what, line_end);
        if (fields.size() == 1 && fields[0].raw.empty()) continue;  // a blank line
        const std::string where = what + " line " + std::to_string(first_line);
        if (fields.size() != header.size())
            throw std::runtime_error(where + ": " + std::to_string(fields.size()) + " fields, the header has " +
                                     std::to_string(header.size()));
        TrackPoint point;
        point.line = first_line;
        point.name = fields[*columns[0]].value;
        point.frame = parse_frame(fields[*columns[1]].value, where);
        point.x = parse_coordinate("x", fields[track.x_column].value, where);
        point.y = parse_coordinate("y", fields[track.y_column].value, where);
        if (point.x.has_value() != point.y.has_value())
            throw std::runtime_error(where + ": x and y must both be given or both be empty");
        std::vector<std::string> raw;
        for (Field& f : fields) raw.push_back(std::move(f.raw));
        track.rows.push_back(std::move(raw));
        track.points.push_back(std::move(point));
    }
    return track;
}

std::string write_track_csv(const TrackCsv& track, const std::vector<std::optional<double>>& x,
                            const std::vector<std::optional<double>>& y) {
    std::string out;
    const auto write_line = [&](const std::vector<std::string>& fields) {
        for (std::size_t i = 0; i < fields.size(); ++i) out += (i ? "," : "") + fields[i];
        out += track.line_end;
    };
    write_line(track.header);
    for (std::size_t row = 0; row < track.rows.size(); ++row) {
        std::vector<std::string> fields = track.rows[row];
        fields[track.x_column] = x[row] ? number_text(*x[row]) : "";
        fields[track.y_column] = y[row] ? number_text(*y[row]) : "";
        write_line(fields);
    }
    return out;
}

}  // namespace talvik::cli
