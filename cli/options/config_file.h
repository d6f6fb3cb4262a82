// Studio and user defaults for talvik-stmap's options, from config files:
//
//   # comment
//   threads = 8            # (a "#" after a value is part of the value)
//   [submit]
//   sbatch-arg = --partition=comp
//
// A key is a long option without its "--"; before any [COMMAND] section it
// holds for every command that takes the option, within one for that
// command alone. Each value is taken by the same option table as the
// command line, which wins over every file.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace talvik::cli {

struct OptionEntry;

// One value and where it came from; an empty file is the command line.
struct OptionValue {
    std::string value;
    std::string file;
    int line = 0;
};

// "config file \"PATH\" line N: " for messages about a value from a file.
std::string config_place(const OptionValue& value);

// The values each option takes for one command, and where from.
using OptionDefaults = std::map<const OptionEntry*, std::vector<OptionValue>>;

// One config file, read and checked whole: every key an option a file may
// set, every section a command that takes its keys.
class ConfigFile {
public:
    // Throws shot::UsageError naming the file, the line and the key.
    static ConfigFile parse(const std::string& text, const std::string& path);
    // Nothing when there is no such file; throws shot::UsageError when it
    // cannot be read, is not a regular file (a folder; a FIFO is never
    // waited on) or is over 1 MiB.
    static std::optional<ConfigFile> read(const std::string& path);

    const std::string& path() const { return path_; }
    // What this file gives the command bit(command) stands for: its
    // section's keys over its global ones, key by key.
    OptionDefaults defaults_for(unsigned command_bit) const;

private:
    struct Line {
        unsigned section;  // bit(command) of its section; 0 before any section
        const OptionEntry* option;
        OptionValue value;
    };
    std::string path_;
    std::vector<Line> lines_;
};

// The files read, least important first: each of $XDG_CONFIG_DIRS (or
// /etc/xdg) last to first, then the user's $XDG_CONFIG_HOME (or
// ~/.config); a more important file's key replaces the others' values of
// that key. TALVIK_CONFIG names the one file to read instead (set but
// empty: none).
class ConfigFiles {
public:
    ConfigFiles() = default;
    explicit ConfigFiles(std::vector<ConfigFile> files) : files_(std::move(files)) {}
    // The files the environment names; throws shot::UsageError for one that
    // TALVIK_CONFIG names and is not there, or one there but unreadable.
    static ConfigFiles from_environment();

    std::vector<std::string> paths() const;
    OptionDefaults defaults_for(unsigned command_bit) const;

private:
    std::vector<ConfigFile> files_;
};

// Whether an option the command line did not give still takes the files'
// values: not when the command line gave another way to set the same value
// (--overscan-from for --overscan, --mode for --direction, ...).
bool file_values_apply(const OptionEntry& option, const std::vector<const OptionEntry*>& given);

}  // namespace talvik::cli
