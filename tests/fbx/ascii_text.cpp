#include "tests/fbx/ascii_text.h"

namespace talvik::fbx::testing {

std::string AsciiTake::text() const {
    std::string t =
        "; FBX 7.4.0 project file\n"
        "FBXHeaderExtension:  {\n\tFBXHeaderVersion: 1003\n\tFBXVersion: 7400\n}\n";
    if (with_global_settings)
        t += "GlobalSettings:  {\n\tVersion: 1000\n\tProperties70:  {\n" + global_settings + "\t}\n}\n";
    t += "Objects:  {\n"
         "\tModel: 10, \"" + model_name + "\", \"Null\" {\n\t\tShading: Y\n\t}\n"
         "\tAnimationCurveNode: 20, \"AnimCurveNode::T\", \"\" {\n\t}\n"
         "\tAnimationCurve: 30, \"AnimCurve::\", \"\" {\n"
         "\t\tKeyTime: " + key_time + "\n"
         "\t\tKeyValueFloat: " + key_value + "\n"
         "\t}\n" + extra_objects +
         "}\n"
         "Connections:  {\n"
         "\tC: \"OO\",10,0\n"
         "\tC: \"OP\",20,10, \"Lcl Translation\"\n"
         "\tC: \"OP\",30,20, \"d|Y\"\n"
         "}\n";
    return t;
}

Scene parse_text(const std::string& text, const std::string& name) {
    return parse_scene(reinterpret_cast<const uint8_t*>(text.data()), text.size(), name);
}

std::string error_of_text(const std::string& text, const std::string& name) {
    try {
        parse_text(text, name);
    } catch (const FbxError& e) {
        return e.what();
    }
    return "";
}

}  // namespace talvik::fbx::testing
