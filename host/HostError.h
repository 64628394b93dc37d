#pragma once

#include <stdexcept>
#include <string>

#include "ofxCore.h"

namespace vhost {

// Name of an OpenFX status code ("kOfxStatErrValue"), or its number for an unknown code.
std::string statusName(OfxStatus status);
// True for the statuses an action returns on success (OK and reply-default).
inline bool succeeded(OfxStatus status) {
    return status == kOfxStatOK || status == kOfxStatReplyDefault;
}

// A failure the host reports to its caller: a bad bundle, a failed action, a misuse of the API.
// status is the OpenFX status involved, or kOfxStatFailed when none is.
class HostError : public std::runtime_error {
  public:
    explicit HostError(const std::string& message, OfxStatus status = kOfxStatFailed)
        : std::runtime_error(message), status_(status) {}
    OfxStatus status() const { return status_; }

  private:
    OfxStatus status_;
};

}  // namespace vhost
