#include "shot/frame_range.h"

#include <cctype>
#include <charconv>
#include <stdexcept>
#include <unordered_set>

#include "shot/usage_error.h"

namespace talvik::shot {
namespace {

[[noreturn]] void fail(std::string_view text, const std::string& what) {
    throw UsageError("bad frame range \"" + std::string(text) + "\": " + what);
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// Reads an optionally negative integer at the front of `rest` and advances.
// `role` names the number in messages ("start frame", "step", ...).
int read_number(std::string_view text, std::string_view& rest, const char* role) {
    const char* begin = rest.data();
    const char* end = rest.data() + rest.size();
    if (begin == end) fail(text, std::string("missing ") + role);
    int value = 0;
    auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec == std::errc::result_out_of_range)
        fail(text, std::string(role) + " \"" + std::string(begin, ptr) + "\" is too large");
    if (ec != std::errc())
        fail(text, std::string("expected ") + role + " at \"" + std::string(rest) + "\"");
    rest.remove_prefix(static_cast<size_t>(ptr - begin));
    return value;
}

// One item: "A", "A-B" or "A-BxS".
void expand_item(std::string_view text, std::string_view item, std::vector<int>& out,
                 std::unordered_set<int>& seen) {
    std::string_view rest = item;
    const int first = read_number(text, rest, "start frame");
    int last = first;
    int step = 1;
    if (!rest.empty() && rest.front() == '-') {
        rest.remove_prefix(1);
        last = read_number(text, rest, "end frame");
        if (!rest.empty() && rest.front() == 'x') {
            rest.remove_prefix(1);
            step = read_number(text, rest, "step");
            if (step <= 0) fail(text, "step " + std::to_string(step) + " must be positive");
        }
        if (last < first)
            fail(text, "end frame " + std::to_string(last) + " is before start frame " +
                           std::to_string(first));
    }
    if (!rest.empty())
        fail(text, "unexpected \"" + std::string(rest) + "\" in \"" + std::string(item) + "\"");

    const long long count = (static_cast<long long>(last) - first) / step + 1;
    if (count + static_cast<long long>(out.size()) > kMaxFramesInRange)
        fail(text, "more than " + std::to_string(kMaxFramesInRange) + " frames");
    for (long long f = first; f <= last; f += step) {
        const int frame = static_cast<int>(f);
        if (seen.insert(frame).second) out.push_back(frame);
    }
}

}  // namespace

std::vector<int> parse_frame_range(std::string_view text) {
    if (trim(text).empty()) fail(text, "no frames given");
    std::vector<int> frames;
    std::unordered_set<int> seen;
    // Items are separated by commas, by blanks (as Nuke writes "1 3 4 8"),
    // or by a comma with blanks around it.
    auto is_blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    size_t i = 0;
    while (i < text.size() && is_blank(text[i])) ++i;
    while (true) {
        if (i == text.size() || text[i] == ',') fail(text, "empty item between commas");
        const size_t start = i;
        while (i < text.size() && text[i] != ',' && !is_blank(text[i])) ++i;
        const std::string_view item = text.substr(start, i - start);
        if (item == "-") fail(text, "\"-\" on its own: write a range without blanks, as in 1-10");
        expand_item(text, item, frames, seen);
        while (i < text.size() && is_blank(text[i])) ++i;
        if (i == text.size()) break;
        if (text[i] == ',') {
            ++i;
            while (i < text.size() && is_blank(text[i])) ++i;
        }
    }
    return frames;
}

std::string format_frames(const std::vector<int>& frames) {
    std::string out;
    size_t i = 0;
    while (i < frames.size()) {
        if (!out.empty()) out += ',';
        out += std::to_string(frames[i]);
        // Longest run with one positive step from here; differences in 64 bits
        // so INT_MIN..INT_MAX neighbours cannot overflow.
        size_t j = i;
        long long step = 0;
        if (i + 1 < frames.size()) {
            step = static_cast<long long>(frames[i + 1]) - frames[i];
            if (step > 0) {
                j = i + 1;
                while (j + 1 < frames.size() &&
                       static_cast<long long>(frames[j + 1]) - frames[j] == step)
                    ++j;
            }
        }
        // "a-b" pays off from two frames with step 1, "a-bxN" from three.
        const size_t length = j - i + 1;
        if (step == 1 && length >= 2) {
            out += '-' + std::to_string(frames[j]);
            i = j + 1;
        } else if (step > 1 && length >= 3) {
            out += '-' + std::to_string(frames[j]) + 'x' + std::to_string(step);
            i = j + 1;
        } else {
            ++i;
        }
    }
    return out;
}

}  // namespace talvik::shot
