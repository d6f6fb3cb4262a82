#include "host/fbx/fbx_values.h"

#include <charconv>
#include <cstring>
#include <type_traits>

#include "host/fbx/fbx_inflate.h"

namespace talvik::fbx::detail {

namespace {

template <class T>
bool parse_whole(std::string_view s, T& out) {
    const char* b = s.data();
    const char* e = b + s.size();
    if (b != e && *b == '+') ++b;  // from_chars takes no leading '+'
    const auto r = std::from_chars(b, e, out);
    return r.ec == std::errc() && r.ptr == e;
}

// The raw little-endian bytes of a binary array, inflated if needed.
std::vector<uint8_t> array_bytes(const Document& doc, const Property& p, size_t elem,
                                 const std::string& what) {
    const size_t expected = static_cast<size_t>(p.count) * elem;
    if (p.encoding == 1) return inflate_exact(p.stored, expected, doc.file, what);
    // The parser checked raw arrays fill their stored bytes exactly.
    return std::vector<uint8_t>(p.stored.begin(), p.stored.end());
}

template <class T>
std::vector<T> ascii_array(const Document& doc, const Property& p, const std::string& what) {
    std::vector<T> out;
    out.reserve(p.items.size());
    for (std::string_view item : p.items) {
        T v{};
        if (!parse_whole(item, v))
            fail(doc.file, what + " (" + doc.where(p.offset) + "): '" + std::string(item) +
                               "' is not a valid " +
                               (std::is_integral_v<T> ? "integer" : "number"));
        out.push_back(v);
    }
    return out;
}

std::string kind_of(const Property& p) {
    switch (p.type) {
    case 'f': return "a float32 array";
    case 'd': return "a float64 array";
    case 'l': return "an int64 array";
    case 'i': return "an int32 array";
    case 'b': return "a bool array";
    case 'a': return "an array";
    default: return "not an array";
    }
}

}  // namespace

std::optional<int64_t> as_integer(const Property& p) {
    switch (p.type) {
    case 'C': case 'Y': case 'I': case 'L': return p.integer;
    case 'n': {
        int64_t v = 0;
        if (parse_whole(p.text, v)) return v;
        return std::nullopt;
    }
    default: return std::nullopt;
    }
}

std::optional<double> as_number(const Property& p) {
    switch (p.type) {
    case 'C': case 'Y': case 'I': case 'L': return static_cast<double>(p.integer);
    case 'F': case 'D': return p.real;
    case 'n': {
        double v = 0.0;
        if (parse_whole(p.text, v)) return v;
        return std::nullopt;
    }
    default: return std::nullopt;
    }
}

const std::string* as_text(const Property& p) {
    return (p.type == 'S' || p.type == 'R' || p.type == 's') ? &p.text : nullptr;
}

namespace {

// A binary array of little-endian `Raw` words (or an ASCII array) as `T`s.
template <class T, class Raw>
std::vector<T> typed_array(const Document& doc, const Property& p, char binary_type,
                           const char* kind, const std::string& what) {
    if (p.type == 'a') return ascii_array<T>(doc, p, what);
    if (p.type != binary_type)
        fail(doc.file, what + " (" + doc.where(p.offset) + ") should be " + kind + " array but is " +
                           kind_of(p));
    const std::vector<uint8_t> bytes = array_bytes(doc, p, sizeof(Raw), what);
    std::vector<T> out(p.count);
    for (size_t i = 0; i < out.size(); ++i) {
        Raw v = 0;
        for (size_t b = 0; b < sizeof(Raw); ++b) v |= static_cast<Raw>(bytes[i * sizeof(Raw) + b]) << (8 * b);
        std::memcpy(&out[i], &v, sizeof v);
    }
    return out;
}

}  // namespace

std::vector<int64_t> int64_array(const Document& doc, const Property& p, const std::string& what) {
    return typed_array<int64_t, uint64_t>(doc, p, 'l', "an int64", what);
}

std::vector<float> float_array(const Document& doc, const Property& p, const std::string& what) {
    return typed_array<float, uint32_t>(doc, p, 'f', "a float32", what);
}

}  // namespace talvik::fbx::detail
