#include "NearestNames.h"

#include <algorithm>
#include <cctype>

namespace {

std::string lowered(const std::string& text) {
    std::string s = text;
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// Edits (insert, delete, replace, swap of neighbours) that turn a into b.
std::size_t distance(const std::string& a, const std::string& b) {
    const std::size_t n = a.size(), m = b.size();
    std::vector<std::vector<std::size_t>> d(n + 1, std::vector<std::size_t>(m + 1));
    for (std::size_t i = 0; i <= n; ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= m; ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= n; ++i)
        for (std::size_t j = 1; j <= m; ++j) {
            d[i][j] = std::min(
                {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[n][m];
}

}  // namespace

std::vector<std::string> nearestNames(const std::string& typed, const std::vector<std::string>& candidates,
                                      std::size_t most) {
    const std::string key = lowered(typed);
    const std::size_t allowed = std::max<std::size_t>(2, key.size() / 3);
    std::vector<std::pair<std::size_t, std::string>> close;
    for (const std::string& candidate : candidates) {
        const std::size_t d = distance(key, lowered(candidate));
        if (d <= allowed &&
            std::none_of(close.begin(), close.end(), [&](const auto& c) { return c.second == candidate; }))
            close.emplace_back(d, candidate);
    }
    std::stable_sort(close.begin(), close.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> names;
    for (const auto& c : close) {
        if (names.size() == most) break;
        names.push_back(c.second);
    }
    return names;
}

std::string alternatives(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? " or " : ", ";
        text += "'" + names[i] + "'";
    }
    return text;
}
