#ifndef VELMORA_OFX_MULTI_THREAD_H
#define VELMORA_OFX_MULTI_THREAD_H

/* The multi-thread suite: host worker threads and mutexes. */

#include "ofxCore.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kOfxMultiThreadSuite "OfxMultiThreadSuite"

typedef struct OfxMutex* OfxMutexHandle;

typedef void(OfxThreadFunctionV1)(unsigned int, unsigned int, void*);

typedef struct OfxMultiThreadSuiteV1 {
    OfxStatus (*multiThread)(OfxThreadFunctionV1, unsigned int, void*);
    OfxStatus (*multiThreadNumCPUs)(unsigned int*);
    OfxStatus (*multiThreadIndex)(unsigned int*);
    int (*multiThreadIsSpawnedThread)(void);
    OfxStatus (*mutexCreate)(OfxMutexHandle*, int);
    OfxStatus (*mutexDestroy)(const OfxMutexHandle);
    OfxStatus (*mutexLock)(const OfxMutexHandle);
    OfxStatus (*mutexUnLock)(const OfxMutexHandle);
    OfxStatus (*mutexTryLock)(const OfxMutexHandle);
} OfxMultiThreadSuiteV1;

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_OFX_MULTI_THREAD_H */
