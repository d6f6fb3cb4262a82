#include "cli/config_command.h"

#include "cli/options/option_table.h"
#include "cli/output/terminal_print.h"
#include "shot/json_formats.h"
#include "shot/json_output.h"

namespace talvik::cli {

namespace {

// "output" from "-o,--output": the key a config file would give.
std::string key_of(const OptionEntry& option) {
    const std::string names = option.names;
    return names.substr(names.find("--") + 2);
}

// The options config lists: every option but help and --version itself.
std::vector<const OptionEntry*> listed_options(const std::string& command) {
    std::vector<const OptionEntry*> listed;
    for (const OptionEntry* o : options_of(find_command(command)->command))
        if (o->takes != Takes::Help && key_of(*o) != "version") listed.push_back(o);
    return listed;
}

std::string origin_of(const OptionValue& value) {
    return value.file.empty() ? "command line" : value.file + ":" + std::to_string(value.line);
}

void print_text(const ConfigOptions& config, std::FILE* out) {
    std::string files;
    for (const std::string& file : config.files) files += (files.empty() ? "" : ", ") + file;
    print_message(out, "config files: %s", files.empty() ? "none" : files.c_str());
    for (const auto& [command, taken] : config.commands) {
        print_message(out, "[%s]", command.c_str());
        for (const OptionEntry* option : listed_options(command)) {
            const auto found = taken.find(option);
            if (found == taken.end()) print_message(out, "%-40s default", key_of(*option).c_str());
            else
                for (const OptionValue& value : found->second)
                    print_message(out, "%-40s %s", (key_of(*option) + " = " + value.value).c_str(),
                                  origin_of(value).c_str());
        }
    }
}

void print_json(const ConfigOptions& config, std::FILE* out) {
    shot::Json commands = shot::Json::array();
    for (const auto& [command, taken] : config.commands) {
        shot::Json options = shot::Json::array();
        for (const OptionEntry* option : listed_options(command)) {
            const auto found = taken.find(option);
            if (found == taken.end()) {
                options.push_back({{"key", key_of(*option)}, {"value", nullptr}, {"origin", "default"}});
                continue;
            }
            for (const OptionValue& value : found->second) {
                shot::Json entry = {{"key", key_of(*option)}, {"value", value.value},
                                    {"origin", value.file.empty() ? "command line" : "file"}};
                if (!value.file.empty()) entry.update({{"file", value.file}, {"line", value.line}});
                options.push_back(std::move(entry));
            }
        }
        commands.push_back({{"command", command}, {"options", std::move(options)}});
    }
    shot::Json document = shot::versioned_object(shot::kConfigValuesFormat);
    document["files"] = config.files;
    document["commands"] = std::move(commands);
    print_line(out, shot::json_text(document, 4));
}

}  // namespace

int run_config(const ConfigOptions& config, std::FILE* out) {
    if (config.json) print_json(config, out);
    else print_text(config, out);
    return 0;
}

}  // namespace talvik::cli
