#pragma once

// The audio monitor's drawing state, handed to the final-processing kernel by value. The
// modulation fills the meters, the render fills the switches and the analysis state. An
// all-zero record draws nothing. The byte layout is binding (host and device code share it).

#include <stddef.h>
#include <stdint.h>

constexpr int kMonitorMaxStems = 16;
constexpr int kMonitorMaxRoutes = 16;
constexpr int kMonitorChannels = 24;
constexpr int kMonitorStemLabelBytes = 6;
constexpr int kMonitorStemNameBytes = 8;

struct AudioMonitorRecord {
    float stemLevels[kMonitorMaxStems];  // 0..1 per stem
    int32_t stemCount;
    int32_t selectedStem;                                       // 0..15
    int32_t stemKinds[kMonitorMaxStems];                        // colour class, 1..16
    char stemLabels[kMonitorMaxStems][kMonitorStemLabelBytes];  // upper case, NUL-terminated when shorter
    float channelValues[kMonitorChannels];                      // channels of the selected stem, 0..1
    int32_t channelValueCount;                                  // not read by the kernel
    int32_t selectedChannel;
    char selectedStemName[kMonitorStemNameBytes];  // NUL-terminated when shorter
    float routeLevels[kMonitorMaxRoutes];          // 0..1 per route
    int32_t routeChannels[kMonitorMaxRoutes];      // -1: none
    int32_t routeMuted[kMonitorMaxRoutes];
    int32_t routeStems[kMonitorMaxRoutes];  // outside 0..15: none
    int32_t routeCount;
    int32_t routeSlots;  // 0: routeCount
    int32_t selectedRoute;
    int32_t monitorEnabled;
    int32_t dimmedBackdrop;   // nonzero: the frame darkened behind the monitor, else black
    int32_t analysisRunning;  // nonzero: the status banner
    int32_t progressDone;
    int32_t progressTotal;
    int32_t analysisPhase;  // 1: stem extraction, otherwise analysis
};

static_assert(sizeof(AudioMonitorRecord) == 636, "AudioMonitorRecord size");
static_assert(offsetof(AudioMonitorRecord, stemCount) == 64, "AudioMonitorRecord layout");
static_assert(offsetof(AudioMonitorRecord, selectedStem) == 68, "AudioMonitorRecord layout");
static_assert(offsetof(AudioMonitorRecord, stemKinds) == 72, "AudioMonitorRecord layout");
static_assert(offsetof(AudioMonitorRecord, stemLabels) == 136, "AudioMonitorRecord layout");
static_assert(offsetof(AudioMonitorRecord, channelValues) == 232, "AudioMonitorRecord layout");
static_assert(offsetof(AudioMonitorRecord, channelValueCount) == 328, "AudioMonitorRecord layout");
static_assert(offsetof(AudioMonitorRecord, selectedChannel) == 332, "AudioMonitorRecord layout");
static_assert(offsetof(AudioMonitorRecord, selectedStemName) == 336, "AudioMonitorRecord layout");
static_assert(offsetof(AudioMonitorRecord, routeLevels) == 344, "AudioMonitorRecord layout");
static_assert(offsetof(AudioMonitorRecord, routeChannels) == 408, "AudioMonitorRecord layout");
static_assert(offsetof(AudioMonitorRecord, routeMuted) == 472, "AudioMonitorRecord layout");
static_assert(offsetof(AudioMonitorRecord, routeStems) == 536, "AudioMonitorRecord layout");
static_assert(offsetof(AudioMonitorRecord, routeCount) == 600, "AudioMonitorRecord layout");
static_assert(offsetof(AudioMonitorRecord, routeSlots) == 604, "AudioMonitorRecord layout");
static_assert(offsetof(AudioMonitorRecord, selectedRoute) == 608, "AudioMonitorRecord layout");
static_assert(offsetof(AudioMonitorRecord, monitorEnabled) == 612, "AudioMonitorRecord layout");
static_assert(offsetof(AudioMonitorRecord, dimmedBackdrop) == 616, "AudioMonitorRecord layout");
static_assert(offsetof(AudioMonitorRecord, analysisRunning) == 620, "AudioMonitorRecord layout");
static_assert(offsetof(AudioMonitorRecord, progressDone) == 624, "AudioMonitorRecord layout");
static_assert(offsetof(AudioMonitorRecord, progressTotal) == 628, "AudioMonitorRecord layout");
static_assert(offsetof(AudioMonitorRecord, analysisPhase) == 632, "AudioMonitorRecord layout");

inline bool audioMonitorEnabled(const AudioMonitorRecord& record) {
    return record.monitorEnabled != 0;
}
