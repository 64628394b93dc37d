#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "params/ParameterValue.h"

class XMLEffectDefinition;
struct HostCapabilities;

namespace OFX {
class ImageEffect;
class Param;
}  // namespace OFX

// The alpha handling the user chose, read before each render and identity test.
struct AlphaMatteSelection {
    int alphaSource = 0;  // 0 Auto, 1 Source's Embedded Alpha, 2 Matte Input's Luminance, 3 Opaque
    bool matteConnected = false;
    bool premultiplyOutput = false;
};

// A framework control outside the definition that joins the handle map (the audio controls).
// Controls of the same group > 0 (an audio slot) are fetched together: a failure leaves the rest
// of the group out.
struct ExtraControl {
    enum class Kind { Boolean, Integer, Double, Choice, String };
    std::string name;
    Kind kind;
    int group = 0;
};

// An effect instance's parameters as the host holds them: the handle map, filled on first need,
// and the reads of single values, whole value stores and the alpha/matte selectors.
// The instance's parameter mutex guards the map; reads of the host happen outside it.
class InstanceParameters {
public:
    using ValueStore = std::map<std::string, ParameterValue>;

    InstanceParameters(OFX::ImageEffect& effect, const XMLEffectDefinition& definition,
                       const HostCapabilities& caps, bool generalContext, std::mutex& parameterMutex);

    // Controls fetched with the definition's parameters, each when the host has it.
    void setExtraControls(std::vector<ExtraControl> controls, int audioSlots);

    // Fetches every definition parameter, the preset controls and the extra controls into the
    // handle map.
    void fetchParametersLazily();
    bool hasHandles() const;  // takes the parameter mutex
    // The handle of that name, or null (takes the parameter mutex).
    OFX::Param* findHandle(const std::string& name) const;

    // One parameter's value at a time; the empty value when it cannot be read.
    ParameterValue getParameterValue(const std::string& name, double time) const;
    // Every definition parameter's value; the first call also writes the parameter dump.
    ValueStore collectParameterValues(double time);
    // An execution count from an int or double parameter, at least 1.
    int getDynamicExecutionCount(const std::string& name, double time) const;
    AlphaMatteSelection readAlphaMatteSelectors() const;

private:
    void fetchOne(const std::string& name, const std::string& type);
    void fetchExtraControls();
    void writeFirstRenderDump(const ValueStore& store) const;

    OFX::ImageEffect& effect_;
    const XMLEffectDefinition& definition_;
    const HostCapabilities& caps_;
    bool generalContext_;
    std::mutex& mutex_;
    std::map<std::string, OFX::Param*> handles_;
    std::vector<ExtraControl> extraControls_;
    int audioSlots_ = 0;
    bool firstDumpWritten_ = false;
};
