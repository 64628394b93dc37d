#pragma once

#include <vector>

#include "presets/PresetFile.h"

class XMLEffectDefinition;

// The parameter definitions of an effect as the preset writer needs them, in declaration order.
std::vector<PresetParameter> presetParametersOf(const XMLEffectDefinition& definition);

// Every parameter at its definition default: what "Load Defaults" applies. Types without a
// stored value (push buttons, curves) are left out.
PresetValues defaultPresetValues(const XMLEffectDefinition& definition);
