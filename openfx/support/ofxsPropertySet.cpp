#include "ofxsPropertySet.h"

#include "ofxsCore.h"
#include "ofxsSuites.h"

namespace OFX {

void PropertySet::check(OfxStatus status, const char* name, bool throwOnFailure) const {
    if (status == kOfxStatOK || !throwOnFailure) return;
    switch (status) {
        case kOfxStatErrUnknown:
            throw Exception::PropertyUnknownToHost(name);
        case kOfxStatErrValue:
            throw Exception::PropertyValueIllegalToHost(name);
        default:
            throw Exception::Suite(status, std::string("property ") + name);
    }
}

namespace {
OfxStatus badHandle() {
    return kOfxStatErrBadHandle;
}
}  // namespace

bool PropertySet::propExists(const char* name) const {
    if (!handle_ || !hostSuites().property) return false;
    int dimension = 0;
    return hostSuites().property->propGetDimension(handle_, name, &dimension) == kOfxStatOK;
}

int PropertySet::propGetDimension(const char* name, bool throwOnFailure) const {
    int dimension = 0;
    OfxStatus st =
        handle_ ? Private::propertySuite().propGetDimension(handle_, name, &dimension) : badHandle();
    check(st, name, throwOnFailure);
    return st == kOfxStatOK ? dimension : 0;
}

void PropertySet::propReset(const char* name, bool throwOnFailure) {
    OfxStatus st = handle_ ? Private::propertySuite().propReset(handle_, name) : badHandle();
    check(st, name, throwOnFailure);
}

void PropertySet::propSetPointer(const char* name, void* value, int index, bool throwOnFailure) {
    OfxStatus st =
        handle_ ? Private::propertySuite().propSetPointer(handle_, name, index, value) : badHandle();
    check(st, name, throwOnFailure);
}

void PropertySet::propSetString(const char* name, const std::string& value, int index, bool throwOnFailure) {
    OfxStatus st =
        handle_ ? Private::propertySuite().propSetString(handle_, name, index, value.c_str()) : badHandle();
    check(st, name, throwOnFailure);
}

void PropertySet::propSetDouble(const char* name, double value, int index, bool throwOnFailure) {
    OfxStatus st =
        handle_ ? Private::propertySuite().propSetDouble(handle_, name, index, value) : badHandle();
    check(st, name, throwOnFailure);
}

void PropertySet::propSetInt(const char* name, int value, int index, bool throwOnFailure) {
    OfxStatus st = handle_ ? Private::propertySuite().propSetInt(handle_, name, index, value) : badHandle();
    check(st, name, throwOnFailure);
}

void PropertySet::propSetDoubleN(const char* name, const double* values, int count, bool throwOnFailure) {
    OfxStatus st =
        handle_ ? Private::propertySuite().propSetDoubleN(handle_, name, count, values) : badHandle();
    check(st, name, throwOnFailure);
}

void PropertySet::propSetIntN(const char* name, const int* values, int count, bool throwOnFailure) {
    OfxStatus st = handle_ ? Private::propertySuite().propSetIntN(handle_, name, count, values) : badHandle();
    check(st, name, throwOnFailure);
}

void* PropertySet::propGetPointer(const char* name, int index, bool throwOnFailure) const {
    void* value = nullptr;
    OfxStatus st =
        handle_ ? Private::propertySuite().propGetPointer(handle_, name, index, &value) : badHandle();
    check(st, name, throwOnFailure);
    return st == kOfxStatOK ? value : nullptr;
}

std::string PropertySet::propGetString(const char* name, int index, bool throwOnFailure) const {
    char* value = nullptr;
    OfxStatus st =
        handle_ ? Private::propertySuite().propGetString(handle_, name, index, &value) : badHandle();
    check(st, name, throwOnFailure);
    return st == kOfxStatOK && value ? std::string(value) : std::string();
}

double PropertySet::propGetDouble(const char* name, int index, bool throwOnFailure) const {
    double value = 0.0;
    OfxStatus st =
        handle_ ? Private::propertySuite().propGetDouble(handle_, name, index, &value) : badHandle();
    check(st, name, throwOnFailure);
    return st == kOfxStatOK ? value : 0.0;
}

int PropertySet::propGetInt(const char* name, int index, bool throwOnFailure) const {
    int value = 0;
    OfxStatus st = handle_ ? Private::propertySuite().propGetInt(handle_, name, index, &value) : badHandle();
    check(st, name, throwOnFailure);
    return st == kOfxStatOK ? value : 0;
}

void PropertySet::propGetDoubleN(const char* name, double* values, int count, bool throwOnFailure) const {
    OfxStatus st =
        handle_ ? Private::propertySuite().propGetDoubleN(handle_, name, count, values) : badHandle();
    check(st, name, throwOnFailure);
}

void PropertySet::propGetIntN(const char* name, int* values, int count, bool throwOnFailure) const {
    OfxStatus st = handle_ ? Private::propertySuite().propGetIntN(handle_, name, count, values) : badHandle();
    check(st, name, throwOnFailure);
}

std::vector<std::string> PropertySet::propGetStrings(const char* name, bool throwOnFailure) const {
    std::vector<std::string> values;
    int n = propGetDimension(name, throwOnFailure);
    for (int i = 0; i < n; ++i) values.push_back(propGetString(name, i, throwOnFailure));
    return values;
}

void PropertySet::propAppendString(const char* name, const std::string& value, bool throwOnFailure) {
    // A property the host has not created yet starts at index 0.
    int n = propExists(name) ? propGetDimension(name, throwOnFailure) : 0;
    propSetString(name, value, n, throwOnFailure);
}

}  // namespace OFX
