// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <algorithm>
#include <vector>

// The p-th percentile (0..100) of a sample, nearest rank.
inline double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t rank = size_t(p / 100.0 * double(values.size() - 1) + 0.5);
    return values[std::min(rank, values.size() - 1)];
}
