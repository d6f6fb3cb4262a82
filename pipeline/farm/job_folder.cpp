#include "pipeline/farm/job_folder.h"

#include <filesystem>

#include "shot/frame_pattern.h"

namespace talvik::pipeline {

namespace fs = std::filesystem;

std::string output_stem(const std::string& output_pattern) {
    const shot::FramePattern pattern = shot::FramePattern::parse(output_pattern);
    std::string stem = pattern.file_name_prefix();
    // The frame field in a folder name (or none): the prefix is the whole
    // file name, whose extension is no part of the name.
    if (stem == fs::path(pattern.text()).filename().string()) stem = fs::path(stem).stem().string();
    while (!stem.empty() && (stem.back() == '.' || stem.back() == '_' || stem.back() == '-' || stem.back() == ' '))
        stem.pop_back();
    return stem.empty() ? "stmap" : stem;
}

std::string absolute_path(const std::string& path) {
    std::error_code ec;
    const fs::path full = fs::absolute(path, ec);
    if (ec) return path;
    fs::path out;
    for (const fs::path& part : full)
        if (part != ".") out /= part;
    return out.string();
}

std::string job_folder(const std::string& output_pattern, const std::string& given) {
    if (!given.empty()) return absolute_path(given);
    const shot::FramePattern pattern = shot::FramePattern::parse(output_pattern);
    const std::string folder = pattern.fixed_folder();
    return absolute_path((folder.empty() ? fs::path(".") : fs::path(folder)) / (output_stem(output_pattern) + ".job"));
}

std::string chunk_manifest_folder(const std::string& job_folder) { return (fs::path(job_folder) / "chunks").string(); }

}  // namespace talvik::pipeline
