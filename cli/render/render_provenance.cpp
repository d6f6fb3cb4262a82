#include "cli/render/render_provenance.h"

#include <unistd.h>

#include <climits>
#include <ctime>

#include "DDImage/Knob.h"
#include "cli/render/version_info.h"

namespace talvik::cli {
namespace {

std::string host_name() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "";
    return name;
}

Json plate_facts(const RenderOptions& o, const RenderPlan& plan) {
    if (!plan.plates) return nullptr;
    Json plate = Json::object();
    plate["given"] = o.plate;
    plate["files"] = plan.plates->paths();
    return plate;
}

Json camera_facts(const RenderOptions& o, const RenderPlan& plan) {
    if (o.fbx.empty()) return nullptr;
    Json camera = Json::object();
    const DD::Image::Knob* index = plan.node ? plan.node->knob("camera_index") : nullptr;
    camera["number"] = index ? Json(static_cast<int>(index->value())) : Json(nullptr);
    camera["reason"] = plan.notes.camera;
    return camera;
}

Json overscan_facts(const RenderPlan& plan) {
    const auto& margins = plan.overscan.margins();
    if (!margins) return nullptr;
    Json overscan = Json::object();
    overscan["request"] = plan.overscan.request_text();
    overscan["left"] = margins->left;
    overscan["right"] = margins->right;
    overscan["bottom"] = margins->bottom;
    overscan["top"] = margins->top;
    return overscan;
}

}  // namespace

std::string utc_time_now() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

Json render_provenance(const RenderOptions& o, const RenderPlan& plan, const std::string& started,
                       const std::string& ended) {
    Json facts = Json::object();
    facts["command_line"] = o.command_line;
    facts["version"] = command_version();
    facts["host"] = host_name();
    facts["started"] = started;
    facts["ended"] = ended;
    facts["plate"] = plate_facts(o, plan);
    facts["take"] = o.fbx.empty() ? Json(nullptr) : Json(o.fbx);
    facts["camera"] = camera_facts(o, plan);
    facts["overscan"] = overscan_facts(plan);
    return facts;
}

}  // namespace talvik::cli
