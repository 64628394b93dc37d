#include "overlays/OfxOverlayParamHost.h"

namespace OFX {

namespace {

// Runs a host call; any exception means the parameter could not be used.
template <class F>
bool guarded(F f) {
    try {
        return f();
    } catch (...) {
        return false;
    }
}

template <class P>
P* fetchCached(std::map<std::string, P*>& cache, const std::string& name,
               P* (ParamSet::*fetch)(const std::string&), ImageEffect& effect) {
    if (name.empty()) return nullptr;
    auto it = cache.find(name);
    if (it != cache.end()) return it->second;
    P* param = nullptr;
    try {
        if (effect.paramExists(name)) param = (effect.*fetch)(name);
    } catch (...) {
        param = nullptr;
    }
    if (param) cache[name] = param;
    return param;
}

}  // namespace

Double2DParam* OfxOverlayParamHost::double2D(const std::string& name) {
    return fetchCached(double2DParams_, name, &ImageEffect::fetchDouble2DParam, effect_);
}

DoubleParam* OfxOverlayParamHost::doubleParam(const std::string& name) {
    return fetchCached(doubleParams_, name, &ImageEffect::fetchDoubleParam, effect_);
}

bool OfxOverlayParamHost::getDouble2D(const std::string& name, double time, double& x, double& y) {
    return guarded([&] {
        Double2DParam* p = double2D(name);
        if (!p) return false;
        double px = 0.0, py = 0.0;
        p->getValueAtTime(time, px, py);
        x = px;
        y = py;
        return true;
    });
}

bool OfxOverlayParamHost::setDouble2D(const std::string& name, double x, double y) {
    return guarded([&] {
        Double2DParam* p = double2D(name);
        if (!p) return false;
        p->setValue(x, y);
        return true;
    });
}

bool OfxOverlayParamHost::getDouble(const std::string& name, double time, double& value) {
    return guarded([&] {
        DoubleParam* p = doubleParam(name);
        if (!p) return false;
        value = p->getValueAtTime(time);
        return true;
    });
}

bool OfxOverlayParamHost::setDouble(const std::string& name, double value) {
    return guarded([&] {
        DoubleParam* p = doubleParam(name);
        if (!p) return false;
        p->setValue(value);
        return true;
    });
}

bool OfxOverlayParamHost::setDoubleAtTime(const std::string& name, double time, double value) {
    return guarded([&] {
        DoubleParam* p = doubleParam(name);
        if (!p) return false;
        p->setValueAtTime(time, value);
        return true;
    });
}

bool OfxOverlayParamHost::getScalar(const std::string& name, double time, double& value) {
    if (getDouble(name, time, value)) return true;
    if (name.empty()) return false;
    const bool asInt = guarded([&] {
        if (!effect_.paramExists(name)) return false;
        value = effect_.fetchIntParam(name)->getValueAtTime(time);
        return true;
    });
    if (asInt) return true;
    return guarded([&] {
        if (!effect_.paramExists(name)) return false;
        value = effect_.fetchChoiceParam(name)->getValueAtTime(time);
        return true;
    });
}

bool OfxOverlayParamHost::getBoolean(const std::string& name, double time, bool& value) {
    return guarded([&] {
        if (name.empty() || !effect_.paramExists(name)) return false;
        value = effect_.fetchBooleanParam(name)->getValueAtTime(time);
        return true;
    });
}

void OfxOverlayParamHost::beginUndoBlock(const std::string& label) {
    guarded([&] {
        effect_.beginEditBlock(label);
        return true;
    });
}

void OfxOverlayParamHost::endUndoBlock() {
    guarded([&] {
        effect_.endEditBlock();
        return true;
    });
}

bool OfxOverlayParamHost::getImageSize(double time, double& width, double& height) {
    return sourceImageSize(effect_, time, width, height);
}

bool OfxOverlayParamHost::sourceImageSize(ImageEffect& effect, double time, double& width, double& height) {
    return guarded([&] {
        if (!effect.clipExists("Source")) return false;
        Clip* source = effect.fetchClip("Source");
        if (!source || !source->isConnected()) return false;
        const OfxRectD rod = source->getRegionOfDefinition(time);
        const double w = rod.x2 - rod.x1, h = rod.y2 - rod.y1;
        width = w > 0.0 ? w : 1920.0;
        height = h > 0.0 ? h : 1080.0;
        return true;
    });
}

}  // namespace OFX
