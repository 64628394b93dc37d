#include "plugin/GenericEffect.h"

#include <atomic>
#include <cmath>
#include <exception>
#include <stdexcept>

#include "definition/EmbeddedDefinition.h"
#include "gpu/HostRuntime.h"
#include "log/PluginLog.h"
#include "platform/DefaultViewer.h"
#include "platform/FileSystem.h"
#include "platform/UserFolders.h"
#include "plugin/EffectAudio.h"
#include "plugin/IdentityConditions.h"
#include "plugin/PresetActions.h"
#include "render/PinnedCache.h"

namespace {
// Fully constructed instances of the process.
std::atomic<int> liveInstances{0};
}  // namespace

GenericEffect::GenericEffect(OfxImageEffectHandle handle, const std::string& definitionPath,
                             const char* definitionText)
    : OFX::ImageEffect(handle),
      definitionPath_(definitionPath),
      hostCapabilities_(HostCapabilities::detect()),
      parameters_(*this, definition_, hostCapabilities_, getContext() == OFX::eContextGeneral,
                  parameterMutex_) {
    VLOG_DEBUG("GenericEffect constructor: %s", definitionPath_.c_str());
    if (!definition_.parse(definitionText ? definitionText : velmora_definition_xml))
        throw std::runtime_error("Failed to parse embedded XML");
    VLOG_INFO("Loaded XML from embedded binary (release build)");
    presetActions_ =
        std::make_unique<PresetActions>(*this, parameters_, definition_, definitionPath_, hostCapabilities_);
    if (definition_.getAudioSlotCount() > 0) {
        audio_ =
            std::make_unique<EffectAudio>(*this, parameters_, definition_, hostCapabilities_, &tapRecords_);
        std::vector<ExtraControl> controls = EffectAudio::handleMapControls(definition_.getAudioSlotCount());
        for (const ExtraControl& control : controls) presetActions_->addCollectedControl(control.name);
        parameters_.setExtraControls(std::move(controls), definition_.getAudioSlotCount());
        presetActions_->setAfterRefresh([this] { audio_->refreshStemDropdowns(); });
    }

    const std::string& debugLevel = definition_.getDebugLevel();
    if (debugLevel != "none") PluginLog::instance().setLevelFromText(debugLevel);
    VLOG_DEBUG("XML debug level: %s", debugLevel.c_str());

    try {
        fetchClips();
    } catch (const std::exception& e) {
        VLOG_ERROR("GenericEffect constructor error: %s", e.what());
    }
    ++liveInstances;
}

void GenericEffect::fetchClips() {
    const bool transition = getContext() == OFX::eContextTransition;
    VLOG_INFO("Effect instantiation context: %s (XML says transition=%s)",
              transition ? "TRANSITION" : "FILTER/GENERAL", definition_.isTransition() ? "yes" : "no");
    int fetched = 0;
    std::lock_guard<std::mutex> lock(parameterMutex_);
    if (transition) {
        try {
            clips_[kOfxImageEffectTransitionSourceFromClipName] =
                fetchClip(kOfxImageEffectTransitionSourceFromClipName);
            clips_[kOfxImageEffectTransitionSourceToClipName] =
                fetchClip(kOfxImageEffectTransitionSourceToClipName);
            fetched += 2;
            VLOG_INFO("Fetched transition clips: SourceFrom, SourceTo");
        } catch (const std::exception& e) {
            VLOG_ERROR("Failed to fetch transition clips: %s", e.what());
        }
        try {
            transition_ = fetchDoubleParam("Transition");
            VLOG_INFO("Fetched host Transition parameter");
        } catch (const std::exception& e) {
            VLOG_ERROR("Failed to fetch Transition param: %s", e.what());
        }
    } else {
        if (definition_.isTransition())
            VLOG_ERROR(
                "WARNING: Effect is defined as transition but host instantiated as filter! Apply from "
                "Transitions "
                "bin, not Effects.");
        for (const InputDefinition& input : definition_.getInputs()) {
            try {
                if (OFX::Clip* clip = fetchClip(input.name)) {
                    clips_[input.name] = clip;
                    ++fetched;
                }
            } catch (const std::exception& e) {
                VLOG_ERROR("Failed to fetch clip %s: %s", input.name.c_str(), e.what());
            }
        }
    }
    try {
        if (OFX::Clip* output = fetchClip(kOfxImageEffectOutputClipName)) {
            clips_["output"] = output;
            ++fetched;
        }
    } catch (const std::exception& e) {
        VLOG_ERROR("Failed to fetch output clip: %s", e.what());
    }
    VLOG_DEBUG("GenericEffect constructor completed: %d clips fetched", fetched);
}

GenericEffect::~GenericEffect() {
    try {
        VLOG_DEBUG("🔴 GenericEffect destructor START");
        // A running analysis is ended and its worker joined before anything it reports into goes.
        audio_.reset();
        // Textures, buffers, the buffer pool and an own stream go first, each release logged.
        renderState_.reset();
        if (--liveInstances == 0) {
            // Nothing is left to reuse the frame-sized blocks the CPU backend keeps, nor to copy
            // into the host buffers the page-locked cache holds.
            HostRuntime::instance().releaseSpareBlocks();
            PinnedCache::unregisterProcessBuffers();
            VLOG_DEBUG("Last instance gone: kept blocks and page-locked buffers released");
        }
        VLOG_DEBUG("🔴 GenericEffect destroyed");
    } catch (...) {
    }
}

OFX::Clip* GenericEffect::findClip(const std::string& key) const {
    std::lock_guard<std::mutex> lock(parameterMutex_);
    auto it = clips_.find(key);
    return it == clips_.end() ? nullptr : it->second;
}

void GenericEffect::ensureParametersFetched() {
    if (!parameters_.hasHandles()) parameters_.fetchParametersLazily();
}

void GenericEffect::readAlphaMatteSelectors() {
    alphaMatte_ = parameters_.readAlphaMatteSelectors();
}

void GenericEffect::render(const OFX::RenderArguments& args) {
    ensureParametersFetched();
    healPresetChoices();

    OFX::Clip* output = findClip("output");
    if (!output) {
        VLOG_ERROR("No output clip found");
        OFX::throwSuiteStatusException(kOfxStatErrValue);
    }
    if (output->getPixelDepth() != OFX::eBitDepthFloat ||
        output->getPixelComponents() != OFX::ePixelComponentRGBA) {
        VLOG_ERROR("Unsupported pixel format");
        OFX::throwSuiteStatusException(kOfxStatErrUnsupported);
    }
    setupAndProcess(args);
}

bool GenericEffect::isIdentity(const OFX::IsIdentityArguments& args, OFX::Clip*& identityClip,
                               double& identityTime) {
    ensureParametersFetched();
    // A copy of its own: identity tests may run beside a render, which keeps the instance's fields.
    const AlphaMatteSelection alpha = parameters_.readAlphaMatteSelectors();

    // The output's alpha differs from the source's: never pass the source through.
    if ((alpha.alphaSource == 0 || alpha.alphaSource == 2) && alpha.matteConnected) return false;
    if (alpha.alphaSource == 3 || alpha.premultiplyOutput) return false;

    for (const IdentityCondition& condition : definition_.getIdentityConditions()) {
        const double value = parameters_.getParameterValue(condition.parameterName, args.time).asDouble();
        bool known = true;
        const bool holds = identityConditionHolds(condition.op, value, condition.value, &known);
        if (!known) VLOG_DEBUG("WARNING: Unknown identity operator: %s", condition.op.c_str());
        if (!holds) continue;
        if (definition_.getInputs().empty()) continue;
        // The host needs a clip with every identity answer: without the first input's clip, render instead.
        OFX::Clip* clip = findClip(definition_.getInputs().front().name);
        if (!clip) {
            VLOG_DEBUG("Identity condition met but clip '%s' is not available - rendering instead",
                       definition_.getInputs().front().name.c_str());
            return false;
        }
        identityClip = clip;
        identityTime = args.time;
        VLOG_DEBUG("Identity condition met");
        return true;
    }
    return false;
}

void GenericEffect::getClipPreferences(OFX::ClipPreferencesSetter& preferences) {
    preferences.setOutputFrameVarying(definition_.isFrameVarying());
}

void GenericEffect::changedParam(const OFX::InstanceChangedArgs& args, const std::string& paramName) {
    VLOG_INFO("changedParam called: paramName='%s'", paramName.c_str());
    if (audio_) audio_->runPendingStemRebuild();
    if (paramName == "tutorialsButton" || paramName == "getHelp") {
        openDocumentation();
    } else if (audio_ && audio_->onControlChanged(paramName)) {
        // handled
    } else if (dispatchPresetControl(paramName, args.reason == OFX::eChangePluginEdit)) {
        // handled
    } else if (paramName == "flush_cache") {
        flushCache();
    }
    // Any other name: the new value is read at the next render.
}

bool GenericEffect::dispatchPresetControl(const std::string& paramName, bool pluginEdit) {
    static const char* const kPresetControls[] = {"factory_preset_list", "preset_list",   "save_preset",
                                                  "load_preset",         "delete_preset", "refresh_presets"};
    bool isPresetControl = false;
    for (const char* name : kPresetControls)
        if (paramName == name) isPresetControl = true;
    if (!isPresetControl) return false;
    try {
        onPresetControlChanged(paramName, pluginEdit);
    } catch (const std::exception& e) {
        VLOG_ERROR("changedParam preset handler exception for '%s': %s", paramName.c_str(), e.what());
    } catch (...) {
        VLOG_ERROR("changedParam preset handler unknown exception for '%s'", paramName.c_str());
    }
    return true;
}

void GenericEffect::runAudioSteps(double time, std::map<std::string, ParameterValue>& values,
                                  AudioMonitorRecord& monitor) {
    if (audio_) audio_->onRender(time, values, monitor);
}

bool GenericEffect::audioMonitorShown() const {
    return audio_ && audio_->monitorShown();
}

bool GenericEffect::handleMonitorClick(double time, double x, double y) {
    return audio_ && audio_->handleMonitorClick(time, x, y);
}

void GenericEffect::flushCache() {
    invalidateAccumulation();
    try {
        // The counter change makes the host discard the frames it cached from the dropped state.
        OFX::IntParam* counter = fetchIntParam("_flush_cache_counter");
        const int before = counter->getValue();
        const int after = before < 999999 ? before + 1 : 0;
        counter->setValue(after);
        VLOG_INFO(
            "flush_cache: accum state invalidated; bumped _flush_cache_counter %d → %d (invalidates host "
            "cache)",
            before, after);
    } catch (const std::exception& e) {
        VLOG_ERROR("flush_cache exception: %s", e.what());
    }
}

void GenericEffect::openDocumentation() {
    // The manual ships in the bundle: Contents/Resources/velmora.html.
    const std::string resources = platform::bundleResourcesFolderFor(platform::loadedLibraryPath());
    if (resources.empty()) {
        VLOG_ERROR("Documentation: the plug-in bundle's Resources folder was not found");
        return;
    }
    const std::string manual = platform::joinPath(resources, "velmora.html");
    if (!platform::isRegularFile(manual)) {
        VLOG_ERROR("Documentation: manual not found at %s", manual.c_str());
        return;
    }
    std::string error;
    if (platform::openInDefaultViewer(manual, &error))
        VLOG_INFO("Opened documentation: %s", manual.c_str());
    else
        VLOG_ERROR("Failed to open documentation %s: %s", manual.c_str(), error.c_str());
}
