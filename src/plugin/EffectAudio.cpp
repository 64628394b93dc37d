#include "plugin/EffectAudio.h"

#include <algorithm>
#include <charconv>
#include <exception>

#include "audio/AudioFiles.h"
#include "audio/AudioModulation.h"
#include "audio/AudioRouting.h"
#include "audio/AudioToolManager.h"
#include "definition/XMLEffectDefinition.h"
#include "kernels/AudioMonitorRecord.h"
#include "log/PluginLog.h"
#include "ofxsImageEffect.h"
#include "platform/DefaultViewer.h"
#include "platform/FileDialog.h"
#include "platform/FileSystem.h"
#include "platform/UserFolders.h"
#include "plugin/HostCapabilities.h"
#include "plugin/OfxAudioControls.h"

namespace {

const char kAlreadyRunning[] = "Analysis already running — please wait...";
const char kUnreadable[] = "Audio analysis unreadable: ";

// One decimal, whatever the process locale.
std::string oneDecimal(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 1);
    return result.ec == std::errc() ? std::string(text, result.ptr) : std::string("?");
}

std::string loadedStatus(const AudioDataCache& cache) {
    const std::string seconds = oneDecimal(cache.duration()) + "s";
    if (cache.stemCount() >= 2)
        return "Loaded: " + std::to_string(cache.stemCount()) + " stems x " +
               std::to_string(cache.channelCount()) + " channels, " + seconds;
    return "Loaded: " + std::to_string(cache.channelCount()) + " channels, " + seconds;
}

// A file URL with a fragment, every byte outside the unreserved set and '/' percent-encoded.
std::string fileUrl(const std::string& path, const std::string& fragment) {
    static const char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    if (path.empty() || path[0] != '/') url += '/';
    for (unsigned char c : path) {
        const char ch = static_cast<char>(c == '\\' ? '/' : c);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || ch == '/' ||
            c == '-' || c == '_' || c == '.' || c == '~' || c == ':') {
            url += ch;
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url + "#" + fragment;
}

}  // namespace

EffectAudio::EffectAudio(OFX::ImageEffect& effect, InstanceParameters& parameters,
                         const XMLEffectDefinition& definition, const HostCapabilities& caps,
                         TapRecords* taps)
    : effect_(effect),
      parameters_(parameters),
      definition_(definition),
      caps_(caps),
      slots_(definition.getAudioSlotCount()),
      taps_(taps),
      modulator_(definition.getAudioSlotCount(), definition.getAudioTargets()),
      runner_(std::make_unique<AudioToolManager>()) {}

EffectAudio::~EffectAudio() {
    try {
        runner_->cancel();
    } catch (...) {
    }
}

std::vector<ExtraControl> EffectAudio::handleMapControls(int slots) {
    using K = ExtraControl::Kind;
    std::vector<ExtraControl> controls = {{"audio_file", K::String},
                                          {"audio_status", K::String},
                                          {"audio_timeline_offset", K::Integer},
                                          {"audio_show_monitor", K::Boolean},
                                          {"audio_mute_all", K::Boolean},
                                          {"stem_model", K::Choice}};
    for (int n = 1; n <= 4; ++n) controls.push_back({"audio_tap_track_" + std::to_string(n), K::Double});
    for (int slot = 1; slot <= slots; ++slot) {
        for (const char* name : {"audio_stem", "audio_source", "audio_target", "audio_operator"})
            controls.push_back({audio::slotControl(name, slot), K::Choice, slot});
        for (const char* name :
             {"audio_amplitude", "audio_offset", "audio_delay", "audio_threshold", "audio_smoothing",
              "audio_autolevel_window", "audio_attack", "audio_decay", "audio_spring", "audio_damping"})
            controls.push_back({audio::slotControl(name, slot), K::Double, slot});
        for (const char* name : {"audio_mute", "audio_autolevel", "audio_envelope", "audio_spring_enable"})
            controls.push_back({audio::slotControl(name, slot), K::Boolean, slot});
    }
    return controls;
}

// ----- parameter changes -----

void EffectAudio::ensureHandles() {
    if (!parameters_.hasHandles()) parameters_.fetchParametersLazily();
}

bool EffectAudio::onControlChanged(const std::string& name) {
    if (name == "download_audio_tool") {
        openDownloadPage();
        return true;
    }
    if (slots_ <= 0) return false;
    // A change may come before the first render has filled the handle map.
    if (name == "browse_audio_file" || name == "audio_file" || name == "analyze_audio" ||
        name == "extract_stems")
        ensureHandles();
    if (name == "browse_audio_file") {
        onBrowse();
    } else if (name == "audio_file") {
        try {
            onAudioFileChanged();
        } catch (const std::exception& e) {
            VLOG_ERROR("changedParam audio_file exception: %s", e.what());
        }
    } else if (name == "analyze_audio") {
        try {
            onAnalyze();
        } catch (const std::exception& e) {
            VLOG_ERROR("analyze_audio exception: %s", e.what());
        }
    } else if (name == "extract_stems") {
        try {
            onExtractStems();
        } catch (const std::exception& e) {
            VLOG_ERROR("extract_stems exception: %s", e.what());
        }
    } else {
        return false;
    }
    return true;
}

void EffectAudio::runPendingStemRebuild() {
    if (!stemRebuildPending_.load() || !analysis()) return;
    stemRebuildPending_.store(false);
    rebuildStemDropdowns();
}

void EffectAudio::onBrowse() {
    platform::FileDialogRequest request;
    request.title = "Select Audio File";
    request.filterDescription = "Audio Files (orbalt_audio, json, wav, mp3, flac, aac)";
    request.patterns = {"*.orbalt_audio", "*.json", "*.wav", "*.mp3", "*.flac", "*.aac"};
    const platform::FileDialogResult result = platform::openFileDialog(request);
    if (result.status == platform::FileDialogResult::Status::Cancelled) return;
    if (result.status != platform::FileDialogResult::Status::Chosen) {
        VLOG_ERROR("browse_audio_file: %s", result.message.c_str());
        setStatus(result.message);
        return;
    }
    try {
        auto* file = dynamic_cast<OFX::StringParam*>(parameters_.findHandle("audio_file"));
        if (!file) throw std::runtime_error("the audio_file control is missing");
        file->setValue(result.path);
    } catch (const std::exception& e) {
        VLOG_ERROR("browse_audio_file: Failed to set path: %s", e.what());
    }
}

void EffectAudio::onAudioFileChanged() {
    const std::string path = readAudioFile();
    forgetAnalysisOfOtherFile(path);
    if (path.empty()) {
        dropAnalysis();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            loadedAudioPath_.clear();
        }
        setStatus("");
        VLOG_INFO("Audio file cleared");
        return;
    }
    VLOG_INFO("Audio file changed: '%s'", path.c_str());
    std::string toLoad = path;
    if (audio::isAudioFile(path)) {
        if (!audio::isReadableFile(path)) {
            dropAnalysis();
            setStatus("Audio file not found: " + path);
            return;
        }
        const std::string analysisPath = audio::analysisPathFor(path);
        if (!platform::isRegularFile(analysisPath)) {
            launchOrbaltAudio(path, {});
            return;
        }
        VLOG_INFO("Found existing analysis: '%s'", analysisPath.c_str());
        toLoad = analysisPath;
    }
    std::string error;
    if (loadAnalysis(toLoad, &error)) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            loadedAudioPath_ = path;
        }
        rebuildStemDropdowns();
        showLoaded();
    } else {
        VLOG_ERROR("Failed to load audio data: %s", error.c_str());
        dropAnalysis();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            loadedAudioPath_.clear();
        }
        setStatus(kUnreadable + error);
    }
}

void EffectAudio::onAnalyze() {
    const std::string path = readAudioFile();
    if (path.empty()) {
        VLOG_INFO("analyze_audio: No audio file selected");
        return;
    }
    launchOrbaltAudio(path, {"--analyze-stems", "--incremental"});
}

void EffectAudio::onExtractStems() {
    const std::string path = readAudioFile();
    if (path.empty()) {
        VLOG_INFO("extract_stems: No audio file selected");
        return;
    }
    int model = 0;
    if (OFX::ChoiceParam* choice = choiceControl("stem_model")) model = choice->getValue();
    launchOrbaltAudio(path, {"--stems", "--model", model == 1 ? "htdemucs_ft" : "htdemucs_6s"});
}

void EffectAudio::openDownloadPage() {
    // The tool is built with the plug-in; the manual says how to install it.
    const std::string resources = platform::bundleResourcesFolderFor(platform::loadedLibraryPath());
    const std::string manual =
        resources.empty() ? std::string() : platform::joinPath(resources, "velmora.html");
    if (manual.empty() || !platform::isRegularFile(manual)) {
        VLOG_ERROR("download_audio_tool: the manual was not found in the plug-in bundle");
        return;
    }
    std::string error;
    const std::string url = fileUrl(manual, "audio-tool");
    if (platform::openInDefaultViewer(url, &error))
        VLOG_INFO("Opened the audio tool page: %s", url.c_str());
    else
        VLOG_ERROR("download_audio_tool: cannot open %s: %s", url.c_str(), error.c_str());
}

void EffectAudio::launchOrbaltAudio(const std::string& inputPath, const std::vector<std::string>& arguments) {
    bool launched = false;
    {
        // The host's main thread and a render thread may both start a job: the check, the pending
        // paths and the start are one step.
        std::lock_guard<std::mutex> launching(launchMutex_);
        if (!runner_->running()) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                pendingResultPath_ = audio::analysisPathFor(inputPath);
                pendingInputPath_ = inputPath;
                stemExtraction_ = std::find(arguments.begin(), arguments.end(), "--stems") != arguments.end();
            }
            done_.store(false);
            failed_.store(false);
            progressCurrent_.store(0);
            progressTotal_.store(0);
            launched = runner_->launch(
                inputPath, arguments,
                [this](int current, int total) {
                    progressCurrent_.store(current);
                    progressTotal_.store(total);
                },
                [this](bool success) { (success ? done_ : failed_).store(true); });
        }
    }
    if (!launched) {
        VLOG_INFO("launchOrbaltAudio: analysis already running, ignoring click");
        setStatus(kAlreadyRunning);
        return;
    }
    nudgeMonitor();
}

void EffectAudio::forgetAnalysisOfOtherFile(const std::string& chosen) {
    std::lock_guard<std::mutex> launching(launchMutex_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (pendingInputPath_.empty() || pendingInputPath_ == chosen) return;
        VLOG_INFO("Dropping the analysis of '%s': another audio file was chosen", pendingInputPath_.c_str());
    }
    // A job still running for the earlier file is ended; its result would replace the user's choice.
    runner_->cancel();
    forgetPendingAnalysis();
}

void EffectAudio::forgetPendingAnalysis() {
    done_.store(false);
    failed_.store(false);
    std::lock_guard<std::mutex> lock(mutex_);
    pendingResultPath_.clear();
    pendingInputPath_.clear();
    stemExtraction_ = false;
}

bool EffectAudio::analysisRunning() const {
    return runner_->running();
}

// ----- render time -----

void EffectAudio::onRender(double time, std::map<std::string, ParameterValue>& values,
                           AudioMonitorRecord& monitor) {
    completeAnalysisAtRender();
    loadAutomatically();
    const auto cache = analysis();
    if (cache) {
        OfxAudioControls controls(effect_, taps_);
        modulator_.apply(values, time, selectedRoute_.load(), *cache, controls, monitor);
    } else {
        // The meters of an analysis dropped since would be stale.
        audio::resetMonitorRecord(monitor, 0);
    }

    auto readBool = [this](const char* name) {
        try {
            if (!effect_.paramExists(name)) return false;
            OFX::BooleanParam* param = effect_.fetchBooleanParam(name);
            return param && param->getValue();
        } catch (const std::exception&) {
            return false;
        }
    };
    monitor.monitorEnabled = readBool("audio_show_monitor") ? 1 : 0;
    monitor.dimmedBackdrop = readBool("audio_show_dimmed_effect") ? 1 : 0;
    const bool running = analysisRunning();
    bool stems = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stems = stemExtraction_;
    }
    monitor.analysisRunning = running ? 1 : 0;
    monitor.progressDone = running ? progressCurrent_.load() : 0;
    monitor.progressTotal = running ? progressTotal_.load() : 0;
    monitor.analysisPhase = running && stems ? 1 : 0;
    publishMonitorState(monitor);
}

void EffectAudio::publishMonitorState(const AudioMonitorRecord& monitor) {
    monitorStemCount_.store(monitor.stemCount);
    monitorRouteSlots_.store(monitor.routeSlots);
    monitorRouteCount_.store(monitor.routeCount);
    monitorShown_.store(monitor.monitorEnabled != 0);
}

void EffectAudio::completeAnalysisAtRender() {
    std::string resultPath, inputPath;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        resultPath = pendingResultPath_;
        inputPath = pendingInputPath_;
    }
    if ((done_.load() || failed_.load()) && !inputPath.empty()) {
        // The result of a file the user has since replaced (in a change the host did not announce)
        // is not theirs to see.
        const std::string chosen = readAudioFile();
        if (chosen != inputPath) {
            VLOG_INFO("Async analysis of '%s' finished after audio_file became '%s' — discarded",
                      inputPath.c_str(), chosen.c_str());
            forgetPendingAnalysis();
            return;
        }
    }
    if (done_.load() && !resultPath.empty()) {
        VLOG_INFO("Async analysis complete — loading '%s'", resultPath.c_str());
        std::string error;
        if (loadAnalysis(resultPath, &error)) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                loadedAudioPath_ = inputPath;
            }
            VLOG_INFO("Audio data loaded successfully from async analysis");
            stemRebuildPending_.store(true);
            nudgeMonitor();
            showLoaded();
        } else {
            VLOG_ERROR("Failed to load audio data: %s", error.c_str());
            dropAnalysis();
            setStatus(kUnreadable + error);
        }
        done_.store(false);
        std::lock_guard<std::mutex> lock(mutex_);
        pendingResultPath_.clear();
        pendingInputPath_.clear();
    }
    if (failed_.load()) {
        VLOG_ERROR("Async analysis failed for '%s'", inputPath.c_str());
        setStatus("Analysis failed — check log");
        failed_.store(false);
    }
}

void EffectAudio::loadAutomatically() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (analysis_ || !pendingResultPath_.empty()) return;
    }
    const std::string path = readAudioFile();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (path.empty() || path == loadedAudioPath_) return;
    }
    std::string toLoad = path;
    if (audio::isAudioFile(path)) {
        if (!audio::isReadableFile(path)) {
            setStatus("Audio file not found: " + path);
            dropAnalysis();
            return;
        }
        const std::string analysisPath = audio::analysisPathFor(path);
        if (!platform::isRegularFile(analysisPath)) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                loadedAudioPath_ = path;
            }
            launchOrbaltAudio(path, {});
            return;
        }
        toLoad = analysisPath;
    }
    std::string error;
    const bool loaded = loadAnalysis(toLoad, &error);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        loadedAudioPath_ = path;
    }
    if (loaded) {
        rebuildStemDropdowns();
        showLoaded();
    } else {
        dropAnalysis();
        setStatus(kUnreadable + error);
    }
}

bool EffectAudio::loadAnalysis(const std::string& path, std::string* error) {
    auto cache = std::make_shared<AudioDataCache>();
    if (!cache->load(path)) {
        if (error) *error = cache->lastError();
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    analysis_ = std::move(cache);
    return true;
}

void EffectAudio::dropAnalysis() {
    std::lock_guard<std::mutex> lock(mutex_);
    analysis_.reset();
}

std::shared_ptr<const AudioDataCache> EffectAudio::analysis() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return analysis_;
}

void EffectAudio::showLoaded() {
    if (auto cache = analysis()) setStatus(loadedStatus(*cache));
}

void EffectAudio::nudgeMonitor() {
    // Setting the switch to its opposite and back makes the host render again.
    try {
        auto* monitor = dynamic_cast<OFX::BooleanParam*>(parameters_.findHandle("audio_show_monitor"));
        if (!monitor) return;
        const bool shown = monitor->getValue();
        monitor->setValue(!shown);
        monitor->setValue(shown);
    } catch (const std::exception& e) {
        VLOG_ERROR("Audio: could not refresh the monitor: %s", e.what());
    }
}

std::string EffectAudio::readAudioFile() {
    ensureHandles();
    auto* file = dynamic_cast<OFX::StringParam*>(parameters_.findHandle("audio_file"));
    if (!file) return std::string();
    try {
        return audio::trimmedPath(file->getValue());
    } catch (const std::exception& e) {
        VLOG_ERROR("Audio: could not read audio_file: %s", e.what());
        return std::string();
    }
}

void EffectAudio::setStatus(const std::string& text) {
    try {
        auto* status = dynamic_cast<OFX::StringParam*>(parameters_.findHandle("audio_status"));
        if (!status) return;
        // An unchanged text is not written again, so that a render does not make the host render again.
        if (status->getValue() != text) status->setValue(text);
    } catch (const std::exception& e) {
        VLOG_ERROR("Audio: could not set audio_status: %s", e.what());
    }
}

// ----- stem dropdowns -----

OFX::ChoiceParam* EffectAudio::choiceControl(const std::string& name) const {
    return dynamic_cast<OFX::ChoiceParam*>(parameters_.findHandle(name));
}

OFX::ChoiceParam* EffectAudio::stemDropdown(int slot) const {
    return choiceControl(audio::slotControl("audio_stem", slot));
}

void EffectAudio::fillStemDropdowns(const std::vector<std::string>& options,
                                    const std::function<int(int)>& selectionFor) {
    for (int slot = 1; slot <= slots_; ++slot) {
        OFX::ChoiceParam* dropdown = stemDropdown(slot);
        if (!dropdown) continue;
        try {
            const int value = dropdown->getValue();
            dropdown->resetOptions();
            for (const std::string& option : options) dropdown->appendOption(option, "");
            dropdown->setValue(selectionFor(value));
        } catch (const std::exception& e) {
            VLOG_ERROR("Audio: stem dropdown of route %d: %s", slot, e.what());
        }
    }
}

void EffectAudio::applyDefaultStemPlaceholders() {
    if (slots_ <= 0) return;
    std::lock_guard<std::recursive_mutex> lock(stemMutex_);
    fillStemDropdowns(audio::placeholderStemOptions(),
                      [](int value) { return value >= 0 && value <= 15 ? value : 0; });
    VLOG_INFO("Applied default stem placeholders (16 slots)");
}

void EffectAudio::rebuildStemDropdowns() {
    const auto cache = analysis();
    if (!cache || slots_ < 1) return;
    std::lock_guard<std::recursive_mutex> lock(stemMutex_);
    const std::vector<std::string>& stems = cache->stemNames();
    fillStemDropdowns(stems,
                      [&](int value) { return audio::remapStemSelection(rememberedStems_, stems, value); });
    rememberedStems_ = stems;
    VLOG_INFO("Rebuilt stem dropdowns: %d stems", static_cast<int>(stems.size()));
}

void EffectAudio::refreshStemDropdowns() {
    if (analysis())
        rebuildStemDropdowns();
    else
        applyDefaultStemPlaceholders();
}

void EffectAudio::probeStemDropdowns() {
    if (caps_.presetPrePop || slots_ < 1) return;
    int firstCount = -1;
    bool anyEmpty = false;
    for (int slot = 1; slot <= slots_; ++slot) {
        int count = -1;
        if (OFX::ChoiceParam* dropdown = stemDropdown(slot)) {
            try {
                count = dropdown->getNOptions();
            } catch (const std::exception&) {
                count = -1;
            }
            if (count == 0) anyEmpty = true;
        }
        if (slot == 1) firstCount = count;
    }
    VLOG_DEBUG("stem probe: slot1.nOpts=%d anyEmpty=%d audioLoaded=%d", firstCount, anyEmpty ? 1 : 0,
               analysis() ? 1 : 0);
    if (anyEmpty) refreshStemDropdowns();
}

// ----- monitor panel -----

bool EffectAudio::handleMonitorClick(double time, double x, double y) {
    if (!monitorShown_.load()) return false;
    OfxRectD bounds{};
    try {
        if (!effect_.clipExists("Source")) return false;
        OFX::Clip* source = effect_.fetchClip("Source");
        if (!source) return false;
        bounds = source->getRegionOfDefinition(time);
    } catch (const std::exception&) {
        return false;
    }
    const double width = bounds.x2 - bounds.x1;
    const double height = bounds.y2 - bounds.y1;
    if (!(width > 0.0) || !(height > 0.0)) return false;
    const float nx = static_cast<float>((x - bounds.x1) / width);
    const float ny = static_cast<float>(1.0 - (y - bounds.y1) / height);
    const int route = selectedRoute_.load() + 1;
    const audio::MonitorClick click = audio::monitorClickAt(
        nx, ny, monitorStemCount_.load(), monitorRouteSlots_.load(), monitorRouteCount_.load());
    try {
        ensureHandles();
        switch (click.kind) {
            case audio::MonitorClick::Kind::Stem:
                if (OFX::ChoiceParam* stem = stemDropdown(route)) stem->setValue(click.index);
                if (OFX::ChoiceParam* source = choiceControl(audio::slotControl("audio_source", route)))
                    if (source->getValue() == 0) source->setValue(2);
                break;
            case audio::MonitorClick::Kind::Channel:
                if (OFX::ChoiceParam* source = choiceControl(audio::slotControl("audio_source", route)))
                    source->setValue(click.index + 1);
                break;
            case audio::MonitorClick::Kind::Route:
                selectedRoute_.store(click.index);
                // Setting the route's stem to its own value makes the host render the new selection.
                if (OFX::ChoiceParam* stem = stemDropdown(click.index + 1)) stem->setValue(stem->getValue());
                break;
            case audio::MonitorClick::Kind::None:
                break;
        }
    } catch (...) {
        // A dropdown the host refuses to set: the click still counts as consumed.
    }
    return true;
}
