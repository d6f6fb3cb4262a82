#include "host/fbx/fbx_scene.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "host/fbx/fbx_animation.h"
#include "host/fbx/fbx_ascii.h"
#include "host/fbx/fbx_binary.h"
#include "host/fbx/fbx_settings.h"

namespace talvik::fbx {

Scene::Scene(FrameRate rate, std::vector<std::string> model_names,
             std::map<std::string, Translation> translations)
    : rate_(rate), names_(std::move(model_names)), translations_(std::move(translations)) {}

std::optional<Translation> Scene::translation(const std::string& model_name) const {
    const auto it = translations_.find(model_name);
    if (it == translations_.end()) return std::nullopt;
    return it->second;
}

Scene parse_scene(const uint8_t* data, size_t size, const std::string& name) {
    if (data == nullptr && size != 0) detail::fail(name, "no data");
    const detail::Document doc = detail::looks_binary(data, size)
                                     ? detail::parse_binary(data, size, name)
                                     : detail::parse_ascii(data, size, name);
    const FrameRate rate = detail::read_frame_rate(doc);
    detail::ModelAnimation anim = detail::read_translations(doc);
    return Scene(rate, std::move(anim.names), std::move(anim.animated));
}

Scene read_scene(const std::string& path) {
    // A FIFO would block for good, a device such as /dev/zero never end, a
    // folder fail with a stream error that names nothing.
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        detail::fail(path, S_ISDIR(st.st_mode) ? "is a folder, not a file" : "is not a regular file");
    std::ifstream in(path, std::ios::binary);
    if (!in) detail::fail(path, std::string("cannot open: ") + std::strerror(errno));
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) detail::fail(path, "read error");
    return parse_scene(bytes.data(), bytes.size(), path);
}

}  // namespace talvik::fbx
