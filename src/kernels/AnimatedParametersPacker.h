#pragma once

#include <map>
#include <string>
#include <vector>

#include "definition/EffectDefinitionRecords.h"
#include "kernels/KernelRecords.h"
#include "params/ParameterValue.h"

// Reads the vector-valued host parameters (vec2, vec3, color, color_rgba) at a time. The effect
// instance implements it over its host parameters; a failing read throws a std::exception.
class HostParameterReader {
  public:
    virtual ~HostParameterReader() = default;
    // type is the definition type; the result holds x, y (, z (, w)) as a vec kind.
    virtual ParameterValue readVector(const std::string& name, const std::string& type,
                                      double time) const = 0;
};

struct PackingContext {
    bool hasRenderArguments = false;
    double time = 0.0;  // read time of the vector parameters (0 without render arguments)
    double renderScaleX = 1.0;
    double renderScaleY = 1.0;
};

// Packs the parameters of one render into the kernels' record: each parameter takes the next
// slot of its type's array in declaration order, while the array has room and the value exists.
// Without a reader, vector values come from the value store.
AnimatedParameters packAnimatedParameters(const std::vector<ParameterDefinition>& definitions,
                                          const std::map<std::string, ParameterValue>& values,
                                          const HostParameterReader* reader, const PackingContext& context);
