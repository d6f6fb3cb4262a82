// What a file already in place is to a run that would write it: missing,
// incomplete (cut short or damaged), stale (made from other values) or
// current. --skip-existing keeps only current files.
#pragma once

#include <string>

#include "shot/map_identity.h"

namespace talvik::pipeline {

struct OutputCheck {
    enum class State { Missing, Incomplete, Stale, Current };
    State state = State::Missing;
    std::string why;  // for every state but Current, in a few words
};

// A map EXR: whole (exr_completeness.h), then made from `identity`.
OutputCheck check_existing_map(const std::string& path, const shot::MapIdentity& identity);

// A preview PNG: whole (png_completeness.h), then its identity chunk.
OutputCheck check_existing_preview(const std::string& path, const shot::MapIdentity& identity);

// "missing", "incomplete", "stale" or "current".
const char* state_name(OutputCheck::State state);

}  // namespace talvik::pipeline
