#include "FakeHost.h"

#include <cstdarg>
#include <thread>

namespace fakehost {

void PropertySetStore::set(const std::string& name, Value v, int index) {
    auto& vec = values[name];
    if (static_cast<int>(vec.size()) <= index) vec.resize(static_cast<std::size_t>(index) + 1, v);
    vec[static_cast<std::size_t>(index)] = std::move(v);
}

const Value* PropertySetStore::get(const std::string& name, int index) const {
    auto it = values.find(name);
    if (it == values.end() || index < 0 || index >= static_cast<int>(it->second.size())) return nullptr;
    return &it->second[static_cast<std::size_t>(index)];
}

namespace {

Host* gHost = nullptr;

PropertySetStore* store(OfxPropertySetHandle h) {
    return reinterpret_cast<PropertySetStore*>(h);
}
Effect* effect(OfxImageEffectHandle h) {
    return reinterpret_cast<Effect*>(h);
}
ParamSet* paramSet(OfxParamSetHandle h) {
    return reinterpret_cast<ParamSet*>(h);
}
Param* param(OfxParamHandle h) {
    return reinterpret_cast<Param*>(h);
}

template <class T>
OfxStatus setOne(OfxPropertySetHandle h, const char* name, int index, T value) {
    if (!h) return kOfxStatErrBadHandle;
    if (index < 0) return kOfxStatErrBadIndex;
    store(h)->set(name, Value(value), index);
    return kOfxStatOK;
}

template <class T>
OfxStatus getOne(OfxPropertySetHandle h, const char* name, int index, T* out) {
    if (!h) return kOfxStatErrBadHandle;
    auto it = store(h)->values.find(name);
    if (it == store(h)->values.end()) return kOfxStatErrUnknown;
    if (index < 0 || index >= static_cast<int>(it->second.size())) return kOfxStatErrBadIndex;
    const T* v = std::get_if<T>(&it->second[static_cast<std::size_t>(index)]);
    if (!v) return kOfxStatErrValue;
    *out = *v;
    return kOfxStatOK;
}

OfxStatus propSetPointer(OfxPropertySetHandle h, const char* n, int i, void* v) {
    return setOne(h, n, i, v);
}
OfxStatus propSetString(OfxPropertySetHandle h, const char* n, int i, const char* v) {
    return setOne(h, n, i, std::string(v));
}
OfxStatus propSetDouble(OfxPropertySetHandle h, const char* n, int i, double v) {
    return setOne(h, n, i, v);
}
OfxStatus propSetInt(OfxPropertySetHandle h, const char* n, int i, int v) {
    return setOne(h, n, i, v);
}
OfxStatus propSetPointerN(OfxPropertySetHandle h, const char* n, int c, void* const* v) {
    for (int i = 0; i < c; ++i) setOne(h, n, i, v[i]);
    return kOfxStatOK;
}
OfxStatus propSetStringN(OfxPropertySetHandle h, const char* n, int c, const char* const* v) {
    for (int i = 0; i < c; ++i) setOne(h, n, i, std::string(v[i]));
    return kOfxStatOK;
}
OfxStatus propSetDoubleN(OfxPropertySetHandle h, const char* n, int c, const double* v) {
    for (int i = 0; i < c; ++i) setOne(h, n, i, v[i]);
    return kOfxStatOK;
}
OfxStatus propSetIntN(OfxPropertySetHandle h, const char* n, int c, const int* v) {
    for (int i = 0; i < c; ++i) setOne(h, n, i, v[i]);
    return kOfxStatOK;
}
OfxStatus propGetPointer(OfxPropertySetHandle h, const char* n, int i, void** v) {
    return getOne(h, n, i, v);
}
OfxStatus propGetString(OfxPropertySetHandle h, const char* n, int i, char** v) {
    if (!h) return kOfxStatErrBadHandle;
    auto it = store(h)->values.find(n);
    if (it == store(h)->values.end()) return kOfxStatErrUnknown;
    if (i < 0 || i >= static_cast<int>(it->second.size())) return kOfxStatErrBadIndex;
    auto* s = std::get_if<std::string>(&it->second[static_cast<std::size_t>(i)]);
    if (!s) return kOfxStatErrValue;
    *v = const_cast<char*>(s->c_str());
    return kOfxStatOK;
}
OfxStatus propGetDouble(OfxPropertySetHandle h, const char* n, int i, double* v) {
    return getOne(h, n, i, v);
}
OfxStatus propGetInt(OfxPropertySetHandle h, const char* n, int i, int* v) {
    return getOne(h, n, i, v);
}
OfxStatus propGetPointerN(OfxPropertySetHandle h, const char* n, int c, void** v) {
    for (int i = 0; i < c; ++i) {
        OfxStatus st = getOne(h, n, i, &v[i]);
        if (st != kOfxStatOK) return st;
    }
    return kOfxStatOK;
}
OfxStatus propGetStringN(OfxPropertySetHandle h, const char* n, int c, char** v) {
    for (int i = 0; i < c; ++i) {
        OfxStatus st = propGetString(h, n, i, &v[i]);
        if (st != kOfxStatOK) return st;
    }
    return kOfxStatOK;
}
OfxStatus propGetDoubleN(OfxPropertySetHandle h, const char* n, int c, double* v) {
    for (int i = 0; i < c; ++i) {
        OfxStatus st = getOne(h, n, i, &v[i]);
        if (st != kOfxStatOK) return st;
    }
    return kOfxStatOK;
}
OfxStatus propGetIntN(OfxPropertySetHandle h, const char* n, int c, int* v) {
    for (int i = 0; i < c; ++i) {
        OfxStatus st = getOne(h, n, i, &v[i]);
        if (st != kOfxStatOK) return st;
    }
    return kOfxStatOK;
}
OfxStatus propReset(OfxPropertySetHandle h, const char* n) {
    if (!h) return kOfxStatErrBadHandle;
    store(h)->values[n].clear();
    return kOfxStatOK;
}
OfxStatus propGetDimension(OfxPropertySetHandle h, const char* n, int* count) {
    if (!h) return kOfxStatErrBadHandle;
    auto it = store(h)->values.find(n);
    if (it == store(h)->values.end()) return kOfxStatErrUnknown;
    *count = static_cast<int>(it->second.size());
    return kOfxStatOK;
}

const OfxPropertySuiteV1 kPropertySuite = {
    propSetPointer,  propSetString,  propSetDouble,  propSetInt,    propSetPointerN, propSetStringN,
    propSetDoubleN,  propSetIntN,    propGetPointer, propGetString, propGetDouble,   propGetInt,
    propGetPointerN, propGetStringN, propGetDoubleN, propGetIntN,   propReset,       propGetDimension};

OfxStatus getPropertySet(OfxImageEffectHandle h, OfxPropertySetHandle* p) {
    if (!h) return kOfxStatErrBadHandle;
    *p = Host::handleOf(effect(h)->props);
    return kOfxStatOK;
}
OfxStatus getParamSet(OfxImageEffectHandle h, OfxParamSetHandle* p) {
    if (!h) return kOfxStatErrBadHandle;
    *p = reinterpret_cast<OfxParamSetHandle>(&effect(h)->params);
    return kOfxStatOK;
}
OfxStatus clipDefine(OfxImageEffectHandle h, const char* name, OfxPropertySetHandle* p) {
    auto& clip = effect(h)->clips[name];
    if (!clip) clip = std::make_unique<Clip>();
    *p = Host::handleOf(clip->props);
    return kOfxStatOK;
}
OfxStatus clipGetHandle(OfxImageEffectHandle h, const char* name, OfxImageClipHandle* c,
                        OfxPropertySetHandle* p) {
    auto it = effect(h)->clips.find(name);
    if (it == effect(h)->clips.end()) return kOfxStatErrUnknown;
    *c = reinterpret_cast<OfxImageClipHandle>(it->second.get());
    if (p) *p = Host::handleOf(it->second->props);
    return kOfxStatOK;
}
OfxStatus clipGetPropertySet(OfxImageClipHandle c, OfxPropertySetHandle* p) {
    *p = Host::handleOf(reinterpret_cast<Clip*>(c)->props);
    return kOfxStatOK;
}
OfxStatus clipGetImage(OfxImageClipHandle, OfxTime, const OfxRectD*, OfxPropertySetHandle*) {
    return kOfxStatFailed;
}
OfxStatus clipReleaseImage(OfxPropertySetHandle) {
    return kOfxStatOK;
}
OfxStatus clipGetRegionOfDefinition(OfxImageClipHandle, OfxTime, OfxRectD* r) {
    *r = OfxRectD{0, 0, 64, 32};
    return kOfxStatOK;
}
int abortFn(OfxImageEffectHandle) {
    return 0;
}
OfxStatus imageMemoryAlloc(OfxImageEffectHandle, size_t, OfxImageMemoryHandle*) {
    return kOfxStatErrMemory;
}
OfxStatus imageMemoryFree(OfxImageMemoryHandle) {
    return kOfxStatErrBadHandle;
}
OfxStatus imageMemoryLock(OfxImageMemoryHandle, void**) {
    return kOfxStatErrBadHandle;
}
OfxStatus imageMemoryUnlock(OfxImageMemoryHandle) {
    return kOfxStatErrBadHandle;
}

const OfxImageEffectSuiteV1 kImageEffectSuite = {getPropertySet,
                                                 getParamSet,
                                                 clipDefine,
                                                 clipGetHandle,
                                                 clipGetPropertySet,
                                                 clipGetImage,
                                                 clipReleaseImage,
                                                 clipGetRegionOfDefinition,
                                                 abortFn,
                                                 imageMemoryAlloc,
                                                 imageMemoryFree,
                                                 imageMemoryLock,
                                                 imageMemoryUnlock};

std::size_t dimensionOf(const std::string& type) {
    if (type == kOfxParamTypeDouble2D) return 2;
    if (type == kOfxParamTypeDouble3D || type == kOfxParamTypeRGB) return 3;
    if (type == kOfxParamTypeRGBA) return 4;
    return 1;
}

OfxStatus paramDefine(OfxParamSetHandle s, const char* type, const char* name, OfxPropertySetHandle* p) {
    auto& slot = paramSet(s)->params[name];
    if (slot) return kOfxStatErrExists;
    slot = std::make_unique<Param>();
    slot->type = type;
    slot->numbers.assign(dimensionOf(type), 0.0);
    slot->props.set(kOfxParamPropType, std::string(type));
    slot->props.set(kOfxPropName, std::string(name));
    slot->props.values[kOfxParamPropChoiceOption];  // present with no options
    if (p) *p = Host::handleOf(slot->props);
    return kOfxStatOK;
}
OfxStatus paramGetHandle(OfxParamSetHandle s, const char* name, OfxParamHandle* h, OfxPropertySetHandle* p) {
    auto it = paramSet(s)->params.find(name);
    if (it == paramSet(s)->params.end()) return kOfxStatErrUnknown;
    *h = reinterpret_cast<OfxParamHandle>(it->second.get());
    if (p) *p = Host::handleOf(it->second->props);
    return kOfxStatOK;
}
OfxStatus paramSetGetPropertySet(OfxParamSetHandle s, OfxPropertySetHandle* p) {
    *p = Host::handleOf(paramSet(s)->props);
    return kOfxStatOK;
}
OfxStatus paramGetPropertySet(OfxParamHandle h, OfxPropertySetHandle* p) {
    *p = Host::handleOf(param(h)->props);
    return kOfxStatOK;
}

void readValue(Param* p, va_list ap) {
    if (p->type == kOfxParamTypeString) {
        *va_arg(ap, char**) = const_cast<char*>(p->text.c_str());
    } else if (p->type == kOfxParamTypeInteger || p->type == kOfxParamTypeBoolean ||
               p->type == kOfxParamTypeChoice) {
        *va_arg(ap, int*) = static_cast<int>(p->numbers[0]);
    } else {
        for (double& n : p->numbers) *va_arg(ap, double*) = n;
    }
}

void writeValue(Param* p, va_list ap) {
    if (p->type == kOfxParamTypeString) {
        p->text = va_arg(ap, const char*);
    } else if (p->type == kOfxParamTypeInteger || p->type == kOfxParamTypeBoolean ||
               p->type == kOfxParamTypeChoice) {
        p->numbers[0] = va_arg(ap, int);
    } else {
        for (double& n : p->numbers) n = va_arg(ap, double);
    }
}

OfxStatus paramGetValue(OfxParamHandle h, ...) {
    va_list ap;
    va_start(ap, h);
    readValue(param(h), ap);
    va_end(ap);
    return kOfxStatOK;
}
OfxStatus paramGetValueAtTime(OfxParamHandle h, OfxTime t, ...) {
    va_list ap;
    va_start(ap, t);
    readValue(param(h), ap);
    va_end(ap);
    return kOfxStatOK;
}
OfxStatus paramGetDerivative(OfxParamHandle, OfxTime, ...) {
    return kOfxStatErrUnsupported;
}
OfxStatus paramGetIntegral(OfxParamHandle, OfxTime, OfxTime, ...) {
    return kOfxStatErrUnsupported;
}
OfxStatus paramSetValue(OfxParamHandle h, ...) {
    va_list ap;
    va_start(ap, h);
    writeValue(param(h), ap);
    va_end(ap);
    return kOfxStatOK;
}
OfxStatus paramSetValueAtTime(OfxParamHandle h, OfxTime t, ...) {
    va_list ap;
    va_start(ap, t);
    writeValue(param(h), ap);
    va_end(ap);
    return kOfxStatOK;
}
OfxStatus paramGetNumKeys(OfxParamHandle, unsigned int* n) {
    *n = 0;
    return kOfxStatOK;
}
OfxStatus paramGetKeyTime(OfxParamHandle, unsigned int, OfxTime*) {
    return kOfxStatErrBadIndex;
}
OfxStatus paramGetKeyIndex(OfxParamHandle, OfxTime, int, int*) {
    return kOfxStatFailed;
}
OfxStatus paramDeleteKey(OfxParamHandle, OfxTime) {
    return kOfxStatErrBadIndex;
}
OfxStatus paramDeleteAllKeys(OfxParamHandle) {
    return kOfxStatOK;
}
OfxStatus paramCopy(OfxParamHandle, OfxParamHandle, OfxTime, const OfxRangeD*) {
    return kOfxStatErrUnsupported;
}
OfxStatus paramEditBegin(OfxParamSetHandle, const char*) {
    return kOfxStatOK;
}
OfxStatus paramEditEnd(OfxParamSetHandle) {
    return kOfxStatOK;
}

const OfxParameterSuiteV1 kParameterSuite = {paramDefine,         paramGetHandle,   paramSetGetPropertySet,
                                             paramGetPropertySet, paramGetValue,    paramGetValueAtTime,
                                             paramGetDerivative,  paramGetIntegral, paramSetValue,
                                             paramSetValueAtTime, paramGetNumKeys,  paramGetKeyTime,
                                             paramGetKeyIndex,    paramDeleteKey,   paramDeleteAllKeys,
                                             paramCopy,           paramEditBegin,   paramEditEnd};

OfxStatus multiThread(OfxThreadFunctionV1 fn, unsigned int n, void* arg) {
    std::vector<std::thread> threads;
    for (unsigned int i = 0; i < n; ++i) threads.emplace_back([=] { fn(i, n, arg); });
    for (auto& t : threads) t.join();
    return kOfxStatOK;
}
OfxStatus multiThreadNumCPUs(unsigned int* n) {
    *n = gHost ? gHost->options.threads : 1;
    return kOfxStatOK;
}
OfxStatus multiThreadIndex(unsigned int* i) {
    *i = 0;
    return kOfxStatOK;
}
int multiThreadIsSpawnedThread(void) {
    return 0;
}
OfxStatus mutexCreate(OfxMutexHandle*, int) {
    return kOfxStatErrUnsupported;
}
OfxStatus mutexDestroy(const OfxMutexHandle) {
    return kOfxStatOK;
}
OfxStatus mutexLock(const OfxMutexHandle) {
    return kOfxStatOK;
}
OfxStatus mutexUnLock(const OfxMutexHandle) {
    return kOfxStatOK;
}
OfxStatus mutexTryLock(const OfxMutexHandle) {
    return kOfxStatOK;
}

const OfxMultiThreadSuiteV1 kMultiThreadSuite = {
    multiThread, multiThreadNumCPUs, multiThreadIndex, multiThreadIsSpawnedThread, mutexCreate, mutexDestroy,
    mutexLock,   mutexUnLock,        mutexTryLock};

const void* fetchSuite(OfxPropertySetHandle, const char* name, int version) {
    std::string n = name;
    if (!gHost) return nullptr;
    if (n == kOfxPropertySuite && version == 1)
        return gHost->options.propertySuite ? &kPropertySuite : nullptr;
    if (n == kOfxImageEffectSuite && version == 1) return &kImageEffectSuite;
    if (n == kOfxParameterSuite && version == 1) return &kParameterSuite;
    if (n == kOfxMultiThreadSuite && version == 1) {
        return gHost->options.multiThreadSuite ? &kMultiThreadSuite : nullptr;
    }
    return nullptr;  // no message, progress, time-line or interact suites: the layer must cope
}

}  // namespace

Host::Host(Options o) : options(o) {
    gHost = this;
    record_.host = handleOf(hostProps_);
    record_.fetchSuite = fetchSuite;
}

Host::~Host() {
    if (gHost == this) gHost = nullptr;
}

std::unique_ptr<Effect> Host::makeEffect(const std::string& context) {
    auto e = std::make_unique<Effect>();
    e->props.set(kOfxImageEffectPropContext, context);
    return e;
}

}  // namespace fakehost
