#include "pipeline/farm/farm_maps.h"

#include <filesystem>

#include "pipeline/farm/job_folder.h"
#include "shot/usage_error.h"

namespace talvik::pipeline {

namespace fs = std::filesystem;

bool maps_by_direction(const FarmJob& f) { return !f.remove_map.empty() || !f.add_map.empty(); }

FarmMaps farm_maps(const ShotJob& o, const FarmJob& f) {
    struct Given {
        const std::string& pattern;
        int mode;
        const char* direction;
    };
    std::vector<Given> given;
    if (!maps_by_direction(f)) given.push_back({o.output, o.mode.value_or(0), ""});
    if (!f.remove_map.empty()) given.push_back({f.remove_map, 0, "remove"});
    if (!f.add_map.empty()) given.push_back({f.add_map, 1, "add"});
    const bool two = given.size() == 2;
    const bool same_stem = two && output_stem(given[0].pattern) == output_stem(given[1].pattern);
    FarmMaps out;
    for (const Given& g : given) {
        FarmMap map;
        map.job = o;
        map.job.output = absolute_path(g.pattern);
        if (*g.direction) map.job.mode = g.mode;
        map.label = !two ? "" : same_stem ? g.direction : output_stem(g.pattern);
        map.folder = f.job_dir.empty() ? job_folder(g.pattern, "")
                     : two           ? (fs::path(absolute_path(f.job_dir)) / g.direction).string()
                                     : absolute_path(f.job_dir);
        map.job.manifest = o.manifest.empty() ? (fs::path(map.folder) / "shot.json").string() : absolute_path(o.manifest);
        out.maps.push_back(std::move(map));
    }
    out.job_folder = f.job_dir.empty() ? out.maps.front().folder : absolute_path(f.job_dir);
    if (two && out.maps[0].job.output == out.maps[1].job.output)
        throw shot::UsageError("--remove-map and --add-map name the same files \"" + f.remove_map + "\": give each map its own");
    if (two && out.maps[0].folder == out.maps[1].folder)
        throw shot::UsageError("--remove-map \"" + f.remove_map + "\" and --add-map \"" + f.add_map +
                               "\" would share the job folder " + out.maps[0].folder + ": give --job-dir");
    return out;
}

}  // namespace talvik::pipeline
