#include "pipeline/farm/shot_manifest.h"

#include <filesystem>

#include "io/stop_signal.h"
#include "pipeline/farm/deep_check.h"
#include "pipeline/render/render_manifest.h"
#include "shot/content_hash.h"
#include "shot/json_formats.h"
#include "shot/frame_range.h"
#include "shot/version_info.h"

namespace talvik::pipeline {
namespace {

namespace fs = std::filesystem;

shot::Json file_entry(const FileVerdict& file, const shot::Json& identity, const ChunkRecords& records) {
    using State = OutputCheck::State;
    shot::Json entry = shot::Json::object();
    const std::string path = recorded_path(file.path);
    entry["path"] = path;
    entry["kind"] = file.kind;
    entry["state"] = state_name(file.check.state);
    entry["why"] = file.check.state == State::Current ? shot::Json(nullptr) : shot::Json(file.check.why);
    std::error_code ec;
    const bool present = file.check.state != State::Missing;
    const uintmax_t size = present ? fs::file_size(file.path, ec) : 0;
    entry["size"] = present && !ec ? shot::Json(size) : shot::Json(nullptr);
    std::string checksum;
    if (file.seal) {
        checksum = file.seal->xxh3_128;  // read once: the record's check hashed it
    } else if (present) {
        try {
            checksum = shot::file_content_hash(file.path);
        } catch (const std::exception&) {
            // Unreadable now: the state above says what it was.
        }
    }
    entry["xxh3_128"] = checksum.empty() ? shot::Json(nullptr) : shot::Json(checksum);
    entry["identity"] = identity;
    // The run that wrote the bytes meant to be there, and whether they are.
    const std::optional<shot::Json> latest = records.latest_written(path);
    entry["recorded"] = latest ? *latest : shot::Json(nullptr);
    const bool comparable = latest && latest->contains("xxh3_128") && entry["size"].is_number();
    entry["matches_record"] = comparable ? shot::Json(entry["size"] == (*latest)["size"] &&
                                                      entry["xxh3_128"] == (*latest)["xxh3_128"])
                                         : shot::Json(nullptr);
    entry["history"] = records.about(path);
    return entry;
}

}  // namespace

bool FrameVerdict::holds() const {
    for (const FileVerdict& f : files)
        if (f.check.state != OutputCheck::State::Current) return false;
    return true;
}

std::vector<FrameVerdict> check_shot_files(RenderPlan& plan, const ChunkRecords& records, bool deep) {
    std::vector<FrameVerdict> out;
    for (int frame : plan.frames) {
        FrameVerdict verdict;
        verdict.frame = frame;
        const shot::MapIdentity id = plan.identity_at(frame);
        if (plan.exr_pattern) {
            const std::string path = plan.exr_pattern->path_for(frame);
            std::optional<io::FileSeal> seal;
            OutputCheck check =
                check_record(path, check_existing_map(path, id), records.latest_written(recorded_path(path)), &seal);
            // A deep check renders the frame: a stop is seen between frames.
            if (deep) io::throw_if_stopped();
            if (deep && check.state == OutputCheck::State::Current)
                if (auto why = deep_difference(plan, frame, path)) check = {OutputCheck::State::Altered, *why};
            verdict.files.push_back({path, "map", check, seal});
        }
        if (plan.preview_pattern) {
            const std::string path = plan.preview_pattern->path_for(frame);
            std::optional<io::FileSeal> seal;
            const OutputCheck check = check_record(path, check_existing_preview(path, id),
                                                   records.latest_written(recorded_path(path)), &seal);
            verdict.files.push_back({path, "preview", check, seal});
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
