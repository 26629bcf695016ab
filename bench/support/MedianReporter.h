#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velmora::bench {

// The console report, keeping each benchmark's median real time for the
// side-by-side comparisons a program prints at its end.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (!run.error_occurred && run.run_type == Run::RT_Aggregate &&
                run.aggregate_name == "median")
                medians_[run.run_name.function_name] = run.GetAdjustedRealTime();
    }

    // In the benchmark's own unit; nothing when it did not run or failed.
    std::optional<double> median(const std::string& name) const
    {
        const auto found = medians_.find(name);
        if (found == medians_.end()) return std::nullopt;
        return found->second;
    }

    // "ours  N ms  theirs  M ms  ratio R (target T)", when both ran.
    void printRatio(const std::string& ours, const std::string& theirs, double target) const
    {
        const std::optional<double> a = median(ours), b = median(theirs);
        if (!a || !b || *b <= 0) return;
        std::printf("%-22s %8.0f ms  %-20s %8.0f ms  ratio %.2f (target %.1f)\n", ours.c_str(), *a,
                    theirs.c_str(), *b, *a / *b, target);
    }

private:
    std::map<std::string, double> medians_;
};

}  // namespace velmora::bench
