#pragma once

// The host record and the suites fetched from it once, at load. A suite the host does not offer stays null;
// the required() accessors turn that into Exception::HostInadequate for the feature that needs it.

#include "ofxCore.h"
#include "ofxDialog.h"
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

namespace OFX {

struct HostSuites {
    OfxHost* host = nullptr;
    const OfxPropertySuiteV1* property = nullptr;
    const OfxImageEffectSuiteV1* imageEffect = nullptr;
    const OfxParameterSuiteV1* parameter = nullptr;
    const OfxParametricParameterSuiteV1* parametric = nullptr;
    const OfxMemorySuiteV1* memory = nullptr;
    const OfxMultiThreadSuiteV1* multiThread = nullptr;
    const OfxMessageSuiteV1* messageV1 = nullptr;
    const OfxMessageSuiteV2* messageV2 = nullptr;
    const OfxProgressSuiteV1* progressV1 = nullptr;
    const OfxProgressSuiteV2* progressV2 = nullptr;
    const OfxTimeLineSuiteV1* timeLine = nullptr;
    const OfxInteractSuiteV1* interact = nullptr;
    const OfxDrawSuiteV1* draw = nullptr;
};

// The suites of the host that loaded us (all null before setHost and load).
const HostSuites& hostSuites();

namespace Private {

void setHost(OfxHost* host);
OfxHost* host();
// Fetches every suite from the host; throws HostInadequate when the property, image-effect or parameter
// suite is missing, since nothing works without them.
void fetchSuites();
void clearSuites();

const OfxPropertySuiteV1& propertySuite();
const OfxImageEffectSuiteV1& imageEffectSuite();
const OfxParameterSuiteV1& parameterSuite();
const OfxParametricParameterSuiteV1& parametricSuite();
const OfxInteractSuiteV1& interactSuite();

}  // namespace Private
}  // namespace OFX
