// Creation of host parameters from parameter definitions, one creator per definition type.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <vector>

#include "definition/XMLEffectDefinition.h"
#include "log/PluginLog.h"
#include "ofxsImageEffect.h"
#include "params/NumberConversion.h"
#include "params/NumberText.h"
#include "params/XMLParameterManager.h"

namespace {

// The component of that one-character name, or null.
const ParameterComponent* findComponent(const ParameterDefinition& def, const char* name) {
    for (const ParameterComponent& component : def.components)
        if (component.name == name) return &component;
    return nullptr;
}

double componentDefault(const ParameterDefinition& def, const char* name, double fallback) {
    const ParameterComponent* c = findComponent(def, name);
    return c ? c->defaultValue : fallback;
}
double componentMin(const ParameterDefinition& def, const char* name) {
    const ParameterComponent* c = findComponent(def, name);
    return c ? c->minValue : 0.0;
}
double componentMax(const ParameterDefinition& def, const char* name) {
    const ParameterComponent* c = findComponent(def, name);
    return c ? c->maxValue : 1.0;
}

// Numbers of a comma-separated colour text; pieces that do not convert are skipped.
std::vector<double> numbersFromText(const std::string& text) {
    std::vector<double> numbers;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        double value = 0.0;
        if (numbertext::parseLeadingDouble(text.substr(start, comma - start), value) ==
            numbertext::ParseStatus::Ok)
            numbers.push_back(value);
        start = comma + 1;
    }
    return numbers;
}

struct CurvePoint {
    double x, y;
};

// Control points of a curve's default shape; unknown shapes are linear.
std::vector<CurvePoint> defaultCurvePoints(const std::string& shape) {
    if (shape == "ease_in") return {{0, 0}, {0.5, 0.25}, {1, 1}};
    if (shape == "ease_out") return {{0, 0}, {0.5, 0.75}, {1, 1}};
    if (shape == "ease_in_out") return {{0, 0}, {0.25, 0.1}, {0.5, 0.5}, {0.75, 0.9}, {1, 1}};
    return {{0, 0}, {1, 1}};
}

template <class Descriptor>
void setLabelsAndHint(Descriptor* param, const ParameterDefinition& def, const std::string& hint) {
    param->setLabels(def.label, def.label, def.label);
    param->setHint(hint);
}

}  // namespace

std::string XMLParameterManager::hintWithResolutionSuffix(const ParameterDefinition& def) {
    if (def.res_dependent == "width") return def.hint + " (width-dependent)";
    if (def.res_dependent == "height") return def.hint + " (height-dependent)";
    if (def.res_dependent == "xy") return def.hint + " (dimension-dependent)";
    return def.hint;
}

int XMLParameterManager::digitsForIncrement(double inc) {
    if (!(inc > 0.0) || !std::isfinite(inc)) return 1;
    const double digits = std::ceil(-std::log10(inc));
    return std::max(1, truncateToInt(digits));
}

OFX::ParamDescriptor* XMLParameterManager::createDoubleParam(const ParameterDefinition& def,
                                                             OFX::ImageEffectDescriptor& desc) {
    OFX::DoubleParamDescriptor* param = desc.defineDoubleParam(def.name);
    setLabelsAndHint(param, def, hintWithResolutionSuffix(def));
    param->setDefault(def.defaultValue);
    param->setRange(def.minValue, def.maxValue);
    param->setDisplayRange(def.displayMin, def.displayMax);
    param->setIncrement(def.inc);
    if (def.inc > 0.0) param->setDigits(digitsForIncrement(def.inc));
    return param;
}

OFX::ParamDescriptor* XMLParameterManager::createIntParam(const ParameterDefinition& def,
                                                          OFX::ImageEffectDescriptor& desc) {
    OFX::IntParamDescriptor* param = desc.defineIntParam(def.name);
    setLabelsAndHint(param, def, hintWithResolutionSuffix(def));
    param->setDefault(truncateToInt(def.defaultValue));
    param->setRange(truncateToInt(def.minValue), truncateToInt(def.maxValue));
    param->setDisplayRange(truncateToInt(def.displayMin), truncateToInt(def.displayMax));
    return param;
}

OFX::ParamDescriptor* XMLParameterManager::createBooleanParam(const ParameterDefinition& def,
                                                              OFX::ImageEffectDescriptor& desc) {
    OFX::BooleanParamDescriptor* param = desc.defineBooleanParam(def.name);
    setLabelsAndHint(param, def, def.hint);
    param->setDefault(def.defaultBool);
    return param;
}

OFX::ParamDescriptor* XMLParameterManager::createChoiceParam(const ParameterDefinition& def,
                                                             OFX::ImageEffectDescriptor& desc) {
    OFX::ChoiceParamDescriptor* param = desc.defineChoiceParam(def.name);
    // The hint goes first: appending an option with a description extends it.
    setLabelsAndHint(param, def, def.hint);
    for (const ChoiceOption& option : def.options) param->appendOption(option.label, option.label);
    param->setDefault(truncateToInt(def.defaultValue));
    return param;
}

OFX::ParamDescriptor* XMLParameterManager::createColorParam(const ParameterDefinition& def,
                                                            OFX::ImageEffectDescriptor& desc) {
    OFX::RGBParamDescriptor* param = desc.defineRGBParam(def.name);
    setLabelsAndHint(param, def, def.hint);
    double rgb[3] = {0.0, 0.0, 0.0};
    if (!def.defaultText.empty()) {
        const std::vector<double> numbers = numbersFromText(def.defaultText);
        if (numbers.size() >= 3) std::copy(numbers.begin(), numbers.begin() + 3, rgb);
    }
    param->setDefault(componentDefault(def, "r", rgb[0]), componentDefault(def, "g", rgb[1]),
                      componentDefault(def, "b", rgb[2]));
    return param;
}

OFX::ParamDescriptor* XMLParameterManager::createColorRGBAParam(const ParameterDefinition& def,
                                                                OFX::ImageEffectDescriptor& desc) {
    OFX::RGBAParamDescriptor* param = desc.defineRGBAParam(def.name);
    setLabelsAndHint(param, def, def.hint);
    double rgba[4] = {0.0, 0.0, 0.0, 1.0};
    if (!def.defaultText.empty()) {
        const std::vector<double> numbers = numbersFromText(def.defaultText);
        if (numbers.size() >= 3)
            std::copy(numbers.begin(), numbers.begin() + std::min<std::size_t>(4, numbers.size()), rgba);
    }
    param->setDefault(componentDefault(def, "r", rgba[0]), componentDefault(def, "g", rgba[1]),
                      componentDefault(def, "b", rgba[2]), componentDefault(def, "a", rgba[3]));
    return param;
}

OFX::ParamDescriptor* XMLParameterManager::createVec2Param(const ParameterDefinition& def,
                                                           OFX::ImageEffectDescriptor& desc) {
    OFX::Double2DParamDescriptor* param = desc.defineDouble2DParam(def.name);
    setLabelsAndHint(param, def, hintWithResolutionSuffix(def));
    param->setDefault(componentDefault(def, "x", 0.0), componentDefault(def, "y", 0.0));
    const double xMin = componentMin(def, "x"), yMin = componentMin(def, "y");
    const double xMax = componentMax(def, "x"), yMax = componentMax(def, "y");
    param->setRange(xMin, yMin, xMax, yMax);
    param->setDisplayRange(xMin, yMin, xMax, yMax);
    param->setDoubleType(OFX::eDoubleTypePlain);
    if (!def.components.empty()) {
        const double inc = def.components.front().inc;
        param->setIncrement(inc);
        if (inc > 0.0) param->setDigits(digitsForIncrement(inc));
    }
    return param;
}

OFX::ParamDescriptor* XMLParameterManager::createVec3Param(const ParameterDefinition& def,
                                                           OFX::ImageEffectDescriptor& desc) {
    OFX::Double3DParamDescriptor* param = desc.defineDouble3DParam(def.name);
    setLabelsAndHint(param, def, hintWithResolutionSuffix(def));
    param->setDefault(componentDefault(def, "x", 0.0), componentDefault(def, "y", 0.0),
                      componentDefault(def, "z", 0.0));
    const double xMin = componentMin(def, "x"), yMin = componentMin(def, "y"), zMin = componentMin(def, "z");
    const double xMax = componentMax(def, "x"), yMax = componentMax(def, "y"), zMax = componentMax(def, "z");
    param->setRange(xMin, yMin, zMin, xMax, yMax, zMax);
    param->setDisplayRange(xMin, yMin, zMin, xMax, yMax, zMax);
    return param;
}

OFX::ParamDescriptor* XMLParameterManager::createStringParam(const ParameterDefinition& def,
                                                             OFX::ImageEffectDescriptor& desc) {
    OFX::StringParamDescriptor* param = desc.defineStringParam(def.name);
    setLabelsAndHint(param, def, def.hint);
    param->setDefault(def.defaultText);
    return param;
}

OFX::ParamDescriptor* XMLParameterManager::createFilePathParam(const ParameterDefinition& def,
                                                               OFX::ImageEffectDescriptor& desc) {
    OFX::StringParamDescriptor* param = desc.defineStringParam(def.name);
    setLabelsAndHint(param, def, def.hint);
    param->setDefault(def.defaultText);
    param->setStringType(OFX::eStringTypeFilePath);
    param->setFilePathExists(def.mustexist);
    return param;
}

OFX::ParamDescriptor* XMLParameterManager::createPushButtonParam(const ParameterDefinition& def,
                                                                 OFX::ImageEffectDescriptor& desc) {
    OFX::PushButtonParamDescriptor* param = desc.definePushButtonParam(def.name);
    setLabelsAndHint(param, def, def.hint);
    return param;
}

OFX::ParamDescriptor* XMLParameterManager::createCurveParam(const ParameterDefinition& def,
                                                            OFX::ImageEffectDescriptor& desc) {
    OFX::ParametricParamDescriptor* param = desc.defineParametricParam(def.name);
    setLabelsAndHint(param, def, def.hint);
    param->setDimension(1);
    param->setRange(0.0, 1.0);
    for (const CurvePoint& p : defaultCurvePoints(def.default_shape))
        param->addControlPoint(0, 0.0, p.x, p.y, false);
    return param;
}

OFX::ParamDescriptor* XMLParameterManager::createByType(const ParameterDefinition& def,
                                                        OFX::ImageEffectDescriptor& desc) {
    const std::string& type = def.type;
    if (type == "float" || type == "double") return createDoubleParam(def, desc);
    if (type == "int") return createIntParam(def, desc);
    if (type == "bool") return createBooleanParam(def, desc);
    if (type == "choice") return createChoiceParam(def, desc);
    if (type == "color") return createColorParam(def, desc);
    if (type == "color_rgba") return createColorRGBAParam(def, desc);
    if (type == "vec2") return createVec2Param(def, desc);
    if (type == "vec3") return createVec3Param(def, desc);
    if (type == "string") return createStringParam(def, desc);
    if (type == "filepath") return createFilePathParam(def, desc);
    if (type == "pushbutton") return createPushButtonParam(def, desc);
    if (type == "curve") return createCurveParam(def, desc);
    return nullptr;
}

bool XMLParameterManager::createParameters(const XMLEffectDefinition& definition,
                                           OFX::ImageEffectDescriptor& desc, PageMap& pages) {
    VLOG_INFO("XMLParameterManager::createParameters called");
    try {
        if (pages.empty()) {
            OFX::PageParamDescriptor* main = desc.definePageParam("Main");
            main->setLabels("Main", "Main", "Main");
            pages["Main"] = main;
        }
        for (const ParameterDefinition& def : definition.getParameters()) {
            if (!createByType(def, desc))
                VLOG_ERROR("Warning: Unsupported parameter type: %s", def.type.c_str());
        }
    } catch (const std::exception& e) {
        VLOG_ERROR("Error creating parameters: %s", e.what());
        return false;
    } catch (...) {
        VLOG_ERROR("Error creating parameters: unknown exception");
        return false;
    }
    VLOG_INFO("XMLParameterManager::createParameters completed successfully");
    return true;
}

OFX::ParamDescriptor* XMLParameterManager::createParameter(const std::string& name,
                                                           const XMLEffectDefinition& definition,
                                                           OFX::ImageEffectDescriptor& desc) {
    const ParameterDefinition& def = definition.getParameter(name);
    OFX::ParamDescriptor* param = createByType(def, desc);
    if (!param)
        VLOG_ERROR("Unsupported parameter type '%s' for param '%s'", def.type.c_str(), def.name.c_str());
    return param;
}
