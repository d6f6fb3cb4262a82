#include "pipeline/farm/shot_manifest.h"

#include <filesystem>

#include "shot/content_hash.h"
#include "shot/json_formats.h"
#include "shot/frame_range.h"
#include "shot/version_info.h"

namespace talvik::pipeline {
namespace {

namespace fs = std::filesystem;

// As the render's manifests write paths, so the chunks' records match.
std::string absolute(const std::string& path) {
    std::error_code ec;
    const fs::path full = fs::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}

shot::Json file_entry(const FileVerdict& file, const shot::Json& identity, const ChunkRecords& records) {
    using State = OutputCheck::State;
    shot::Json entry = shot::Json::object();
    const std::string path = absolute(file.path);
    entry["path"] = path;
    entry["kind"] = file.kind;
    entry["state"] = state_name(file.check.state);
    entry["why"] = file.check.state == State::Current ? shot::Json(nullptr) : shot::Json(file.check.why);
    std::error_code ec;
    const bool present = file.check.state != State::Missing;
    const uintmax_t size = present ? fs::file_size(file.path, ec) : 0;
    entry["size"] = present && !ec ? shot::Json(size) : shot::Json(nullptr);
    std::string checksum;
    if (present) {
        try {
            checksum = shot::file_content_hash(file.path);
        } catch (const std::exception&) {
            // Unreadable now: the state above says what it was.
        }
    }
    entry["xxh3_128"] = checksum.empty() ? shot::Json(nullptr) : shot::Json(checksum);
    entry["identity"] = identity;
    entry["recorded"] = records.about(path);
    return entry;
}

}  // namespace

bool FrameVerdict::holds() const {
    for (const FileVerdict& f : files)
        if (f.check.state != OutputCheck::State::Current) return false;
    return true;
}

std::vector<FrameVerdict> check_shot_files(const RenderPlan& plan) {
    std::vector<FrameVerdict> out;
    for (int frame : plan.frames) {
        FrameVerdict verdict;
        verdict.frame = frame;
        const shot::MapIdentity id = plan.identity_at(frame);
        if (plan.exr_pattern) {
            const std::string path = plan.exr_pattern->path_for(frame);
            verdict.files.push_back({path, "map", check_existing_map(path, id)});
        }
        if (plan.preview_pattern) {
            const std::string path = plan.preview_pattern->path_for(frame);
            verdict.files.push_back({path, "preview", check_existing_preview(path, id)});
        }
        out.push_back(std::move(verdict));
    }
    return out;
}

shot::Json shot_manifest(const std::vector<FrameVerdict>& frames, const RenderPlan& plan, const ShotJob& o,
                         const ChunkRecords& records) {
    size_t holding = 0;
    for (const FrameVerdict& f : frames) holding += f.holds() ? 1 : 0;
    shot::Json manifest = shot::versioned_object(shot::kShotManifestFormat);
    manifest["command"] = std::string("talvik-stmap ") + shot::command_version();
    manifest["lens_model"] = shot::lens_model_version();
    manifest["frames"] = shot::format_frames(plan.frames);
    manifest["output"] = o.output;
    manifest["preview"] = o.preview;
    manifest["complete"] = holding == frames.size();
    manifest["frames_holding"] = holding;
    manifest["frames_not_holding"] = frames.size() - holding;
    manifest["chunk_manifests"] = records.manifests();
    manifest["shot_frames"] = shot::Json::array();
    for (const FrameVerdict& f : frames) {
        shot::Json frame = shot::Json::object();
        frame["frame"] = f.frame;
        frame["holds"] = f.holds();
        frame["files"] = shot::Json::array();
        const shot::Json identity = shot::Json::parse(shot::identity_text(plan.identity_at(f.frame)));
        for (const FileVerdict& file : f.files) frame["files"].push_back(file_entry(file, identity, records));
        manifest["shot_frames"].push_back(std::move(frame));
    }
    return manifest;
}

}  // namespace talvik::pipeline
