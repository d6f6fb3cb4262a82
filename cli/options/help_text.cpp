#include "cli/options/help_text.h"

namespace talvik::cli {

namespace {

constexpr size_t kWidth = 79;
constexpr size_t kHelpColumn = 27;

// `text` in lines of at most kWidth, each but the first indented to
// `indent`, broken at spaces.
std::string wrapped(const std::string& text, size_t first_column, size_t indent) {
    std::string out;
    size_t column = first_column;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(at, end - at);
        if (column > indent && column + 1 + word.size() > kWidth) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
        } else if (column > indent || (column == indent && !out.empty() && out.back() != ' ')) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        at = end + 1;
    }
    return out;
}

// "  NAME   summary" with the summaries in one column.
std::string listed(const std::string& name, const std::string& text) {
    std::string line = "  " + name;
    if (line.size() + 1 < kHelpColumn) {
        line += std::string(kHelpColumn - line.size(), ' ');
    } else {
        line += "\n" + std::string(kHelpColumn, ' ');
    }
    return line + wrapped(text, kHelpColumn, kHelpColumn) + "\n";
}

std::string command_list() {
    std::string out;
    for (const CommandEntry& c : command_table()) out += listed(c.name, c.summary);
    return out;
}

}  // namespace

std::string synopsis(const CommandEntry& command) {
    return std::string("talvik-stmap ") + command.name + " " + command.synopsis;
}

std::string option_with_value(const OptionEntry& option) {
    std::string text = spelled_names(option);
    if (*option.value_name) text += std::string(" ") + option.value_name;
    return text;
}

std::string overview_help() {
    return "talvik-stmap: ST maps of the TalvikDistort lens node, rendered without Nuke, and what goes\n"
           "with them: overscan reports, CG cameras, Nuke scripts, tracks and farm jobs.\n"
           "\n"
           "usage: talvik-stmap COMMAND [OPTIONS]\n"
           "\n"
           "commands:\n" +
           command_list() +
           "\n"
           "talvik-stmap COMMAND --help: the command's options.\n";
}

std::string command_help(Command command) {
    const CommandEntry& entry = command_entry(command);
    std::string out = "usage: " + synopsis(entry) + "\n\n" + wrapped(entry.summary, 0, 0) + "\n\noptions:\n";
    if (*entry.operand) out += listed(entry.operand, entry.operand_help);
    for (const OptionEntry* o : options_of(command)) out += listed(option_with_value(*o), o->help);
    return out;
}

std::string short_usage() {
    std::string names;
    for (const CommandEntry& c : command_table()) names += std::string(names.empty() ? "" : ", ") + c.name;
    return "usage: talvik-stmap COMMAND [OPTIONS]\n"
           "commands: " + wrapped(names, 10, 10) + "\n"
           "talvik-stmap --help for what each does, talvik-stmap COMMAND --help for its options.\n";
}

}  // namespace talvik::cli
