#include "plugin/PresetControlsDescription.h"

#include <exception>
#include <vector>

#include "definition/XMLEffectDefinition.h"
#include "log/PluginLog.h"
#include "ofxsImageEffect.h"
#include "presets/PresetFolders.h"
#include "plugin/HostCapabilities.h"

namespace {

const char* const kHelpHint = "View tutorials, guides, and documentation for this effect";

template <class Descriptor>
void setLabels(Descriptor* param, const char* label) {
    param->setLabels(label, label, label);
}

OFX::ChoiceParamDescriptor* defineFactoryChoice(OFX::ImageEffectDescriptor& desc) {
    OFX::ChoiceParamDescriptor* choice = desc.defineChoiceParam("factory_preset_list");
    setLabels(choice, "Factory Presets");
    choice->setHint("Select a factory preset to apply it immediately");
    choice->setDefault(0);
    return choice;
}

OFX::ChoiceParamDescriptor* defineUserChoice(OFX::ImageEffectDescriptor& desc) {
    OFX::ChoiceParamDescriptor* choice = desc.defineChoiceParam("preset_list");
    setLabels(choice, "My Presets");
    choice->setHint("Select a user preset to apply it immediately");
    choice->setDefault(0);
    return choice;
}

// Delete, the name field and Save, parented to the group.
void defineSaveControls(OFX::ImageEffectDescriptor& desc, OFX::GroupParamDescriptor& group) {
    OFX::PushButtonParamDescriptor* remove = desc.definePushButtonParam("delete_preset");
    setLabels(remove, "Delete");
    remove->setHint("Delete the selected preset");
    remove->setParent(group);

    OFX::StringParamDescriptor* name = desc.defineStringParam("preset_name");
    setLabels(name, "Save As");
    name->setHint("Enter name for new preset (e.g., frosted_glass)");
    name->setDefault("");
    name->setParent(group);

    OFX::PushButtonParamDescriptor* save = desc.definePushButtonParam("save_preset");
    setLabels(save, "Save");
    save->setHint("Save current parameters with the given name");
    save->setParent(group);
}

}  // namespace

std::string presetCountLabel(std::size_t count) {
    return "Select from " + std::to_string(count) + (count == 1 ? " preset" : " presets");
}

OFX::PushButtonParamDescriptor* preset_controls::defineHelpButton(OFX::ImageEffectDescriptor& desc,
                                                                  const std::string& name) {
    OFX::PushButtonParamDescriptor* button = desc.definePushButtonParam(name);
    setLabels(button, "Tutorials & Documentation");
    button->setHint(kHelpHint);
    return button;
}

void preset_controls::describeSinglePage(OFX::ImageEffectDescriptor& desc, const HostCapabilities& caps,
                                         const XMLEffectDefinition& definition,
                                         const std::string& definitionPath) {
    OFX::GroupParamDescriptor* group = desc.defineGroupParam("presetsHelp");
    setLabels(group, "Presets & Help");
    group->setOpen(false);
    group->setHint("Save and load effect presets, access documentation");

    OFX::ChoiceParamDescriptor* factory = defineFactoryChoice(desc);
    factory->appendOption("(no factory presets)", "");
    factory->setParent(*group);
    OFX::ChoiceParamDescriptor* user = defineUserChoice(desc);
    user->appendOption("(no presets found)", "");
    user->setParent(*group);
    prePopulatePresetChoices(factory, user, definition.getDisplayName(), definitionPath);

    defineSaveControls(desc, *group);

    if (!caps.presetPrePop) {
        OFX::PushButtonParamDescriptor* refresh = desc.definePushButtonParam("refresh_presets");
        setLabels(refresh, "Refresh");
        refresh->setHint("Rebuild the preset and stem dropdowns if they appear empty");
        refresh->setParent(*group);
    }
    defineHelpButton(desc, "tutorialsButton")->setParent(*group);
    VLOG_INFO("✓ Presets & Help section added");
}

void preset_controls::describeOnPage(OFX::ImageEffectDescriptor& desc, OFX::PageParamDescriptor& page,
                                     const XMLEffectDefinition& definition, const std::string& definitionPath) {
    OFX::GroupParamDescriptor* factoryGroup = desc.defineGroupParam("factoryPresets");
    setLabels(factoryGroup, "Factory Presets");
    factoryGroup->setOpen(false);
    factoryGroup->setHint("Select a factory preset to apply");
    page.addChild(*factoryGroup);
    OFX::ChoiceParamDescriptor* factory = defineFactoryChoice(desc);
    factory->setParent(*factoryGroup);
    VLOG_INFO("✓ Factory Presets added to Settings page");

    OFX::GroupParamDescriptor* userGroup = desc.defineGroupParam("myPresets");
    setLabels(userGroup, "My Presets");
    userGroup->setOpen(false);
    userGroup->setHint("Save, load, and manage your own presets");
    page.addChild(*userGroup);
    OFX::ChoiceParamDescriptor* user = defineUserChoice(desc);
    user->setParent(*userGroup);
    prePopulatePresetChoices(factory, user, definition.getDisplayName(), definitionPath);
    defineSaveControls(desc, *userGroup);
    VLOG_INFO("✓ My Presets added to Settings page");
}

void prePopulatePresetChoices(OFX::ChoiceParamDescriptor* factoryChoice, OFX::ChoiceParamDescriptor* userChoice,
                              const std::string& effectName, const std::string& definitionPath) {
    try {
        VLOG_INFO("  prePopulatePresetChoices: START (effect='%s', xml='%s')", effectName.c_str(),
                  definitionPath.c_str());
        if (factoryChoice) factoryChoice->resetOptions();
        if (userChoice) userChoice->resetOptions();

        const std::string factoryFolder = factoryPresetFolder(bundleNameFromDefinitionPath(definitionPath));
        VLOG_INFO("  prePopulatePresetChoices: scanning factory dir '%s'", factoryFolder.c_str());
        std::size_t factoryEntries = 0;
        const std::vector<std::string> factoryNames =
            factoryFolder.empty() ? std::vector<std::string>() : listPresetNames(factoryFolder, &factoryEntries);
        VLOG_INFO("  prePopulatePresetChoices: factory scan done (%zu files)", factoryEntries);
        if (factoryChoice) {
            if (factoryNames.empty()) {
                factoryChoice->appendOption("(no factory presets)", "");
                factoryChoice->setIsSecret(true);
            } else {
                factoryChoice->appendOption(presetCountLabel(factoryNames.size()), "");
                for (const std::string& name : factoryNames) factoryChoice->appendOption(name, "");
            }
        }
        VLOG_INFO("  Pre-populated %zu factory presets at describe time", factoryNames.size());

        const std::string userFolder = userPresetFolder(effectName);
        VLOG_INFO("  prePopulatePresetChoices: scanning user dir '%s'", userFolder.c_str());
        std::size_t userEntries = 0;
        const std::vector<std::string> userNames =
            userFolder.empty() ? std::vector<std::string>() : listPresetNames(userFolder, &userEntries);
        VLOG_INFO("  prePopulatePresetChoices: user scan done (%zu files)", userEntries);
        if (userChoice) {
            userChoice->appendOption(userNames.empty() ? std::string("(no presets found)")
                                                       : presetCountLabel(userNames.size()),
                                     "");
            userChoice->appendOption(">> Load Defaults <<", "");
            for (const std::string& name : userNames) userChoice->appendOption(name, "");
        }
        VLOG_INFO("  Pre-populated %zu user presets at describe time", userNames.size());
        VLOG_INFO("  prePopulatePresetChoices: DONE");
    } catch (const std::exception& e) {
        VLOG_ERROR("  prePopulatePresetChoices: EXCEPTION: %s", e.what());
    } catch (...) {
        VLOG_ERROR("  prePopulatePresetChoices: UNKNOWN EXCEPTION");
    }
}
