#pragma once

#include <cmath>
#include <limits>

// Truncates toward zero into the int range; NaN gives 0 and out-of-range values saturate,
// so values from a definition or a host never reach an undefined conversion.
inline int truncateToInt(double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (value <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}
