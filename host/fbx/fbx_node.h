// The record tree both file formats are parsed into. Views point into the
// caller's buffer, so a tree lives only while parse_scene holds that buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace talvik::fbx::detail {

struct Property {
    // Binary type code (Y C I F D L S R f d l i b), or for ASCII:
    // 'n' number, 's' quoted string or bare word, 'a' number array.
    char type = 0;
    int64_t integer = 0;  // Y C I L
    double real = 0.0;    // F D
    std::string text;     // S R, ASCII 's' (unescaped) and ASCII 'n' (as written)
    // Binary arrays: element count, encoding (0 raw, 1 zlib) and stored bytes.
    uint32_t count = 0;
    uint32_t encoding = 0;
    std::string_view stored;
    std::vector<std::string_view> items;  // ASCII array values as written
    size_t offset = 0;                    // where the property starts in the file
};

struct Node {
    std::string_view name;
    std::vector<Property> props;
    std::vector<Node> children;
    size_t offset = 0;  // where the record starts in the file

    const Node* child(std::string_view child_name) const {
        for (const Node& c : children)
            if (c.name == child_name) return &c;
        return nullptr;
    }
};

struct Document {
    bool binary = true;
    uint32_t version = 0;  // e.g. 7400
    std::vector<Node> roots;
    const uint8_t* data = nullptr;  // for line numbers in messages
    size_t size = 0;
    std::string file;

    const Node* root(std::string_view root_name) const {
        for (const Node& r : roots)
            if (r.name == root_name) return &r;
        return nullptr;
    }
    // "offset 1234" (binary) or "line 56" (ASCII).
    std::string where(size_t offset) const;
};

// Throws FbxError("<file>: <what>").
// Throws FbxError "<file>: <what>", with the bytes of `what` that are
// neither printable ASCII nor well-formed UTF-8 shown as \xNN.
[[noreturn]] void fail(const std::string& file, const std::string& what);

// `text` with such bytes shown as \xNN.
std::string printable(const std::string& text);

// Deepest record nesting either parser accepts; real files use well under 10.
constexpr int kMaxDepth = 64;

}  // namespace talvik::fbx::detail
