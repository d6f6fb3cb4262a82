#include "cli/output/output_paths.h"

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <stdexcept>
#include <utility>

#include "io/output_target.h"
#include "io/temporary_name.h"

namespace talvik::cli {
namespace {

namespace fs = std::filesystem;

// One spelling per file, whether it exists yet or not: the folder resolved
// through its symlinks (once per folder: a range may hold a million frames),
// then the name.
class SameFileKeys {
public:
    std::string operator()(const std::string& path) {
        const fs::path p(path);
        const std::string folder = p.parent_path().string();
        auto it = folders_.find(folder);
        if (it == folders_.end()) {
            std::error_code ec;
            const fs::path absolute = fs::absolute(folder.empty() ? fs::path(".") : fs::path(folder), ec);
            fs::path resolved = fs::weakly_canonical(absolute, ec);
            if (ec) resolved = absolute.lexically_normal();
            it = folders_.emplace(folder, resolved).first;
        }
        return (it->second / p.filename()).lexically_normal().string();
    }

private:
    std::map<std::string, fs::path> folders_;
};

std::optional<std::pair<dev_t, ino_t>> identity(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return std::nullopt;
    return std::make_pair(st.st_dev, st.st_ino);
}

void make_folder(const std::string& folder) {
    if (folder.empty()) return;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw std::runtime_error("cannot create output folder \"" + folder + "\": " + ec.message());
}

}  // namespace

void check_output_paths(const std::optional<OutputPattern>& exr, const std::optional<OutputPattern>& preview,
                        const std::vector<int>& frames, const std::vector<std::string>& inputs,
                        const std::vector<std::string>& single_files) {
    SameFileKeys same_file_key;
    std::vector<std::pair<std::string, std::pair<dev_t, ino_t>>> input_ids;
    std::vector<std::pair<std::string, std::string>> input_keys;
    for (const std::string& input : inputs) {
        if (input.empty()) continue;
        if (const auto id = identity(input)) input_ids.emplace_back(input, *id);
        input_keys.emplace_back(input, same_file_key(io::output_target(input)));
    }
    auto check = [&](const std::string& path) {
        const std::string target = io::output_target(path);
        const auto id = identity(target);
        const std::string key = same_file_key(target);
        for (const auto& [input, input_id] : input_ids)
            if (id && *id == input_id)
                throw std::runtime_error("output \"" + path + "\" is the input \"" + input + "\": refusing to overwrite it");
        for (const auto& [input, input_key] : input_keys)
            if (key == input_key)
                throw std::runtime_error("output \"" + path + "\" is the input \"" + input + "\": refusing to overwrite it");
        return key;
    };
    for (const std::string& file : single_files) check(file);
    for (int frame : frames) {
        std::string exr_key, preview_key;
        if (exr) exr_key = check(exr->path_for(frame));
        if (preview) preview_key = check(preview->path_for(frame));
        if (exr && preview && exr_key == preview_key)
            throw std::runtime_error("-o and --preview both name \"" + exr->path_for(frame) + "\" for frame " +
                                     std::to_string(frame) + ": refusing to let the preview replace the map");
    }
}

void make_fixed_folders(const OutputPattern& pattern) { make_folder(pattern.fixed_folder()); }

void OutputFolders::prepare(const OutputPattern& pattern, const std::string& file_path) {
    const std::string folder = fs::path(file_path).parent_path().string();
    // The map and the preview may share a folder; each cleans up its own.
    if (!seen_.insert(folder + '\0' + pattern.file_name_prefix()).second) return;
    make_folder(folder);
    io::remove_stale_temporaries(folder, pattern.file_name_prefix());
}

}  // namespace talvik::cli
