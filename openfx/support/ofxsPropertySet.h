#pragma once

// A thin wrapper over one property set of the host, through the property suite. Failures throw
// Exception::PropertyUnknownToHost / PropertyValueIllegalToHost / Suite unless throwOnFailure is false, in
// which case a getter returns its fallback and a setter does nothing.

#include <string>
#include <vector>

#include "ofxCore.h"
#include "ofxProperty.h"

namespace OFX {

class PropertySet {
  public:
    explicit PropertySet(OfxPropertySetHandle handle = nullptr) : handle_(handle) {}

    OfxPropertySetHandle getHandle() const { return handle_; }
    void setHandle(OfxPropertySetHandle handle) { handle_ = handle; }
    bool isValid() const { return handle_ != nullptr; }

    bool propExists(const char* name) const;
    int propGetDimension(const char* name, bool throwOnFailure = true) const;
    void propReset(const char* name, bool throwOnFailure = true);

    void propSetPointer(const char* name, void* value, int index = 0, bool throwOnFailure = true);
    void propSetString(const char* name, const std::string& value, int index = 0, bool throwOnFailure = true);
    void propSetDouble(const char* name, double value, int index = 0, bool throwOnFailure = true);
    void propSetInt(const char* name, int value, int index = 0, bool throwOnFailure = true);
    void propSetDoubleN(const char* name, const double* values, int count, bool throwOnFailure = true);
    void propSetIntN(const char* name, const int* values, int count, bool throwOnFailure = true);

    void* propGetPointer(const char* name, int index = 0, bool throwOnFailure = true) const;
    std::string propGetString(const char* name, int index = 0, bool throwOnFailure = true) const;
    double propGetDouble(const char* name, int index = 0, bool throwOnFailure = true) const;
    int propGetInt(const char* name, int index = 0, bool throwOnFailure = true) const;
    void propGetDoubleN(const char* name, double* values, int count, bool throwOnFailure = true) const;
    void propGetIntN(const char* name, int* values, int count, bool throwOnFailure = true) const;
    // Every value of a string property, in index order.
    std::vector<std::string> propGetStrings(const char* name, bool throwOnFailure = true) const;

    // Appends to a multi-dimensional string property.
    void propAppendString(const char* name, const std::string& value, bool throwOnFailure = true);

  private:
    void check(OfxStatus status, const char* name, bool throwOnFailure) const;

    OfxPropertySetHandle handle_;
};

}  // namespace OFX
