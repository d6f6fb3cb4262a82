// Counts, process-wide, what a stretch of code must not do on a render
// thread: allocate with operator new, or wait on the guard of a function-
// local static (a lock on its first use). Linking row_counters.cpp into a
// test executable replaces the global operator new and interposes the
// guard; only one test executable should do so.
#pragma once

namespace talvik::test {

struct RowCounts {
    long allocations = 0;
    long static_guards = 0;  // -1: not countable in this build
};

// Counting is on between start and stop; stop returns what was counted.
void start_counting();
RowCounts stop_counting();

}  // namespace talvik::test
