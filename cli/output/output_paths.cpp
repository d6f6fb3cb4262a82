#include "cli/output/output_paths.h"

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <stdexcept>
#include <utility>

#include "shot/usage_error.h"
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

using FileId = std::pair<dev_t, ino_t>;

// Which output claimed each file, by resolved name and by identity, so
// that a second output landing on it is named together with the first.
class OutputClaims {
public:
    explicit OutputClaims(const std::vector<std::string>& inputs) {
        for (const std::string& input : inputs) {
            if (input.empty()) continue;
            if (const auto id = identity(input)) input_ids_.emplace_back(input, *id);
            input_keys_.emplace_back(input, same_file_key_(io::output_target(input)));
        }
    }

    // `who`: how the user named the output, e.g. `-o "m.1002.exr" (frame 1002)`.
    void claim(const std::string& path, const std::string& who) {
        const std::string target = io::output_target(path);
        const auto id = identity(target);
        const std::string key = same_file_key_(target);
        for (const auto& [input, input_id] : input_ids_)
            if (id && *id == input_id) refuse_input(path, input);
        for (const auto& [input, input_key] : input_keys_)
            if (key == input_key) refuse_input(path, input);
        const auto by_key = by_key_.emplace(key, who);
        if (!by_key.second) refuse_twice(who, by_key.first->second, key);
        if (!id) return;
        const auto by_id = by_id_.emplace(*id, who);
        if (!by_id.second) refuse_twice(who, by_id.first->second, key);
    }

private:
    [[noreturn]] static void refuse_input(const std::string& path, const std::string& input) {
        throw std::runtime_error("output \"" + path + "\" is the input \"" + input + "\": refusing to overwrite it");
    }
    [[noreturn]] static void refuse_twice(const std::string& second, const std::string& first,
                                          const std::string& file) {
        throw shot::UsageError(first + " and " + second + " are one file, \"" + file +
                         "\": refusing to let one replace the other");
    }

    SameFileKeys same_file_key_;
    std::vector<std::pair<std::string, FileId>> input_ids_;
    std::vector<std::pair<std::string, std::string>> input_keys_;
    std::map<std::string, std::string> by_key_;
    std::map<FileId, std::string> by_id_;
};

std::string frame_output(const char* option, const std::string& path, int frame) {
    return std::string(option) + " \"" + path + "\" (frame " + std::to_string(frame) + ")";
}

void make_folder(const std::string& folder) {
    if (folder.empty()) return;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw std::runtime_error("cannot create output folder \"" + folder + "\": " + ec.message());
}

}  // namespace

void check_output_paths(const std::optional<shot::FramePattern>& exr, const std::optional<shot::FramePattern>& preview,
                        const std::vector<int>& frames, const std::vector<std::string>& inputs,
                        const std::vector<SingleOutput>& single_files) {
    OutputClaims claims(inputs);
    for (int frame : frames) {
        if (exr) claims.claim(exr->path_for(frame), frame_output("-o", exr->path_for(frame), frame));
        if (preview) claims.claim(preview->path_for(frame), frame_output("--preview", preview->path_for(frame), frame));
    }
    for (const SingleOutput& file : single_files) claims.claim(file.path, file.option + " \"" + file.path + "\"");
}

void make_fixed_folders(const shot::FramePattern& pattern) { make_folder(pattern.fixed_folder()); }

void OutputFolders::prepare(const std::string& file_path) {
    const std::string folder = fs::path(file_path).parent_path().string();
    if (!seen_.insert(folder).second) return;
    make_folder(folder);
}

void remove_abandoned_temporaries(const std::vector<std::string>& outputs) {
    std::set<std::string> folders;
    for (const std::string& output : outputs) {
        std::string target;
        try {
            target = io::output_target(output);
        } catch (const std::exception&) {
            continue;  // refused when written
        }
        if (folders.insert(fs::path(target).parent_path().string()).second)
            io::remove_stale_temporaries(fs::path(target).parent_path().string());
    }
}

}  // namespace talvik::cli
