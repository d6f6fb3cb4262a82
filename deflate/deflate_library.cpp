#include "deflate/deflate_library.h"

#include <stdexcept>
#include <string>

namespace talvik::deflate {

// Levels measured on 4320 x 2160 lens maps in 16-line ZIP chunks, one
// thread, against zlib level 4 (OpenEXR's own: 38.5 MB, 1.1 s):
// ISA-L level 1 46 MB in 0.13 s, level 2 43 MB in 0.15 s, level 3 42 MB in
// 0.18-0.28 s; libdeflate level 1 40 MB in 0.4 s, level 4 38 MB in 0.6 s.
// Measured again in exr_bake_bench: ISA-L level 1 160 ms and 45.4 MB,
// level 2 174 ms and 43.1 MB, and level 0 with codes fitted to the frame's
// top chunk (what the EXR writer uses) 148 ms and 46.4 MB. Deflate is most
// of a ZIP bake. Level 1 stays the level of a stream without fitted codes.
constexpr int kIsalStreamLevel = 1;
constexpr int kLibdeflateStreamLevel = 1;

bool has_library(Library library) {
    switch (library) {
#ifdef TALVIK_HAVE_ISAL
        case Library::Isal: return true;
#endif
#ifdef TALVIK_HAVE_LIBDEFLATE
        case Library::Libdeflate: return true;
#endif
        case Library::Zlib: return true;
        default: return false;
    }
}

const char* library_name(Library library) {
    switch (library) {
        case Library::Isal: return "ISA-L igzip";
        case Library::Libdeflate: return "libdeflate";
        case Library::Zlib: break;
    }
    return "zlib";
}

int max_level(Library library) {
    switch (library) {
        case Library::Isal: return 3;
        case Library::Libdeflate: return 12;
        case Library::Zlib: break;
    }
    return 9;
}

void check_level(Library library, int level, int lowest) {
    if (!has_library(library)) throw std::invalid_argument(std::string("this build has no ") + library_name(library));
    if (level < lowest || level > max_level(library))
        throw std::invalid_argument(std::string(library_name(library)) + " has no level " + std::to_string(level));
}

const std::vector<Library>& stream_libraries() {
    static const std::vector<Library> libraries = {
#ifdef TALVIK_HAVE_ISAL
        Library::Isal,
#endif
#ifdef TALVIK_HAVE_LIBDEFLATE
        Library::Libdeflate,
#endif
    };
    return libraries;
}

int default_stream_level(Library library) {
    return library == Library::Isal ? kIsalStreamLevel : kLibdeflateStreamLevel;
}

PieceSetting preferred_piece_setting() {
    if (has_library(Library::Isal)) return {Library::Isal, 1, false};
    return {Library::Zlib, 1, true};
}

}  // namespace talvik::deflate
