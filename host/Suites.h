#pragma once

// The suite tables the host hands to plug-ins (one source file per suite).
#include "ofxDrawSuite.h"
#include "ofxImageEffect.h"
#include "ofxInteract.h"
#include "ofxMemory.h"
#include "ofxMessage.h"
#include "ofxMultiThread.h"
#include "ofxParam.h"
#include "ofxParametricParam.h"
#include "ofxProgress.h"
#include "ofxProperty.h"
#include "ofxTimeLine.h"

#ifndef kOfxProgressSuite
#define kOfxProgressSuite "OfxProgressSuite"
#endif
#ifndef kOfxTimeLineSuite
#define kOfxTimeLineSuite "OfxTimeLineSuite"
#endif

namespace vhost {

const OfxPropertySuiteV1* propertySuite();
const OfxImageEffectSuiteV1* imageEffectSuite();
const OfxParameterSuiteV1* parameterSuite();
const OfxParametricParameterSuiteV1* parametricParameterSuite();
const OfxMemorySuiteV1* memorySuite();
const OfxMultiThreadSuiteV1* multiThreadSuite();
const OfxMessageSuiteV1* messageSuiteV1();
const OfxMessageSuiteV2* messageSuiteV2();
const OfxProgressSuiteV1* progressSuiteV1();
const OfxProgressSuiteV2* progressSuiteV2();
const OfxTimeLineSuiteV1* timeLineSuite();
const OfxInteractSuiteV1* interactSuite();
const OfxDrawSuiteV1* drawSuite();

}  // namespace vhost
