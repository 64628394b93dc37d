#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/AudioDataCache.h"
#include "audio/AudioModulation.h"
#include "params/InstanceParameters.h"

class AudioToolManager;
class TapRecords;
class XMLEffectDefinition;
struct AudioMonitorRecord;
struct HostCapabilities;

namespace OFX {
class ImageEffect;
class ChoiceParam;
}  // namespace OFX

// The audio side of one effect instance whose definition declares audio slots: the analysis tool
// it runs, the analysis it has loaded, the "audio_file" / "audio_status" flows, the stem
// dropdowns of the routes and the clicks on the monitor panel.
//
// Parameter changes and clicks arrive on the host's main thread, the render-time steps on a render
// thread; a lock guards the paths and the loaded analysis (never held across a host call), the
// tool's job touches only atomic fields.
class EffectAudio {
  public:
    // taps: the instance's tap records, which the tap pulses read (may be null).
    EffectAudio(OFX::ImageEffect& effect, InstanceParameters& parameters,
                const XMLEffectDefinition& definition, const HostCapabilities& caps, TapRecords* taps);
    ~EffectAudio();  // ends a running analysis

    // The controls that join the instance's handle map for `slots` routes.
    static std::vector<ExtraControl> handleMapControls(int slots);

    // Parameter changes: true when the name is one of the audio controls handled here.
    bool onControlChanged(const std::string& name);
    // A stem rebuild left for the next parameter change after an analysis completed at render time.
    void runPendingStemRebuild();

    // Render-time steps, before the pipeline runs: completion of an analysis, automatic loading,
    // the modulation of the render's values (frames at `time`) with the monitor's meters, and the
    // monitor's switches and analysis state in the record.
    void onRender(double time, std::map<std::string, ParameterValue>& values, AudioMonitorRecord& monitor);
    // The fields of the monitor record the panel clicks read, as the last render left them.
    void publishMonitorState(const AudioMonitorRecord& monitor);
    bool handleMonitorClick(double time, double x, double y);
    // Whether the last render drew the monitor.
    bool monitorShown() const { return monitorShown_.load(); }

    // Starts the analysis tool on an audio file (one job at a time).
    void launchOrbaltAudio(const std::string& inputPath, const std::vector<std::string>& arguments);

    void applyDefaultStemPlaceholders();
    void rebuildStemDropdowns();
    void refreshStemDropdowns();
    void probeStemDropdowns();

    // The loaded analysis, or null.
    std::shared_ptr<const AudioDataCache> analysis() const;
    int selectedRoute() const { return selectedRoute_.load(); }
    bool analysisRunning() const;
    int slotCount() const { return slots_; }

  private:
    void onBrowse();
    void onAudioFileChanged();
    void onAnalyze();
    void onExtractStems();
    void openDownloadPage();
    // A job for another file than the chosen one is ended and its result, if any, dropped.
    void forgetAnalysisOfOtherFile(const std::string& chosen);
    void forgetPendingAnalysis();
    void completeAnalysisAtRender();
    void loadAutomatically();
    // Loads an analysis file; on success it becomes the instance's analysis.
    bool loadAnalysis(const std::string& path, std::string* error);
    void dropAnalysis();
    void showLoaded();
    void nudgeMonitor();

    std::string readAudioFile();
    void setStatus(const std::string& text);
    OFX::ChoiceParam* stemDropdown(int slot) const;
    // Gives every route's stem dropdown these options and the selection made from its old value.
    void fillStemDropdowns(const std::vector<std::string>& options,
                           const std::function<int(int)>& selectionFor);
    OFX::ChoiceParam* choiceControl(const std::string& name) const;
    void ensureHandles();

    OFX::ImageEffect& effect_;
    InstanceParameters& parameters_;
    const XMLEffectDefinition& definition_;
    const HostCapabilities& caps_;
    const int slots_;
    TapRecords* taps_;
    // Route states across renders; used on render threads only (under the render mutex).
    audio::AudioModulator modulator_;

    const std::unique_ptr<AudioToolManager> runner_;
    std::mutex launchMutex_;  // starting and ending jobs; taken before mutex_
    mutable std::mutex mutex_;
    std::string pendingResultPath_;
    std::string pendingInputPath_;
    std::string loadedAudioPath_;
    std::shared_ptr<const AudioDataCache> analysis_;
    bool stemExtraction_ = false;

    std::atomic<bool> done_{false};
    std::atomic<bool> failed_{false};
    std::atomic<int> progressCurrent_{0};
    std::atomic<int> progressTotal_{0};

    std::recursive_mutex stemMutex_;
    std::vector<std::string> rememberedStems_;
    std::atomic<bool> stemRebuildPending_{false};

    std::atomic<bool> monitorShown_{false};
    std::atomic<int> monitorStemCount_{0};
    std::atomic<int> monitorRouteSlots_{0};
    std::atomic<int> monitorRouteCount_{0};
    std::atomic<int> selectedRoute_{0};
};
