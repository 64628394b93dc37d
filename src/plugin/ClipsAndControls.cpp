// GenericEffectFactory::describeInContext: clips, the definition's parameters in their layout,
// and the framework's controls around them.
#include <algorithm>
#include <exception>
#include <stdexcept>

#include "definition/XMLEffectDefinition.h"
#include "log/PluginLog.h"
#include "params/PageLayout.h"
#include "params/XMLParameterManager.h"
#include "plugin/AudioControlsDescription.h"
#include "plugin/FrameworkControls.h"
#include "plugin/GenericEffectFactory.h"
#include "plugin/HostCapabilities.h"
#include "plugin/PresetControlsDescription.h"
#include "plugin/XMLInputManager.h"

namespace {

bool declaresInput(const XMLEffectDefinition& definition, const std::string& name) {
    const auto& inputs = definition.getInputs();
    return std::any_of(inputs.begin(), inputs.end(), [&](const InputDefinition& in) { return in.name == name; });
}

OFX::ClipDescriptor* defineRgbaClip(OFX::ImageEffectDescriptor& desc, const std::string& name, bool tiles) {
    OFX::ClipDescriptor* clip = desc.defineClip(name);
    clip->addSupportedComponent(OFX::ePixelComponentRGBA);
    clip->setSupportsTiles(tiles);
    return clip;
}

// Labels of the inputs after the main source, as the routing selector shows them.
std::vector<std::string> auxInputLabels(const XMLEffectDefinition& definition, bool synthesizedMatte) {
    std::vector<std::string> labels;
    const auto& inputs = definition.getInputs();
    for (std::size_t i = 1; i < inputs.size(); ++i) {
        std::string label = inputs[i].name;
        std::replace(label.begin(), label.end(), '_', ' ');
        labels.push_back(label);
    }
    if (synthesizedMatte) labels.push_back("Matte Input");
    return labels;
}

}  // namespace

void GenericEffectFactory::describeInContext(OFX::ImageEffectDescriptor& desc, OFX::ContextEnum context) {
    XMLEffectDefinition& definition = definition_;
    const HostCapabilities& caps = hostCapabilities_;
    try {
        VLOG_DEBUG("GenericEffectFactory::describeInContext called, context=%d", static_cast<int>(context));
        const bool isTransition = context == OFX::eContextTransition;
        const bool isGeneral = context == OFX::eContextGeneral;
        const bool hasMatteInput = declaresInput(definition, "Matte");
        PageMap pages;

        const bool synthesizedMatte = caps.synthesizeMatte && isGeneral && !hasMatteInput;
        const std::size_t declaredInputs = definition.getInputs().size();
        std::size_t auxInputCount = 0;
        if (declaredInputs > 0)
            auxInputCount = declaredInputs - 1 + (synthesizedMatte ? 1 : 0);
        else
            auxInputCount = synthesizedMatte ? 1 : 0;
        const bool auxRouting = caps.mayCapAuxInputs && isGeneral && auxInputCount > 1;

        // Clips.
        if (isTransition) {
            VLOG_INFO("Creating TRANSITION clips (SourceFrom, SourceTo)");
            defineRgbaClip(desc, kOfxImageEffectTransitionSourceFromClipName, false);
            defineRgbaClip(desc, kOfxImageEffectTransitionSourceToClipName, false);
            defineRgbaClip(desc, kOfxImageEffectOutputClipName, false);
            VLOG_INFO("TRANSITION clips created (SourceFrom, SourceTo, Output)");
            framework_controls::defineTransition(desc);
            VLOG_INFO("TRANSITION parameter defined (Transition)");
        } else {
            XMLInputManager inputs;
            if (inputs.createInputs(definition, desc)) {
                VLOG_INFO("XML clips created successfully!");
                if (synthesizedMatte) {
                    OFX::ClipDescriptor* matte = defineRgbaClip(desc, "Matte", true);
                    matte->setTemporalClipAccess(false);
                    matte->setOptional(true);
                    VLOG_INFO("Synthesized Matte clip defined");
                }
            } else {
                VLOG_DEBUG("XML clips failed, falling back to manual clips");
                defineRgbaClip(desc, kOfxImageEffectSimpleSourceClipName, false);
                defineRgbaClip(desc, kOfxImageEffectOutputClipName, false);
                OFX::ClipDescriptor* mask = defineRgbaClip(desc, "mask", false);
                mask->setOptional(true);
                mask->setIsMask(true);
                VLOG_DEBUG("Fallback manual clips created");
            }
        }

        const bool hasPremultiplyParam = definition.hasParameter("premultiply_output");

        // Layout choice: pages for hosts that use them, synthesized from the groups when needed.
        if (caps.pages && definition.getPages().empty()) synthesizeDefaultPages(definition);
        const bool pageLayout = caps.pages && !definition.getPages().empty();
        if (pageLayout) {
            VLOG_INFO("Using page layout for %s (%zu pages)", caps.profileName.c_str(), definition.getPages().size());
        } else if (definition.getPages().empty() || caps.pages) {
            VLOG_INFO("Using legacy single-page layout");
        } else {
            VLOG_INFO("%s does not support pages — using legacy layout", caps.profileName.c_str());
        }

        if (pageLayout) {
            VLOG_INFO("  Pages will be created inline by createAndOrganizeWithPages()");
            if (!XMLParameterManager::createAndOrganizeWithPages(definition, desc, pages))
                throw std::runtime_error("Failed to create and organize parameters with pages");
            VLOG_INFO("✓ XML effect parameters created and organized on user pages");

            if (definition.getAudioSlotCount() > 0) {
                OFX::PageParamDescriptor* audio = desc.definePageParam("Audio");
                audio->setLabels("Audio", "Audio", "Audio");
                pages["Audio"] = audio;
                audio_controls::describe(desc, definition, audio);
            }

            OFX::PageParamDescriptor* settings = desc.definePageParam("Settings");
            settings->setLabels("Settings", "Settings", "Settings");
            pages["Settings"] = settings;
            VLOG_INFO("  Created auto 'Settings' page");

            preset_controls::describeOnPage(desc, *settings, definition, definitionPath_);

            if (!definition.getAccumulationBuffers().empty())
                framework_controls::defineResetAccumulation(desc, settings);

            OFX::GroupParamDescriptor* blendHelp = framework_controls::defineBlendHelpGroup(desc);
            settings->addChild(*blendHelp);
            framework_controls::defineBlend(desc)->setParent(*blendHelp);
            preset_controls::defineHelpButton(desc, "getHelp")->setParent(*blendHelp);
            if (caps.showOverlaysToggle) {
                framework_controls::defineShowOverlays(desc)->setParent(*blendHelp);
                VLOG_INFO("✓ Show Overlays toggle added to Settings page");
            }
            VLOG_INFO("✓ Blend & Help added to Settings page");

            if (!hasPremultiplyParam && !isTransition) {
                OFX::GroupParamDescriptor* alphaMatte = framework_controls::defineAlphaMatteGroup(desc);
                settings->addChild(*alphaMatte);
                framework_controls::definePremultiplyOutput(desc)->setParent(*alphaMatte);
                VLOG_INFO("✓ Alpha/Matte (Premultiply Output) added to Settings page");
            }
        } else {
            preset_controls::describeSinglePage(desc, caps, definition, definitionPath_);

            if (!definition.getAccumulationBuffers().empty())
                framework_controls::defineResetAccumulation(desc, nullptr);

            if (!XMLParameterManager::createParameters(definition, desc, pages))
                throw std::runtime_error("Failed to create parameters from XML");
            if (!XMLParameterManager::organizeUI(definition, desc, pages))
                throw std::runtime_error("Failed to organize UI from XML");
            VLOG_INFO("✓ XML effect parameters added");

            if (definition.getAudioSlotCount() > 0) audio_controls::describe(desc, definition, nullptr);

            if (auxRouting) {
                OFX::GroupParamDescriptor* routing = framework_controls::defineAuxRoutingGroup(desc);
                framework_controls::defineAuxInput2Feeds(desc, auxInputLabels(definition, synthesizedMatte))
                    ->setParent(*routing);
                VLOG_INFO("✓ Aux routing selector added (%zu aux inputs)", declaredInputs > 0 ? declaredInputs - 1 : 0);
            }

            if (synthesizedMatte || (!hasPremultiplyParam && !isTransition)) {
                OFX::GroupParamDescriptor* alphaMatte = framework_controls::defineAlphaMatteGroup(desc);
                if (synthesizedMatte) framework_controls::defineAlphaSource(desc, auxRouting)->setParent(*alphaMatte);
                if (!hasPremultiplyParam)
                    framework_controls::definePremultiplyOutput(desc)->setParent(*alphaMatte);
            }

            OFX::GroupParamDescriptor* globalBlend = framework_controls::defineGlobalBlendGroup(desc);
            framework_controls::defineBlend(desc)->setParent(*globalBlend);
            VLOG_INFO("✓ Global Blend parameter added");
            if (caps.showOverlaysToggle) {
                framework_controls::defineShowOverlays(desc)->setParent(*globalBlend);
                VLOG_INFO("✓ Show Overlays toggle added");
            }
        }

        VLOG_INFO("✓ XML parameters created successfully");
        VLOG_INFO("GenericEffectFactory::describeInContext completed successfully");
    } catch (const std::exception& e) {
        VLOG_DEBUG("✗ GenericEffectFactory::describeInContext failed: %s", e.what());
        throw;
    }
}
