#include "audio/AudioRouting.h"

#include <algorithm>
#include <cctype>

namespace audio {

namespace {

const char kMakerPrefix[] = "ORBALT_";
constexpr std::size_t kMakerPrefixLength = sizeof(kMakerPrefix) - 1;

bool hasMakerPrefix(const std::string& name) {
    return name.size() > kMakerPrefixLength && name.compare(0, kMakerPrefixLength, kMakerPrefix) == 0;
}

}  // namespace

const std::vector<std::string>& sourceOptionLabels() {
    static const std::vector<std::string> labels = {
        "None",     "Onset Strength", "RMS Energy", "Beat Confidence",
        "Sub-bass", "Bass",           "Low-mid",    "Mid",
        "High-mid", "Highs",          "Brilliance", "Spectral Centroid",
        "Pulse",    "Downbeat",       "Beat 2",     "Beat 3",
        "Beat 4",   "Beat 5",         "Beat 6",     "Beat 7",
        "Beat 8",   "Tap F1",         "Tap F2",     "Tap F3",
        "Tap F4"};
    return labels;
}

std::vector<std::string> placeholderStemOptions() {
    std::vector<std::string> options = {"Mix"};
    for (int i = 1; i <= 15; ++i) options.push_back("Stem " + std::to_string(i));
    return options;
}

std::string stemLabel(const std::string& name, int maxLength) {
    std::string label;
    std::string rest = name;
    if (hasMakerPrefix(name)) {
        label = std::string(1, kMakerPrefix[0]) + "_";
        rest = name.substr(kMakerPrefixLength);
    }
    for (char c : rest) label += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (maxLength < 0) maxLength = 0;
    if (label.size() > static_cast<std::size_t>(maxLength)) label.resize(static_cast<std::size_t>(maxLength));
    return label;
}

int stemKind(const std::string& name) {
    const std::string bare = hasMakerPrefix(name) ? name.substr(kMakerPrefixLength) : name;
    static const char* const known[] = {"mix",     "drums", "bass",       "vocals",
                                        "guitar",  "piano", "other",      "synth",
                                        "strings", "wind",  "percussion", "background_vocals",
                                        "effects"};
    for (int kind = 0; kind < static_cast<int>(sizeof(known) / sizeof(known[0])); ++kind)
        if (bare == known[kind]) return kind;
    unsigned hash = 0;
    for (unsigned char byte : bare) hash = (hash * 31u + byte) % 256u;
    return 13 + static_cast<int>(hash % 4u);
}

int remapStemSelection(const std::vector<std::string>& remembered, const std::vector<std::string>& fresh,
                       int selected) {
    if (remembered.empty()) return selected >= 0 && selected < static_cast<int>(fresh.size()) ? selected : 0;
    if (selected < 0 || selected >= static_cast<int>(remembered.size())) return 0;
    const std::string& name = remembered[static_cast<std::size_t>(selected)];
    if (name.empty()) return 0;
    const auto found = std::find(fresh.begin(), fresh.end(), name);
    return found == fresh.end() ? 0 : static_cast<int>(found - fresh.begin());
}

MonitorClick monitorClickAt(float nx, float ny, int stemCount, int routeSlots, int routeCount) {
    MonitorClick click;
    if (nx < 0.1f || nx > 0.9f) return click;
    if (ny >= 0.05f && ny <= 0.22f) {
        const int n = std::min(std::max(stemCount, 1), 16);
        const float width = 0.8f / static_cast<float>(std::max(n, 6));
        const int s = static_cast<int>((nx - 0.1f) / width);
        if (s >= 0 && s < n) click = {MonitorClick::Kind::Stem, s};
        return click;
    }
    if (ny >= 0.28f && ny <= 0.63f) {
        const float q = 0.755f / 24.0f;
        const float g1 = 0.1f;
        const float g2 = g1 + 4.0f * q + 0.015f;
        const float g3 = g2 + 7.0f * q + 0.015f;
        const float g4 = g3 + 9.0f * q + 0.015f;
        static const int analysisChannels[4] = {1, 2, 10, 0};
        if (nx >= g1 && nx < g1 + 4.0f * q) {
            const int j = static_cast<int>((nx - g1) / q);
            if (j >= 0 && j < 4) click = {MonitorClick::Kind::Channel, analysisChannels[j]};
        } else if (nx >= g2 && nx < g2 + 7.0f * q) {
            const int j = static_cast<int>((nx - g2) / q);
            if (j >= 0 && j < 7) click = {MonitorClick::Kind::Channel, 3 + j};
        } else if (nx >= g3 && nx <= g3 + 9.0f * q) {
            const int j = static_cast<int>((nx - g3) / q);
            if (j >= 0 && j < 9) click = {MonitorClick::Kind::Channel, 11 + j};
        } else if (nx >= g4 && nx <= 0.9f) {
            const int j = static_cast<int>((nx - g4) / q);
            if (j >= 0 && j < 4) click = {MonitorClick::Kind::Channel, 20 + j};
        }
        return click;
    }
    if (ny >= 0.69f && ny <= 0.95f) {
        const int m = routeSlots < 1 ? routeCount : routeSlots;
        if (m >= 1 && m <= 16) {
            const int b = static_cast<int>((nx - 0.1f) / (0.8f / static_cast<float>(m)));
            if (b >= 0 && b < m) click = {MonitorClick::Kind::Route, b};
        }
    }
    return click;
}

}  // namespace audio
