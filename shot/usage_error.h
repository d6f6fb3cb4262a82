// A command line the command cannot act on: an unknown option, a value of
// the wrong form, choices that contradict each other. The one failure that
// exits with status 2; everything else that goes wrong exits with 1.
#pragma once

#include <stdexcept>

namespace talvik::shot {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace talvik::shot
