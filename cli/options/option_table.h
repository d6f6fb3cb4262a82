// Every option of talvik-stmap, declared once: its names, value, help, the
// commands it belongs to and how its value is taken. The parser, the help,
// the reference, the man page and the completion are all made from it.
#pragma once

#include <string>
#include <vector>

#include "cli/options/command_options.h"

namespace talvik::cli {

using Command = CommandLine::Command;

// The commands an option belongs to, one bit each.
using CommandSet = unsigned;
constexpr CommandSet bit(Command c) { return 1u << static_cast<unsigned>(c); }

enum class Takes {
    Flag,    // no value
    Value,   // one value, given once
    Values,  // repeatable
    Help,    // -h/--help: CLI11's own, listed with the rest
};

struct OptionEntry {
    const char* names;       // "-o,--output", as CLI11 reads them
    const char* value_name;  // "PATTERN"; "" for a flag
    const char* help;        // one or two short sentences
    CommandSet commands;
    Takes takes;
    // Checks and stores one value ("" for a flag given); the command says
    // where, for options that mean the same to several commands.
    void (*take)(CommandLine& cl, Command command, const std::string& value);
    bool may_look_like_an_option = false;  // --sbatch-arg=--partition=comp
    bool is_path = false;                  // the completion offers files
    const char* words = "";                // the completion offers these
    bool not_a_default = false;            // this run's own shot or files: refused in a config file
};

struct CommandEntry {
    Command command;
    const char* name;       // "nuke-script"; "--version" for the version
    const char* summary;    // one line
    const char* synopsis;   // after the name: "[OPTIONS] -o PATTERN"
    const char* operand;    // "TRACK.csv" or "" when it takes none
    const char* operand_help;
    void (*take_operand)(CommandLine& cl, const std::string& value);
};

struct NamedMeaning {
    const char* name;
    const char* meaning;
};

// In the order help lists them.
const std::vector<OptionEntry>& option_table();
const std::vector<CommandEntry>& command_table();
const std::vector<NamedMeaning>& exit_statuses();
const std::vector<NamedMeaning>& environment_variables();

// The command named `name` ("render", "version"), or nullptr.
const CommandEntry* find_command(const std::string& name);
const CommandEntry& command_entry(Command command);
std::vector<const OptionEntry*> options_of(Command command);

// "-o, --output" from "-o,--output".
std::string spelled_names(const OptionEntry& option);

}  // namespace talvik::cli
