// The text of a Read's file knob: the files a name or pattern given on the
// command line names, as Nuke will read them, or a refusal. Nuke evaluates a
// file name each time it uses it, after the script's own quoting is undone:
// "[...]" runs as a Tcl command (Python through "[python ...]"), "$name" is
// a variable, '\' escapes, and a run of '#' or a '%' conversion is a frame
// number. No escape is documented to survive both readings, so a name
// holding one of these outside its own frame field is refused.
#pragma once

#include <string>

namespace talvik::pipeline {

// `given` is one file (`one_file`) or a frame pattern; `option` names it in
// a refusal ("--plate"). Returns it absolute (Nuke reads a relative name
// from its own working folder), a sequence's frame field as Nuke writes it
// ("%04d" -> "####"). Throws UsageError naming the option, the path and the
// character when that name, the working folder it is taken from included,
// holds '[', ']', '$', '\\' or a control character, or a '#' or '%' that is
// not its frame field.
std::string nuke_read_file(const std::string& option, const std::string& given, bool one_file);

}  // namespace talvik::pipeline
