// Console output plus, at the end, every benchmark's megapixel rate as a
// ratio to a named reference benchmark of the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <string>
#include <utility>
#include <vector>

namespace talvik::bench {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(std::string reference) : reference_(std::move(reference)) {}
    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

private:
    std::string reference_;
    std::vector<std::pair<std::string, double>> rates_;  // name, Mpx/s
};

}  // namespace talvik::bench
