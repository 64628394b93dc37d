#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "definition/EffectDefinitionRecords.h"

namespace pugi {
class xml_document;
}

// An effect definition parsed from an XML text held in memory. Read-only after parse(),
// except for pages synthesized by the layout code when a host uses pages.
class XMLEffectDefinition {
  public:
    XMLEffectDefinition();
    ~XMLEffectDefinition();
    XMLEffectDefinition(const XMLEffectDefinition&);
    XMLEffectDefinition& operator=(const XMLEffectDefinition&);
    XMLEffectDefinition(XMLEffectDefinition&&) noexcept;
    XMLEffectDefinition& operator=(XMLEffectDefinition&&) noexcept;

    // Parses a NUL-terminated document. Logs and returns false on any failure; the
    // definition may then be partly filled and must not be used.
    bool parse(const char* text);

    const std::string& getName() const { return name_; }
    // shipped_name when set, else name.
    const std::string& getDisplayName() const { return shippedName_.empty() ? name_ : shippedName_; }
    const std::string& getShippedName() const { return shippedName_; }
    const std::string& getCategory() const { return category_; }
    const std::string& getDescription() const { return description_; }
    const std::string& getVersion() const { return version_; }
    const std::string& getReleaseDate() const { return releaseDate_; }
    const std::string& getDebugLevel() const { return debugLevel_; }
    const std::string& getContext() const { return context_; }
    bool isTransition() const { return context_ == "transition"; }
    bool isFrameVarying() const { return frameVarying_; }

    const std::vector<InputDefinition>& getInputs() const { return inputs_; }
    // Codes of a named input; an unknown input gives the fallback codes (white, clamp).
    int getInputNoInputCode(const std::string& inputName) const;
    int getInputBorderModeCode(const std::string& inputName) const;

    const std::vector<ParameterDefinition>& getParameters() const { return parameters_; }
    bool hasParameter(const std::string& name) const { return parameterIndex_.count(name) != 0; }
    // Throws std::out_of_range "Parameter not found: <name>".
    const ParameterDefinition& getParameter(const std::string& name) const;
    const std::map<std::string, std::size_t>& getParameterIndex() const { return parameterIndex_; }

    const std::vector<GroupDefinition>& getGroups() const { return groups_; }
    const std::vector<PageDefinition>& getPages() const { return pages_; }
    void setPages(std::vector<PageDefinition> pages) { pages_ = std::move(pages); }
    const std::vector<std::string>& getTopLevelParameters() const { return topLevelParameters_; }
    const std::vector<IdentityCondition>& getIdentityConditions() const { return identityConditions_; }
    const std::vector<ProcessDefinition>& getProcesses() const { return processes_; }
    const std::string& getPipelineExecutions() const { return pipelineExecutions_; }

    const std::vector<ResourceTextureDefinition>& getResourceTextures() const { return resourceTextures_; }
    const std::vector<AccumulationBufferDefinition>& getAccumulationBuffers() const {
        return accumulationBuffers_;
    }
    const std::vector<DeviceBufferDefinition>& getDeviceBuffers() const { return deviceBuffers_; }
    int getAudioSlotCount() const { return audioSlots_; }
    const std::vector<std::string>& getAudioTargets() const { return audioTargets_; }
    const std::vector<OverlayDefinition>& getOverlays() const { return overlays_; }
    OverlayCoordinates getOverlayCoordinates() const { return overlayCoordinates_; }

  private:
    friend class DefinitionReader;
    void clear();

    std::shared_ptr<const pugi::xml_document> document_;
    std::string name_;
    std::string shippedName_;
    std::string category_;
    std::string description_;
    std::string version_;
    std::string releaseDate_;
    std::string debugLevel_ = "none";
    std::string context_ = "filter";
    bool frameVarying_ = true;
    std::vector<InputDefinition> inputs_;
    std::vector<ResourceTextureDefinition> resourceTextures_;
    std::vector<ParameterDefinition> parameters_;
    std::map<std::string, std::size_t> parameterIndex_;
    std::vector<GroupDefinition> groups_;
    std::vector<PageDefinition> pages_;
    std::vector<std::string> topLevelParameters_;
    std::vector<IdentityCondition> identityConditions_;
    std::vector<ProcessDefinition> processes_;
    std::string pipelineExecutions_ = "1";
    std::vector<AccumulationBufferDefinition> accumulationBuffers_;
    std::vector<DeviceBufferDefinition> deviceBuffers_;
    int audioSlots_ = 0;
    std::vector<std::string> audioTargets_;
    std::vector<OverlayDefinition> overlays_;
    OverlayCoordinates overlayCoordinates_ = OverlayCoordinates::Uv;
};
