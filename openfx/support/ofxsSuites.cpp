#include "ofxsSuites.h"

#include "ofxsCore.h"

namespace OFX {
namespace {

HostSuites gSuites;

template <class SuiteT>
const SuiteT* fetch(OfxHost* host, const char* name, int version) {
    if (!host || !host->fetchSuite) return nullptr;
    return static_cast<const SuiteT*>(host->fetchSuite(host->host, name, version));
}

template <class SuiteT>
const SuiteT& required(const SuiteT* suite, const char* name) {
    if (!suite) throwHostMissingSuiteException(name);
    return *suite;
}

}  // namespace

const HostSuites& hostSuites() {
    return gSuites;
}

namespace Private {

void setHost(OfxHost* host) {
    gSuites.host = host;
}

OfxHost* host() {
    return gSuites.host;
}

void fetchSuites() {
    OfxHost* h = gSuites.host;
    if (!h) throw Exception::HostInadequate("host record (setHost was not called)");
    gSuites.property = fetch<OfxPropertySuiteV1>(h, kOfxPropertySuite, 1);
    gSuites.imageEffect = fetch<OfxImageEffectSuiteV1>(h, kOfxImageEffectSuite, 1);
    gSuites.parameter = fetch<OfxParameterSuiteV1>(h, kOfxParameterSuite, 1);
    gSuites.parametric = fetch<OfxParametricParameterSuiteV1>(h, kOfxParametricParameterSuite, 1);
    gSuites.memory = fetch<OfxMemorySuiteV1>(h, kOfxMemorySuite, 1);
    gSuites.multiThread = fetch<OfxMultiThreadSuiteV1>(h, kOfxMultiThreadSuite, 1);
    gSuites.messageV1 = fetch<OfxMessageSuiteV1>(h, kOfxMessageSuite, 1);
    gSuites.messageV2 = fetch<OfxMessageSuiteV2>(h, kOfxMessageSuite, 2);
    gSuites.progressV1 = fetch<OfxProgressSuiteV1>(h, kOfxProgressSuite, 1);
    gSuites.progressV2 = fetch<OfxProgressSuiteV2>(h, kOfxProgressSuite, 2);
    gSuites.timeLine = fetch<OfxTimeLineSuiteV1>(h, kOfxTimeLineSuite, 1);
    gSuites.interact = fetch<OfxInteractSuiteV1>(h, kOfxInteractSuite, 1);
    gSuites.draw = fetch<OfxDrawSuiteV1>(h, kOfxDrawSuite, 1);
    required(gSuites.property, kOfxPropertySuite);
    required(gSuites.imageEffect, kOfxImageEffectSuite);
    required(gSuites.parameter, kOfxParameterSuite);
}

void clearSuites() {
    OfxHost* h = gSuites.host;
    gSuites = HostSuites();
    gSuites.host = h;
}

const OfxPropertySuiteV1& propertySuite() {
    return required(gSuites.property, kOfxPropertySuite);
}
const OfxImageEffectSuiteV1& imageEffectSuite() {
    return required(gSuites.imageEffect, kOfxImageEffectSuite);
}
const OfxParameterSuiteV1& parameterSuite() {
    return required(gSuites.parameter, kOfxParameterSuite);
}
const OfxParametricParameterSuiteV1& parametricSuite() {
    return required(gSuites.parametric, kOfxParametricParameterSuite);
}
const OfxInteractSuiteV1& interactSuite() {
    return required(gSuites.interact, kOfxInteractSuite);
}

}  // namespace Private
}  // namespace OFX
