#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "audio/TapRecords.h"
#include "definition/XMLEffectDefinition.h"
#include "ofxsImageEffect.h"
#include "overlays/OverlayEffectHooks.h"
#include "params/InstanceParameters.h"
#include "plugin/HostCapabilities.h"

// One instance of the effect in a host project: its own parsed definition, the host profile,
// the clips it fetched, its parameters, and the render state behind the render action.
class PresetActions;
class EffectAudio;
struct AudioMonitorRecord;
// The render engine's state of one instance (GenericEffectRender.cpp).
struct GenericEffectRenderState;
struct GenericEffectRenderStateDeleter {
    void operator()(GenericEffectRenderState* state) const;
};

class GenericEffect : public OFX::ImageEffect, public OFX::OverlayEffectHooks {
  public:
    // definitionText: the document the factory was built from (null: the compiled-in one).
    GenericEffect(OfxImageEffectHandle handle, const std::string& definitionPath,
                  const char* definitionText = nullptr);
    ~GenericEffect() override;

    void render(const OFX::RenderArguments& args) override;
    bool isIdentity(const OFX::IsIdentityArguments& args, OFX::Clip*& identityClip,
                    double& identityTime) override;
    void getClipPreferences(OFX::ClipPreferencesSetter& preferences) override;
    void changedParam(const OFX::InstanceChangedArgs& args, const std::string& paramName) override;

    // Parameter values (the render engine and preset handling read through these).
    void fetchParametersLazily() { parameters_.fetchParametersLazily(); }
    ParameterValue getParameterValue(const std::string& name, double time) const {
        return parameters_.getParameterValue(name, time);
    }
    InstanceParameters::ValueStore collectParameterValues(double time) {
        return parameters_.collectParameterValues(time);
    }
    int getDynamicExecutionCount(const std::string& name, double time) const {
        return parameters_.getDynamicExecutionCount(name, time);
    }
    // Re-reads the alpha source, the Matte connection and premultiply output.
    void readAlphaMatteSelectors();
    const AlphaMatteSelection& alphaMatteSelection() const { return alphaMatte_; }

    const XMLEffectDefinition& definition() const { return definition_; }
    const std::string& definitionPath() const { return definitionPath_; }
    const HostCapabilities& hostCapabilities() const { return hostCapabilities_; }
    // A fetched clip by key (declared input names, "SourceFrom", "SourceTo", "output"), or null.
    OFX::Clip* findClip(const std::string& key) const;
    OFX::DoubleParam* transitionParam() const { return transition_; }

    // The audio side of a definition with audio slots (null without).
    EffectAudio* audio() const { return audio_.get(); }
    // Render-time audio steps, before the pipeline runs.
    void runAudioSteps(double time, std::map<std::string, ParameterValue>& values,
                       AudioMonitorRecord& monitor);

    // What the viewer's overlays need: the audio monitor (it hides the overlays and takes clicks
    // first while shown) and the taps of the tap keys.
    bool audioMonitorShown() const override;
    bool handleMonitorClick(double time, double x, double y) override;
    TapRecords* tapRecords() override { return &tapRecords_; }

  private:
    // The render proper, after the action's checks (render engine).
    void setupAndProcess(const OFX::RenderArguments& args);
    void fetchClips();
    void ensureParametersFetched();
    void openDocumentation();
    void flushCache();
    // Drops the accumulated temporal state of the render engine (GenericEffectRender.cpp).
    void invalidateAccumulation();
    // Preset controls and buttons; false when the name is not one of them.
    bool dispatchPresetControl(const std::string& paramName, bool pluginEdit);
    // The preset actions behind the dropdowns and buttons (GenericEffectPresets.cpp).
    void onPresetControlChanged(const std::string& paramName, bool pluginEdit);
    // Rebuilds preset dropdowns the host emptied or kept stale (every render).
    void healPresetChoices();

    XMLEffectDefinition definition_;
    std::string definitionPath_;
    HostCapabilities hostCapabilities_;
    std::map<std::string, OFX::Clip*> clips_;
    OFX::DoubleParam* transition_ = nullptr;
    mutable std::mutex parameterMutex_;
    InstanceParameters parameters_;
    std::unique_ptr<PresetActions> presetActions_;
    std::unique_ptr<EffectAudio> audio_;
    AlphaMatteSelection alphaMatte_;
    TapRecords tapRecords_;
    // Guards the creation of the render state against renders and the accumulation reset.
    std::mutex renderStateMutex_;
    // Last, so that the GPU state goes before everything it reads.
    std::unique_ptr<GenericEffectRenderState, GenericEffectRenderStateDeleter> renderState_;
};
