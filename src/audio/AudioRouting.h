#pragma once

// The numbering behind the audio routing controls, shared by the controls, the monitor and the
// modulation: the source options of a route and their channels, stem labels and colour classes,
// how a stem selection survives a rebuild of the stem list, and where a click on the monitor's
// panel lands.

#include <string>
#include <vector>

namespace audio {

// Options of a route's source dropdown: option k selects channel k - 1 (option 0 is "None").
const std::vector<std::string>& sourceOptionLabels();
constexpr int kSourceOptionCount = 25;
constexpr int kAnalysisChannelCount = 11;  // channels 0..10 come from the analysis
constexpr int kFirstBeatChannel = 11;      // 11 "Pulse", 12 "Downbeat", 13..19 "Beat 2".."Beat 8"
constexpr int kFirstTapChannel = 20;       // 20..23 "Tap F1".."Tap F4"
constexpr int kMonitorChannelCount = 24;

// Options of a stem dropdown before an analysis is loaded: "Mix", "Stem 1" .. "Stem 15".
std::vector<std::string> placeholderStemOptions();

// The monitor's label of a stem: "ORBALT_" names lose the prefix and get the marker "O_"; upper
// case, at most maxLength characters.
std::string stemLabel(const std::string& name, int maxLength);
// The monitor's colour class of a stem, 0 .. 16.
int stemKind(const std::string& name);

// The new selection of a stem dropdown whose options change from `remembered` to `fresh` while
// `selected` was chosen: the same name where it still exists, else 0. With nothing remembered the
// index stays when it is within the new options.
int remapStemSelection(const std::vector<std::string>& remembered, const std::vector<std::string>& fresh,
                       int selected);

// What a click on the monitor panel asks for.
struct MonitorClick {
    enum class Kind { None, Stem, Channel, Route };
    Kind kind = Kind::None;
    int index = 0;  // stem, channel or route index
};

// Where a click at (nx, ny) lands (ny measured from the top of the monitor). stemCount,
// routeSlots and routeCount as the monitor record holds them.
MonitorClick monitorClickAt(float nx, float ny, int stemCount, int routeSlots, int routeCount);

}  // namespace audio
