#pragma once

#include <string>

#include "definition/XMLEffectDefinition.h"
#include "ofxsImageEffect.h"
#include "plugin/HostCapabilities.h"

// The one effect factory: owns the parsed definition the effect is described from.
class GenericEffectFactory : public OFX::PluginFactoryHelper<GenericEffectFactory> {
  public:
    // Parses the definition text (the compiled-in document unless another is given).
    // Throws std::runtime_error when it does not parse.
    explicit GenericEffectFactory(const std::string& definitionPath, const char* definitionText = nullptr);

    // The CPU backend takes its threads from the host while the plug-in is loaded.
    void load() override;
    void unload() override;
    void describe(OFX::ImageEffectDescriptor& desc) override;
    void describeInContext(OFX::ImageEffectDescriptor& desc, OFX::ContextEnum context) override;
    OFX::ImageEffect* createInstance(OfxImageEffectHandle handle, OFX::ContextEnum context) override;

    const XMLEffectDefinition& definition() const { return definition_; }
    const std::string& definitionPath() const { return definitionPath_; }
    const HostCapabilities& hostCapabilities() const { return hostCapabilities_; }
    // The document the definition was parsed from; instances parse the same text.
    const char* definitionText() const { return definitionText_; }

  private:
    void setupBasicProperties(OFX::ImageEffectDescriptor& desc);
    void setupGPUSupport(OFX::ImageEffectDescriptor& desc);

    XMLEffectDefinition definition_;
    std::string definitionPath_;
    std::string pluginIdentifier_;
    HostCapabilities hostCapabilities_;
    const char* definitionText_ = nullptr;
};
