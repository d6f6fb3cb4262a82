#include "host/fbx/fbx_ascii.h"

#include <cstring>

#include "host/fbx/fbx_values.h"

namespace talvik::fbx::detail {

namespace {

bool is_name_char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// Numbers as the SDK and other writers print them, including "1.#INF" forms;
// validity is checked when a value is used.
bool is_number_char(char c) {
    return is_name_char(c) || c == '-' || c == '+' || c == '.' || c == '#';
}

class AsciiParser {
public:
    explicit AsciiParser(Document& doc)
        : doc_(doc), text_(reinterpret_cast<const char*>(doc.data)), size_(doc.size) {}

    void parse_nodes(std::vector<Node>& out, int depth, size_t opened_at) {
        for (;;) {
            skip_blank(true);
            if (pos_ == size_) {
                if (depth > 0) error_at(opened_at, "'{' is never closed");
                return;
            }
            if (text_[pos_] == '}') {
                if (depth == 0) error("unexpected '}'");
                ++pos_;
                return;
            }
            out.push_back(parse_node(depth));
        }
    }

private:
    Node parse_node(int depth) {
        Node node;
        node.offset = pos_;
        const size_t start = pos_;
        while (pos_ < size_ && is_name_char(text_[pos_])) ++pos_;
        if (pos_ == start) error("expected a node name, found " + describe_here());
        node.name = std::string_view(text_ + start, pos_ - start);
        if (pos_ == size_ || text_[pos_] != ':')
            error("expected ':' after node name '" + std::string(node.name) + "'");
        ++pos_;
        parse_properties(node);
        skip_blank(false);
        if (pos_ < size_ && text_[pos_] == '{') {
            if (depth + 1 >= kMaxDepth)
                error("nodes nested more than " + std::to_string(kMaxDepth) + " deep");
            const size_t opened = pos_++;
            parse_nodes(node.children, depth + 1, opened);
        } else if (pos_ < size_ && text_[pos_] != '\n' && text_[pos_] != '}') {
            error("unexpected " + describe_here() + " after the properties of '" +
                  std::string(node.name) + "'");
        }
        return node;
    }

    void parse_properties(Node& node) {
        skip_blank(false);
        if (pos_ == size_ || std::strchr("\n{}", text_[pos_])) return;
        for (;;) {
            node.props.push_back(parse_value());
            skip_blank(false);
            if (pos_ < size_ && text_[pos_] == ',') {
                ++pos_;
                skip_blank(true);  // long value lists continue on the next line
                continue;
            }
            return;
        }
    }

    Property parse_value() {
        Property p;
        p.offset = pos_;
        if (pos_ == size_) error("expected a value at the end of the file");
        const char c = text_[pos_];
        if (c == '"') {
            p.type = 's';
            p.text = parse_string();
        } else if (c == '*') {
            p.type = 'a';
            parse_array(p);
        } else if (c == '-' || c == '+' || c == '.' || (c >= '0' && c <= '9')) {
            p.type = 'n';
            p.text = std::string(number_token());
        } else if (is_name_char(c)) {
            p.type = 's';  // bare words such as "Shading: Y"
            const size_t start = pos_;
            while (pos_ < size_ && is_name_char(text_[pos_])) ++pos_;
            p.text.assign(text_ + start, pos_ - start);
        } else {
            error("expected a value, found " + describe_here());
        }
        return p;
    }

    std::string parse_string() {
        const size_t open = pos_++;
        const char* close = static_cast<const char*>(std::memchr(text_ + pos_, '"', size_ - pos_));
        if (!close) error_at(open, "string is never closed");
        std::string s(text_ + pos_, close);
        pos_ = static_cast<size_t>(close - text_) + 1;
        // Writers escape a quote inside a string as &quot;.
        for (size_t at = s.find("&quot;"); at != std::string::npos; at = s.find("&quot;", at + 1))
            s.replace(at, 6, "\"");
        return s;
    }

    std::string_view number_token() {
        const size_t start = pos_;
        while (pos_ < size_ && is_number_char(text_[pos_])) ++pos_;
        return std::string_view(text_ + start, pos_ - start);
    }

    // *N { a: v,v,v }
    void parse_array(Property& p) {
        ++pos_;
        const std::string_view count_text = number_token();
        int64_t declared = 0;
        Property count_prop;
        count_prop.type = 'n';
        count_prop.text = std::string(count_text);
        const auto count = as_integer(count_prop);
        if (!count || *count < 0) error_at(p.offset, "bad array length '*" + count_prop.text + "'");
        declared = *count;
        skip_blank(true);
        if (pos_ == size_ || text_[pos_] != '{') error("expected '{' after '*" + count_prop.text + "'");
        ++pos_;
        skip_blank(true);
        if (pos_ < size_ && text_[pos_] == 'a') {
            ++pos_;
            if (pos_ == size_ || text_[pos_] != ':') error("expected 'a:' inside an array");
            ++pos_;
            skip_blank(true);
            while (pos_ < size_ && text_[pos_] != '}') {
                const std::string_view item = number_token();
                if (item.empty()) error("expected a number in the array, found " + describe_here());
                p.items.push_back(item);
                skip_blank(true);
                if (pos_ < size_ && text_[pos_] == ',') {
                    ++pos_;
                    skip_blank(true);
                }
            }
        }
        if (pos_ == size_ || text_[pos_] != '}') error_at(p.offset, "array is never closed");
        ++pos_;
        if (static_cast<uint64_t>(declared) != p.items.size())
            error_at(p.offset, "array declares *" + count_prop.text + " values but lists " +
                                   std::to_string(p.items.size()));
    }

    // Spaces, tabs, CRs and "; comments"; newlines too when `newlines`.
    void skip_blank(bool newlines) {
        while (pos_ < size_) {
            const char c = text_[pos_];
            if (c == ' ' || c == '\t' || c == '\r' || (newlines && c == '\n')) {
                ++pos_;
            } else if (c == ';') {
                while (pos_ < size_ && text_[pos_] != '\n') ++pos_;
            } else {
                return;
            }
        }
    }

    std::string describe_here() const {
        if (pos_ == size_) return "the end of the file";
        const unsigned char c = static_cast<unsigned char>(text_[pos_]);
        if (c >= 0x20 && c < 0x7f) return std::string("'") + static_cast<char>(c) + "'";
        return "byte " + std::to_string(c);
    }

    [[noreturn]] void error(const std::string& what) const { error_at(pos_, what); }
    [[noreturn]] void error_at(size_t at, const std::string& what) const {
        fail(doc_.file, doc_.where(at) + ": " + what);
    }

    Document& doc_;
    const char* text_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace

Document parse_ascii(const uint8_t* data, size_t size, const std::string& file) {
    Document doc;
    doc.binary = false;
    doc.data = data;
    doc.size = size;
    doc.file = file;
    if (size == 0) fail(file, "empty file");
    if (std::memchr(data, 0, size))
        fail(file, "not an FBX file: binary data without the \"Kaydara FBX Binary\" header");
    AsciiParser(doc).parse_nodes(doc.roots, 0, 0);

    const Node* header = doc.root("FBXHeaderExtension");
    const Node* version = header ? header->child("FBXVersion") : nullptr;
    const auto v = (version && !version->props.empty()) ? as_integer(version->props[0]) : std::nullopt;
    if (!v) fail(file, "not an FBX file: no FBXHeaderExtension with an FBXVersion");
    if (*v < 7000 || *v >= 8000)
        fail(file, "ASCII FBX version " + std::to_string(*v) +
                       " is not supported (7000 to 7999 are read)");
    doc.version = static_cast<uint32_t>(*v);
    return doc;
}

}  // namespace talvik::fbx::detail
