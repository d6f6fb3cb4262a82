#include "cli/options/option_suggestion.h"

#include <algorithm>
#include <numeric>

namespace talvik::cli {

size_t edit_distance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), size_t{0});
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string nearest_option(const std::string& given, const std::vector<std::string>& known) {
    const size_t allowed = std::max<size_t>(2, given.size() / 3);
    std::string best;
    size_t best_distance = allowed + 1;
    for (const std::string& name : known) {
        const size_t d = edit_distance(given, name);
        if (d < best_distance) {
            best = name;
            best_distance = d;
        }
    }
    return best;
}

}  // namespace talvik::cli
