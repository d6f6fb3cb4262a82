#include "cli/options/option_docs.h"

#include "cli/options/help_text.h"
#include "cli/options/option_table.h"

namespace talvik::cli {

namespace {

constexpr const char* kWhat = "ST maps of the TalvikDistort lens node, rendered without Nuke";

constexpr const char* kDescription =
    "talvik-stmap loads the TalvikDistort plug-in in a stand-in host, reloads a take's per-frame lens data from an "
    "FBX file and renders the node's ST maps, one EXR per frame. Beside the maps it measures the overscan they need, "
    "writes the undistorted CG camera and a Nuke script, pushes 2D tracks through the lens, and plans, submits and "
    "verifies the shot as a Slurm job.";

// A table cell: "|" would end it.
std::string cell(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '|') out += '\\';
        out += c;
    }
    return out;
}

// roff text: "-" is a hyphen unless escaped, "\" starts an escape, and a
// line starting with "." or "'" would be a request.
std::string roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') out += "\\e";
        else if (c == '-') out += "\\-";
        else out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) out += (out.empty() ? "" : " ") + w;
    return out;
}

// "-o --output" from "-o,--output".
std::vector<std::string> each_name(const OptionEntry& option) {
    std::vector<std::string> names;
    std::string all = option.names;
    for (size_t at = 0; at <= all.size();) {
        const size_t comma = std::min(all.find(',', at), all.size());
        names.push_back(all.substr(at, comma - at));
        at = comma + 1;
    }
    return names;
}

}  // namespace

std::string reference_markdown() {
    std::string out = "# talvik-stmap reference\n\n"
                      "<!-- Made by talvik-option-docs from cli/options/option_table.cpp: do not edit by hand. -->\n\n" +
                      std::string(kWhat) + ".\n\n" + kDescription + "\n\n```\ntalvik-stmap COMMAND [OPTIONS]\n```\n\n"
                      "| command | what it does |\n| --- | --- |\n";
    for (const CommandEntry& c : command_table())
        out += "| [`" + std::string(c.name) + "`](#" + (c.command == Command::Version ? "version" : c.name) + ") | " +
               cell(c.summary) + " |\n";
    for (const CommandEntry& c : command_table()) {
        out += "\n## " + std::string(c.command == Command::Version ? "version" : c.name) + "\n\n```\n" + synopsis(c) +
               "\n```\n\n" + c.summary + "\n\n| option | value | meaning |\n| --- | --- | --- |\n";
        if (*c.operand) out += "| `" + cell(c.operand) + "` | | " + cell(c.operand_help) + " |\n";
        for (const OptionEntry* o : options_of(c.command)) {
            out += "| `" + spelled_names(*o) + "` | " + (*o->value_name ? "`" + cell(o->value_name) + "`" : "") +
                   " | " + cell(o->help) + " |\n";
        }
    }
    out += "\n## Exit status\n\n| status | meaning |\n| --- | --- |\n";
    for (const NamedMeaning& s : exit_statuses()) out += "| " + std::string(s.name) + " | " + cell(s.meaning) + " |\n";
    out += "\n## Environment\n\n| variable | meaning |\n| --- | --- |\n";
    for (const NamedMeaning& e : environment_variables())
        out += "| `" + std::string(e.name) + "` | " + cell(e.meaning) + " |\n";
    return out;
}

std::string man_page() {
    std::string out = ".\\\" Made by talvik-option-docs from the command's option table.\n"
                      ".TH TALVIK\\-STMAP 1 \"\" \"talvik-stmap\" \"User Commands\"\n"
                      ".SH NAME\ntalvik\\-stmap \\- " + roff(kWhat) + "\n.SH SYNOPSIS\n";
    for (const CommandEntry& c : command_table()) out += ".B talvik\\-stmap " + roff(c.name) + "\n" + roff(c.synopsis) + "\n.br\n";
    out += ".SH DESCRIPTION\n" + roff(kDescription) + "\n.PP\n"
           "\\fBtalvik\\-stmap\\fR \\fICOMMAND\\fR \\fB\\-\\-help\\fR prints the command's options.\n"
           ".SH COMMANDS\n";
    for (const CommandEntry& c : command_table()) out += ".TP\n.B " + roff(c.name) + "\n" + roff(c.summary) + "\n";
    out += ".SH OPTIONS\n";
    for (const CommandEntry& c : command_table()) {
        out += ".SS " + roff(c.name) + "\n.B " + roff(synopsis(c)) + "\n";
        if (*c.operand) out += ".TP\n.I " + roff(c.operand) + "\n" + roff(c.operand_help) + "\n";
        for (const OptionEntry* o : options_of(c.command)) {
            out += ".TP\n\\fB" + roff(spelled_names(*o)) + "\\fR";
            if (*o->value_name) out += " \\fI" + roff(o->value_name) + "\\fR";
            out += "\n" + roff(o->help) + "\n";
        }
    }
    out += ".SH \"EXIT STATUS\"\n";
    for (const NamedMeaning& s : exit_statuses()) out += ".TP\n.B " + roff(s.name) + "\n" + roff(s.meaning) + "\n";
    out += ".SH ENVIRONMENT\n";
    for (const NamedMeaning& e : environment_variables()) out += ".TP\n.B " + roff(e.name) + "\n" + roff(e.meaning) + "\n";
    out += ".SH FILES\n.TP\n.I lib/talvik/plugins/TalvikDistort.so\n"
           "The plug-in, beside the installed command's bin folder; loaded when no folder is asked for.\n"
           ".TP\n.I share/talvik/sample/\nA sample plate and take.\n"
           ".SH \"SEE ALSO\"\n.BR sbatch (1),\n.BR python3 (1)\n";
    return out;
}

std::string bash_completion() {
    std::vector<std::string> command_words;
    for (const CommandEntry& c : command_table()) command_words.push_back(c.name);
    command_words.push_back("--help");
    std::string files, folders, none, words;
    for (const OptionEntry& o : option_table()) {
        if (o.takes == Takes::Flag || o.takes == Takes::Help) continue;
        for (const std::string& name : each_name(o)) {
            std::string& list = *o.words ? words : !o.is_path ? none : std::string(o.value_name) == "DIR" ? folders : files;
            if (*o.words) list += "        " + name + ") COMPREPLY=($(compgen -W \"" + o.words + "\" -- \"$cur\")); return ;;\n";
            else list += (list.empty() ? "" : "|") + name;
        }
    }
    std::string pattern;
    for (const CommandEntry& c : command_table()) pattern += (pattern.empty() ? "" : "|") + std::string(c.name) + (c.command == Command::Version ? "|version" : "");
    std::string out = "# bash completion for talvik-stmap, made by talvik-option-docs from its option table.\n"
          "_talvik_stmap() {\n"
          "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} command= i\n"
          "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
          "        case ${COMP_WORDS[i]} in\n"
          "            " + pattern + ") command=${COMP_WORDS[i]}; break ;;\n"
          "        esac\n"
          "    done\n"
          "    if [[ -z $command ]]; then\n"
          "        COMPREPLY=($(compgen -W \"" + joined(command_words) + "\" -- \"$cur\"))\n"
          "        return\n"
          "    fi\n"
          "    case $prev in\n" +
          words +
          "        " + files + ") COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n"
          "        " + folders + ") COMPREPLY=($(compgen -d -- \"$cur\")); return ;;\n"
          "        " + none + ") return ;;\n"
          "    esac\n"
          "    local options\n"
          "    case $command in\n";
    for (const CommandEntry& c : command_table()) {
        std::vector<std::string> names;
        for (const OptionEntry* o : options_of(c.command))
            for (const std::string& n : each_name(*o)) names.push_back(n);
        out += "        " + std::string(c.name) + (c.command == Command::Version ? "|version" : "") + ") options=\"" +
               joined(names) + "\" ;;\n";
    }
    out += "    esac\n"
           "    if [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
           "    elif [[ $command == submit ]]; then\n"
           "        COMPREPLY=($(compgen -W \"slurm\" -- \"$cur\"))\n"
           "    else\n"
           "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
           "    fi\n"
           "}\n"
           "complete -o filenames -F _talvik_stmap talvik-stmap\n";
    return out;
}

}  // namespace talvik::cli
