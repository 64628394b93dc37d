#ifndef VELMORA_OFX_MEMORY_H
#define VELMORA_OFX_MEMORY_H

/* The memory suite: host-owned general memory. */

#include "ofxCore.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kOfxMemorySuite "OfxMemorySuite"

typedef struct OfxMemorySuiteV1 {
    OfxStatus (*memoryAlloc)(void*, size_t, void**);
    OfxStatus (*memoryFree)(void*);
} OfxMemorySuiteV1;

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_OFX_MEMORY_H */
