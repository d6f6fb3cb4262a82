#include "pipeline/job/field_names.h"

#include <algorithm>

namespace talvik::pipeline {

std::string field_name(Naming naming, const std::string& option) {
    if (naming == Naming::Options) return option;
    if (option == "-o") return "output";
    std::string keyword = option.substr(option.find_first_not_of('-'));
    std::replace(keyword.begin(), keyword.end(), '-', '_');
    return keyword;
}

std::string asking_for(Naming naming, const std::string& option) {
    const std::string name = field_name(naming, option);
    return naming == Naming::Keywords && option != "-o" ? name + "=" : name;
}

}  // namespace talvik::pipeline
