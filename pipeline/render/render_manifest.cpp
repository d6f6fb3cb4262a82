#include "pipeline/render/render_manifest.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "shot/usage_error.h"
#include "shot/json_formats.h"
#include "shot/json_output.h"
#include "shot/version_info.h"
#include "io/replace_file.h"

namespace talvik::pipeline {
std::string recorded_path(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}

namespace {

void put_seal(shot::Json& entry, const io::FileSeal& seal) {
    entry["size"] = seal.size;
    entry["xxh3_128"] = seal.xxh3_128;
}

}  // namespace

void RenderManifest::add(const std::string& path, int frame, const std::vector<shot::ControlValue>& values,
                         const io::FileSeal& seal) {
    shot::Json file = shot::Json::object();
    file["path"] = recorded_path(path);
    file["frame"] = frame;
    file["controls"] = shot::controls_object(values);
    put_seal(file, seal);
    files_.push_back(std::move(file));
}

void RenderManifest::add_document(const std::string& path, const io::FileSeal& seal) {
    shot::Json file = shot::Json::object();
    file["path"] = recorded_path(path);
    put_seal(file, seal);
    documents_.push_back(std::move(file));
}

void RenderManifest::add_skipped(const std::string& path) { skipped_.push_back(recorded_path(path)); }
void RenderManifest::add_stale(const std::string& path) { stale_.push_back(recorded_path(path)); }

std::string RenderManifest::json(const std::string& plugin_path, const RenderNotes& notes,
                                 const shot::Json& provenance, const shot::Json& asked,
                                 const shot::Json& earlier_runs) const {
    shot::Json manifest = shot::versioned_object(shot::kRenderManifestFormat);
    manifest["command"] = std::string("talvik-stmap ") + shot::command_version();
    manifest.update(asked);
    manifest["plugin"] = plugin_path;
    manifest["lens_model"] = shot::lens_model_version();
    manifest["files"] = files_;
    manifest["documents"] = documents_;
    manifest["skipped"] = skipped_;
    manifest["stale"] = stale_;
    manifest["frames_kept"] = notes.kept;
    manifest["frames_stale"] = notes.stale;
    manifest["warnings"] = notes.warnings;
    manifest["provenance"] = provenance;
    if (!earlier_runs.empty()) manifest["earlier_runs"] = earlier_runs;
    // One file a line: readable, and a diff between two runs shows the frames.
    return shot::json_text(manifest, 2) + "\n";
}

shot::Json run_asked(const std::string& frames, const std::string& output, const std::string& preview) {
    return {{"frames", frames}, {"output", output}, {"preview", preview}};
}

shot::Json earlier_runs(const std::string& path, const shot::Json& asked) {
    std::error_code ec;
    // A manifest lists a chunk's files: far below this.
    constexpr uintmax_t kMaxBytes = 256u << 20;
    if (!std::filesystem::is_regular_file(path, ec) || std::filesystem::file_size(path, ec) > kMaxBytes || ec)
        return shot::Json::array();
    std::ifstream file(path, std::ios::binary);
    shot::Json earlier = shot::Json::parse(file, nullptr, false);
    const bool ours = earlier.is_object() && earlier.contains("command") && earlier["command"].is_string() &&
                      earlier["command"].get<std::string>().rfind("talvik-stmap ", 0) == 0;
    if (!ours) return shot::Json::array();
    shot::check_format_version(earlier, shot::kRenderManifestFormat, path);
    for (const auto& [key, value] : asked.items())
        if (!earlier.contains(key) || earlier[key] != value) return shot::Json::array();
    shot::Json runs = earlier.contains("earlier_runs") && earlier["earlier_runs"].is_array() ? earlier["earlier_runs"]
                                                                                            : shot::Json::array();
    earlier.erase("earlier_runs");
    runs.push_back(std::move(earlier));
    return runs;
}

io::FileSeal write_manifest(const std::string& path, const std::string& json) {
    return write_json_file(path, json, "manifest");
}

io::FileSeal write_json_file(const std::string& path, const std::string& json, const std::string& what) {
    // Missing folders are made, as for the maps.
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    if (ec)
        throw std::runtime_error("cannot create folder \"" + folder.string() + "\" for the " + what + ": " +
                                 ec.message());
    io::ReplaceFile output(path);
    errno = 0;
    std::ofstream file(output.temp_path(), std::ios::binary | std::ios::trunc);
    if (!file) output.fail_to_create(errno ? errno : EACCES);
    file << json;
    file.close();
    if (!file)
        throw std::runtime_error("cannot write " + what + " \"" + path + "\": " + std::strerror(errno ? errno : EIO));
    return output.commit_sealed();
}

}  // namespace talvik::pipeline
