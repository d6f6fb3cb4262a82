// What a file already in place is to a run that would write it: missing,
// incomplete (cut short or damaged), stale (made from other values),
// altered (not the bytes the run that wrote it recorded) or current.
// --skip-existing keeps only current files.
#pragma once

#include <optional>
#include <string>

#include "io/file_seal.h"
#include "shot/json_output.h"

#include "shot/map_identity.h"

namespace talvik::pipeline {

struct OutputCheck {
    enum class State { Missing, Incomplete, Stale, Altered, Current };
    State state = State::Missing;
    std::string why;  // for every state but Current, in a few words
};

// A map EXR: whole (exr_completeness.h), then made from `identity`.
OutputCheck check_existing_map(const std::string& path, const shot::MapIdentity& identity);

// A preview PNG: whole (png_completeness.h), then its identity chunk.
OutputCheck check_existing_preview(const std::string& path, const shot::MapIdentity& identity);

// A current file checked against the record of the run that wrote it (a
// ChunkRecords entry): its size, then its XXH3-128; altered, naming the
// run, when they differ. Other states, and records without a hash, pass
// through.
// `read`, when given, is set to what the file held when it was read whole.
OutputCheck check_record(const std::string& path, OutputCheck check, const std::optional<shot::Json>& record,
                         std::optional<io::FileSeal>* read = nullptr);

// "missing", "incomplete", "stale", "altered" or "current".
const char* state_name(OutputCheck::State state);

}  // namespace talvik::pipeline
