// "Did you mean": the known option nearest to a misspelt one.
#pragma once

#include <string>
#include <vector>

namespace talvik::cli {

// Levenshtein distance: insertions, deletions and substitutions.
size_t edit_distance(const std::string& a, const std::string& b);

// The known name nearest to `given`, or "" when none is near enough to be
// a slip of the fingers (at most 2 edits, or a third of the name).
std::string nearest_option(const std::string& given, const std::vector<std::string>& known);

}  // namespace talvik::cli
