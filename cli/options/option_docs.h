// The documents made from the option table: the reference (Markdown), the
// man page (roff) and the bash completion. The build makes the last two;
// docs/reference.md is kept in the repository and checked against this.
#pragma once

#include <string>

namespace talvik::cli {

std::string reference_markdown();
std::string man_page();
std::string bash_completion();

}  // namespace talvik::cli
