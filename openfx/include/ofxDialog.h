#ifndef VELMORA_OFX_DIALOG_H
#define VELMORA_OFX_DIALOG_H

/* The dialog suite: modal dialogs requested from the host. */

#include "ofxCore.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kOfxDialogSuite "OfxDialogSuite"
#define kOfxActionDialog "OfxActionDialog"

typedef struct OfxDialogSuiteV1 {
    OfxStatus (*RequestDialog)(void*);
    OfxStatus (*NotifyRedrawPending)(void);
} OfxDialogSuiteV1;

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_OFX_DIALOG_H */
