// The help talvik-stmap prints, made from the option table.
#pragma once

#include <string>

#include "cli/options/option_table.h"

namespace talvik::cli {

// --help: what the tool is and its commands, a line each.
std::string overview_help();

// COMMAND --help: its synopsis and its options, with their values and help.
std::string command_help(Command command);

// No arguments at all: the synopsis, the commands and where help is.
std::string short_usage();

// "talvik-stmap render [OPTIONS] -o PATTERN".
std::string synopsis(const CommandEntry& command);

// "--plate FILE.exr", "-o, --output OUT", "--alpha".
std::string option_with_value(const OptionEntry& option);

}  // namespace talvik::cli
