// A call into the shot pipeline from Python: the work runs on a thread of
// its own with the GIL released while the calling thread, every
// kInterruptPollMilliseconds, turns the shot's warnings into
// warnings.warn (a warning raised as an error stops the shot, as --strict
// does for the command), reports progress to an optional callback, and
// stops the work on Ctrl-C.
#pragma once

#include <pybind11/pybind11.h>

#include <functional>

#include "pipeline/job/shot_events.h"

namespace talvik::python {

// Runs `work` to its end or until stopped. Raises what Python raised (a
// warning as an error, KeyboardInterrupt, the callback's exception) or the
// exception `work` threw. `progress` is None or called as progress(done, total).
void run_shot_call(const std::function<void(pipeline::ShotEvents&)>& work, const pybind11::object& progress);

}  // namespace talvik::python
