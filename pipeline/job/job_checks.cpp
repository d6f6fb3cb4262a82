#include "pipeline/job/job_checks.h"

#include "pipeline/job/field_names.h"
#include "shot/frame_pattern.h"
#include "shot/usage_error.h"

namespace talvik::pipeline {

namespace {

// Fields named as the job's caller spells them.
class Names {
public:
    explicit Names(const ShotJob& job) : naming_(job.naming) {}
    std::string operator()(const std::string& option) const { return field_name(naming_, option); }
    std::string give(const std::string& option) const { return "give " + asking_for(naming_, option); }
    bool options() const { return naming_ == Naming::Options; }

private:
    Naming naming_;
};

[[noreturn]] void refuse(const std::string& message) { throw shot::UsageError(message); }

void check_format_given(const ShotJob& job, const std::string& what) {
    const Names n(job);
    if (job.plate.empty() && !job.size) refuse(what + ": " + n.give("--plate") + " or " + asking_for(job.naming, "--size"));
}

}  // namespace

void check_take_name(const std::string& what, const std::string& take) {
    if (take.size() >= 4 && take.compare(take.size() - 4, 4, ".fbx") == 0) return;
    refuse(what + " \"" + take + "\": a take's name must end in a lower-case .fbx, the only names "
                                 "the node's reload reads; link or copy it under such a name");
}

void check_shot_job(const ShotJob& job) {
    const Names n(job);
    if (job.overscan && !job.overscan_from.empty())
        refuse(n("--overscan") + " and " + n("--overscan-from") + " both give the margins: give one");
    if (!job.overscan_report.empty() && !job.overscan && job.overscan_from.empty())
        refuse(n(job.overscan_report_name) + " writes the margins of " + n("--overscan") + ": " + n.give("--overscan") +
               " too");
    if (!job.fbx.empty()) check_take_name(n("--fbx"), job.fbx);
    if (!job.plate.empty() && job.size)
        refuse(n("--plate") + " and " + n("--size") + " both set the frame size: give one");
    if (job.camera && job.fbx.empty())
        refuse(n("--camera") + " picks a camera of the " + n("--fbx") + " take: " + n.give("--fbx") + " too");
}

bool check_map_pair(const ShotJob& job, const FarmJob& farm) {
    const Names n(job);
    const bool remove = !farm.remove_map.empty(), add = !farm.add_map.empty();
    if (!remove && !add) return false;
    const std::string given = remove && add ? n("--remove-map") + " and " + n("--add-map")
                              : remove      ? n("--remove-map")
                                            : n("--add-map");
    if (!job.output.empty())
        refuse(n("-o") + " and " + given + " both name the maps: give " + n("-o") + " (with " + n("--direction") +
               ") or " + given);
    if (job.mode)
        refuse(given + " give the maps' direction themselves: leave " + n("--direction") + " and " + n("--mode") + " out");
    if (remove && add && !job.preview.empty())
        refuse(n("--preview") + " names the previews of one map: give it with " + n("-o") + ", " + n("--remove-map") +
               " or " + n("--add-map") + " alone");
    if (remove && add && !job.manifest.empty())
        refuse(n("--manifest") + " names one map's shot manifest: with " + given +
               " each map's is shot.json in its job folder");
    for (const std::string* map : {&farm.remove_map, &farm.add_map})
        if (!map->empty()) shot::FramePattern::parse(*map);
    return true;
}

void check_farm_job(const ShotJob& job, const FarmJob& farm) {
    const Names n(job);
    if (!check_map_pair(job, farm) && job.output.empty())
        refuse("a farm job renders maps: " + n.give("-o") + (n.options() ? " PATTERN" : "") + " (or " +
               n("--remove-map") + " and " + n("--add-map") + ")");
    check_shot_job(job);
    if (farm.chunk < 1)
        refuse(n.options() ? "give --chunk N, the frames of each render task" : "give chunk=N, the frames of each render task");
    if (!job.overscan_report.empty() && job.overscan != std::optional<std::string>("auto"))
        refuse(n(job.overscan_report_name) + " names the report the overscan step writes: " + n.give("--overscan") +
               (n.options() ? " auto" : "\"auto\""));
}

void check_points_job(const ShotJob& job, const PointsJob& points) {
    const Names n(job);
    check_shot_job(job);
    if (points.track.empty())
        refuse(n.options() ? "points takes one track CSV (name,frame,x,y)" : "points needs the track: give track=");
    if (job.fbx.empty()) refuse("points needs the take: " + n.give("--fbx"));
    if (!job.mode)
        refuse(n.options() ? "points needs --direction remove or add (or --mode undistort or distort)"
                           : "points needs direction=\"remove\" or \"add\" (or mode=\"undistort\" or \"distort\")");
    check_format_given(job, "points needs the format");
    if (job.output.empty()) refuse("points writes the track to -o FILE.csv: give -o");
}

void check_camera_job(const ShotJob& job) {
    check_shot_job(job);
    if (job.document.empty()) refuse("camera writes its JSON to -o: give -o");
    check_format_given(job, "camera gives pixels of the format");
}

void check_nuke_script_job(const ShotJob& job, const HandoffJob& handoff) {
    const Names n(job);
    check_shot_job(job);
    if (job.document.empty()) refuse("nuke-script writes the script to -o: give -o");
    if (job.plate.empty()) refuse("nuke-script reads the plate in the script: " + n.give("--plate"));
    if (handoff.remove_map.empty() || handoff.add_map.empty())
        refuse("nuke-script reads the maps in the script: " + n.give("--remove-map") + " and " +
               asking_for(job.naming, "--add-map"));
    for (const std::string* map : {&handoff.remove_map, &handoff.add_map}) shot::FramePattern::parse(*map);
}

void check_verify_job(const ShotJob& job) {
    const Names n(job);
    check_shot_job(job);
    if (job.output.empty() && job.preview.empty())
        refuse("nothing to verify: " + n.give("-o") + ", " + n("--preview") + " or both, as the render had them");
}

}  // namespace talvik::pipeline
