#ifndef VELMORA_OFX_PROGRESS_H
#define VELMORA_OFX_PROGRESS_H

/* The progress suite: progress bars for long operations. */

#include "ofxCore.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kOfxProgressSuite "OfxProgressSuite"

typedef struct OfxProgressSuiteV1 {
    OfxStatus (*progressStart)(void*, const char*);
    OfxStatus (*progressUpdate)(void*, double);
    OfxStatus (*progressEnd)(void*);
} OfxProgressSuiteV1;

typedef struct OfxProgressSuiteV2 {
    OfxStatus (*progressStart)(void*, const char*, const char*);
    OfxStatus (*progressUpdate)(void*, double);
    OfxStatus (*progressEnd)(void*);
} OfxProgressSuiteV2;

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_OFX_PROGRESS_H */
