// Every line the command prints for people goes through here: the names it
// carries come from outside (paths, a plate's attributes, a scheduler's
// output), and a control character in one could move the cursor, retitle
// the window or fake a line. JSON is printed as it is (it escapes its own).
#pragma once

#include <cstdio>
#include <string>

namespace talvik::cli {

// `format` filled in as printf fills it, shown as shot::terminal_text shows
// text (control characters escaped), then a line break. The format's own
// text never holds a control character, so the whole line is escaped.
void print_message(std::FILE* to, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Text of several lines (a log, a plan): each line escaped, the line
// breaks kept.
void print_lines(std::FILE* to, const std::string& text);

// One line on `out`, flushed; throws std::runtime_error with the reason
// when it cannot be written.
void print_line(std::FILE* out, const std::string& line);

}  // namespace talvik::cli
