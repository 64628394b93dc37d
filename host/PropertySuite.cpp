// The property suite over PropertySet.
#include "PropertySet.h"
#include "Suites.h"

namespace vhost {

namespace {

#define VHOST_PROPS(handle)                       \
    PropertySet* set = PropertySet::from(handle); \
    if (set == nullptr) return kOfxStatErrBadHandle;

OfxStatus propSetPointer(OfxPropertySetHandle h, const char* n, int i, void* v) {
    VHOST_PROPS(h) return set->setPointer(n, i, v);
}
OfxStatus propSetString(OfxPropertySetHandle h, const char* n, int i, const char* v) {
    VHOST_PROPS(h) return set->setString(n, i, v);
}
OfxStatus propSetDouble(OfxPropertySetHandle h, const char* n, int i, double v) {
    VHOST_PROPS(h) return set->setDouble(n, i, v);
}
OfxStatus propSetInt(OfxPropertySetHandle h, const char* n, int i, int v) {
    VHOST_PROPS(h) return set->setInt(n, i, v);
}
OfxStatus propSetPointerN(OfxPropertySetHandle h, const char* n, int c, void* const* v) {
    VHOST_PROPS(h) return set->setPointerN(n, c, v);
}
OfxStatus propSetStringN(OfxPropertySetHandle h, const char* n, int c, const char* const* v) {
    VHOST_PROPS(h) return set->setStringN(n, c, v);
}
OfxStatus propSetDoubleN(OfxPropertySetHandle h, const char* n, int c, const double* v) {
    VHOST_PROPS(h) return set->setDoubleN(n, c, v);
}
OfxStatus propSetIntN(OfxPropertySetHandle h, const char* n, int c, const int* v) {
    VHOST_PROPS(h) return set->setIntN(n, c, v);
}
OfxStatus propGetPointer(OfxPropertySetHandle h, const char* n, int i, void** v) {
    VHOST_PROPS(h) return set->getPointer(n, i, v);
}
OfxStatus propGetString(OfxPropertySetHandle h, const char* n, int i, char** v) {
    VHOST_PROPS(h) return set->getString(n, i, v);
}
OfxStatus propGetDouble(OfxPropertySetHandle h, const char* n, int i, double* v) {
    VHOST_PROPS(h) return set->getDouble(n, i, v);
}
OfxStatus propGetInt(OfxPropertySetHandle h, const char* n, int i, int* v) {
    VHOST_PROPS(h) return set->getInt(n, i, v);
}
OfxStatus propGetPointerN(OfxPropertySetHandle h, const char* n, int c, void** v) {
    VHOST_PROPS(h) return set->getPointerN(n, c, v);
}
OfxStatus propGetStringN(OfxPropertySetHandle h, const char* n, int c, char** v) {
    VHOST_PROPS(h) return set->getStringN(n, c, v);
}
OfxStatus propGetDoubleN(OfxPropertySetHandle h, const char* n, int c, double* v) {
    VHOST_PROPS(h) return set->getDoubleN(n, c, v);
}
OfxStatus propGetIntN(OfxPropertySetHandle h, const char* n, int c, int* v) {
    VHOST_PROPS(h) return set->getIntN(n, c, v);
}
OfxStatus propReset(OfxPropertySetHandle h, const char* n) {
    VHOST_PROPS(h) return set->reset(n);
}
OfxStatus propGetDimension(OfxPropertySetHandle h, const char* n, int* d) {
    VHOST_PROPS(h) return set->getDimension(n, d);
}

#undef VHOST_PROPS

const OfxPropertySuiteV1 kSuite = {
    propSetPointer,  propSetString,  propSetDouble,  propSetInt,    propSetPointerN, propSetStringN,
    propSetDoubleN,  propSetIntN,    propGetPointer, propGetString, propGetDouble,   propGetInt,
    propGetPointerN, propGetStringN, propGetDoubleN, propGetIntN,   propReset,       propGetDimension,
};

}  // namespace

const OfxPropertySuiteV1* propertySuite() {
    return &kSuite;
}

}  // namespace vhost
