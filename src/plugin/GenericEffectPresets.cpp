// The preset actions of an instance: dropdown selections and the Save, Load, Delete and Refresh buttons.
#include <exception>

#include "log/PluginLog.h"
#include "plugin/EffectAudio.h"
#include "plugin/GenericEffect.h"
#include "plugin/PresetActions.h"

void GenericEffect::onPresetControlChanged(const std::string& paramName, bool pluginEdit) {
    if (presetActions_) presetActions_->onControlChanged(paramName, pluginEdit);
}

void GenericEffect::healPresetChoices() {
    if (!presetActions_) return;
    try {
        presetActions_->healPresetChoices();
    } catch (const std::exception& e) {
        VLOG_ERROR("Preset dropdown healing failed: %s", e.what());
    } catch (...) {
        VLOG_ERROR("Preset dropdown healing failed (unknown exception)");
    }
    // The same pass refills audio stem dropdowns a host showed empty.
    if (audio_) {
        try {
            audio_->probeStemDropdowns();
        } catch (const std::exception& e) {
            VLOG_ERROR("Stem dropdown probe failed: %s", e.what());
        }
    }
}
