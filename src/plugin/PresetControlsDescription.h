#pragma once

#include <string>

class XMLEffectDefinition;
struct HostCapabilities;

namespace OFX {
class ImageEffectDescriptor;
class ChoiceParamDescriptor;
class PageParamDescriptor;
class PushButtonParamDescriptor;
}  // namespace OFX

// The preset and help controls as described to the host, in both layouts.
namespace preset_controls {

// Single-page layout: the closed "Presets & Help" group with both dropdowns, the name field,
// Delete and Save, Refresh where the host does not keep pre-filled choices, and the help button.
void describeSinglePage(OFX::ImageEffectDescriptor& desc, const HostCapabilities& caps,
                        const XMLEffectDefinition& definition, const std::string& definitionPath);

// Page layout: the "Factory Presets" and "My Presets" groups on the given page.
void describeOnPage(OFX::ImageEffectDescriptor& desc, OFX::PageParamDescriptor& page,
                    const XMLEffectDefinition& definition, const std::string& definitionPath);

// The documentation button ("tutorialsButton" or "getHelp").
OFX::PushButtonParamDescriptor* defineHelpButton(OFX::ImageEffectDescriptor& desc, const std::string& name);

}  // namespace preset_controls

// Fills both preset dropdowns from the factory and user folders as they are now.
void prePopulatePresetChoices(OFX::ChoiceParamDescriptor* factoryChoice, OFX::ChoiceParamDescriptor* userChoice,
                              const std::string& effectName, const std::string& definitionPath);

// "Select from N preset(s)".
std::string presetCountLabel(std::size_t count);
