// The format version of every kind of JSON document the command writes or
// prints, in one place: a change of a document's form is one edit here (and
// its schema under docs/schemas/). Each document carries its version as its
// first member, "format_version".
#pragma once

#include <string>

#include "shot/json_output.h"

namespace talvik::shot {

struct JsonFormat {
    const char* kind;  // as messages name it: "render manifest"
    int version;
};

constexpr JsonFormat kRenderManifestFormat{"render manifest", 2};  // --manifest, a farm chunk's manifest
constexpr JsonFormat kShotManifestFormat{"shot manifest", 2};      // the farm's verify step
constexpr JsonFormat kJobPlanFormat{"job plan", 2};                // plan --json
constexpr JsonFormat kSubmittedJobFormat{"submitted job", 1};      // submit --json
constexpr JsonFormat kOverscanReportFormat{"overscan report", 1};  // overscan -o, --overscan-report
constexpr JsonFormat kCameraFormat{"camera", 1};                   // camera -o
constexpr JsonFormat kInspectFormat{"take inspection", 1};         // inspect --json
constexpr JsonFormat kControlsFormat{"controls line", 1};          // each line of --print-controls
constexpr JsonFormat kConfigValuesFormat{"config values", 1};      // config --json

// An empty object whose first member is the format's version.
Json versioned_object(const JsonFormat& format);

// Throws std::runtime_error naming `file` and both versions when `document`
// is of a later version of `format` than this build reads. Documents
// without "format_version" were written before documents carried one and
// read as version 1.
void check_format_version(const Json& document, const JsonFormat& format, const std::string& file);

}  // namespace talvik::shot
