#ifndef VELMORA_OFX_MESSAGE_H
#define VELMORA_OFX_MESSAGE_H

/* The message suite: messages to the user and persistent messages. */

#include "ofxCore.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kOfxMessageSuite "OfxMessageSuite"
#define kOfxMessageFatal "OfxMessageFatal"
#define kOfxMessageError "OfxMessageError"
#define kOfxMessageWarning "OfxMessageWarning"
#define kOfxMessageMessage "OfxMessageMessage"
#define kOfxMessageLog "OfxMessageLog"
#define kOfxMessageQuestion "OfxMessageQuestion"

typedef struct OfxMessageSuiteV1 {
    OfxStatus (*message)(void*, const char*, const char*, const char*, ...);
} OfxMessageSuiteV1;

typedef struct OfxMessageSuiteV2 {
    OfxStatus (*message)(void*, const char*, const char*, const char*, ...);
    OfxStatus (*setPersistentMessage)(void*, const char*, const char*, const char*, ...);
    OfxStatus (*clearPersistentMessage)(void*);
} OfxMessageSuiteV2;

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_OFX_MESSAGE_H */
