#include "presets/DefinitionPresets.h"

#include <cmath>
#include <limits>

#include "definition/XMLEffectDefinition.h"

namespace {

double componentDefault(const ParameterDefinition& parameter, std::size_t index, double missing) {
    return index < parameter.components.size() ? parameter.components[index].defaultValue : missing;
}

int truncatedDefault(double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (value <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

}  // namespace

std::vector<PresetParameter> presetParametersOf(const XMLEffectDefinition& definition) {
    std::vector<PresetParameter> parameters;
    parameters.reserve(definition.getParameters().size());
    for (const ParameterDefinition& parameter : definition.getParameters()) {
        parameters.push_back({parameter.name, parameter.type});
    }
    return parameters;
}

PresetValues defaultPresetValues(const XMLEffectDefinition& definition) {
    PresetValues values;
    for (const ParameterDefinition& p : definition.getParameters()) {
        const std::string& type = p.type;
        if (type == "double" || type == "float") {
            values[p.name] = ParameterValue(p.defaultValue);
        } else if (type == "int" || type == "choice") {
            values[p.name] = ParameterValue(truncatedDefault(p.defaultValue));
        } else if (type == "bool") {
            values[p.name] = ParameterValue(p.defaultBool);
        } else if (type == "vec2") {
            values[p.name] = ParameterValue(componentDefault(p, 0, 0.0), componentDefault(p, 1, 0.0));
        } else if (type == "vec3" || type == "color") {
            values[p.name] = ParameterValue(componentDefault(p, 0, 0.0), componentDefault(p, 1, 0.0),
                                            componentDefault(p, 2, 0.0));
        } else if (type == "vec4" || type == "color_rgba") {
            values[p.name] = ParameterValue(componentDefault(p, 0, 0.0), componentDefault(p, 1, 0.0),
                                            componentDefault(p, 2, 0.0), componentDefault(p, 3, 1.0));
        } else if (type == "string" || type == "filepath") {
            values[p.name] = ParameterValue(p.defaultText);
        }
    }
    return values;
}
