#include "host/fbx/fbx_inflate.h"

#include <zlib.h>

#include <climits>

#include "host/fbx/fbx_node.h"

namespace talvik::fbx::detail {

std::vector<uint8_t> inflate_exact(std::string_view stored, size_t expected,
                                   const std::string& file, const std::string& what) {
    // Callers bound `expected` by the stored size, so this fits uInt too.
    if (stored.size() > UINT_MAX || expected > UINT_MAX)
        fail(file, what + ": zlib array too large");
    std::vector<uint8_t> out(expected);
    // One spare byte shows a stream that would decompress to more than expected.
    uint8_t spare = 0;
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) fail(file, what + ": zlib could not start");
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stored.data()));
    zs.avail_in = static_cast<uInt>(stored.size());
    zs.next_out = out.empty() ? &spare : out.data();
    zs.avail_out = out.empty() ? 1u : static_cast<uInt>(out.size());
    int rc = inflate(&zs, Z_FINISH);
    if ((rc == Z_BUF_ERROR || rc == Z_OK) && zs.avail_out == 0 && !out.empty()) {
        zs.next_out = &spare;
        zs.avail_out = 1;
        rc = inflate(&zs, Z_FINISH);
    }
    const uLong produced = zs.total_out;
    const char* msg = zs.msg;
    inflateEnd(&zs);
    if (rc != Z_STREAM_END) {
        if (produced > expected)
            fail(file, what + ": zlib data holds more than the " + std::to_string(expected) +
                           " bytes the element count allows");
        std::string reason = msg ? msg : (rc == Z_BUF_ERROR ? "stream ends early" : "bad stream");
        fail(file, what + ": bad zlib data (" + reason + ")");
    }
    if (produced != expected)
        fail(file, what + ": zlib data holds " + std::to_string(produced) + " bytes, expected " +
                       std::to_string(expected));
    return out;
}

}  // namespace talvik::fbx::detail
