#pragma once

#include <string>
#include <vector>

// The candidates closest to a name the user typed (letter case ignored), nearest first: a
// mistyped letter or two, a swapped pair, a missing underscore. At most `most` of them; none
// when nothing is close.
std::vector<std::string> nearestNames(const std::string& typed, const std::vector<std::string>& candidates,
                                      std::size_t most = 3);

// "'a'", "'a' or 'b'", "'a', 'b' or 'c'".
std::string alternatives(const std::vector<std::string>& names);
