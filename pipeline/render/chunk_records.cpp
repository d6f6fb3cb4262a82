#include "pipeline/render/chunk_records.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "shot/json_formats.h"

namespace talvik::pipeline {
namespace {

namespace fs = std::filesystem;

// A chunk's manifest lists a few hundred files at most.
constexpr uintmax_t kMaxBytes = 256u << 20;

std::string text_member(const shot::Json& object, const char* name) {
    const auto it = object.find(name);
    return it != object.end() && it->is_string() ? it->get<std::string>() : "";
}

}  // namespace

ChunkRecords ChunkRecords::read(const std::string& folder) {
    ChunkRecords records;
    std::error_code ec;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".json" && it->is_regular_file()) files.push_back(it->path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        shot::Json manifest;
        if (fs::file_size(file, ec) <= kMaxBytes && !ec) {
            std::ifstream in(file, std::ios::binary);
            manifest = shot::Json::parse(in, nullptr, false);
        }
        // Only render manifests: a shot manifest or a report may lie beside a render's.
        if (!manifest.is_object() || text_member(manifest, "command").rfind("talvik-stmap ", 0) != 0 ||
            !manifest.contains("provenance")) {
            records.skipped_.push_back(file.string());
            continue;
        }
        shot::check_format_version(manifest, shot::kRenderManifestFormat, file.string());
        records.manifests_.push_back(file.string());
        const auto modified = fs::last_write_time(file, ec);
        records.modified_[file.string()] = ec ? 0 : static_cast<long long>(modified.time_since_epoch().count());
        shot::Json runs = manifest.contains("earlier_runs") && manifest["earlier_runs"].is_array()
                              ? manifest["earlier_runs"]
                              : shot::Json::array();
        manifest.erase("earlier_runs");
        runs.push_back(std::move(manifest));
        for (const shot::Json& run : runs) {
            if (!run.is_object()) continue;
            const shot::Json provenance = run.contains("provenance") ? run["provenance"] : shot::Json::object();
            auto note = [&](const std::string& path, const char* as, const shot::Json* seal) {
                shot::Json record = shot::Json::object();
                record["manifest"] = file.string();
                record["host"] = provenance.is_object() ? text_member(provenance, "host") : "";
                record["started"] = provenance.is_object() ? text_member(provenance, "started") : "";
                record["ended"] = provenance.is_object() ? text_member(provenance, "ended") : "";
                record["as"] = as;
                if (seal && seal->contains("size") && (*seal)["size"].is_number_unsigned() &&
                    !text_member(*seal, "xxh3_128").empty()) {
                    record["size"] = (*seal)["size"];
                    record["xxh3_128"] = (*seal)["xxh3_128"];
                }
                auto& list = records.by_path_[path];
                if (list.is_null()) list = shot::Json::array();
                list.push_back(std::move(record));
            };
            for (const char* written : {"files", "documents"})
                if (run.contains(written) && run[written].is_array())
                    for (const shot::Json& f : run[written])
                        if (f.is_object()) note(text_member(f, "path"), "written", &f);
            if (run.contains("skipped") && run["skipped"].is_array())
                for (const shot::Json& p : run["skipped"])
                    if (p.is_string()) note(p.get<std::string>(), "kept", nullptr);
        }
    }
    return records;
}

shot::Json ChunkRecords::about(const std::string& absolute_path) const {
    const auto it = by_path_.find(absolute_path);
    return it == by_path_.end() ? shot::Json::array() : it->second;
}

std::optional<shot::Json> ChunkRecords::latest_written(const std::string& absolute_path) const {
    const auto it = by_path_.find(absolute_path);
    if (it == by_path_.end()) return std::nullopt;
    std::optional<shot::Json> latest;
    auto modified = [this](const shot::Json& record) {
        const auto m = modified_.find(text_member(record, "manifest"));
        return m == modified_.end() ? 0LL : m->second;
    };
    for (const shot::Json& record : it->second) {
        if (text_member(record, "as") != "written") continue;
        // Later in the list wins a tie: a manifest's own run follows its earlier ones.
        if (!latest || text_member(record, "ended") > text_member(*latest, "ended") ||
            (text_member(record, "ended") == text_member(*latest, "ended") && modified(record) >= modified(*latest)))
            latest = record;
    }
    return latest;
}

}  // namespace talvik::pipeline
