#include "exr/exr_completeness.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace talvik::exr {
namespace {

constexpr uint32_t kMagic = 20000630;
constexpr uint32_t kTiledFlag = 0x200;
constexpr uint32_t kLongNamesFlag = 0x400;
constexpr uint32_t kNonImageFlag = 0x800;
constexpr uint32_t kMultiPartFlag = 0x1000;
// A header is a few kilobytes; plate metadata may make it larger, never
// this large.
constexpr uint64_t kMaxHeaderBytes = 64u << 20;

class Fd {
public:
    explicit Fd(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Reads exactly `size` bytes at `at`; false at the end of the file or on an
// error.
bool read_at(int fd, uint64_t at, void* into, size_t size) {
    auto* out = static_cast<char*>(into);
    while (size > 0) {
        const ssize_t n = pread(fd, out, size, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        out += n;
        at += static_cast<uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
    return true;
}

uint32_t le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

uint64_t le64(const unsigned char* p) { return le32(p) | static_cast<uint64_t>(le32(p + 4)) << 32; }

int lines_per_chunk(unsigned compression) {
    switch (compression) {
        case 0: case 1: case 2: return 1;   // none, RLE, ZIPS
        case 3: case 5: return 16;          // ZIP, PXR24
        case 4: case 6: case 7: case 8: return 32;  // PIZ, B44, B44A, DWAA
        case 9: return 256;                 // DWAB
        default: return 0;
    }
}

// What the header says about where the chunks are.
struct Layout {
    uint64_t table_at = 0;  // the offset table follows the header
    int32_t min_y = 0, max_y = -1;
    int lines = 0;
};

// The header's attributes, read in growing pieces so a large header is
// still read in a few calls. Returns why it cannot be read, or nothing.
std::optional<std::string> read_layout(int fd, uint64_t file_size, uint32_t flags, Layout& layout) {
    const size_t name_limit = (flags & kLongNamesFlag) ? 256 : 32;
    std::vector<unsigned char> bytes;
    uint64_t at = 8;
    bool past_end = false;
    auto have = [&](uint64_t end) {
        if (end <= 8 + bytes.size()) return true;
        past_end = end > file_size;
        const uint64_t want = std::min<uint64_t>({std::max<uint64_t>(end - 8, 2 * bytes.size() + 4096),
                                                  file_size - 8, kMaxHeaderBytes});
        if (end - 8 > want) return false;
        const size_t old = bytes.size();
        bytes.resize(want);
        return read_at(fd, 8 + old, bytes.data() + old, want - old);
    };
    // A name or type: text up to a zero byte, at most name_limit long.
    auto text = [&](std::string& out) {
        out.clear();
        for (;;) {
            if (!have(at + 1)) return false;
            const char c = static_cast<char>(bytes[at - 8]);
            ++at;
            if (c == '\0') return true;
            out.push_back(c);
            if (out.size() >= name_limit) return false;
        }
    };
    auto unreadable = [&]() -> std::string {
        return past_end ? "cut short: " + std::to_string(file_size) + " bytes, within its header"
                        : std::string("damaged: its header is not an OpenEXR header");
    };
    bool data_window = false, compression = false;
    std::string name, type;
    for (;;) {
        if (!text(name)) return unreadable();
        if (name.empty()) break;
        if (!text(type) || !have(at + 4)) return unreadable();
        const uint32_t size = le32(&bytes[at - 8]);
        at += 4;
        if (size > kMaxHeaderBytes || !have(at + size)) return unreadable();
        const unsigned char* value = &bytes[at - 8];
        if (name == "dataWindow" && type == "box2i" && size == 16) {
            layout.min_y = static_cast<int32_t>(le32(value + 4));
            layout.max_y = static_cast<int32_t>(le32(value + 12));
            data_window = true;
        } else if (name == "compression" && type == "compression" && size == 1) {
            layout.lines = lines_per_chunk(value[0]);
            compression = true;
        }
        at += size;
    }
    if (!data_window || !compression) return std::string("damaged: its header has no data window or compression");
    if (layout.lines == 0) return std::string("damaged: its compression is unknown");
    if (layout.max_y < layout.min_y) return std::string("damaged: its data window is empty");
    layout.table_at = at;
    return std::nullopt;
}

std::string byte_count(uint64_t n) { return std::to_string(n); }

}  // namespace

std::optional<std::string> exr_incompleteness(const std::string& path) {
    const Fd fd(path);
    struct stat st {};
    if (fd.get() < 0 || fstat(fd.get(), &st) != 0) return std::string("cannot be read: ") + std::strerror(errno);
    const auto file_size = static_cast<uint64_t>(st.st_size);
    unsigned char start[8];
    if (!read_at(fd.get(), 0, start, sizeof start)) return "cut short: " + byte_count(file_size) + " bytes, no header";
    if (le32(start) != kMagic) return std::string("not an OpenEXR file");
    const uint32_t version = le32(start + 4);
    if ((version & 0xff) != 2) return "an OpenEXR version " + std::to_string(version & 0xff) + " file";
    if (version & (kTiledFlag | kNonImageFlag | kMultiPartFlag)) return std::string("not a single-part scan-line image");

    Layout layout;
    if (auto why = read_layout(fd.get(), file_size, version, layout)) return why;
    const uint64_t chunk_count =
        (static_cast<uint64_t>(static_cast<int64_t>(layout.max_y) - layout.min_y) + layout.lines) / layout.lines;
    const uint64_t table_end = layout.table_at + 8 * chunk_count;
    if (table_end > file_size)
        return "cut short: its offset table of " + std::to_string(chunk_count) + " chunks ends at byte " +
               byte_count(table_end) + " of " + byte_count(file_size);
    std::vector<unsigned char> table(8 * chunk_count);
    if (!read_at(fd.get(), layout.table_at, table.data(), table.size())) return std::string("cannot read its offset table");

    // (start, end) of every chunk, its 8-byte lead included.
    std::vector<std::pair<uint64_t, uint64_t>> extents;
    extents.reserve(chunk_count);
    for (uint64_t i = 0; i < chunk_count; ++i) {
        const int64_t line = layout.min_y + static_cast<int64_t>(i) * layout.lines;
        const std::string which =
            "chunk " + std::to_string(i + 1) + " of " + std::to_string(chunk_count) + " (line " + std::to_string(line) + ")";
        const uint64_t at = le64(&table[8 * i]);
        if (at < table_end) return "damaged: " + which + " is listed at byte " + byte_count(at) + ", before the chunks";
        unsigned char lead[8];
        if (at > file_size - 8 || !read_at(fd.get(), at, lead, sizeof lead))
            return "cut short: " + which + " starts at byte " + byte_count(at) + " of " + byte_count(file_size);
        const auto y = static_cast<int32_t>(le32(lead));
        if (y != line) return "damaged: " + which + " holds line " + std::to_string(y);
        const uint64_t end = at + 8 + le32(lead + 4);
        if (end > file_size)
            return "cut short: " + which + " ends at byte " + byte_count(end) + " of " + byte_count(file_size);
        extents.emplace_back(at, end);
    }
    std::sort(extents.begin(), extents.end());
    for (size_t i = 1; i < extents.size(); ++i)
        if (extents[i].first < extents[i - 1].second) return std::string("damaged: two chunks overlap");
    const uint64_t last_end = extents.back().second;
    if (last_end != file_size)
        return "damaged: " + byte_count(file_size - last_end) + " bytes follow its last chunk, which ends at byte " +
               byte_count(last_end);
    return std::nullopt;
}

}  // namespace talvik::exr
