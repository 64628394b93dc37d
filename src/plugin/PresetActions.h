#pragma once

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "presets/PresetFile.h"
#include "presets/PresetStore.h"

class InstanceParameters;
class XMLEffectDefinition;
struct HostCapabilities;

namespace OFX {
class ImageEffect;
class ChoiceParam;
class Param;
}  // namespace OFX

// The preset controls of one effect instance at run time: the two dropdowns and the name
// lists they were built from, the Save, Load, Delete and Refresh actions, Load Defaults, and
// the bridge between the instance's parameters and a preset's values.
//
// Every entry point runs on the host's main thread except healPresetChoices, which runs at the
// start of each render; a recursive lock serialises them and lets a host that announces the
// plug-in's own edits synchronously call back in. No lock is held across a host call by the
// parameter map (lookups take its mutex briefly), so such call-backs cannot deadlock.
class PresetActions {
  public:
    PresetActions(OFX::ImageEffect& effect, InstanceParameters& parameters,
                  const XMLEffectDefinition& definition, const std::string& definitionPath,
                  const HostCapabilities& caps);

    // Handles a change of one of the preset controls. pluginEdit: the change is the plug-in's
    // own (a dropdown reset or selection made by an action), which never loads anything.
    void onControlChanged(const std::string& name, bool pluginEdit);

    // Rebuilds dropdowns whose options the host lost or kept stale.
    void healPresetChoices();

    // The actions; each logs its outcome and returns whether it succeeded.
    bool loadFactoryPreset();
    bool loadUserPreset();
    bool savePreset();
    bool deletePreset();
    bool loadDefaultValues();
    void refreshPresets();

    void populatePresetNames();
    void refreshUserPresetList();
    void refreshFactoryPresetList();

    // The instance's current values, and setting them from a map (one undo step).
    PresetValues collectPresetValues();
    void applyPresetValues(const PresetValues& values);

    // A control outside the definition (an audio routing control, say) whose value presets
    // keep, read and set by its host parameter kind. Collected in name order.
    void addCollectedControl(const std::string& name);
    // Runs at the end of the Refresh action (the audio stem dropdowns refresh there).
    void setAfterRefresh(std::function<void()> afterRefresh) { afterRefresh_ = std::move(afterRefresh); }

    const PresetStore& store() const { return store_; }
    std::vector<std::string> userPresetNames() const;
    std::vector<std::string> factoryPresetNames() const;

  private:
    OFX::ChoiceParam* choice(const std::string& name) const;
    void ensureHandles();
    void ensureNames();
    std::vector<std::string> userOptions() const;
    std::vector<std::string> factoryOptions() const;
    // The user preset a "My Presets" index stands for, "" when none.
    std::string selectedUserPreset(OFX::ChoiceParam& list, int index);
    void healOne(const std::string& name, const std::vector<std::string>& expected, std::size_t firstName,
                 void (PresetActions::*rebuild)());
    void applyOne(const std::string& name, const ParameterValue& value);
    void setChoice(const std::string& name, int index);
    void tellUser(const std::string& message);

    OFX::ImageEffect& effect_;
    InstanceParameters& parameters_;
    const XMLEffectDefinition& definition_;
    const HostCapabilities& caps_;
    PresetStore store_;
    std::vector<PresetParameter> presetParameters_;
    std::set<std::string> extraControls_;
    std::function<void()> afterRefresh_;

    mutable std::recursive_mutex mutex_;
    std::vector<std::string> userNames_;
    std::vector<std::string> factoryNames_;
    bool namesFilled_ = false;
    bool factoryHidden_ = false;
    bool rebuilding_ = false;
};

// Options of the "My Presets" dropdown for these user presets, and of the factory dropdown at run time.
std::vector<std::string> userPresetOptions(const std::vector<std::string>& names);
std::vector<std::string> factoryPresetOptions(const std::vector<std::string>& names);
