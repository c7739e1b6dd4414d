#include "Statistics.h"

#include <algorithm>

namespace quillet::bench {

namespace {

// The quantile q (0 to 1) of sorted samples.
double Quantile(const std::vector<double>& sorted, double q) {
    const double position = q * static_cast<double>(sorted.size() - 1);
    const auto below = static_cast<size_t>(position);
    if (below + 1 >= sorted.size()) {
        return sorted.back();
    }
    const double fraction = position - static_cast<double>(below);
    return sorted[below] + fraction * (sorted[below + 1] - sorted[below]);
}

} // namespace

Summary Summarize(std::vector<double> samples) {
    Summary summary;
    if (samples.empty()) {
        return summary;
    }
    std::sort(samples.begin(), samples.end());
    summary.count = samples.size();
    summary.minimum = samples.front();
    summary.maximum = samples.back();
    summary.median = Quantile(samples, 0.5);
    summary.lowerQuartile = Quantile(samples, 0.25);
    summary.upperQuartile = Quantile(samples, 0.75);
    return summary;
}

} // namespace quillet::bench
