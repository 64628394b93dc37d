#include "definition/XMLEffectDefinition.h"

#include <exception>
#include <pugixml.hpp>
#include <stdexcept>

#include "definition/DefinitionReader.h"
#include "log/PluginLog.h"

int InputDefinition::noInputCode() const {
    if (noInputMode == "error") return 0;
    if (noInputMode == "black") return 1;
    if (noInputMode == "white") return 2;
    if (noInputMode == "transparent") return 3;
    return 2;
}

int InputDefinition::borderModeCode() const {
    if (border_mode == "clamp") return 0;
    if (border_mode == "repeat") return 1;
    if (border_mode == "mirror") return 2;
    if (border_mode == "black") return 3;
    return 0;
}

XMLEffectDefinition::XMLEffectDefinition() {
    VLOG_INFO("XMLEffectDefinition default constructor (for embedded XML)");
}

XMLEffectDefinition::~XMLEffectDefinition() = default;
XMLEffectDefinition::XMLEffectDefinition(const XMLEffectDefinition&) = default;
XMLEffectDefinition& XMLEffectDefinition::operator=(const XMLEffectDefinition&) = default;
XMLEffectDefinition::XMLEffectDefinition(XMLEffectDefinition&&) noexcept = default;
XMLEffectDefinition& XMLEffectDefinition::operator=(XMLEffectDefinition&&) noexcept = default;

bool XMLEffectDefinition::parse(const char* text) {
    VLOG_INFO("Parsing XML from embedded string");
    if (!text) {
        VLOG_ERROR("Embedded XML content is null");
        return false;
    }
    try {
        // Start from an empty definition so that a second parse does not mix documents.
        XMLEffectDefinition fresh(*this);
        fresh.clear();

        auto document = std::make_shared<pugi::xml_document>();
        const pugi::xml_parse_result loaded = document->load_string(text);
        if (!loaded) {
            VLOG_ERROR("Failed to parse embedded XML: %s", loaded.description());
            return false;
        }
        const pugi::xml_node effect = document->child("effect");
        if (!effect) {
            VLOG_ERROR("Embedded XML does not contain an effect element");
            return false;
        }
        fresh.document_ = document;
        DefinitionReader(fresh).readEffect(effect);
        *this = std::move(fresh);
    } catch (const std::exception& error) {
        VLOG_ERROR("Failed to parse embedded XML: %s", error.what());
        return false;
    } catch (...) {
        VLOG_ERROR("Failed to parse embedded XML: %s", "unknown error");
        return false;
    }
    VLOG_INFO("Embedded XML parsed successfully: effect '%s'", name_.c_str());
    VLOG_INFO("Debug level from embedded XML: %s", debugLevel_.c_str());
    return true;
}

void XMLEffectDefinition::clear() {
    document_.reset();
    name_.clear();
    shippedName_.clear();
    category_.clear();
    description_.clear();
    version_.clear();
    releaseDate_.clear();
    debugLevel_ = "none";
    context_ = "filter";
    frameVarying_ = true;
    inputs_.clear();
    resourceTextures_.clear();
    parameters_.clear();
    parameterIndex_.clear();
    groups_.clear();
    pages_.clear();
    topLevelParameters_.clear();
    identityConditions_.clear();
    processes_.clear();
    pipelineExecutions_ = "1";
    accumulationBuffers_.clear();
    deviceBuffers_.clear();
    audioSlots_ = 0;
    audioTargets_.clear();
    overlays_.clear();
    overlayCoordinates_ = OverlayCoordinates::Uv;
}

const ParameterDefinition& XMLEffectDefinition::getParameter(const std::string& name) const {
    const auto found = parameterIndex_.find(name);
    if (found == parameterIndex_.end()) throw std::out_of_range("Parameter not found: " + name);
    return parameters_[found->second];
}

int XMLEffectDefinition::getInputNoInputCode(const std::string& inputName) const {
    for (const InputDefinition& input : inputs_) {
        if (input.name == inputName) return input.noInputCode();
    }
    return 2;
}

int XMLEffectDefinition::getInputBorderModeCode(const std::string& inputName) const {
    for (const InputDefinition& input : inputs_) {
        if (input.name == inputName) return input.borderModeCode();
    }
    return 0;
}
