#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "HandleTag.h"
#include "ofxCore.h"

namespace vhost {

enum class PropType { Pointer, String, Double, Int };
const char* propTypeName(PropType type);

// One named property: a type, a list of values (its dimension) and the values it resets to.
struct Property {
    PropType type = PropType::Int;
    int fixedDimension = 0;  // 0: the dimension varies (options, contexts, ...)
    std::vector<void*> pointers;
    std::vector<std::string> strings;
    std::vector<double> doubles;
    std::vector<int> ints;
    // The declared values, restored by propReset.
    std::vector<void*> defaultPointers;
    std::vector<std::string> defaultStrings;
    std::vector<double> defaultDoubles;
    std::vector<int> defaultInts;

    int dimension() const;
};

// A typed property store behind an OfxPropertySetHandle. Declared properties keep their type;
// an extensible set also accepts properties it does not know, typed by their first setter, as
// hosts that pass unknown properties through do. Every access is serialised by the set's lock.
class PropertySet : public HandleTag {
  public:
    static constexpr HandleKind kHandleKind = HandleKind::PropertySet;

    explicit PropertySet(std::string kind, bool extensible = true);
    PropertySet(const PropertySet& other);
    PropertySet& operator=(const PropertySet& other);

    OfxPropertySetHandle handle() { return toHandle<OfxPropertySetHandle>(this); }
    static PropertySet* from(OfxPropertySetHandle handle) { return fromHandle<PropertySet>(handle); }

    const std::string& kind() const { return kind_; }
    void setExtensible(bool extensible) { extensible_ = extensible; }
    // Names the set refuses as unknown even when extensible (a host that lacks a property).
    void setRejected(std::vector<std::string> names) { rejected_ = std::move(names); }

    // Declarations by the host: the values given become the defaults.
    void declareString(const std::string& name, std::vector<std::string> values, int fixedDim = 0);
    void declareDouble(const std::string& name, std::vector<double> values, int fixedDim = 0);
    void declareInt(const std::string& name, std::vector<int> values, int fixedDim = 0);
    void declarePointer(const std::string& name, std::vector<void*> values, int fixedDim = 0);
    void declareString(const std::string& name, const std::string& value) { declareString(name, {value}, 1); }
    void declareDouble(const std::string& name, double value) { declareDouble(name, {value}, 1); }
    void declareInt(const std::string& name, int value) { declareInt(name, {value}, 1); }
    void declarePointer(const std::string& name, void* value) { declarePointer(name, {value}, 1); }

    // The suite operations, with OpenFX status codes.
    OfxStatus setPointer(const char* name, int index, void* value);
    OfxStatus setString(const char* name, int index, const char* value);
    OfxStatus setDouble(const char* name, int index, double value);
    OfxStatus setInt(const char* name, int index, int value);
    OfxStatus setPointerN(const char* name, int count, void* const* values);
    OfxStatus setStringN(const char* name, int count, const char* const* values);
    OfxStatus setDoubleN(const char* name, int count, const double* values);
    OfxStatus setIntN(const char* name, int count, const int* values);
    OfxStatus getPointer(const char* name, int index, void** value) const;
    OfxStatus getString(const char* name, int index, char** value) const;
    OfxStatus getDouble(const char* name, int index, double* value) const;
    OfxStatus getInt(const char* name, int index, int* value) const;
    OfxStatus getPointerN(const char* name, int count, void** values) const;
    OfxStatus getStringN(const char* name, int count, char** values) const;
    OfxStatus getDoubleN(const char* name, int count, double* values) const;
    OfxStatus getIntN(const char* name, int count, int* values) const;
    OfxStatus reset(const char* name);
    OfxStatus getDimension(const char* name, int* dimension) const;

    // Convenience reads for the host's own code; a missing value gives the fallback.
    bool has(const std::string& name) const;
    int dimension(const std::string& name) const;  // -1 when missing
    std::string string(const std::string& name, int index = 0, const std::string& fallback = "") const;
    std::vector<std::string> strings(const std::string& name) const;
    double number(const std::string& name, int index = 0, double fallback = 0.0) const;
    std::vector<double> doubles(const std::string& name) const;
    int integer(const std::string& name, int index = 0, int fallback = 0) const;
    std::vector<int> ints(const std::string& name) const;
    void* pointer(const std::string& name, int index = 0) const;
    bool typeOf(const std::string& name, PropType* type) const;
    std::vector<std::string> names() const;

    // Host-side writes that create or overwrite without the plug-in's rules.
    void putString(const std::string& name, std::vector<std::string> values);
    void putDouble(const std::string& name, std::vector<double> values);
    void putInt(const std::string& name, std::vector<int> values);
    void putPointer(const std::string& name, std::vector<void*> values);

  private:
    template <typename T>
    OfxStatus setOne(const char* name, int index, PropType type, const T& value);
    template <typename T>
    OfxStatus getOne(const char* name, int index, PropType type, T* value) const;
    template <typename T>
    OfxStatus getMany(const char* name, int count, PropType type, T* values) const;
    // Finds or (when extensible) creates the property for a write of the given type.
    OfxStatus writable(const char* name, PropType type, Property** property);
    const Property* find(const char* name) const;

    std::string kind_;
    bool extensible_;
    std::vector<std::string> rejected_;
    std::map<std::string, Property> properties_;
    mutable std::recursive_mutex mutex_;
};

}  // namespace vhost
