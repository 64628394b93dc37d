#include "plugin/PresetActions.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <set>
#include <stdexcept>

#include "definition/XMLEffectDefinition.h"
#include "log/PluginLog.h"
#include "ofxsImageEffect.h"
#include "params/InstanceParameters.h"
#include "plugin/HostCapabilities.h"
#include "plugin/PresetControlsDescription.h"
#include "presets/DefinitionPresets.h"
#include "platform/UserFolders.h"
#include "presets/PresetFolders.h"

namespace {

const char kLoadDefaultsOption[] = ">> Load Defaults <<";

// Framework controls that are never part of a preset's values: collecting skips them and
// applying refuses them, so a preset can never drive the preset controls themselves.
const std::set<std::string>& frameworkControlNames() {
    static const std::set<std::string> names = {
        "audio_file",      "audio_status", "preset_list",  "factory_preset_list",
        "preset_name",     "save_preset",  "load_preset",  "delete_preset",
        "refresh_presets", "Blend",        "show_overlays"};
    return names;
}

bool skippedWhenCollecting(const ParameterDefinition& definition) {
    static const std::set<std::string> names = {"preset_name", "preset_list",   "refresh_presets",
                                                "load_preset", "delete_preset", "save_preset"};
    return names.count(definition.name) != 0 || definition.type == "pushbutton";
}

template <class P>
P& as(OFX::Param* param) {
    P* typed = dynamic_cast<P*>(param);
    if (!typed) throw std::runtime_error("the host parameter is not of the kind its definition names");
    return *typed;
}

double finite(double value) {
    if (!std::isfinite(value)) throw std::runtime_error("the value is not a finite number");
    return value;
}

double component(float value) {
    return finite(static_cast<double>(value));
}

// The current value of a definition parameter; false for types that hold no preset value.
bool readDefinitionValue(OFX::Param* param, const std::string& type, ParameterValue& value) {
    if (type == "double" || type == "float") {
        value = ParameterValue(as<OFX::DoubleParam>(param).getValue());
    } else if (type == "int") {
        value = ParameterValue(as<OFX::IntParam>(param).getValue());
    } else if (type == "choice") {
        value = ParameterValue(as<OFX::ChoiceParam>(param).getValue());
    } else if (type == "bool") {
        value = ParameterValue(as<OFX::BooleanParam>(param).getValue());
    } else if (type == "string" || type == "filepath") {
        value = ParameterValue(as<OFX::StringParam>(param).getValue());
    } else if (type == "vec2") {
        double x = 0, y = 0;
        as<OFX::Double2DParam>(param).getValue(x, y);
        value = ParameterValue(x, y);
    } else if (type == "vec3") {
        double x = 0, y = 0, z = 0;
        as<OFX::Double3DParam>(param).getValue(x, y, z);
        value = ParameterValue(x, y, z);
    } else if (type == "color") {
        double r = 0, g = 0, b = 0;
        as<OFX::RGBParam>(param).getValue(r, g, b);
        value = ParameterValue(r, g, b);
    } else if (type == "color_rgba") {
        double r = 0, g = 0, b = 0, a = 0;
        as<OFX::RGBAParam>(param).getValue(r, g, b, a);
        value = ParameterValue(r, g, b, a);
    } else {
        return false;
    }
    return true;
}

// Values of controls that no definition declares, by the host parameter's kind.
bool readControlValue(OFX::Param* param, ParameterValue& value) {
    switch (param->getType()) {
        case OFX::eStringParam:
            value = ParameterValue(as<OFX::StringParam>(param).getValue());
            return true;
        case OFX::eIntParam:
            value = ParameterValue(as<OFX::IntParam>(param).getValue());
            return true;
        case OFX::eDoubleParam:
            value = ParameterValue(as<OFX::DoubleParam>(param).getValue());
            return true;
        case OFX::eChoiceParam:
            value = ParameterValue(as<OFX::ChoiceParam>(param).getValue());
            return true;
        default:
            return false;
    }
}

void setChoiceChecked(OFX::Param* param, int index) {
    OFX::ChoiceParam& choice = as<OFX::ChoiceParam>(param);
    const int options = choice.getNOptions();
    if (index < 0 || index >= options)
        throw std::runtime_error("option " + std::to_string(index) + " is outside the " +
                                 std::to_string(options) + " options");
    choice.setValue(index);
}

void writeDefinitionValue(OFX::Param* param, const std::string& type, const ParameterValue& value) {
    if (type == "double" || type == "float") {
        as<OFX::DoubleParam>(param).setValue(finite(value.asDouble()));
    } else if (type == "int") {
        as<OFX::IntParam>(param).setValue(value.asInt());
    } else if (type == "choice") {
        setChoiceChecked(param, value.asInt());
    } else if (type == "bool") {
        as<OFX::BooleanParam>(param).setValue(value.asBool());
    } else if (type == "string" || type == "filepath") {
        as<OFX::StringParam>(param).setValue(value.asString());
    } else if (type == "vec2") {
        as<OFX::Double2DParam>(param).setValue(component(value.x()), component(value.y()));
    } else if (type == "vec3") {
        as<OFX::Double3DParam>(param).setValue(component(value.x()), component(value.y()),
                                               component(value.z()));
    } else if (type == "color") {
        as<OFX::RGBParam>(param).setValue(component(value.x()), component(value.y()), component(value.z()));
    } else if (type == "color_rgba") {
        as<OFX::RGBAParam>(param).setValue(component(value.x()), component(value.y()), component(value.z()),
                                           component(value.w()));
    }
    // Other definition types hold no value a preset could set.
}

// Controls collected by kind are set back by kind.
void writeControlValue(OFX::Param* param, const ParameterValue& value) {
    switch (param->getType()) {
        case OFX::eStringParam:
            as<OFX::StringParam>(param).setValue(value.asString());
            break;
        case OFX::eIntParam:
            as<OFX::IntParam>(param).setValue(value.asInt());
            break;
        case OFX::eDoubleParam:
            as<OFX::DoubleParam>(param).setValue(finite(value.asDouble()));
            break;
        case OFX::eChoiceParam:
            setChoiceChecked(param, value.asInt());
            break;
        default:
            throw std::runtime_error("the control has no parameter definition and no settable kind");
    }
}

void replaceOptions(OFX::ChoiceParam& choice, const std::vector<std::string>& options) {
    choice.resetOptions();
    for (const std::string& option : options) choice.appendOption(option, "");
}

int indexOf(const std::vector<std::string>& names, const std::string& name) {
    auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? -1 : static_cast<int>(found - names.begin());
}

std::string log(const std::string& text) {
    return printableForLog(text);
}

}  // namespace

std::vector<std::string> userPresetOptions(const std::vector<std::string>& names) {
    std::vector<std::string> options;
    options.reserve(names.size() + 2);
    options.push_back(names.empty() ? std::string("(no presets found)") : presetCountLabel(names.size()));
    options.push_back(kLoadDefaultsOption);
    options.insert(options.end(), names.begin(), names.end());
    return options;
}

std::vector<std::string> factoryPresetOptions(const std::vector<std::string>& names) {
    if (names.empty()) return {"(no presets)"};
    std::vector<std::string> options;
    options.reserve(names.size() + 1);
    options.push_back(presetCountLabel(names.size()));
    options.insert(options.end(), names.begin(), names.end());
    return options;
}

PresetActions::PresetActions(OFX::ImageEffect& effect, InstanceParameters& parameters,
                             const XMLEffectDefinition& definition, const std::string& definitionPath,
                             const HostCapabilities& caps)
    : effect_(effect),
      parameters_(parameters),
      definition_(definition),
      caps_(caps),
      store_(
          PresetStore::forEffect(definition.getDisplayName(), bundleNameFromDefinitionPath(definitionPath))),
      presetParameters_(presetParametersOf(definition)) {}

void PresetActions::addCollectedControl(const std::string& name) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!frameworkControlNames().count(name) && !definition_.hasParameter(name)) extraControls_.insert(name);
}

std::vector<std::string> PresetActions::userPresetNames() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return userNames_;
}

std::vector<std::string> PresetActions::factoryPresetNames() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return factoryNames_;
}

OFX::ChoiceParam* PresetActions::choice(const std::string& name) const {
    return dynamic_cast<OFX::ChoiceParam*>(parameters_.findHandle(name));
}

void PresetActions::ensureHandles() {
    if (!parameters_.hasHandles()) parameters_.fetchParametersLazily();
}

void PresetActions::ensureNames() {
    if (!namesFilled_) populatePresetNames();
}

std::vector<std::string> PresetActions::userOptions() const {
    return userPresetOptions(userNames_);
}

std::vector<std::string> PresetActions::factoryOptions() const {
    return factoryPresetOptions(factoryNames_);
}

void PresetActions::setChoice(const std::string& name, int index) {
    if (OFX::ChoiceParam* list = choice(name)) list->setValue(index);
}

void PresetActions::tellUser(const std::string& message) {
    try {
        effect_.sendMessage(OFX::eMessageError, "", message);
    } catch (...) {
        // The log line already carries it; a host without messages is no failure.
    }
}

// --- name lists and dropdowns ------------------------------------------------------------

void PresetActions::populatePresetNames() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    userNames_ = store_.userPresetNames();
    factoryNames_ = store_.factoryPresetNames();
    namesFilled_ = true;
    VLOG_INFO("Preset name vectors populated: %zu user, %zu factory", userNames_.size(),
              factoryNames_.size());
}

void PresetActions::refreshUserPresetList() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ensureHandles();
    // Both lists are filled together, so relisting one never leaves the other empty.
    ensureNames();
    userNames_ = store_.userPresetNames();
    VLOG_INFO("Found %zu presets in %s", userNames_.size(), log(store_.userFolder()).c_str());
    OFX::ChoiceParam* list = choice("preset_list");
    if (!list) {
        VLOG_ERROR("preset_list parameter not found");
    } else {
        try {
            replaceOptions(*list, userOptions());
            list->setValue(0);
            VLOG_INFO("Preset list UI updated with %zu presets", userNames_.size());
        } catch (const std::exception& e) {
            VLOG_ERROR("Failed to update preset list UI (host may not support dynamic choice options): %s",
                       e.what());
        }
    }
    VLOG_INFO("Preset list refreshed: %zu presets found", userNames_.size());
}

void PresetActions::refreshFactoryPresetList() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ensureHandles();
    ensureNames();
    factoryNames_ = store_.factoryPresetNames();
    VLOG_INFO("Found %zu factory presets in %s", factoryNames_.size(), log(store_.factoryFolder()).c_str());
    OFX::ChoiceParam* list = choice("factory_preset_list");
    if (!list) {
        VLOG_ERROR("factory_preset_list parameter not found");
        return;
    }
    if (!factoryNames_.empty()) {
        factoryHidden_ = false;
        try {
            list->setIsSecret(false);
            replaceOptions(*list, factoryOptions());
            list->setValue(0);
            VLOG_INFO("Factory preset list UI updated with %zu presets", factoryNames_.size());
        } catch (const std::exception& e) {
            VLOG_ERROR(
                "Failed to update factory preset list UI (host may not support dynamic choice options): %s",
                e.what());
        }
        VLOG_INFO("Factory preset list refreshed: %zu presets found", factoryNames_.size());
        return;
    }
    try {
        replaceOptions(*list, factoryOptions());
        list->setIsSecret(true);
    } catch (const std::exception& e) {
        VLOG_ERROR(
            "Failed to update factory preset list UI (host may not support dynamic choice options): %s",
            e.what());
    }
    factoryHidden_ = true;
    VLOG_INFO("No factory presets found - hiding dropdown");
}

// A dropdown needs rebuilding when its option count is not the expected one, or when the
// preset names it shows are not the ones its indexes stand for.
void PresetActions::healOne(const std::string& name, const std::vector<std::string>& expected,
                            std::size_t firstName, void (PresetActions::*rebuild)()) {
    try {
        OFX::ChoiceParam* list = choice(name);
        if (!list) return;
        const int count = list->getNOptions();
        if (count != static_cast<int>(expected.size())) {
            VLOG_INFO("'%s' option count %d != expected %d — rebuilding (host wipe/stale)", name.c_str(),
                      count, static_cast<int>(expected.size()));
            (this->*rebuild)();
            return;
        }
        for (std::size_t i = firstName; i < expected.size(); ++i) {
            if (list->getOption(static_cast<int>(i)) != expected[i]) {
                VLOG_INFO("'%s' option %zu is '%s', expected '%s' — rebuilding (stale)", name.c_str(), i,
                          log(list->getOption(static_cast<int>(i))).c_str(), log(expected[i]).c_str());
                (this->*rebuild)();
                return;
            }
        }
    } catch (const std::exception& e) {
        VLOG_ERROR("heal '%s' threw: %s", name.c_str(), e.what());
    } catch (...) {
        VLOG_ERROR("heal '%s' threw (unknown)", name.c_str());
    }
}

void PresetActions::healPresetChoices() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ensureHandles();
    ensureNames();
    if (caps_.presetPrePop) return;
    healOne("preset_list", userOptions(), 2, &PresetActions::refreshUserPresetList);
    if (!factoryHidden_)
        healOne("factory_preset_list", factoryOptions(), 1, &PresetActions::refreshFactoryPresetList);
}

void PresetActions::refreshPresets() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    VLOG_INFO("Refresh Presets button clicked!");
    if (caps_.presetPrePop) return;
    ensureHandles();
    ensureNames();
    // The selections are kept by name: a preset that moved keeps its selection, one that is
    // gone falls back to the placeholder without loading anything.
    std::string userSelection, factorySelection;
    if (OFX::ChoiceParam* list = choice("preset_list")) {
        const int v = list->getValue();
        if (v >= 2 && v - 2 < static_cast<int>(userNames_.size())) userSelection = userNames_[v - 2];
    }
    if (OFX::ChoiceParam* list = choice("factory_preset_list")) {
        const int v = list->getValue();
        if (v >= 1 && v - 1 < static_cast<int>(factoryNames_.size())) factorySelection = factoryNames_[v - 1];
    }
    rebuilding_ = true;
    try {
        refreshUserPresetList();
        refreshFactoryPresetList();
        const int user = userSelection.empty() ? -1 : indexOf(userNames_, userSelection);
        const int factory = factorySelection.empty() ? -1 : indexOf(factoryNames_, factorySelection);
        setChoice("preset_list", user < 0 ? 0 : user + 2);
        setChoice("factory_preset_list", factory < 0 ? 0 : factory + 1);
    } catch (...) {
        rebuilding_ = false;
        throw;
    }
    rebuilding_ = false;
    if (afterRefresh_) afterRefresh_();
}

// --- the actions -------------------------------------------------------------------------

bool PresetActions::loadFactoryPreset() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ensureHandles();
    ensureNames();
    OFX::ChoiceParam* list = choice("factory_preset_list");
    if (!list) {
        VLOG_ERROR("factory_preset_list parameter not found via OFX API");
        return false;
    }
    const int v = list->getValue();
    if (v == 0) {
        VLOG_DEBUG("Factory preset placeholder selected - no action");
        return false;
    }
    if (v < 1 || v > static_cast<int>(factoryNames_.size())) {
        VLOG_ERROR("Invalid factory preset index: %d", v);
        tellUser("The selected factory preset is no longer available.");
        return false;
    }
    const std::string& name = factoryNames_[v - 1];
    const std::string path = store_.factoryPresetPath(name);
    VLOG_INFO("Loading factory preset: %s", log(path).c_str());
    std::string effect, version, cause = "its name is refused";
    const PresetValues values = path.empty() ? PresetValues() : loadPresetFile(path, effect, version, &cause);
    if (values.empty()) {
        VLOG_ERROR("Failed to load factory preset or preset is empty");
        tellUser("The factory preset '" + name + "' could not be loaded: " + cause + ".");
        return false;
    }
    applyPresetValues(values);
    setChoice("preset_list", 0);
    VLOG_INFO("Factory preset loaded: %s (%zu parameters applied)", log(name).c_str(), values.size());
    return true;
}

std::string PresetActions::selectedUserPreset(OFX::ChoiceParam& list, int index) {
    if (index < 2) return std::string();
    std::string shown;
    try {
        shown = list.getOption(index);
    } catch (const std::exception&) {
        // A host that cannot tell the option's text: trust the name list.
    }
    const int position = index - 2;
    const bool listed = position < static_cast<int>(userNames_.size());
    if (listed && (shown.empty() || shown == userNames_[position])) return userNames_[position];
    // The dropdown shows other names than the list holds (the folder changed since it was
    // filled): act on the preset the user saw, never on whichever file now has that index.
    if (shown.empty()) return std::string();
    userNames_ = store_.userPresetNames();
    if (indexOf(userNames_, shown) < 0) return std::string();
    VLOG_INFO("Preset dropdown was out of date; using '%s' as shown", log(shown).c_str());
    return shown;
}

bool PresetActions::loadUserPreset() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ensureHandles();
    ensureNames();
    std::string name;
    if (OFX::ChoiceParam* list = choice("preset_list")) {
        const int v = list->getValue();
        name = selectedUserPreset(*list, v);
        if (!name.empty()) VLOG_INFO("Loading preset from dropdown: %s (index %d)", log(name).c_str(), v);
    }
    // A listed name is the file name already (a.xml.xml lists as a.xml); only a typed name
    // loses its ".xml" ending.
    if (name.empty()) {
        if (auto* field = dynamic_cast<OFX::StringParam*>(parameters_.findHandle("preset_name")))
            name = presetNameFromInput(field->getValue());
    }
    if (name.empty()) {
        VLOG_ERROR("No preset selected - choose from dropdown or enter name");
        return false;
    }
    const std::string path = store_.userPresetPath(name);
    if (path.empty()) {
        tellUser("'" + name + "' is not a usable preset name.");
        return false;
    }
    VLOG_INFO("Loading preset from: %s", log(path).c_str());
    std::string effect, version, cause;
    const PresetValues values = loadPresetFile(path, effect, version, &cause);
    if (values.empty()) {
        VLOG_ERROR("Failed to load preset or preset is empty: %s", log(path).c_str());
        tellUser("The preset '" + name + "' could not be loaded: " + cause + ".");
        return false;
    }
    if (effect != definition_.getName())
        VLOG_INFO("Preset was created for '%s' but loading into '%s' - some parameters may not apply",
                  log(effect).c_str(), definition_.getName().c_str());
    applyPresetValues(values);
    setChoice("factory_preset_list", 0);
    VLOG_INFO("Preset loaded: %s (%zu parameters applied)", log(path).c_str(), values.size());
    return true;
}

bool PresetActions::savePreset() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ensureHandles();
    auto* field = dynamic_cast<OFX::StringParam*>(parameters_.findHandle("preset_name"));
    if (!field) {
        VLOG_ERROR("preset_name parameter not found");
        return false;
    }
    const std::string name = presetNameFromInput(field->getValue());
    if (name.empty()) {
        VLOG_ERROR("No preset name specified - enter a name in 'Preset Name' field");
        tellUser("Enter a name in the 'Save As' field first.");
        return false;
    }
    std::string reason;
    const std::string path = isSavablePresetName(name, &reason) ? store_.userPresetPath(name) : std::string();
    if (path.empty()) {
        if (!reason.empty()) VLOG_ERROR("Refusing preset name '%s': %s", log(name).c_str(), reason.c_str());
        tellUser("'" + name + "' cannot be used as a preset name: " +
                 (reason.empty() ? "no preset folder" : reason) + ".");
        return false;
    }
    VLOG_INFO("Saving preset to: %s", log(path).c_str());
    const PresetValues values = collectPresetValues();
    std::string cause;
    const bool saved = writePresetFile(path, definition_.getName(), definition_.getVersion(), values,
                                       presetParameters_, &cause);
    if (!saved) {
        tellUser("The preset '" + name + "' could not be saved: " + cause + ".");
        return false;
    }
    const std::string ignored = platform::ignoredAppData();
    if (!ignored.empty()) {
        try {
            effect_.sendMessage(OFX::eMessageWarning, "",
                                "APPDATA '" + ignored + "' is not an absolute path, so it is ignored: the preset '" +
                                    name + "' was saved in " + store_.userFolder() + ".");
        } catch (...) {
            // The log has said so already.
        }
    }
    refreshUserPresetList();
    const int index = indexOf(userNames_, name);
    if (index >= 0) {
        setChoice("preset_list", index + 2);
        VLOG_INFO("Selected saved preset '%s' at index %d", log(name).c_str(), index + 2);
    }
    setChoice("factory_preset_list", 0);
    healPresetChoices();
    return true;
}

bool PresetActions::deletePreset() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ensureHandles();
    ensureNames();
    if (OFX::ChoiceParam* factory = choice("factory_preset_list")) {
        if (factory->getValue() > 0) {
            VLOG_INFO("Cannot delete factory presets - select a user preset to delete");
            return false;
        }
    }
    OFX::ChoiceParam* list = choice("preset_list");
    if (!list) {
        VLOG_ERROR("preset_list parameter not found");
        return false;
    }
    const std::string name = selectedUserPreset(*list, list->getValue());
    if (name.empty()) {
        VLOG_ERROR("No user preset selected - choose a preset from 'My Presets' dropdown first");
        return false;
    }
    const std::string path = store_.userPresetPath(name);
    std::string error;
    if (path.empty() || !store_.deleteUserPreset(name, &error)) {
        VLOG_ERROR("Failed to delete preset: %s", log(path).c_str());
        if (!error.empty()) VLOG_DEBUG("Preset delete error: %s", error.c_str());
        return false;
    }
    VLOG_INFO("Deleted preset: %s", log(name).c_str());
    refreshUserPresetList();
    return true;
}

bool PresetActions::loadDefaultValues() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    VLOG_INFO("Loading default values from XML definition");
    const PresetValues values = defaultPresetValues(definition_);
    applyPresetValues(values);
    VLOG_INFO("Default values loaded: %zu parameters reset", values.size());
    return true;
}

// --- values ------------------------------------------------------------------------------

PresetValues PresetActions::collectPresetValues() {
    ensureHandles();
    PresetValues values;
    for (const ParameterDefinition& definition : definition_.getParameters()) {
        if (skippedWhenCollecting(definition)) continue;
        OFX::Param* param = parameters_.findHandle(definition.name);
        if (!param) continue;
        try {
            ParameterValue value;
            if (readDefinitionValue(param, definition.type, value)) values[definition.name] = value;
        } catch (const std::exception& e) {
            VLOG_ERROR("Failed to collect parameter '%s': %s", definition.name.c_str(), e.what());
        }
    }
    for (const std::string& name : extraControls_) {
        if (!parameters_.findHandle(name) || values.count(name) || definition_.hasParameter(name) ||
            frameworkControlNames().count(name))
            continue;
        try {
            ParameterValue value;
            if (readControlValue(parameters_.findHandle(name), value)) values[name] = value;
        } catch (const std::exception& e) {
            VLOG_ERROR("Failed to collect auto-generated parameter '%s': %s", name.c_str(), e.what());
        }
    }
    return values;
}

void PresetActions::applyOne(const std::string& name, const ParameterValue& value) {
    OFX::Param* param = parameters_.findHandle(name);
    if (!param) {
        VLOG_INFO("Preset parameter '%s' not found in effect - skipping", log(name).c_str());
        return;
    }
    try {
        if (frameworkControlNames().count(name))
            throw std::runtime_error("preset controls are not set from a preset");
        if (definition_.hasParameter(name))
            writeDefinitionValue(param, definition_.getParameter(name).type, value);
        else
            writeControlValue(param, value);
    } catch (const std::exception& e) {
        VLOG_ERROR("Failed to apply preset parameter '%s': %s", log(name).c_str(), e.what());
    }
}

void PresetActions::applyPresetValues(const PresetValues& values) {
    ensureHandles();
    // One undo step for the whole preset.
    bool block = false;
    try {
        effect_.beginEditBlock("Load Preset");
        block = true;
    } catch (const std::exception&) {
    }
    for (const auto& [name, value] : values) applyOne(name, value);
    if (block) {
        try {
            effect_.endEditBlock();
        } catch (const std::exception&) {
        }
    }
}

// --- dispatch ----------------------------------------------------------------------------

void PresetActions::onControlChanged(const std::string& name, bool pluginEdit) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (name == "factory_preset_list" || name == "preset_list") {
        if (rebuilding_) return;
        if (pluginEdit) {
            VLOG_DEBUG("'%s' changed by the plug-in - no action", name.c_str());
            return;
        }
        ensureHandles();
        ensureNames();
        OFX::ChoiceParam* list = choice(name);
        const int v = list ? list->getValue() : 0;
        if (name == "factory_preset_list") {
            if (v > 0) {
                VLOG_INFO("Factory preset dropdown changed to index %d - auto-loading", v);
                loadFactoryPreset();
            }
        } else if (v == 1) {
            VLOG_INFO("Load Defaults selected - resetting to XML defaults");
            loadDefaultValues();
            setChoice("preset_list", 0);
            setChoice("factory_preset_list", 0);
        } else if (v > 1) {
            VLOG_INFO("Preset dropdown changed to index %d - auto-loading", v);
            loadUserPreset();
        }
    } else if (name == "save_preset") {
        VLOG_INFO("Save Preset button clicked!");
        savePreset();
    } else if (name == "load_preset") {
        VLOG_INFO("Load Preset button clicked!");
        loadUserPreset();
    } else if (name == "delete_preset") {
        VLOG_INFO("Delete Preset button clicked!");
        deletePreset();
    } else if (name == "refresh_presets") {
        refreshPresets();
    }
}
