#include "host/fbx/fbx_binary.h"

#include <cstring>

namespace talvik::fbx::detail {

namespace {

constexpr char kMagic[] = "Kaydara FBX Binary  \0\x1a";  // + the implicit NUL: 23 bytes
constexpr size_t kMagicSize = 23;
constexpr size_t kHeaderSize = kMagicSize + 4;
// Below this version record headers use 32-bit fields, from it 64-bit.
constexpr uint32_t kWideHeaderVersion = 7500;

uint64_t load_le(const uint8_t* p, size_t n) {
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= static_cast<uint64_t>(p[i]) << (8 * i);
    return v;
}

size_t element_size(char type) {
    switch (type) {
    case 'f': case 'i': return 4;
    case 'd': case 'l': return 8;
    case 'b': return 1;
    default: return 0;
    }
}

class BinaryParser {
public:
    BinaryParser(const uint8_t* data, size_t size, const std::string& file, bool wide)
        : data_(data), size_(size), file_(file), field_(wide ? 8 : 4),
          record_header_(3 * field_ + 1) {}

    // Records from `pos` to their end marker; `limit` is where the enclosing
    // record ends (or the file size at the top). Returns the position after
    // the list.
    size_t parse_list(size_t pos, size_t limit, int depth, std::vector<Node>& out) {
        const bool top = depth == 0;
        for (;;) {
            if (!top && pos == limit) return pos;  // children filling their parent exactly
            if (limit - pos < record_header_) {
                if (top)
                    fail(file_, "file ends at " + std::to_string(size_) +
                                    " bytes without the end-of-records marker (truncated?)");
                fail(file_, "record header at offset " + std::to_string(pos) +
                                " runs past the end of its parent record");
            }
            const uint64_t end = field(pos, 0);
            const uint64_t nprops = field(pos, 1);
            const uint64_t plen = field(pos, 2);
            const uint8_t name_len = data_[pos + 3 * field_];
            if (end == 0 && nprops == 0 && plen == 0 && name_len == 0)
                return pos + record_header_;
            out.push_back(parse_record(pos, limit, depth));
            pos = static_cast<size_t>(end);
        }
    }

private:
    uint64_t field(size_t pos, int index) const {
        return load_le(data_ + pos + static_cast<size_t>(index) * field_, field_);
    }

    std::string at(size_t pos) const { return "at offset " + std::to_string(pos); }

    Node parse_record(size_t pos, size_t limit, int depth) {
        const uint64_t end = field(pos, 0);
        const uint64_t nprops = field(pos, 1);
        const uint64_t plen = field(pos, 2);
        const size_t name_len = data_[pos + 3 * field_];
        const size_t props_start = pos + record_header_ + name_len;
        if (name_len > limit - pos - record_header_)
            fail(file_, "record name " + at(pos) + " runs past " + limit_name(limit));

        Node node;
        node.offset = pos;
        node.name = std::string_view(reinterpret_cast<const char*>(data_ + pos + record_header_),
                                     name_len);
        const std::string label = "record '" + std::string(node.name) + "' " + at(pos);
        if (end <= pos)
            fail(file_, label + " has end offset " + std::to_string(end) + " pointing backwards");
        if (end > limit)
            fail(file_, label + " ends at offset " + std::to_string(end) + ", past " +
                            limit_name(limit));
        if (end < props_start)
            fail(file_, label + " ends at offset " + std::to_string(end) + ", inside its own header");
        if (plen > end - props_start)
            fail(file_, label + ": property list of " + std::to_string(plen) +
                            " bytes runs past the record end");
        if (nprops > plen)  // every property takes at least its type byte
            fail(file_, label + " claims " + std::to_string(nprops) + " properties in " +
                            std::to_string(plen) + " bytes");
        if (depth >= kMaxDepth)
            fail(file_, label + " is nested more than " + std::to_string(kMaxDepth) + " deep");

        const size_t props_end = props_start + static_cast<size_t>(plen);
        size_t p = props_start;
        node.props.reserve(static_cast<size_t>(nprops));
        for (uint64_t i = 0; i < nprops; ++i) node.props.push_back(parse_property(p, props_end, label));
        if (p != props_end)
            fail(file_, label + ": properties take " + std::to_string(p - props_start) +
                            " bytes but the list length says " + std::to_string(plen));

        const size_t record_end = static_cast<size_t>(end);
        if (props_end < record_end) {
            const size_t after = parse_list(props_end, record_end, depth + 1, node.children);
            if (after != record_end)
                fail(file_, label + ": " + std::to_string(record_end - after) +
                                " unexpected bytes after its end-of-children marker");
        }
        return node;
    }

    std::string limit_name(size_t limit) const {
        if (limit == size_) return "the end of the file (" + std::to_string(size_) + " bytes)";
        return "the end of its parent record (offset " + std::to_string(limit) + ")";
    }

    Property parse_property(size_t& p, size_t stop, const std::string& label) {
        Property prop;
        prop.offset = p;
        auto need = [&](uint64_t n) {
            if (n > stop - p)
                fail(file_, label + ": property " + at(prop.offset) +
                                " runs past the end of its property list");
        };
        need(1);
        prop.type = static_cast<char>(data_[p++]);
        switch (prop.type) {
        case 'C': need(1); prop.integer = data_[p]; p += 1; break;
        case 'Y': need(2); prop.integer = static_cast<int16_t>(load_le(data_ + p, 2)); p += 2; break;
        case 'I': need(4); prop.integer = static_cast<int32_t>(load_le(data_ + p, 4)); p += 4; break;
        case 'L': need(8); prop.integer = static_cast<int64_t>(load_le(data_ + p, 8)); p += 8; break;
        case 'F': {
            need(4);
            const uint32_t bits = static_cast<uint32_t>(load_le(data_ + p, 4));
            float f;
            std::memcpy(&f, &bits, sizeof f);
            prop.real = f;
            p += 4;
            break;
        }
        case 'D': {
            need(8);
            const uint64_t bits = load_le(data_ + p, 8);
            std::memcpy(&prop.real, &bits, sizeof prop.real);
            p += 8;
            break;
        }
        case 'S': case 'R': {
            need(4);
            const uint64_t len = load_le(data_ + p, 4);
            p += 4;
            need(len);
            prop.text.assign(reinterpret_cast<const char*>(data_ + p), static_cast<size_t>(len));
            p += static_cast<size_t>(len);
            break;
        }
        case 'f': case 'd': case 'l': case 'i': case 'b':
            parse_array(prop, p, need, label);
            break;
        default:
            fail(file_, label + ": unknown property type code " +
                            std::to_string(static_cast<unsigned char>(prop.type)) + " " +
                            at(prop.offset));
        }
        return prop;
    }

    template <class Need>
    void parse_array(Property& prop, size_t& p, Need& need, const std::string& label) {
        need(12);
        prop.count = static_cast<uint32_t>(load_le(data_ + p, 4));
        prop.encoding = static_cast<uint32_t>(load_le(data_ + p + 4, 4));
        const uint64_t stored = load_le(data_ + p + 8, 4);
        p += 12;
        need(stored);
        prop.stored = std::string_view(reinterpret_cast<const char*>(data_ + p), static_cast<size_t>(stored));
        p += static_cast<size_t>(stored);

        const uint64_t bytes = uint64_t{prop.count} * element_size(prop.type);
        const std::string what = label + ": array " + at(prop.offset) + " of " +
                                 std::to_string(prop.count) + " elements";
        if (prop.encoding == 0) {
            if (bytes != stored)
                fail(file_, what + " needs " + std::to_string(bytes) + " bytes but stores " +
                                std::to_string(stored));
        } else if (prop.encoding == 1) {
            if (bytes > kMaxArrayBytes || bytes > stored * kMaxInflateRatio)
                fail(file_, what + " cannot come from " + std::to_string(stored) +
                                " bytes of zlib data");
        } else {
            fail(file_, what + " has unknown encoding " + std::to_string(prop.encoding));
        }
    }

    const uint8_t* data_;
    size_t size_;
    const std::string& file_;
    size_t field_;
    size_t record_header_;
};

}  // namespace

bool looks_binary(const uint8_t* data, size_t size) {
    return size >= 7 && std::memcmp(data, "Kaydara", 7) == 0;
}

Document parse_binary(const uint8_t* data, size_t size, const std::string& file) {
    if (size < kHeaderSize)
        fail(file, "only " + std::to_string(size) + " bytes: too short for a binary FBX header");
    if (std::memcmp(data, kMagic, kMagicSize) != 0)
        fail(file, "bad binary FBX header (expected \"Kaydara FBX Binary  \" then bytes 00 1A 00)");
    Document doc;
    doc.binary = true;
    doc.version = static_cast<uint32_t>(load_le(data + kMagicSize, 4));
    doc.data = data;
    doc.size = size;
    doc.file = file;
    if (doc.version < 7000 || doc.version >= 8000)
        fail(file, "binary FBX version " + std::to_string(doc.version) +
                       " is not supported (7000 to 7999 are read)");
    BinaryParser parser(data, size, file, doc.version >= kWideHeaderVersion);
    parser.parse_list(kHeaderSize, size, 0, doc.roots);
    return doc;
}

}  // namespace talvik::fbx::detail
