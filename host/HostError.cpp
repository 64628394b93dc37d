#include "HostError.h"

#include "ofxGPURender.h"
#include "ofxImageEffect.h"

namespace vhost {

std::string statusName(OfxStatus status) {
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
        case kOfxStatGPUOutOfMemory:
            return "kOfxStatGPUOutOfMemory";
        case kOfxStatGPURenderFailed:
            return "kOfxStatGPURenderFailed";
        default:
            return "status " + std::to_string(status);
    }
}

}  // namespace vhost
