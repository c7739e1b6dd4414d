#pragma once

#include <cstddef>
#include <vector>

namespace quillet::bench {

// Order statistics of repeated timings. Quantiles interpolate linearly between neighbouring samples, so
// the median of an even count is the mean of the middle two.
struct Summary {
    size_t count = 0;
    double median = 0;
    double minimum = 0;
    double maximum = 0;
    double lowerQuartile = 0;
    double upperQuartile = 0;
};

// All fields 0 for no samples.
Summary Summarize(std::vector<double> samples);

} // namespace quillet::bench
