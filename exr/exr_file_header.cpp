#include "exr/exr_file_header.h"

#include <ImfChannelList.h>
#include <ImfStdIO.h>
#include <ImfVersion.h>

#include <cstdint>
#include <cstring>

namespace talvik::exr {
namespace {

constexpr size_t kShortNameLimit = 31;

bool uses_long_names(const Imf::Header& header) {
    for (auto it = header.begin(); it != header.end(); ++it)
        if (std::strlen(it.name()) > kShortNameLimit || std::strlen(it.attribute().typeName()) > kShortNameLimit)
            return true;
    for (auto it = header.channels().begin(); it != header.channels().end(); ++it)
        if (std::strlen(it.name()) > kShortNameLimit) return true;
    return false;
}

void append_le32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

}  // namespace

std::string exr_file_header(const Imf::Header& header) {
    header.sanityCheck();
    std::string out;
    append_le32(out, static_cast<uint32_t>(Imf::MAGIC));
    append_le32(out, static_cast<uint32_t>(Imf::EXR_VERSION | (uses_long_names(header) ? Imf::LONG_NAMES_FLAG : 0)));
    Imf::StdOSStream attributes;
    header.writeTo(attributes);  // ends with the empty name closing the header
    out += attributes.str();
    return out;
}

}  // namespace talvik::exr
