#include "pipeline/render/existing_output.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "png/png_completeness.h"
#include "png/preview_png_writer.h"
#include "exr/exr_completeness.h"
#include "io/file_seal.h"
#include "io/input_file.h"

namespace talvik::pipeline {
namespace {

using State = OutputCheck::State;

// Missing unless a regular file stands there (followed through symlinks).
std::optional<OutputCheck> missing(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return OutputCheck{State::Missing, std::strerror(errno)};
    if (!S_ISREG(st.st_mode)) return OutputCheck{State::Missing, std::string("is ") + io::file_kind(st.st_mode)};
    return std::nullopt;
}

}  // namespace

OutputCheck check_existing_map(const std::string& path, const shot::MapIdentity& identity) {
    if (auto absent = missing(path)) return *absent;
    if (auto why = exr::exr_incompleteness(path)) return {State::Incomplete, *why};
    if (auto why = shot::exr_identity_difference(path, identity)) return {State::Stale, *why};
    return {State::Current, ""};
}

OutputCheck check_existing_preview(const std::string& path, const shot::MapIdentity& identity) {
    if (auto absent = missing(path)) return *absent;
    if (auto why = png::png_incompleteness(path)) return {State::Incomplete, *why};
    if (auto why = shot::preview_identity_difference(png::read_preview_identity(path), identity))
        return {State::Stale, *why};
    return {State::Current, ""};
}

OutputCheck check_record(const std::string& path, OutputCheck check, const std::optional<shot::Json>& record,
                         std::optional<io::FileSeal>* read) {
    if (check.state != State::Current || !record || !record->contains("xxh3_128")) return check;
    const shot::Json& r = *record;
    auto text = [&r](const char* name) {
        return r.contains(name) && r[name].is_string() ? r[name].get<std::string>() : std::string();
    };
    std::string by = text("manifest");
    if (!text("host").empty()) by += " on " + text("host");
    if (!text("ended").empty()) by += ", ended " + text("ended");
    const std::string differ = "its bytes differ from what was written (recorded by " + by + ")";
    try {
        const io::FileSeal seal = io::file_seal(path);
        if (read) *read = seal;
        const shot::Json size = r.contains("size") ? r["size"] : shot::Json();
        if (!size.is_number_unsigned() || seal.size != size.get<uint64_t>())
            return {State::Altered, differ + ": " + std::to_string(seal.size) + " bytes, " + size.dump() + " written"};
        if (seal.xxh3_128 != text("xxh3_128")) return {State::Altered, differ};
    } catch (const std::exception& e) {
        return {State::Incomplete, e.what()};
    }
    return check;
}

const char* state_name(OutputCheck::State state) {
    switch (state) {
        case State::Missing: return "missing";
        case State::Incomplete: return "incomplete";
        case State::Stale: return "stale";
        case State::Altered: return "altered";
        case State::Current: return "current";
    }
    return "";
}

}  // namespace talvik::pipeline
