// Models, curve nodes, curves and the Connections between them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "host/fbx/fbx_node.h"
#include "host/fbx/fbx_scene.h"

namespace talvik::fbx::detail {

struct ModelAnimation {
    std::vector<std::string> names;                // every Model, file order
    std::map<std::string, Translation> animated;   // first Model of each name, if animated
};

// Follows Model <-OP "Lcl Translation"- AnimationCurveNode <-OP "d|X/Y/Z"-
// AnimationCurve. Where several curve nodes feed one model (stacks, layers)
// the first connection with any curve wins, and per component the first
// curve; keys are returned as stored. Throws FbxError on damaged records.
ModelAnimation read_translations(const Document& doc);

// "N\x00\x01Model" (binary) or "Model::N" (ASCII) -> "N".
std::string model_name(const std::string& object_name);

}  // namespace talvik::fbx::detail
