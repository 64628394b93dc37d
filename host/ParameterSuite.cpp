// The parameter and parametric-parameter suites.
#include <cmath>
#include <cstdarg>
#include <map>

#include "Host.h"
#include "ParamSet.h"
#include "Suites.h"

namespace vhost {

namespace {

bool isInstance(const Param& p) {
    return p.props().string(kOfxPropType) == kOfxTypeParameterInstance;
}

double hostTime() {
    Host* host = Host::current();
    return host ? host->time() : 0.0;
}

// Texts handed out stay valid until the same thread reads the same parameter again.
const char* exportText(const Param* p, std::string text) {
    thread_local std::map<const Param*, std::string> texts;
    std::string& slot = texts[p];
    slot = std::move(text);
    return slot.c_str();
}

OfxStatus readValue(Param* p, double time, va_list args) {
    if (!p->hasValue() || p->kind() == ParamKind::Parametric) return kOfxStatErrUnsupported;
    if (p->isText()) {
        const char** out = va_arg(args, const char**);
        if (out == nullptr) return kOfxStatErrBadHandle;
        *out = exportText(p, p->textAt(time));
        return kOfxStatOK;
    }
    const std::vector<double> v = p->numbersAt(time);
    for (int i = 0; i < p->components(); ++i) {
        const double x = i < static_cast<int>(v.size()) ? v[i] : 0.0;
        if (p->isIntegral()) {
            int* out = va_arg(args, int*);
            if (out == nullptr) return kOfxStatErrBadHandle;
            *out = static_cast<int>(x);
        } else {
            double* out = va_arg(args, double*);
            if (out == nullptr) return kOfxStatErrBadHandle;
            *out = x;
        }
    }
    return kOfxStatOK;
}

OfxStatus writeValue(Param* p, double time, bool asKey, va_list args) {
    if (!isInstance(*p)) return kOfxStatErrBadHandle;
    if (!p->hasValue() || p->kind() == ParamKind::Parametric) return kOfxStatErrUnsupported;
    p->owner()->beforeChange(*p);
    if (p->isText()) {
        const char* text = va_arg(args, const char*);
        if (text == nullptr) return kOfxStatErrValue;
        p->setText(text, time, asKey);
    } else {
        std::vector<double> values;
        for (int i = 0; i < p->components(); ++i)
            values.push_back(p->isIntegral() ? static_cast<double>(va_arg(args, int)) : va_arg(args, double));
        for (double x : values)
            if (!std::isfinite(x)) return kOfxStatErrValue;
        p->setNumbers(std::move(values), time, asKey);
    }
    p->owner()->pluginChanged(*p);
    return kOfxStatOK;
}

OfxStatus paramDefine(OfxParamSetHandle set, const char* type, const char* name,
                      OfxPropertySetHandle* props) {
    ParamSet* s = ParamSet::from(set);
    if (s == nullptr) return kOfxStatErrBadHandle;
    Param* p = nullptr;
    const OfxStatus status = s->define(type, name, &p);
    if (status != kOfxStatOK) return status;
    if (props) *props = p->props().handle();
    return kOfxStatOK;
}

OfxStatus paramGetHandle(OfxParamSetHandle set, const char* name, OfxParamHandle* param,
                         OfxPropertySetHandle* props) {
    ParamSet* s = ParamSet::from(set);
    if (s == nullptr || param == nullptr) return kOfxStatErrBadHandle;
    Param* p = name ? s->find(name) : nullptr;
    if (p == nullptr) return kOfxStatErrUnknown;
    *param = p->handle();
    if (props) *props = p->props().handle();
    return kOfxStatOK;
}

OfxStatus paramSetGetPropertySet(OfxParamSetHandle set, OfxPropertySetHandle* props) {
    ParamSet* s = ParamSet::from(set);
    if (s == nullptr || props == nullptr) return kOfxStatErrBadHandle;
    *props = s->props().handle();
    return kOfxStatOK;
}

OfxStatus paramGetPropertySet(OfxParamHandle param, OfxPropertySetHandle* props) {
    Param* p = Param::from(param);
    if (p == nullptr || props == nullptr) return kOfxStatErrBadHandle;
    *props = p->props().handle();
    return kOfxStatOK;
}

OfxStatus paramGetValue(OfxParamHandle param, ...) {
    Param* p = Param::from(param);
    if (p == nullptr) return kOfxStatErrBadHandle;
    va_list args;
    va_start(args, param);
    const OfxStatus status = readValue(p, hostTime(), args);
    va_end(args);
    return status;
}

OfxStatus paramGetValueAtTime(OfxParamHandle param, OfxTime time, ...) {
    Param* p = Param::from(param);
    if (p == nullptr) return kOfxStatErrBadHandle;
    va_list args;
    va_start(args, time);
    const OfxStatus status = readValue(p, time, args);
    va_end(args);
    return status;
}

OfxStatus paramGetDerivative(OfxParamHandle param, OfxTime time, ...) {
    Param* p = Param::from(param);
    if (p == nullptr) return kOfxStatErrBadHandle;
    if (!p->isNumeric() || p->isIntegral() || p->kind() == ParamKind::Parametric)
        return kOfxStatErrUnsupported;
    va_list args;
    va_start(args, time);
    OfxStatus status = kOfxStatOK;
    for (int i = 0; i < p->components(); ++i) {
        double* out = va_arg(args, double*);
        if (out == nullptr) {
            status = kOfxStatErrBadHandle;
            break;
        }
        *out = p->derivative(time, i);
    }
    va_end(args);
    return status;
}

OfxStatus paramGetIntegral(OfxParamHandle param, OfxTime t1, OfxTime t2, ...) {
    Param* p = Param::from(param);
    if (p == nullptr) return kOfxStatErrBadHandle;
    if (!p->isNumeric() || p->isIntegral() || p->kind() == ParamKind::Parametric)
        return kOfxStatErrUnsupported;
    va_list args;
    va_start(args, t2);
    OfxStatus status = kOfxStatOK;
    for (int i = 0; i < p->components(); ++i) {
        double* out = va_arg(args, double*);
        if (out == nullptr) {
            status = kOfxStatErrBadHandle;
            break;
        }
        *out = p->integral(t1, t2, i);
    }
    va_end(args);
    return status;
}

OfxStatus paramSetValue(OfxParamHandle param, ...) {
    Param* p = Param::from(param);
    if (p == nullptr) return kOfxStatErrBadHandle;
    va_list args;
    va_start(args, param);
    const OfxStatus status = writeValue(p, hostTime(), false, args);
    va_end(args);
    return status;
}

OfxStatus paramSetValueAtTime(OfxParamHandle param, OfxTime time, ...) {
    Param* p = Param::from(param);
    if (p == nullptr) return kOfxStatErrBadHandle;
    va_list args;
    va_start(args, time);
    const OfxStatus status = writeValue(p, time, true, args);
    va_end(args);
    return status;
}

OfxStatus paramGetNumKeys(OfxParamHandle param, unsigned int* count) {
    Param* p = Param::from(param);
    if (p == nullptr || count == nullptr) return kOfxStatErrBadHandle;
    *count = static_cast<unsigned>(p->keyTimes().size());
    return kOfxStatOK;
}

OfxStatus paramGetKeyTime(OfxParamHandle param, unsigned int index, OfxTime* time) {
    Param* p = Param::from(param);
    if (p == nullptr || time == nullptr) return kOfxStatErrBadHandle;
    const std::vector<double> times = p->keyTimes();
    if (index >= times.size()) return kOfxStatErrBadIndex;
    *time = times[index];
    return kOfxStatOK;
}

OfxStatus paramGetKeyIndex(OfxParamHandle param, OfxTime time, int direction, int* index) {
    Param* p = Param::from(param);
    if (p == nullptr || index == nullptr) return kOfxStatErrBadHandle;
    const std::vector<double> times = p->keyTimes();
    for (int i = 0; i < static_cast<int>(times.size()); ++i) {
        if (direction == 0 && times[i] == time) return *index = i, kOfxStatOK;
        if (direction > 0 && times[i] > time) return *index = i, kOfxStatOK;
    }
    if (direction < 0)
        for (int i = static_cast<int>(times.size()) - 1; i >= 0; --i)
            if (times[i] < time) return *index = i, kOfxStatOK;
    return kOfxStatFailed;
}

OfxStatus paramDeleteKey(OfxParamHandle param, OfxTime time) {
    Param* p = Param::from(param);
    if (p == nullptr || !isInstance(*p)) return kOfxStatErrBadHandle;
    p->owner()->beforeChange(*p);
    if (!p->deleteKey(time)) return kOfxStatErrBadIndex;
    p->owner()->pluginChanged(*p);
    return kOfxStatOK;
}

OfxStatus paramDeleteAllKeys(OfxParamHandle param) {
    Param* p = Param::from(param);
    if (p == nullptr || !isInstance(*p)) return kOfxStatErrBadHandle;
    p->owner()->beforeChange(*p);
    p->deleteAllKeys();
    p->owner()->pluginChanged(*p);
    return kOfxStatOK;
}

OfxStatus paramCopy(OfxParamHandle to, OfxParamHandle from, OfxTime offset, const OfxRangeD* range) {
    Param* dst = Param::from(to);
    Param* src = Param::from(from);
    if (dst == nullptr || src == nullptr || !isInstance(*dst)) return kOfxStatErrBadHandle;
    dst->owner()->beforeChange(*dst);
    if (!dst->copyFrom(*src, offset, range)) return kOfxStatErrValue;
    dst->owner()->pluginChanged(*dst);
    return kOfxStatOK;
}

OfxStatus paramEditBegin(OfxParamSetHandle set, const char* name) {
    ParamSet* s = ParamSet::from(set);
    if (s == nullptr) return kOfxStatErrBadHandle;
    return s->editBegin(name);
}

OfxStatus paramEditEnd(OfxParamSetHandle set) {
    ParamSet* s = ParamSet::from(set);
    if (s == nullptr) return kOfxStatErrBadHandle;
    return s->editEnd();
}

const OfxParameterSuiteV1 kSuite = {
    paramDefine,         paramGetHandle,     paramSetGetPropertySet, paramGetPropertySet, paramGetValue,
    paramGetValueAtTime, paramGetDerivative, paramGetIntegral,       paramSetValue,       paramSetValueAtTime,
    paramGetNumKeys,     paramGetKeyTime,    paramGetKeyIndex,       paramDeleteKey,      paramDeleteAllKeys,
    paramCopy,           paramEditBegin,     paramEditEnd,
};

// Parametric parameters: curves of control points, not animated.
Param* curveParam(OfxParamHandle param, int curve) {
    Param* p = Param::from(param);
    if (p == nullptr || p->kind() != ParamKind::Parametric) return nullptr;
    if (curve < 0 || static_cast<size_t>(curve) >= p->curves().size()) {
        // A descriptor may be given control points before its dimension is final.
        const int dims = p->props().integer(kOfxParamPropParametricDimension, 0, 1);
        if (curve < 0 || curve >= dims) return nullptr;
        p->curves().resize(static_cast<size_t>(dims));
    }
    return p;
}

void curveChanged(Param* p) {
    if (isInstance(*p)) p->owner()->pluginChanged(*p);
}

OfxStatus parametricGetValue(OfxParamHandle param, int curve, OfxTime, double x, double* y) {
    Param* p = curveParam(param, curve);
    if (p == nullptr || y == nullptr) return kOfxStatErrBadHandle;
    *y = p->curveValue(curve, x);
    return kOfxStatOK;
}

OfxStatus parametricGetNControlPoints(OfxParamHandle param, int curve, double, int* count) {
    Param* p = curveParam(param, curve);
    if (p == nullptr || count == nullptr) return kOfxStatErrBadHandle;
    *count = static_cast<int>(p->curves()[curve].size());
    return kOfxStatOK;
}

OfxStatus parametricGetNthControlPoint(OfxParamHandle param, int curve, double, int n, double* x, double* y) {
    Param* p = curveParam(param, curve);
    if (p == nullptr || x == nullptr || y == nullptr) return kOfxStatErrBadHandle;
    const auto& points = p->curves()[curve];
    if (n < 0 || static_cast<size_t>(n) >= points.size()) return kOfxStatErrBadIndex;
    *x = points[n].first;
    *y = points[n].second;
    return kOfxStatOK;
}

void sortPoints(std::vector<Param::Point>& points) {
    std::stable_sort(points.begin(), points.end(),
                     [](const Param::Point& a, const Param::Point& b) { return a.first < b.first; });
}

OfxStatus parametricSetNthControlPoint(OfxParamHandle param, int curve, double, int n, double x, double y,
                                       bool) {
    Param* p = curveParam(param, curve);
    if (p == nullptr) return kOfxStatErrBadHandle;
    auto& points = p->curves()[curve];
    if (n < 0 || static_cast<size_t>(n) >= points.size()) return kOfxStatErrBadIndex;
    if (!std::isfinite(x) || !std::isfinite(y)) return kOfxStatErrValue;
    p->owner()->beforeChange(*p);
    points[n] = {x, y};
    sortPoints(points);
    curveChanged(p);
    return kOfxStatOK;
}

OfxStatus parametricAddControlPoint(OfxParamHandle param, int curve, double, double x, double y, bool) {
    Param* p = curveParam(param, curve);
    if (p == nullptr) return kOfxStatErrBadHandle;
    if (!std::isfinite(x) || !std::isfinite(y)) return kOfxStatErrValue;
    p->owner()->beforeChange(*p);
    auto& points = p->curves()[curve];
    points.emplace_back(x, y);
    sortPoints(points);
    curveChanged(p);
    return kOfxStatOK;
}

OfxStatus parametricDeleteControlPoint(OfxParamHandle param, int curve, int n) {
    Param* p = curveParam(param, curve);
    if (p == nullptr) return kOfxStatErrBadHandle;
    auto& points = p->curves()[curve];
    if (n < 0 || static_cast<size_t>(n) >= points.size()) return kOfxStatErrBadIndex;
    p->owner()->beforeChange(*p);
    points.erase(points.begin() + n);
    curveChanged(p);
    return kOfxStatOK;
}

OfxStatus parametricDeleteAllControlPoints(OfxParamHandle param, int curve) {
    Param* p = curveParam(param, curve);
    if (p == nullptr) return kOfxStatErrBadHandle;
    p->owner()->beforeChange(*p);
    p->curves()[curve].clear();
    curveChanged(p);
    return kOfxStatOK;
}

const OfxParametricParameterSuiteV1 kParametricSuite = {
    parametricGetValue,
    parametricGetNControlPoints,
    parametricGetNthControlPoint,
    parametricSetNthControlPoint,
    parametricAddControlPoint,
    parametricDeleteControlPoint,
    parametricDeleteAllControlPoints,
};

}  // namespace

const OfxParameterSuiteV1* parameterSuite() {
    return &kSuite;
}
const OfxParametricParameterSuiteV1* parametricParameterSuite() {
    return &kParametricSuite;
}

}  // namespace vhost
