// How a message names a job's field: as the command's option ("--fbx",
// "-o") or as the Python module's keyword ("fbx", "output"), so that what
// the library says speaks the caller's language.
#pragma once

#include <string>

namespace talvik::pipeline {

enum class Naming { Options, Keywords };

// `option` is the command's spelling. Its keyword is the long name with
// '-' written '_'; -o is the output, the functions' first argument.
std::string field_name(Naming naming, const std::string& option);

// The field as a message asks for it: "--fbx", or "fbx=" for a keyword.
std::string asking_for(Naming naming, const std::string& option);

}  // namespace talvik::pipeline
