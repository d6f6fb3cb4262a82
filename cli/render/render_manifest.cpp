#include "cli/render/render_manifest.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "cli/options/usage_error.h"
#include "cli/render/json_text.h"
#include "cli/render/version_info.h"
#include "io/replace_file.h"

namespace talvik::cli {
namespace {

// Absolute, so the manifest means the same wherever it is read from.
std::string absolute_path(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}

void append_list(std::string& out, const std::vector<std::string>& items) {
    out += "[";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? ",\n    " : "\n    ") + items[i];
    out += items.empty() ? "]" : "\n  ]";
}

}  // namespace

void RenderManifest::add(const std::string& path, int frame, const std::vector<ControlValue>& values) {
    files_.push_back("{\"path\": " + json_string(absolute_path(path)) + ", \"frame\": " + std::to_string(frame) +
                     ", \"controls\": " + controls_object_json(values) + "}");
}

void RenderManifest::add_skipped(const std::string& path) { skipped_.push_back(json_string(absolute_path(path))); }
void RenderManifest::add_stale(const std::string& path) { stale_.push_back(json_string(absolute_path(path))); }

std::string RenderManifest::json(const std::string& plugin_path, const RenderNotes& notes) const {
    std::string out = "{\n  \"command\": " + json_string(std::string("talvik-stmap ") + command_version()) +
                      ",\n  \"plugin\": " + json_string(plugin_path) + ",\n  \"files\": ";
    append_list(out, files_);
    out += ",\n  \"skipped\": ";
    append_list(out, skipped_);
    out += ",\n  \"stale\": ";
    append_list(out, stale_);
    out += ",\n  \"frames_kept\": " + std::to_string(notes.kept) + ",\n  \"frames_stale\": " +
           std::to_string(notes.stale) + ",\n  \"warnings\": ";
    std::vector<std::string> warnings;
    for (const std::string& w : notes.warnings) warnings.push_back(json_string(w));
    append_list(out, warnings);
    return out + "\n}\n";
}

void check_manifest_path(const std::string& manifest, const std::vector<std::string>& outputs) {
    std::error_code ec;
    // Found now rather than after every frame is rendered.
    if (std::filesystem::is_directory(manifest, ec))
        throw UsageError("--manifest " + manifest + " is a folder, not a file");
    const std::string target = absolute_path(manifest);
    for (const std::string& output : outputs)
        if (absolute_path(output) == target)
            throw UsageError("--manifest " + manifest + " is also an output of this render");
}

void write_manifest(const std::string& path, const std::string& json) {
    // Missing folders are made, as for the maps.
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    if (ec)
        throw std::runtime_error("cannot create folder \"" + folder.string() + "\" for the manifest: " +
                                 ec.message());
    io::ReplaceFile output(path);
    errno = 0;
    std::ofstream file(output.temp_path(), std::ios::binary | std::ios::trunc);
    if (!file) output.fail_to_create(errno ? errno : EACCES);
    file << json;
    file.close();
    if (!file)
        throw std::runtime_error("cannot write manifest \"" + path + "\": " + std::strerror(errno ? errno : EIO));
    output.commit();
}

}  // namespace talvik::cli
