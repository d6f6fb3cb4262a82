#include "shot/content_hash.h"

#include "io/file_seal.h"
#include "io/input_file.h"

namespace talvik::shot {

std::string file_content_hash(const std::string& path) {
    // A FIFO would block and a device never end.
    io::check_input_file(path, "file");
    return io::file_seal(path).xxh3_128;
}

}  // namespace talvik::shot
