#include "ratio_reporter.h"

#include <cstdio>

namespace talvik::bench {

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
        const auto it = run.counters.find("Mpx/s");
        if (it != run.counters.end()) rates_.emplace_back(run.benchmark_name(), it->second.value);
    }
}

void RatioReporter::Finalize() {
    ConsoleReporter::Finalize();
    double reference = 0.0;
    for (const auto& [name, rate] : rates_) {
        if (name.rfind(reference_, 0) == 0) reference = rate;
    }
    std::printf("\n%-48s %10s %12s\n", "map", "Mpx/s", "x reference");
    for (const auto& [name, rate] : rates_) {
        if (reference > 0.0) {
            std::printf("%-48s %10.1f %12.2f\n", name.c_str(), rate, rate / reference);
        } else {
            std::printf("%-48s %10.1f %12s\n", name.c_str(), rate, "-");
        }
    }
    if (reference > 0.0) {
        std::printf("reference: %s\n", reference_.c_str());
    } else {
        std::printf("reference %s not run: no ratios\n", reference_.c_str());
    }
}

}  // namespace talvik::bench
