#include "shot/overscan_identity.h"

#include <stdexcept>

namespace talvik::shot {
namespace {

const Json& member(const Json& object, const char* name, const std::string& where) {
    const auto it = object.find(name);
    if (it == object.end()) throw std::runtime_error(where + ": \"measured_on\" has no \"" + name + "\"");
    return *it;
}

int whole_number(const Json& object, const char* name, const std::string& where) {
    const Json& v = member(object, name, where);
    if (!v.is_number_integer() || v.get<long long>() < 0 || v.get<long long>() > 1 << 30)
        throw std::runtime_error(where + ": \"measured_on\" \"" + std::string(name) + "\" is not a whole number");
    return v.get<int>();
}

std::string text(const Json& object, const char* name, const std::string& where, bool may_be_null) {
    const Json& v = member(object, name, where);
    if (v.is_null() && may_be_null) return "";
    if (!v.is_string())
        throw std::runtime_error(where + ": \"measured_on\" \"" + std::string(name) + "\" is not a text");
    return v.get<std::string>();
}

std::string camera_text(const std::optional<int>& camera) { return camera ? std::to_string(*camera) : "none"; }

std::string hash_text(const std::string& hash) { return hash.empty() ? "no take" : hash; }

}  // namespace

Json measured_on_json(const MeasuredOn& m) {
    Json out = Json::object();
    out["take_hash"] = m.take_hash.empty() ? Json(nullptr) : Json(m.take_hash);
    out["take"] = m.take_path.empty() ? Json(nullptr) : Json(m.take_path);
    out["camera"] = m.camera ? Json(*m.camera) : Json(nullptr);
    out["format"] = {{"width", m.width}, {"height", m.height}, {"pixel_aspect", m.pixel_aspect}};
    out["mode"] = m.mode.empty() ? Json(nullptr) : Json(m.mode);
    out["lens_model"] = m.lens_model;
    return out;
}

MeasuredOn measured_on_from_json(const Json& object, const std::string& where) {
    if (!object.is_object()) throw std::runtime_error(where + ": \"measured_on\" is not an object");
    MeasuredOn m;
    m.take_hash = text(object, "take_hash", where, true);
    m.take_path = text(object, "take", where, true);
    const Json& camera = member(object, "camera", where);
    if (!camera.is_null()) m.camera = whole_number(object, "camera", where);
    const Json& format = member(object, "format", where);
    if (!format.is_object()) throw std::runtime_error(where + ": \"measured_on\" \"format\" is not an object");
    m.width = whole_number(format, "width", where);
    m.height = whole_number(format, "height", where);
    const Json& aspect = member(format, "pixel_aspect", where);
    if (!aspect.is_number()) throw std::runtime_error(where + ": \"measured_on\" \"pixel_aspect\" is not a number");
    m.pixel_aspect = aspect.get<double>();
    m.mode = text(object, "mode", where, true);
    m.lens_model = whole_number(object, "lens_model", where);
    return m;
}

std::string measured_on_difference(const MeasuredOn& report, const MeasuredOn& shot) {
    std::string out;
    auto differs = [&](const std::string& what, const std::string& there, const std::string& here) {
        out += (out.empty() ? "" : ", ") + what + " (" + there + " in the report, " + here + " here)";
    };
    if (report.take_hash != shot.take_hash)
        differs("the take's content", hash_text(report.take_hash), hash_text(shot.take_hash));
    if (report.camera != shot.camera) differs("the camera", camera_text(report.camera), camera_text(shot.camera));
    if (report.width != shot.width || report.height != shot.height)
        differs("the format", std::to_string(report.width) + "x" + std::to_string(report.height),
                std::to_string(shot.width) + "x" + std::to_string(shot.height));
    if (report.pixel_aspect != shot.pixel_aspect)
        differs("the pixel aspect", json_text(Json(report.pixel_aspect)), json_text(Json(shot.pixel_aspect)));
    if (report.lens_model != shot.lens_model)
        differs("the lens model", std::to_string(report.lens_model), std::to_string(shot.lens_model));
    return out;
}

}  // namespace talvik::shot
