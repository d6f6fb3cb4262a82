// A write stopped on request (a stop signal) rather than failed: what it
// left behind has already been removed.
#pragma once

#include <stdexcept>

namespace talvik::io {

struct WriteCancelled : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace talvik::io
