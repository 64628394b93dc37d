#pragma once

// Basic vocabulary of the OpenFX support layer: enumerations of the C API's strings, and the exceptions
// through which host failures travel to the action boundary.

#include <stdexcept>
#include <string>

#include "ofxCore.h"
#include "ofxImageEffect.h"

namespace OFX {

enum ContextEnum {
    eContextNone,
    eContextGenerator,
    eContextFilter,
    eContextTransition,
    eContextPaint,
    eContextGeneral,
    eContextRetimer
};

enum BitDepthEnum {
    eBitDepthNone,
    eBitDepthUByte,
    eBitDepthUShort,
    eBitDepthHalf,
    eBitDepthFloat,
    eBitDepthCustom
};

enum PixelComponentEnum {
    ePixelComponentNone,
    ePixelComponentRGBA,
    ePixelComponentRGB,
    ePixelComponentAlpha,
    ePixelComponentCustom
};

enum PreMultiplicationEnum { eImageOpaque, eImagePreMultiplied, eImageUnPreMultiplied };

enum FieldEnum { eFieldNone, eFieldBoth, eFieldLower, eFieldUpper, eFieldSingle, eFieldDoubled };

enum FieldExtractionEnum { eFieldExtractBoth, eFieldExtractSingle, eFieldExtractDoubled };

enum RenderSafetyEnum { eRenderUnsafe, eRenderInstanceSafe, eRenderFullySafe };

enum ChangeReasonEnum { eChangeUserEdit, eChangePluginEdit, eChangeTime };

enum MessageTypeEnum {
    eMessageFatal,
    eMessageError,
    eMessageWarning,
    eMessageMessage,
    eMessageLog,
    eMessageQuestion
};

enum MessageReplyEnum { eMessageReplyOK, eMessageReplyYes, eMessageReplyNo, eMessageReplyFailed };

namespace Exception {

// A host call answered with a failing status; the action boundary returns that status to the host.
class Suite : public std::runtime_error {
  public:
    explicit Suite(OfxStatus status, const std::string& what = std::string());
    OfxStatus status() const { return status_; }

  private:
    OfxStatus status_;
};

// The host does not know a property (kOfxStatErrUnknown).
class PropertyUnknownToHost : public Suite {
  public:
    explicit PropertyUnknownToHost(const std::string& property);
};

// The host refused a property's value (kOfxStatErrValue).
class PropertyValueIllegalToHost : public Suite {
  public:
    explicit PropertyValueIllegalToHost(const std::string& property);
};

// The host lacks a suite or feature the call needs (kOfxStatErrMissingHostFeature).
class HostInadequate : public Suite {
  public:
    explicit HostInadequate(const std::string& what);
};

// A parameter or clip was asked for as the wrong kind, or a name the host does not have.
class TypeRequest : public Suite {
  public:
    explicit TypeRequest(const std::string& what);
};

}  // namespace Exception

// Throws Exception::Suite for any status other than OK and the three replies.
void throwSuiteStatusException(OfxStatus status, const std::string& context = std::string());
void throwHostMissingSuiteException(const std::string& suiteName);

const char* statusName(OfxStatus status);

const char* mapContextEnumToStr(ContextEnum context);
ContextEnum mapStrToContextEnum(const std::string& text);  // unknown text: eContextNone
const char* mapBitDepthEnumToStr(BitDepthEnum depth);
BitDepthEnum mapStrToBitDepthEnum(
    const std::string& text);  // unknown text: eBitDepthCustom, empty: eBitDepthNone
const char* mapPixelComponentEnumToStr(PixelComponentEnum components);
PixelComponentEnum mapStrToPixelComponentEnum(const std::string& text);
const char* mapPreMultiplicationEnumToStr(PreMultiplicationEnum premult);
PreMultiplicationEnum mapStrToPreMultiplicationEnum(const std::string& text);
const char* mapFieldEnumToStr(FieldEnum field);
FieldEnum mapStrToFieldEnum(const std::string& text);

}  // namespace OFX
