#ifndef VELMORA_OFX_PARAMETRIC_PARAM_H
#define VELMORA_OFX_PARAMETRIC_PARAM_H

/* Parametric (curve) parameters and their suite. */

#include <stdbool.h>

#include "ofxParam.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kOfxParametricParameterSuite "OfxParametricParameterSuite"
#define kOfxParamTypeParametric "OfxParamTypeParametric"
#define kOfxParamPropParametricDimension "OfxParamPropParametricDimension"
#define kOfxParamPropParametricUIColour "OfxParamPropParametricUIColour"
#define kOfxParamPropParametricInteractBackground "OfxParamPropParametricInteractBackground"
#define kOfxParamHostPropSupportsParametricAnimation "OfxParamHostPropSupportsParametricAnimation"
#define kOfxParamPropParametricRange "OfxParamPropParametricRange"

typedef struct OfxParametricParameterSuiteV1 {
    OfxStatus (*parametricParamGetValue)(OfxParamHandle, int, OfxTime, double, double*);
    OfxStatus (*parametricParamGetNControlPoints)(OfxParamHandle, int, double, int*);
    OfxStatus (*parametricParamGetNthControlPoint)(OfxParamHandle, int, double, int, double*, double*);
    OfxStatus (*parametricParamSetNthControlPoint)(OfxParamHandle, int, double, int, double, double, bool);
    OfxStatus (*parametricParamAddControlPoint)(OfxParamHandle, int, double, double, double, bool);
    OfxStatus (*parametricParamDeleteControlPoint)(OfxParamHandle, int, int);
    OfxStatus (*parametricParamDeleteAllControlPoints)(OfxParamHandle, int);
} OfxParametricParameterSuiteV1;

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_OFX_PARAMETRIC_PARAM_H */
