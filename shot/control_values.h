// The node's controls as the command reads and writes them: by name, as
// typed on the command line, and as values at a frame.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "shot/json_output.h"
#include "exr/st_map_exr_writer.h"
#include "host/runtime/host.h"

namespace talvik::shot {

struct ControlValue {
    std::string name;
    std::variant<int, float, std::string> value;  // bools and entries as int / text
    bool operator==(const ControlValue& o) const { return name == o.name && value == o.value; }
    bool operator!=(const ControlValue& o) const { return !(*this == o); }
};

// Every named control that holds a value (not buttons or spacers), at a frame.
std::vector<ControlValue> control_values(const Node& node, double frame);

// Sets a control from its command-line text: numbers for number controls,
// true/false/on/off/yes/no/1/0 for check boxes, an entry name or number for
// enumerations, anything for texts. Throws UsageError naming the
// control and the value; an unknown name lists the controls there are.
void set_control(host::Host& host, Node& node, const std::string& name, const std::string& text);

// {"frame": 1001, "Mode": "Undistort", "cx": 5.137, ...} on one line.
std::string controls_json(int frame, const std::vector<ControlValue>& values);
// The same as a line of --print-controls, with its format version first.
std::string controls_line(int frame, const std::vector<ControlValue>& values);

// The same without the frame: {"Mode": "Undistort", "cx": 5.137, ...}.
Json controls_object(const std::vector<ControlValue>& values);

// talvik/<name> for every control plus talvik/frame, talvik/version and
// talvik/lensModel.
std::vector<exr::ExtraAttribute> control_attributes(int frame, const std::vector<ControlValue>& values);

// First to last keyed frame over every animated control; empty when none is.
std::vector<int> keyed_frames(const Node& node);

}  // namespace talvik::shot
