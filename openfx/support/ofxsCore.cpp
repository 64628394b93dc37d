#include "ofxsCore.h"

#include <cstring>

namespace OFX {
namespace Exception {

Suite::Suite(OfxStatus status, const std::string& what)
    : std::runtime_error(what.empty() ? std::string(statusName(status))
                                      : what + " (" + statusName(status) + ")"),
      status_(status) {}

PropertyUnknownToHost::PropertyUnknownToHost(const std::string& property)
    : Suite(kOfxStatErrUnknown, "property unknown to the host: " + property) {}

PropertyValueIllegalToHost::PropertyValueIllegalToHost(const std::string& property)
    : Suite(kOfxStatErrValue, "value refused by the host for property " + property) {}

HostInadequate::HostInadequate(const std::string& what)
    : Suite(kOfxStatErrMissingHostFeature, "not available from this host: " + what) {}

TypeRequest::TypeRequest(const std::string& what) : Suite(kOfxStatErrUnknown, what) {}

}  // namespace Exception

void throwSuiteStatusException(OfxStatus status, const std::string& context) {
    switch (status) {
        case kOfxStatOK:
        case kOfxStatReplyYes:
        case kOfxStatReplyNo:
        case kOfxStatReplyDefault:
            return;
        default:
            throw Exception::Suite(status, context);
    }
}

void throwHostMissingSuiteException(const std::string& suiteName) {
    throw Exception::HostInadequate(suiteName);
}

const char* statusName(OfxStatus status) {
    switch (status) {
        case kOfxStatOK:
            return "kOfxStatOK";
        case kOfxStatFailed:
            return "kOfxStatFailed";
        case kOfxStatErrFatal:
            return "kOfxStatErrFatal";
        case kOfxStatErrUnknown:
            return "kOfxStatErrUnknown";
        case kOfxStatErrMissingHostFeature:
            return "kOfxStatErrMissingHostFeature";
        case kOfxStatErrUnsupported:
            return "kOfxStatErrUnsupported";
        case kOfxStatErrExists:
            return "kOfxStatErrExists";
        case kOfxStatErrFormat:
            return "kOfxStatErrFormat";
        case kOfxStatErrMemory:
            return "kOfxStatErrMemory";
        case kOfxStatErrBadHandle:
            return "kOfxStatErrBadHandle";
        case kOfxStatErrBadIndex:
            return "kOfxStatErrBadIndex";
        case kOfxStatErrValue:
            return "kOfxStatErrValue";
        case kOfxStatReplyYes:
            return "kOfxStatReplyYes";
        case kOfxStatReplyNo:
            return "kOfxStatReplyNo";
        case kOfxStatReplyDefault:
            return "kOfxStatReplyDefault";
        case kOfxStatUnlicensed:
            return "kOfxStatUnlicensed";
        case kOfxStatErrImageFormat:
            return "kOfxStatErrImageFormat";
        default:
            return "unknown OpenFX status";
    }
}

namespace {

template <class E, std::size_t N>
E lookup(const char* const (&names)[N], const std::string& text, E fallback) {
    for (std::size_t i = 0; i < N; ++i) {
        if (names[i] && text == names[i]) return static_cast<E>(i);
    }
    return fallback;
}

const char* const kContextNames[] = {"",
                                     kOfxImageEffectContextGenerator,
                                     kOfxImageEffectContextFilter,
                                     kOfxImageEffectContextTransition,
                                     kOfxImageEffectContextPaint,
                                     kOfxImageEffectContextGeneral,
                                     kOfxImageEffectContextRetimer};

const char* const kDepthNames[] = {kOfxBitDepthNone, kOfxBitDepthByte,  kOfxBitDepthShort,
                                   kOfxBitDepthHalf, kOfxBitDepthFloat, nullptr};

const char* const kComponentNames[] = {kOfxImageComponentNone, kOfxImageComponentRGBA, kOfxImageComponentRGB,
                                       kOfxImageComponentAlpha, nullptr};

const char* const kPremultNames[] = {kOfxImageOpaque, kOfxImagePreMultiplied, kOfxImageUnPreMultiplied};

const char* const kFieldNames[] = {kOfxImageFieldNone,  kOfxImageFieldBoth,   kOfxImageFieldLower,
                                   kOfxImageFieldUpper, kOfxImageFieldSingle, kOfxImageFieldDoubled};

}  // namespace

const char* mapContextEnumToStr(ContextEnum context) {
    return context > eContextNone && context <= eContextRetimer ? kContextNames[context] : "";
}

ContextEnum mapStrToContextEnum(const std::string& text) {
    return text.empty() ? eContextNone : lookup(kContextNames, text, eContextNone);
}

const char* mapBitDepthEnumToStr(BitDepthEnum depth) {
    return depth >= eBitDepthNone && depth < eBitDepthCustom ? kDepthNames[depth] : "";
}

BitDepthEnum mapStrToBitDepthEnum(const std::string& text) {
    return text.empty() ? eBitDepthNone : lookup(kDepthNames, text, eBitDepthCustom);
}

const char* mapPixelComponentEnumToStr(PixelComponentEnum components) {
    return components >= ePixelComponentNone && components < ePixelComponentCustom
               ? kComponentNames[components]
               : "";
}

PixelComponentEnum mapStrToPixelComponentEnum(const std::string& text) {
    return text.empty() ? ePixelComponentNone : lookup(kComponentNames, text, ePixelComponentCustom);
}

const char* mapPreMultiplicationEnumToStr(PreMultiplicationEnum premult) {
    return premult >= eImageOpaque && premult <= eImageUnPreMultiplied ? kPremultNames[premult] : "";
}

PreMultiplicationEnum mapStrToPreMultiplicationEnum(const std::string& text) {
    return lookup(kPremultNames, text, eImageOpaque);
}

const char* mapFieldEnumToStr(FieldEnum field) {
    return field >= eFieldNone && field <= eFieldDoubled ? kFieldNames[field] : "";
}

FieldEnum mapStrToFieldEnum(const std::string& text) {
    return lookup(kFieldNames, text, eFieldNone);
}

}  // namespace OFX
