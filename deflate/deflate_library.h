// The deflate libraries this build has, and which one each kind of stream
// prefers: one place for both file formats.
#pragma once

#include <vector>

namespace talvik::deflate {

enum class Library {
    Isal,        // Intel ISA-L's igzip: many times faster than the others
    Libdeflate,  // portable and denser than ISA-L, several times slower
    Zlib,        // everywhere; pieces only
};

bool has_library(Library library);
const char* library_name(Library library);
int max_level(Library library);

// Throws std::invalid_argument naming the library when this build lacks
// it, or when `level` is outside `lowest` to max_level.
void check_level(Library library, int level, int lowest);

// Libraries that make whole zlib streams (ISA-L, libdeflate), the
// preferred one first.
const std::vector<Library>& stream_libraries();
// The level a whole stream without fitted codes is made at.
int default_stream_level(Library library);

// How pieces of one stream are deflated.
struct PieceSetting {
    Library library = Library::Zlib;
    int level = 1;           // ISA-L 0 to 3, zlib 1 to 9
    bool runs_only = false;  // zlib: matches at distance one only (Z_RLE)
};
// ISA-L's level 1 where this build has it (Debian has it on x86 and
// arm64), else zlib's level 1 on runs.
PieceSetting preferred_piece_setting();

}  // namespace talvik::deflate
