#include "cli/overscan_report.h"

namespace talvik::cli {
namespace {

// The CG frame: the format plus the margins.
long long cg_width(const Margins& m, int width) { return static_cast<long long>(width) + m.left + m.right; }
long long cg_height(const Margins& m, int height) { return static_cast<long long>(height) + m.bottom + m.top; }

}  // namespace

std::string overscan_summary(const Margins& m, int width, int height) {
    return "overscan: left " + std::to_string(m.left) + ", right " + std::to_string(m.right) + ", bottom " +
           std::to_string(m.bottom) + ", top " + std::to_string(m.top) + " px; render CG at " +
           std::to_string(cg_width(m, width)) + "x" + std::to_string(cg_height(m, height));
}

std::string overscan_json(const Margins& m, int width, int height) {
    return "{\"overscan\": {\"left\": " + std::to_string(m.left) + ", \"right\": " + std::to_string(m.right) +
           ", \"bottom\": " + std::to_string(m.bottom) + ", \"top\": " + std::to_string(m.top) +
           ", \"width\": " + std::to_string(cg_width(m, width)) +
           ", \"height\": " + std::to_string(cg_height(m, height)) + "}}";
}

std::vector<ExtraAttribute> overscan_attributes(const Margins& m) {
    return {{"talvik/overscan/left", m.left},
            {"talvik/overscan/right", m.right},
            {"talvik/overscan/bottom", m.bottom},
            {"talvik/overscan/top", m.top}};
}

}  // namespace talvik::cli
