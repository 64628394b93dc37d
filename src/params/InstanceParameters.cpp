#include "params/InstanceParameters.h"

#include <exception>

#include "definition/XMLEffectDefinition.h"
#include "log/PluginLog.h"
#include "ofxsImageEffect.h"
#include "params/NumberConversion.h"
#include "plugin/HostCapabilities.h"

namespace {

// The word used in fetch-failure lines: "float" definitions read as double parameters.
const char* fetchWord(const std::string& type) { return type == "float" ? "double" : type.c_str(); }

}  // namespace

InstanceParameters::InstanceParameters(OFX::ImageEffect& effect, const XMLEffectDefinition& definition,
                                       const HostCapabilities& caps, bool generalContext,
                                       std::mutex& parameterMutex)
    : effect_(effect), definition_(definition), caps_(caps), generalContext_(generalContext), mutex_(parameterMutex) {}

bool InstanceParameters::hasHandles() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !handles_.empty();
}

OFX::Param* InstanceParameters::findHandle(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = handles_.find(name);
    return it == handles_.end() ? nullptr : it->second;
}

void InstanceParameters::fetchOne(const std::string& name, const std::string& type) {
    OFX::Param* param = nullptr;
    try {
        if (type == "double" || type == "float")
            param = effect_.fetchDoubleParam(name);
        else if (type == "int")
            param = effect_.fetchIntParam(name);
        else if (type == "bool")
            param = effect_.fetchBooleanParam(name);
        else if (type == "choice")
            param = effect_.fetchChoiceParam(name);
        else if (type == "string" || type == "filepath")
            param = effect_.fetchStringParam(name);
        else if (type == "color")
            param = effect_.fetchRGBParam(name);
        else if (type == "color_rgba")
            param = effect_.fetchRGBAParam(name);
        else if (type == "vec2")
            param = effect_.fetchDouble2DParam(name);
        else if (type == "vec3")
            param = effect_.fetchDouble3DParam(name);
        else if (type == "pushbutton")
            param = effect_.fetchPushButtonParam(name);
        else {
            VLOG_ERROR("Unsupported parameter type: %s", type.c_str());
            return;
        }
    } catch (const std::exception& e) {
        VLOG_ERROR("Failed to fetch %s param %s: %s", fetchWord(type), name.c_str(), e.what());
        return;
    }
    if (param) handles_[name] = param;
}

void InstanceParameters::setExtraControls(std::vector<ExtraControl> controls, int audioSlots) {
    std::lock_guard<std::mutex> lock(mutex_);
    extraControls_ = std::move(controls);
    audioSlots_ = audioSlots;
}

void InstanceParameters::fetchExtraControls() {
    int failedGroup = 0;
    for (const ExtraControl& control : extraControls_) {
        if (control.group > 0 && control.group == failedGroup) continue;
        try {
            // A control the host does not have (the minimal audio controls, say) is passed over.
            if (!effect_.paramExists(control.name)) continue;
            OFX::Param* param = nullptr;
            switch (control.kind) {
                case ExtraControl::Kind::Boolean:
                    param = effect_.fetchBooleanParam(control.name);
                    break;
                case ExtraControl::Kind::Integer:
                    param = effect_.fetchIntParam(control.name);
                    break;
                case ExtraControl::Kind::Double:
                    param = effect_.fetchDoubleParam(control.name);
                    break;
                case ExtraControl::Kind::Choice:
                    param = effect_.fetchChoiceParam(control.name);
                    break;
                case ExtraControl::Kind::String:
                    param = effect_.fetchStringParam(control.name);
                    break;
            }
            if (param) handles_[control.name] = param;
        } catch (const std::exception& e) {
            if (control.group > 0) {
                VLOG_ERROR("Failed to fetch audio slot %d params: %s", control.group, e.what());
                failedGroup = control.group;
            } else {
                VLOG_ERROR("Failed to fetch %s: %s", control.name.c_str(), e.what());
            }
        }
    }
}

void InstanceParameters::fetchParametersLazily() {
    std::lock_guard<std::mutex> lock(mutex_);
    VLOG_DEBUG("Fetching parameters lazily");
    for (const ParameterDefinition& def : definition_.getParameters()) fetchOne(def.name, def.type);

    try {
        if (OFX::Param* p = effect_.fetchChoiceParam("preset_list")) handles_["preset_list"] = p;
    } catch (const std::exception& e) {
        VLOG_ERROR("Failed to fetch preset_list: %s", e.what());
    }
    try {
        if (OFX::Param* p = effect_.fetchChoiceParam("factory_preset_list")) handles_["factory_preset_list"] = p;
    } catch (const std::exception& e) {
        VLOG_ERROR("Failed to fetch factory_preset_list: %s", e.what());
    }
    try {
        if (OFX::Param* p = effect_.fetchStringParam("preset_name")) {
            handles_["preset_name"] = p;
            VLOG_INFO("Successfully fetched preset_name parameter");
        } else {
            VLOG_ERROR("fetchStringParam('preset_name') returned null");
        }
    } catch (const std::exception& e) {
        VLOG_ERROR("Failed to fetch preset_name: %s", e.what());
    }
    try {
        if (OFX::Param* p = effect_.fetchPushButtonParam("delete_preset")) handles_["delete_preset"] = p;
    } catch (const std::exception& e) {
        VLOG_DEBUG("Failed to fetch delete_preset: %s", e.what());
    }
    try {
        if (OFX::Param* p = effect_.fetchPushButtonParam("save_preset")) handles_["save_preset"] = p;
    } catch (const std::exception& e) {
        VLOG_DEBUG("Failed to fetch save_preset: %s", e.what());
    }
    if (audioSlots_ > 0) {
        fetchExtraControls();
        VLOG_INFO("Fetched audio reactive params (%d slots)", audioSlots_);
    }
    VLOG_DEBUG("Fetched %d parameters (including framework params)", static_cast<int>(handles_.size()));
}

ParameterValue InstanceParameters::getParameterValue(const std::string& name, double time) const {
    OFX::Param* param = findHandle(name);
    if (!param) {
        VLOG_ERROR("Parameter %s not found", name.c_str());
        return ParameterValue();
    }
    try {
        const std::string& type = definition_.getParameter(name).type;
        if (type == "double" || type == "float") {
            if (auto* p = dynamic_cast<OFX::DoubleParam*>(param)) return ParameterValue(p->getValueAtTime(time));
        } else if (type == "int") {
            if (auto* p = dynamic_cast<OFX::IntParam*>(param)) return ParameterValue(p->getValueAtTime(time));
        } else if (type == "choice") {
            if (auto* p = dynamic_cast<OFX::ChoiceParam*>(param)) return ParameterValue(p->getValueAtTime(time));
        } else if (type == "bool") {
            if (auto* p = dynamic_cast<OFX::BooleanParam*>(param)) return ParameterValue(p->getValueAtTime(time));
        } else if (type == "string" || type == "filepath") {
            if (auto* p = dynamic_cast<OFX::StringParam*>(param)) {
                std::string text;
                p->getValueAtTime(time, text);
                return ParameterValue(text);
            }
        } else if (type == "vec2") {
            if (auto* p = dynamic_cast<OFX::Double2DParam*>(param)) {
                double x = 0, y = 0;
                p->getValueAtTime(time, x, y);
                return ParameterValue(x, y);
            }
        } else if (type == "vec3") {
            if (auto* p = dynamic_cast<OFX::Double3DParam*>(param)) {
                double x = 0, y = 0, z = 0;
                p->getValueAtTime(time, x, y, z);
                return ParameterValue(x, y, z);
            }
        } else if (type == "color") {
            if (auto* p = dynamic_cast<OFX::RGBParam*>(param)) {
                double r = 0, g = 0, b = 0;
                p->getValueAtTime(time, r, g, b);
                return ParameterValue(r, g, b);
            }
        } else if (type == "color_rgba") {
            if (auto* p = dynamic_cast<OFX::RGBAParam*>(param)) {
                double r = 0, g = 0, b = 0, a = 0;
                p->getValueAtTime(time, r, g, b, a);
                return ParameterValue(r, g, b, a);
            }
        } else {
            VLOG_ERROR("Unsupported parameter type: %s", type.c_str());
            return ParameterValue();
        }
        VLOG_ERROR("Parameter %s is not a %s parameter on the host", name.c_str(), type.c_str());
    } catch (const std::exception& e) {
        VLOG_ERROR("Failed to read parameter %s: %s", name.c_str(), e.what());
    }
    return ParameterValue();
}

InstanceParameters::ValueStore InstanceParameters::collectParameterValues(double time) {
    ValueStore store;
    for (const ParameterDefinition& def : definition_.getParameters())
        store[def.name] = getParameterValue(def.name, time);
    if (!firstDumpWritten_) {
        firstDumpWritten_ = true;
        writeFirstRenderDump(store);
    }
    return store;
}

void InstanceParameters::writeFirstRenderDump(const ValueStore& store) const {
    VLOG_INFO("=== FIRST RENDER PARAMETER DUMP ===");
    for (const ParameterDefinition& def : definition_.getParameters()) {
        const char* name = def.name.c_str();
        const char* type = def.type.c_str();
        auto it = store.find(def.name);
        if (it == store.end()) {
            VLOG_INFO("  %s [%s]: NOT FOUND", name, type);
            continue;
        }
        const ParameterValue& v = it->second;
        if (def.type == "float" || def.type == "double")
            VLOG_INFO("  %s [%s]: %.4f (default=%.4f)", name, type, v.asDouble(), def.defaultValue);
        else if (def.type == "int" || def.type == "choice")
            VLOG_INFO("  %s [%s]: %d (default=%d)", name, type, v.asInt(), truncateToInt(def.defaultValue));
        else if (def.type == "bool")
            VLOG_INFO("  %s [%s]: %s (default=%s)", name, type, v.asBool() ? "true" : "false",
                      def.defaultBool ? "true" : "false");
        else if (def.type == "vec2")
            VLOG_INFO("  %s [%s]: (%.4f, %.4f)", name, type, v.x(), v.y());
        else if (def.type == "vec3" || def.type == "color")
            VLOG_INFO("  %s [%s]: (%.4f, %.4f, %.4f)", name, type, v.x(), v.y(), v.z());
        else
            VLOG_INFO("  %s [%s]: (complex type)", name, type);
    }
    VLOG_INFO("=== END PARAMETER DUMP ===");
}

int InstanceParameters::getDynamicExecutionCount(const std::string& name, double time) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = handles_.find(name);
    if (it == handles_.end()) {
        VLOG_ERROR("Dynamic execution parameter not found: %s, defaulting to 1", name.c_str());
        return 1;
    }
    int count = 1;
    try {
        if (auto* intParam = dynamic_cast<OFX::IntParam*>(it->second)) {
            count = intParam->getValueAtTime(time);
        } else if (auto* doubleParam = dynamic_cast<OFX::DoubleParam*>(it->second)) {
            const double value = doubleParam->getValueAtTime(time);
            count = truncateToInt(value);
            VLOG_DEBUG("Parameter %s is double/float (%.2f), converting to int (%d)", name.c_str(), value, count);
        } else {
            VLOG_ERROR("Parameter %s is not int/float/double type, defaulting to 1", name.c_str());
            return 1;
        }
    } catch (const std::exception& e) {
        VLOG_ERROR("Failed to read execution count parameter %s: %s, defaulting to 1", name.c_str(), e.what());
        return 1;
    }
    if (count < 1) {
        VLOG_DEBUG("Parameter %s has value %d < 1, clamping to 1", name.c_str(), count);
        return 1;
    }
    return count;
}

AlphaMatteSelection InstanceParameters::readAlphaMatteSelectors() const {
    AlphaMatteSelection selection;
    bool declaresMatte = false;
    for (const InputDefinition& input : definition_.getInputs())
        if (input.name == "Matte") declaresMatte = true;
    if (caps_.synthesizeMatte && generalContext_ && !declaresMatte) {
        try {
            if (OFX::ChoiceParam* alphaSource = effect_.fetchChoiceParam("_alpha_source"))
                selection.alphaSource = alphaSource->getValue();
        } catch (const std::exception& e) {
            VLOG_DEBUG("Alpha/Matte: could not read _alpha_source selector: %s", e.what());
            selection.alphaSource = 0;
        }
        try {
            if (OFX::Clip* matte = effect_.fetchClip("Matte")) selection.matteConnected = matte->isConnected();
        } catch (const std::exception& e) {
            VLOG_DEBUG("Alpha/Matte: could not fetch Matte clip: %s", e.what());
            selection.matteConnected = false;
        }
    }
    try {
        if (effect_.paramExists("_premultiply_output")) {
            if (OFX::BooleanParam* premultiply = effect_.fetchBooleanParam("_premultiply_output"))
                selection.premultiplyOutput = premultiply->getValue();
        }
    } catch (...) {
        selection.premultiplyOutput = false;
    }
    return selection;
}
