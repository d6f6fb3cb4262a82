#include "png/png_completeness.h"

#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

namespace talvik::png {
namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// Previews are at most 1920 pixels wide; a file far larger is no preview.
constexpr std::streamoff kMaxBytes = std::streamoff(1) << 31;

uint32_t be32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           static_cast<uint32_t>(p[3]);
}

}  // namespace

std::optional<std::string> png_incompleteness(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) return std::string("cannot be read: ") + std::strerror(errno ? errno : EIO);
    const std::streamoff size = file.tellg();
    if (size < 0 || size > kMaxBytes) return std::string("too large for a preview");
    std::vector<unsigned char> bytes(static_cast<size_t>(size));
    file.seekg(0);
    if (!file.read(reinterpret_cast<char*>(bytes.data()), size)) return std::string("cannot be read");
    const uint64_t total = bytes.size();
    if (total < sizeof kSignature || std::memcmp(bytes.data(), kSignature, sizeof kSignature) != 0)
        return std::string("not a PNG file");
    uint64_t at = sizeof kSignature;
    for (int index = 1;; ++index) {
        if (at == total) return "cut short: " + std::to_string(total) + " bytes, no IEND chunk";
        if (total - at < 12)
            return "cut short: chunk " + std::to_string(index) + " starts at byte " + std::to_string(at) + " of " +
                   std::to_string(total);
        const uint64_t length = be32(&bytes[at]);
        const std::string type(reinterpret_cast<const char*>(&bytes[at + 4]), 4);
        const std::string which = "chunk " + std::to_string(index) + " (" + type + ")";
        const uint64_t end = at + 12 + length;
        if (end > total)
            return "cut short: " + which + " ends at byte " + std::to_string(end) + " of " + std::to_string(total);
        // The CRC covers the type and the data.
        const uLong crc = crc32(crc32(0L, Z_NULL, 0), &bytes[at + 4], static_cast<uInt>(4 + length));
        if (crc != be32(&bytes[at + 8 + length])) return "damaged: " + which + " fails its CRC";
        if (index == 1 && type != "IHDR") return std::string("damaged: its first chunk is not IHDR");
        at = end;
        if (type == "IEND") break;
    }
    if (at != total)
        return "damaged: " + std::to_string(total - at) + " bytes follow its IEND chunk, which ends at byte " +
               std::to_string(at);
    return std::nullopt;
}

}  // namespace talvik::png
