#ifndef VELMORA_OFX_TIME_LINE_H
#define VELMORA_OFX_TIME_LINE_H

/* The time-line suite: the host's current time and time bounds. */

#include "ofxCore.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kOfxTimeLineSuite "OfxTimeLineSuite"

typedef struct OfxTimeLineSuiteV1 {
    OfxStatus (*getTime)(void*, double*);
    OfxStatus (*gotoTime)(void*, double);
    OfxStatus (*getTimeBounds)(void*, double*, double*);
} OfxTimeLineSuiteV1;

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_OFX_TIME_LINE_H */
