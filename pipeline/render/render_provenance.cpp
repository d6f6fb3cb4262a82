#include "pipeline/render/render_provenance.h"

#include <unistd.h>

#include <climits>
#include <ctime>

#include "DDImage/Knob.h"
#include "shot/version_info.h"

namespace talvik::pipeline {
namespace {

shot::Json plate_facts(const ShotJob& o, const RenderPlan& plan) {
    if (!plan.plates) return nullptr;
    shot::Json plate = shot::Json::object();
    plate["given"] = o.plate;
    plate["files"] = plan.plates->paths();
    return plate;
}

shot::Json camera_facts(const ShotJob& o, const RenderPlan& plan) {
    if (o.fbx.empty()) return nullptr;
    shot::Json camera = shot::Json::object();
    const DD::Image::Knob* index = plan.node ? plan.node->knob("camera_index") : nullptr;
    camera["number"] = index ? shot::Json(static_cast<int>(index->value())) : shot::Json(nullptr);
    camera["reason"] = plan.notes.camera;
    return camera;
}

shot::Json overscan_facts(const RenderPlan& plan) {
    const auto& margins = plan.overscan.margins();
    if (!margins) return nullptr;
    shot::Json overscan = shot::Json::object();
    overscan["request"] = plan.overscan.request_text();
    overscan["left"] = margins->left;
    overscan["right"] = margins->right;
    overscan["bottom"] = margins->bottom;
    overscan["top"] = margins->top;
    return overscan;
}

}  // namespace

std::string host_name() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "";
    return name;
}

std::string utc_time_now() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

shot::Json render_provenance(const ShotJob& o, const RenderPlan& plan, const std::string& started,
                       const std::string& ended) {
    shot::Json facts = shot::Json::object();
    facts["command_line"] = o.command_line;
    facts["version"] = shot::command_version();
    facts["host"] = host_name();
    facts["started"] = started;
    facts["ended"] = ended;
    facts["plate"] = plate_facts(o, plan);
    facts["take"] = o.fbx.empty() ? shot::Json(nullptr) : shot::Json(o.fbx);
    facts["camera"] = camera_facts(o, plan);
    facts["overscan"] = overscan_facts(plan);
    return facts;
}

}  // namespace talvik::pipeline
