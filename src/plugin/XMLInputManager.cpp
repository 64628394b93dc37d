#include "plugin/XMLInputManager.h"

#include <algorithm>
#include <cctype>
#include <exception>

#include "definition/XMLEffectDefinition.h"
#include "log/PluginLog.h"
#include "ofxsImageEffect.h"

XMLInputManager::XMLInputManager() { VLOG_DEBUG("XMLInputManager::constructor"); }

bool XMLInputManager::isMaskInput(const InputDefinition& input) {
    if (input.is_mask == 1) return true;
    if (input.is_mask == 0) return false;
    std::string lower = input.name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.find("mask") != std::string::npos || lower.find("matte") != std::string::npos;
}

OFX::ClipDescriptor* XMLInputManager::createClip(const InputDefinition& input, OFX::ImageEffectDescriptor& desc) {
    try {
        OFX::ClipDescriptor* clip = desc.defineClip(input.name);
        if (!clip) {
            VLOG_DEBUG("XMLInputManager: ERROR - defineClip returned null for '%s'", input.name.c_str());
            return nullptr;
        }
        clip->addSupportedComponent(OFX::ePixelComponentRGBA);
        clip->setTemporalClipAccess(false);
        clip->setSupportsTiles(true);
        clip->setOptional(input.optional);
        if (isMaskInput(input)) clip->setIsMask(true);
        return clip;
    } catch (const std::exception& e) {
        VLOG_DEBUG("XMLInputManager: EXCEPTION in createClip for '%s': %s", input.name.c_str(), e.what());
    } catch (...) {
        VLOG_DEBUG("XMLInputManager: UNKNOWN EXCEPTION in createClip for '%s'", input.name.c_str());
    }
    return nullptr;
}

bool XMLInputManager::createInputs(const XMLEffectDefinition& definition, OFX::ImageEffectDescriptor& desc) {
    try {
        VLOG_DEBUG("[DEBUG] XMLInputManager: Creating %d input clips from XML",
                   static_cast<int>(definition.getInputs().size()));
        for (const InputDefinition& input : definition.getInputs()) {
            if (!createClip(input, desc)) {
                VLOG_DEBUG("XMLInputManager: ERROR - createClip returned null for '%s'", input.name.c_str());
                return false;
            }
        }
        OFX::ClipDescriptor* output = desc.defineClip(kOfxImageEffectOutputClipName);
        if (!output) {
            VLOG_DEBUG("XMLInputManager: ERROR - output clip creation returned null");
            return false;
        }
        output->addSupportedComponent(OFX::ePixelComponentRGBA);
        output->setSupportsTiles(true);
        VLOG_INFO("✓ XML clips created successfully!");
        return true;
    } catch (const std::exception& e) {
        VLOG_DEBUG("XMLInputManager: EXCEPTION in createInputs: %s", e.what());
    } catch (...) {
        VLOG_DEBUG("XMLInputManager: UNKNOWN EXCEPTION in createInputs");
    }
    return false;
}
