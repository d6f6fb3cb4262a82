#include "cli/options/config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "cli/options/option_suggestion.h"
#include "cli/options/option_table.h"
#include "shot/json_output.h"
#include "shot/usage_error.h"

namespace talvik::cli {

namespace {

constexpr size_t kMaxConfigBytes = 1 << 20;  // far beyond any set of defaults

std::string place(const std::string& path, int line) {
    return "config file \"" + path + "\" line " + std::to_string(line) + ": ";
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// What a line may hold: UTF-8 text, tabs, no other control characters
// (C0, DEL, or C1 as U+0080-U+009F), which would reach terminals and the
// farm's scripts.
void check_text(const std::string& text, const std::string& where) {
    for (size_t at = 0; at < text.size();) {
        const size_t length = shot::utf8_sequence(text, at);
        if (length == 0) throw shot::UsageError(where + "not UTF-8 text");
        const unsigned char c = static_cast<unsigned char>(text[at]);
        const bool c1 = c == 0xc2 && static_cast<unsigned char>(text[at + 1]) <= 0x9f;
        if ((c < 0x20 && c != '\t') || c == 0x7f || c1)
            throw shot::UsageError(where + "holds a control character");
        at += length;
    }
}

// The option a key names: one of its long names without "--".
const OptionEntry* option_named(const std::string& key) {
    for (const OptionEntry& o : option_table()) {
        const std::string names = std::string(",") + o.names + ",";
        if (names.find(",--" + key + ",") != std::string::npos) return &o;
    }
    return nullptr;
}

// Every key a file could hold, for "did you mean".
std::vector<std::string> keys() {
    std::vector<std::string> all;
    for (const OptionEntry& o : option_table()) {
        const std::string names = o.names;
        const size_t at = names.find("--");
        if (at != std::string::npos) all.push_back(names.substr(at + 2, names.find(',', at) - at - 2));
    }
    return all;
}

const OptionEntry& checked_key(const std::string& key, const CommandEntry* section, const std::string& where) {
    const OptionEntry* option = option_named(key);
    if (!option) {
        const std::string near = nearest_option(key.compare(0, 2, "--") == 0 ? key.substr(2) : key, keys());
        throw shot::UsageError(where + "unknown key \"" + key + "\"" +
                               (near.empty() ? "" : "; did you mean " + near + "?") +
                               " (keys are long options without their --)");
    }
    if (option->takes == Takes::Help || option->not_a_default)
        throw shot::UsageError(where + "\"" + key + "\" is " + spelled_names(*option) +
                               ", which only the command line may give: it belongs to one run, not to every run");
    if (section && !(option->commands & bit(section->command)))
        throw shot::UsageError(where + "\"" + key + "\": " + section->name + " takes no --" + key);
    return *option;
}

std::optional<std::string> read_regular_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        throw shot::UsageError("cannot read config file \"" + path + "\": " + std::strerror(errno));
    }
    struct stat st {};
    std::string text;
    const char* refused = nullptr;
    if (::fstat(fd, &st) != 0) refused = std::strerror(errno);
    else if (!S_ISREG(st.st_mode)) refused = S_ISDIR(st.st_mode) ? "a folder, not a file" : "not a regular file";
    else if (static_cast<unsigned long long>(st.st_size) > kMaxConfigBytes) refused = "larger than 1 MiB";
    char buffer[65536];
    while (!refused) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) refused = std::strerror(errno);
        else if (got == 0) break;
        else if (text.append(buffer, static_cast<size_t>(got)).size() > kMaxConfigBytes) refused = "larger than 1 MiB";
    }
    ::close(fd);
    if (refused) throw shot::UsageError("config file \"" + path + "\": " + refused);
    return text;
}

// An environment variable's value, "" when unset.
std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

std::string config_place(const OptionValue& value) { return place(value.file, value.line); }

ConfigFile ConfigFile::parse(const std::string& text, const std::string& path) {
    ConfigFile file;
    file.path_ = path;
    const CommandEntry* section = nullptr;
    int number = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string raw = text.substr(at, end - at);
        at = end + 1;
        ++number;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();  // written on Windows
        if (number == 1 && raw.compare(0, 3, "\xef\xbb\xbf") == 0) raw.erase(0, 3);
        const std::string where = place(path, number);
        check_text(raw, where);
        const std::string line = trimmed(raw);
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            const std::string name = trimmed(line.substr(1, line.size() - 2));
            if (line.back() != ']') throw shot::UsageError(where + "\"" + line + "\" is not a [COMMAND] section");
            section = find_command(name);
            if (!section) throw shot::UsageError(where + "[" + name + "] is not a command");
            continue;
        }
        const size_t eq = line.find('=');
        const std::string key = trimmed(line.substr(0, eq));
        if (eq == std::string::npos || key.empty())
            throw shot::UsageError(where + "\"" + line + "\" is not KEY = VALUE");
        const OptionEntry& option = checked_key(key, section, where);
        const std::string value = trimmed(line.substr(eq + 1));
        if (option.takes == Takes::Flag && value != "true" && value != "false")
            throw shot::UsageError(where + "\"" + key + "\" is a flag: true or false, not \"" + value + "\"");
        const unsigned scope = section ? bit(section->command) : 0;
        if (option.takes != Takes::Values)  // a repeatable key may fill the file: no pass over it per line
            for (const Line& earlier : file.lines_)
                if (earlier.option == &option && earlier.section == scope)
                    throw shot::UsageError(where + "\"" + key + "\" given twice (line " +
                                           std::to_string(earlier.value.line) + " too): give it once");
        file.lines_.push_back({scope, &option, {value, path, number}});
    }
    return file;
}

std::optional<ConfigFile> ConfigFile::read(const std::string& path) {
    const std::optional<std::string> text = read_regular_file(path);
    if (!text) return std::nullopt;
    return parse(*text, path);
}

OptionDefaults ConfigFile::defaults_for(unsigned command_bit) const {
    OptionDefaults global, section;
    for (const Line& line : lines_) {
        if (!(line.option->commands & command_bit)) continue;
        if (line.section == 0) global[line.option].push_back(line.value);
        else if (line.section == command_bit) section[line.option].push_back(line.value);
    }
    for (auto& [option, values] : section) global[option] = std::move(values);
    return global;
}

ConfigFiles ConfigFiles::from_environment() {
    std::vector<ConfigFile> files;
    if (const char* named = std::getenv("TALVIK_CONFIG")) {
        if (!*named) return {};
        std::optional<ConfigFile> file = ConfigFile::read(named);
        if (!file) throw shot::UsageError(std::string("TALVIK_CONFIG names \"") + named + "\", which is not there");
        files.push_back(std::move(*file));
        return ConfigFiles(std::move(files));
    }
    // XDG: only absolute folders count; the first of XDG_CONFIG_DIRS matters most.
    std::vector<std::string> folders;
    const std::string dirs = environment("XDG_CONFIG_DIRS");
    for (size_t at = 0; at <= dirs.size();) {
        const size_t colon = std::min(dirs.find(':', at), dirs.size());
        const std::string folder = dirs.substr(at, colon - at);
        if (!folder.empty() && folder[0] == '/') folders.insert(folders.begin(), folder);
        at = colon + 1;
    }
    if (folders.empty()) folders.push_back("/etc/xdg");
    const std::string home = environment("XDG_CONFIG_HOME"), user = environment("HOME");
    if (!home.empty() && home[0] == '/') folders.push_back(home);
    else if (!user.empty()) folders.push_back(user + "/.config");
    for (const std::string& folder : folders)
        if (std::optional<ConfigFile> file = ConfigFile::read(folder + "/talvik/config"))
            files.push_back(std::move(*file));
    return ConfigFiles(std::move(files));
}

std::vector<std::string> ConfigFiles::paths() const {
    std::vector<std::string> all;
    for (const ConfigFile& file : files_) all.push_back(file.path());
    return all;
}

OptionDefaults ConfigFiles::defaults_for(unsigned command_bit) const {
    OptionDefaults all;
    for (const ConfigFile& file : files_)
        for (auto& [option, values] : file.defaults_for(command_bit)) all[option] = std::move(values);
    return all;
}

bool file_values_apply(const OptionEntry& option, const std::vector<const OptionEntry*>& given) {
    static const char* const kSameValue[][2] = {
        {"--overscan", "--overscan-from"}, {"--direction", "--mode"}, {"--plate", "--size"},
        {"--film-back", "--haperture"},   {"-q,--quiet", "--verbose"},
    };
    for (const auto& pair : kSameValue)
        for (int i : {0, 1})
            if (std::strcmp(option.names, pair[i]) == 0)
                for (const OptionEntry* other : given)
                    if (std::strcmp(other->names, pair[1 - i]) == 0) return false;
    return true;
}

}  // namespace talvik::cli
