#include "pipeline/output/output_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <filesystem>
#include <map>
#include <stdexcept>
#include <utility>

#include "shot/usage_error.h"
#include "io/output_target.h"
#include "io/resolved_path.h"
#include "io/temporary_name.h"
#include "pipeline/job/field_names.h"

namespace talvik::pipeline {
namespace {

namespace fs = std::filesystem;

// One key per file, whether it exists yet or not: where its folder lands
// (resolved once per folder: a range may hold a million frames) and the
// name, or the file's own identity where it exists; with the path as the
// system resolves it, for messages.
class SameFileKeys {
public:
    struct Key {
        std::string key, shown;
    };

    Key operator()(const std::string& path) {
        const fs::path p(path);
        const std::string folder = p.parent_path().string();
        auto it = folders_.find(folder);
        if (it == folders_.end()) it = folders_.emplace(folder, io::resolve_path(folder.empty() ? "." : folder)).first;
        const io::ResolvedPath& where = it->second;
        const std::string name = p.filename().string();
        const std::string shown = (fs::path(where.existing) / where.rest / name).lexically_normal().string();
        struct stat st {};
        if (where.rest.empty() && stat(shown.c_str(), &st) == 0)
            return {std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino), shown};
        return {where.key() + "/" + name, shown};
    }

private:
    std::map<std::string, io::ResolvedPath> folders_;
};

// Which output claimed each file, so that a second output landing on it is
// named together with the first.
class OutputClaims {
public:
    explicit OutputClaims(const std::vector<InputFile>& inputs) {
        for (const InputFile& input : inputs) {
            if (input.path.empty()) continue;
            std::string target;
            try {
                target = io::output_target(input.path);
            } catch (const std::exception&) {
                continue;  // no file an output could replace
            }
            inputs_.emplace(same_file_key_(target).key, input);
        }
    }

    // `who`: how the user named the output, e.g. `-o "m.1002.exr" (frame 1002)`.
    void claim(const std::string& path, const std::string& who) {
        if (io::resolve_path(path).descriptor)
            throw shot::UsageError(who + " names an open file descriptor (standard output or error, /dev/fd/N, "
                                         "/proc/self/fd/N), not a file: give a file name");
        const SameFileKeys::Key key = same_file_key_(io::output_target(path));
        const auto input = inputs_.find(key.key);
        if (input != inputs_.end()) {
            const std::string refusal = "output \"" + path + "\" is the " + input->second.what + " \"" +
                                        input->second.path + "\": refusing to overwrite it";
            if (input->second.named_only) throw shot::UsageError(refusal);
            throw std::runtime_error(refusal);
        }
        const auto claimed = claims_.emplace(key.key, who);
        if (!claimed.second)
            throw shot::UsageError(claimed.first->second + " and " + who + " are one file, \"" + key.shown +
                                   "\": refusing to let one replace the other");
    }

private:
    SameFileKeys same_file_key_;
    std::map<std::string, InputFile> inputs_;
    std::map<std::string, std::string> claims_;
};

std::string frame_output(const std::string& option, const std::string& path, int frame) {
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
                        const std::vector<int>& frames, const std::vector<InputFile>& inputs,
                        const std::vector<SingleOutput>& single_files, Naming naming) {
    OutputClaims claims(inputs);
    const std::string map = field_name(naming, "-o"), preview_name = field_name(naming, "--preview");
    for (int frame : frames) {
        if (exr) claims.claim(exr->path_for(frame), frame_output(map, exr->path_for(frame), frame));
        if (preview) claims.claim(preview->path_for(frame), frame_output(preview_name, preview->path_for(frame), frame));
    }
    for (const SingleOutput& file : single_files) claims.claim(file.path, file.option + " \"" + file.path + "\"");
}

void check_single_output_writable(const SingleOutput& file) {
    std::error_code ec;
    if (fs::is_directory(file.path, ec))
        throw shot::UsageError(file.option + " " + file.path + " is a folder, not a file");
    const std::string folder = fs::path(file.path).parent_path().string();
    const io::ResolvedPath where = io::resolve_path(folder.empty() ? "." : folder);
    const std::string cannot = "cannot write " + file.option + " \"" + file.path + "\": ";
    struct stat st {};
    if (stat(where.existing.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
        throw std::runtime_error(cannot + "\"" + where.existing + "\" is a file, not a folder");
    // The file goes in the folder, or in folders made in it.
    const std::string first = where.rest.empty() ? fs::path(file.path).filename().string()
                                                 : where.rest.substr(0, where.rest.find('/'));
    const std::string probe = io::temporary_path_for(where.existing + "/" + first, 0xffffffffu);
    const int fd = io::create_locked_temporary(probe);
    if (fd < 0)
        throw std::runtime_error(cannot + "cannot create a file in folder \"" + where.existing + "\": " +
                                 std::strerror(errno));
    unlink(probe.c_str());
    close(fd);
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

}  // namespace talvik::pipeline
