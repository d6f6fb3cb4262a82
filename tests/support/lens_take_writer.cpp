#include "tests/support/lens_take_writer.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace talvik::test {

namespace {

constexpr long long kTicksPerFrame24 = 46186158000LL / 24;

template <typename T>
std::string array_text(const std::vector<T>& values) {
    std::ostringstream out;
    out.precision(9);
    out << "*" << values.size() << " {\n\t\t\ta: ";
    for (size_t i = 0; i < values.size(); ++i) out << (i ? "," : "") << values[i];
    out << "\n\t\t}";
    return out.str();
}

}  // namespace

std::string ascii_take(const std::vector<TakeModel>& models) {
    std::ostringstream objects, connections;
    long long id = 100;
    for (const TakeModel& model : models) {
        const long long model_id = id++;
        objects << "\tModel: " << model_id << ", \"Model::" << model.name << "\", \"Null\" {\n\t}\n";
        connections << "\tC: \"OO\"," << model_id << ",0\n";
        if (model.channels.empty()) continue;
        const long long node_id = id++;
        objects << "\tAnimationCurveNode: " << node_id << ", \"AnimCurveNode::T\", \"\" {\n\t}\n";
        connections << "\tC: \"OP\"," << node_id << "," << model_id << ", \"Lcl Translation\"\n";
        for (const auto& [channel, keys] : model.channels) {
            const long long curve_id = id++;
            std::vector<long long> times;
            for (int f : keys.frames) times.push_back(f * kTicksPerFrame24);
            objects << "\tAnimationCurve: " << curve_id << ", \"AnimCurve::\", \"\" {\n"
                    << "\t\tKeyTime: " << array_text(times) << "\n"
                    << "\t\tKeyValueFloat: " << array_text(keys.values) << "\n\t}\n";
            connections << "\tC: \"OP\"," << curve_id << "," << node_id << ", \"d|"
                        << "XYZ"[channel] << "\"\n";
        }
    }
    return "; FBX 7.4.0 project file\n"
           "FBXHeaderExtension:  {\n\tFBXHeaderVersion: 1003\n\tFBXVersion: 7400\n}\n"
           "GlobalSettings:  {\n\tVersion: 1000\n\tProperties70:  {\n"
           "\t\tP: \"TimeMode\", \"enum\", \"\", \"\",11\n\t}\n}\n"
           "Objects:  {\n" + objects.str() + "}\nConnections:  {\n" + connections.str() + "}\n";
}

std::vector<TakeModel> lens_take(int camera, int first, int last, float base, float step) {
    ChannelKeys keys;
    for (int f = first; f <= last; ++f) {
        keys.frames.push_back(f);
        keys.values.push_back(base + step * static_cast<float>(f - first));
    }
    const std::string n = std::to_string(camera);
    return {
        {"BP_TalvikLensCxCyFOV" + n, {{0, keys}, {2, keys}}},
        {"BP_TalvikLensK1K2FD" + n, {{0, keys}, {2, keys}}},
        {"BP_TalvikLensFxAndOverscanFactor" + n, {{0, keys}, {1, keys}}},
        {"BP_TalvikLensEPDFy" + n, {{0, keys}}},
    };
}

std::string write_temp_file(const std::string& name, const std::string& text) {
    static const std::filesystem::path folder = [] {
        std::filesystem::path p = std::filesystem::temp_directory_path() /
                                  ("talvik_reload_" + std::to_string(getpid()));
        std::filesystem::create_directories(p);
        return p;
    }();
    const std::filesystem::path path = folder / name;
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + path.string());
    return path.string();
}

}  // namespace talvik::test
