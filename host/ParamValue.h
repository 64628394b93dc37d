#pragma once

#include <string>
#include <variant>
#include <vector>

namespace vhost {

// A parameter value as the host's callers give and read it: a number, a flag, a text, or the
// components of a multi-dimensional parameter (colours, 2-D and 3-D values).
using ParamValue = std::variant<bool, int, double, std::string, std::vector<double>>;

std::string toText(const ParamValue& value);

}  // namespace vhost
