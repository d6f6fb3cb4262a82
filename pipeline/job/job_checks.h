// What a job needs beyond each field's own value: fields that contradict
// each other or that a kind of job cannot do without. Both front ends
// check a job with these before anything is read; each throws
// shot::UsageError naming the fields as the job's caller spells them.
#pragma once

#include <string>

#include "pipeline/job/farm_job.h"
#include "pipeline/job/handoff_job.h"
#include "pipeline/job/points_job.h"
#include "pipeline/job/shot_job.h"

namespace talvik::pipeline {

// The node's reload reads a take only under a name ending in a lower-case
// ".fbx" (in Nuke too), so no command reads another. `what` names it.
void check_take_name(const std::string& what, const std::string& take);

// Every shot: the frame size given once, the margins given once, a camera
// only of a take.
void check_shot_job(const ShotJob& job);

// plan, submit and verify: the maps are -o's (its Mode as given), or
// named by their direction, not both. Returns whether by their direction.
bool check_map_pair(const ShotJob& job, const FarmJob& farm);

void check_farm_job(const ShotJob& job, const FarmJob& farm);
void check_points_job(const ShotJob& job, const PointsJob& points);
void check_camera_job(const ShotJob& job);
void check_nuke_script_job(const ShotJob& job, const HandoffJob& handoff);
void check_verify_job(const ShotJob& job);

}  // namespace talvik::pipeline
