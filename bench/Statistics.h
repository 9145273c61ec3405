// Order statistics of timing samples: medians and percentiles.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

// The p-th percentile (0 to 100) by linear interpolation between the two
// nearest ranks; 0 for no samples.
inline double percentile(std::vector<double> samples, double p) {
    if (samples.empty()) {
        return 0.0;
    }
    std::sort(samples.begin(), samples.end());
    double rank = p / 100.0 * static_cast<double>(samples.size() - 1);
    size_t below = static_cast<size_t>(rank);
    size_t above = std::min(below + 1, samples.size() - 1);
    double weight = rank - static_cast<double>(below);
    return samples[below] * (1.0 - weight) + samples[above] * weight;
}

inline double median(const std::vector<double>& samples) {
    return percentile(samples, 50.0);
}

inline double sum(const std::vector<double>& samples) {
    double total = 0.0;
    for (double sample : samples) {
        total += sample;
    }
    return total;
}
