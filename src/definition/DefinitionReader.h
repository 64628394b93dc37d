#pragma once

#include <pugixml.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "definition/XMLEffectDefinition.h"

// A definition that breaks a rule of the format. parse() reports its message.
class DefinitionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Fills an XMLEffectDefinition from the `effect` element of a loaded document, section by
// section. Every rule violation throws DefinitionError.
class DefinitionReader {
  public:
    explicit DefinitionReader(XMLEffectDefinition& definition) : def_(definition) {}

    void readEffect(const pugi::xml_node& effect);

    // Sections, in the order they are visited.
    void readInputs(const pugi::xml_node& inputs);
    void readResources(const pugi::xml_node& resources);
    void readParameters(const pugi::xml_node& parameters);
    void readUi(const pugi::xml_node& ui);
    void readPages(const pugi::xml_node& pages);
    void readAccumulationBuffers(const pugi::xml_node& section);
    void readDeviceBuffers(const pugi::xml_node& section);
    void readAudioReactive(const pugi::xml_node& section);
    void readPipeline(const pugi::xml_node& pipeline);
    void readIdentityConditions(const pugi::xml_node& conditions);
    void readOverlays(const pugi::xml_node& overlays);
    void checkExecutionCounts() const;

    // Shared conversions.
    // A real attribute; a value that converts to infinity or NaN is refused.
    static double readReal(const pugi::xml_node& node, const char* attribute, double fallback);
    static float readFloat(const pugi::xml_node& node, const char* attribute, float fallback);
    // A comma list of reals: an absent or empty attribute is an empty list.
    static std::vector<double> readRealList(const pugi::xml_node& node, const char* attribute);
    static double stringToDouble(const std::string& piece);
    static OverlayColor parseOverlayColor(const std::string& text);

  private:
    ParameterDefinition readParameter(const pugi::xml_node& node) const;
    void readVectorComponents(const pugi::xml_node& node, ParameterDefinition& param) const;
    void readGroup(const pugi::xml_node& node);
    std::string checkedParameterReference(const pugi::xml_node& node) const;
    void checkExecutionText(const std::string& text, const char* level) const;
    bool readOverlay(const pugi::xml_node& node, OverlayDefinition& overlay, int depth) const;

    XMLEffectDefinition& def_;
};
