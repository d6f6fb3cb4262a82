#include "pipeline/handoff/nuke_file_name.h"

#include <cstdio>
#include <filesystem>

#include "shot/frame_pattern.h"
#include "shot/usage_error.h"

namespace talvik::pipeline {
namespace {

std::string shown(char c) {
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) return std::string("'") + c + "'";
    char code[32];
    std::snprintf(code, sizeof code, "a control character (0x%02x)", static_cast<unsigned char>(c));
    return code;
}

[[noreturn]] void refuse(const std::string& option, const std::string& path, char c, const std::string& why) {
    throw shot::UsageError(option + " \"" + path + "\" holds " + shown(c) + ": " + why +
                           "; a Nuke script cannot name it (rename or link it)");
}

}  // namespace

std::string nuke_read_file(const std::string& option, const std::string& given, bool one_file) {
    namespace fs = std::filesystem;
    std::string literal = given, text = given;
    if (!one_file) {
        const shot::FramePattern pattern = shot::FramePattern::parse(given);
        // Any frame's name: its digits hold neither '#' nor '%', so one there
        // is in the name's own text.
        literal = pattern.path_for(0);
        text = pattern.nuke_text();
    }
    // The working folder a relative name is taken from is part of the text.
    text = fs::absolute(text).string();
    literal = fs::absolute(literal).string();
    const std::string shown = fs::absolute(given).string();
    for (char c : text) {
        if (c == '[' || c == ']') refuse(option, shown, c, "Nuke runs [...] in a file name as a Tcl command");
        if (c == '$') refuse(option, shown, c, "Nuke reads $name in a file name as a variable");
        if (c == '\\') refuse(option, shown, c, "Nuke reads \\ in a file name as an escape");
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            refuse(option, shown, c, "no file name Nuke evaluates is documented to keep one");
    }
    const size_t frame_sign = literal.find_first_of("#%");
    if (frame_sign != std::string::npos) {
        const char c = literal[frame_sign];
        refuse(option, shown, c,
               c == '#' ? "Nuke reads # in a file name as a digit of the frame number"
                        : "Nuke reads % in a file name as the start of the frame number or the view (%04d, %V)");
    }
    return text;
}

}  // namespace talvik::pipeline
