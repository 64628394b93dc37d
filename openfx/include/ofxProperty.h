#ifndef VELMORA_OFX_PROPERTY_H
#define VELMORA_OFX_PROPERTY_H

/* The property suite: typed, multi-dimensional named values on property sets. */

#include "ofxCore.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kOfxPropertySuite "OfxPropertySuite"

typedef struct OfxPropertySuiteV1 {
    OfxStatus (*propSetPointer)(OfxPropertySetHandle, const char*, int, void*);
    OfxStatus (*propSetString)(OfxPropertySetHandle, const char*, int, const char*);
    OfxStatus (*propSetDouble)(OfxPropertySetHandle, const char*, int, double);
    OfxStatus (*propSetInt)(OfxPropertySetHandle, const char*, int, int);
    OfxStatus (*propSetPointerN)(OfxPropertySetHandle, const char*, int, void* const*);
    OfxStatus (*propSetStringN)(OfxPropertySetHandle, const char*, int, const char* const*);
    OfxStatus (*propSetDoubleN)(OfxPropertySetHandle, const char*, int, const double*);
    OfxStatus (*propSetIntN)(OfxPropertySetHandle, const char*, int, const int*);
    OfxStatus (*propGetPointer)(OfxPropertySetHandle, const char*, int, void**);
    OfxStatus (*propGetString)(OfxPropertySetHandle, const char*, int, char**);
    OfxStatus (*propGetDouble)(OfxPropertySetHandle, const char*, int, double*);
    OfxStatus (*propGetInt)(OfxPropertySetHandle, const char*, int, int*);
    OfxStatus (*propGetPointerN)(OfxPropertySetHandle, const char*, int, void**);
    OfxStatus (*propGetStringN)(OfxPropertySetHandle, const char*, int, char**);
    OfxStatus (*propGetDoubleN)(OfxPropertySetHandle, const char*, int, double*);
    OfxStatus (*propGetIntN)(OfxPropertySetHandle, const char*, int, int*);
    OfxStatus (*propReset)(OfxPropertySetHandle, const char*);
    OfxStatus (*propGetDimension)(OfxPropertySetHandle, const char*, int*);
} OfxPropertySuiteV1;

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_OFX_PROPERTY_H */
