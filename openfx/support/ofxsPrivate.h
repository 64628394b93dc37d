#pragma once

// Internal pieces shared by the support layer's sources.

#include <exception>
#include <new>
#include <string>

#include "ofxCore.h"
#include "ofxsCore.h"

namespace OFX {
namespace Private {

void loadHostDescription();
void clearHostDescription();

void logActionFailure(const char* action, const char* what);

// Runs an action body and turns whatever it throws into the status the host receives, logging why: the
// status a suite exception carries, kOfxStatErrMemory for an allocation failure, else kOfxStatFailed.
template <class Body>
OfxStatus guardAction(const char* action, Body&& body) noexcept {
    try {
        return body();
    } catch (const Exception::Suite& e) {
        logActionFailure(action, e.what());
        return e.status() == kOfxStatOK ? kOfxStatFailed : e.status();
    } catch (const std::bad_alloc&) {
        logActionFailure(action, "out of memory");
        return kOfxStatErrMemory;
    } catch (const std::exception& e) {
        logActionFailure(action, e.what());
        return kOfxStatFailed;
    } catch (...) {
        logActionFailure(action, "unknown exception");
        return kOfxStatFailed;
    }
}

}  // namespace Private
}  // namespace OFX
