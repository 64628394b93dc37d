#include "PropertySet.h"

#include <algorithm>

namespace vhost {

const char* propTypeName(PropType type) {
    switch (type) {
        case PropType::Pointer:
            return "pointer";
        case PropType::String:
            return "string";
        case PropType::Double:
            return "double";
        case PropType::Int:
            return "int";
    }
    return "unknown";
}

int Property::dimension() const {
    switch (type) {
        case PropType::Pointer:
            return static_cast<int>(pointers.size());
        case PropType::String:
            return static_cast<int>(strings.size());
        case PropType::Double:
            return static_cast<int>(doubles.size());
        case PropType::Int:
            return static_cast<int>(ints.size());
    }
    return 0;
}

namespace {

template <typename T>
std::vector<T>& valuesOf(Property& p);
template <>
std::vector<void*>& valuesOf<void*>(Property& p) {
    return p.pointers;
}
template <>
std::vector<std::string>& valuesOf<std::string>(Property& p) {
    return p.strings;
}
template <>
std::vector<double>& valuesOf<double>(Property& p) {
    return p.doubles;
}
template <>
std::vector<int>& valuesOf<int>(Property& p) {
    return p.ints;
}

template <typename T>
const std::vector<T>& valuesOf(const Property& p) {
    return valuesOf<T>(const_cast<Property&>(p));
}

// What a getter hands out for a stored value.
inline void* exported(void* v) {
    return v;
}
inline double exported(double v) {
    return v;
}
inline int exported(int v) {
    return v;
}
inline char* exported(const std::string& v) {
    return const_cast<char*>(v.c_str());
}

template <typename Out, typename Stored>
void store(Out* out, const Stored& v) {
    *out = exported(v);
}

}  // namespace

PropertySet::PropertySet(std::string kind, bool extensible)
    : HandleTag(kHandleKind), kind_(std::move(kind)), extensible_(extensible) {}

PropertySet::PropertySet(const PropertySet& other)
    : HandleTag(kHandleKind), kind_(other.kind_), extensible_(other.extensible_), rejected_(other.rejected_) {
    std::lock_guard<std::recursive_mutex> lock(other.mutex_);
    properties_ = other.properties_;
}

PropertySet& PropertySet::operator=(const PropertySet& other) {
    if (this == &other) return *this;
    std::map<std::string, Property> copy;
    {
        std::lock_guard<std::recursive_mutex> lock(other.mutex_);
        copy = other.properties_;
    }
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    kind_ = other.kind_;
    extensible_ = other.extensible_;
    rejected_ = other.rejected_;
    properties_ = std::move(copy);
    return *this;
}

void PropertySet::declareString(const std::string& name, std::vector<std::string> values, int fixedDim) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Property& p = properties_[name];
    p = Property{};
    p.type = PropType::String;
    p.fixedDimension = fixedDim;
    p.defaultStrings = values;
    p.strings = std::move(values);
}

void PropertySet::declareDouble(const std::string& name, std::vector<double> values, int fixedDim) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Property& p = properties_[name];
    p = Property{};
    p.type = PropType::Double;
    p.fixedDimension = fixedDim;
    p.defaultDoubles = values;
    p.doubles = std::move(values);
}

void PropertySet::declareInt(const std::string& name, std::vector<int> values, int fixedDim) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Property& p = properties_[name];
    p = Property{};
    p.type = PropType::Int;
    p.fixedDimension = fixedDim;
    p.defaultInts = values;
    p.ints = std::move(values);
}

void PropertySet::declarePointer(const std::string& name, std::vector<void*> values, int fixedDim) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Property& p = properties_[name];
    p = Property{};
    p.type = PropType::Pointer;
    p.fixedDimension = fixedDim;
    p.defaultPointers = values;
    p.pointers = std::move(values);
}

const Property* PropertySet::find(const char* name) const {
    if (name == nullptr) return nullptr;
    auto it = properties_.find(name);
    return it == properties_.end() ? nullptr : &it->second;
}

OfxStatus PropertySet::writable(const char* name, PropType type, Property** property) {
    if (name == nullptr) return kOfxStatErrUnknown;
    // A rejected name is unknown even where the set declares it by default.
    if (std::find(rejected_.begin(), rejected_.end(), name) != rejected_.end()) return kOfxStatErrUnknown;
    auto it = properties_.find(name);
    if (it == properties_.end()) {
        if (!extensible_) return kOfxStatErrUnknown;
        Property fresh;
        fresh.type = type;
        it = properties_.emplace(name, std::move(fresh)).first;
    }
    if (it->second.type != type) return kOfxStatErrValue;
    *property = &it->second;
    return kOfxStatOK;
}

template <typename T>
OfxStatus PropertySet::setOne(const char* name, int index, PropType type, const T& value) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (index < 0) return kOfxStatErrBadIndex;
    Property* p = nullptr;
    OfxStatus status = writable(name, type, &p);
    if (status != kOfxStatOK) return status;
    auto& values = valuesOf<T>(*p);
    if (p->fixedDimension > 0) {
        if (index >= p->fixedDimension) return kOfxStatErrBadIndex;
        if (values.size() < static_cast<size_t>(p->fixedDimension)) values.resize(p->fixedDimension);
    } else if (static_cast<size_t>(index) > values.size()) {
        // A variable-dimension property grows one value at a time.
        return kOfxStatErrBadIndex;
    } else if (static_cast<size_t>(index) == values.size()) {
        values.emplace_back();
    }
    values[index] = value;
    return kOfxStatOK;
}

namespace {

template <typename Stored, typename In>
OfxStatus assignMany(Property& p, int count, const In* values) {
    auto& stored = valuesOf<Stored>(p);
    if (p.fixedDimension > 0) {
        if (count > p.fixedDimension) return kOfxStatErrBadIndex;
        if (stored.size() < static_cast<size_t>(p.fixedDimension)) stored.resize(p.fixedDimension);
        for (int i = 0; i < count; ++i) stored[i] = Stored(values[i]);
    } else {
        stored.assign(values, values + count);
    }
    return kOfxStatOK;
}

}  // namespace

OfxStatus PropertySet::setPointer(const char* name, int index, void* value) {
    return setOne<void*>(name, index, PropType::Pointer, value);
}
OfxStatus PropertySet::setString(const char* name, int index, const char* value) {
    if (value == nullptr) return kOfxStatErrValue;
    return setOne<std::string>(name, index, PropType::String, std::string(value));
}
OfxStatus PropertySet::setDouble(const char* name, int index, double value) {
    return setOne<double>(name, index, PropType::Double, value);
}
OfxStatus PropertySet::setInt(const char* name, int index, int value) {
    return setOne<int>(name, index, PropType::Int, value);
}

#define VHOST_SET_MANY(Stored, Type, In)                                           \
    std::lock_guard<std::recursive_mutex> lock(mutex_);                            \
    if (count < 0 || (count > 0 && values == nullptr)) return kOfxStatErrBadIndex; \
    Property* p = nullptr;                                                         \
    OfxStatus status = writable(name, Type, &p);                                   \
    if (status != kOfxStatOK) return status;                                       \
    return assignMany<Stored, In>(*p, count, values);

OfxStatus PropertySet::setPointerN(const char* name, int count, void* const* values){
    VHOST_SET_MANY(void*, PropType::Pointer,
                   void*)} OfxStatus PropertySet::setStringN(const char* name, int count,
                                                             const char* const* values) {
    if (values != nullptr)
        for (int i = 0; i < count; ++i)
            if (values[i] == nullptr) return kOfxStatErrValue;
    VHOST_SET_MANY(std::string, PropType::String, const char*)
}
OfxStatus PropertySet::setDoubleN(const char* name, int count, const double* values){
    VHOST_SET_MANY(double, PropType::Double,
                   double)} OfxStatus PropertySet::setIntN(const char* name, int count, const int* values) {
    VHOST_SET_MANY(int, PropType::Int, int)
}
#undef VHOST_SET_MANY

template <typename T>
OfxStatus PropertySet::getOne(const char* name, int index, PropType type, T* value) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const Property* p = find(name);
    if (p == nullptr) return kOfxStatErrUnknown;
    if (p->type != type) return kOfxStatErrValue;
    if (value == nullptr) return kOfxStatErrBadHandle;
    switch (type) {
        case PropType::Pointer: {
            const auto& v = p->pointers;
            if (index < 0 || static_cast<size_t>(index) >= v.size()) return kOfxStatErrBadIndex;
            store(reinterpret_cast<void**>(value), v[index]);
            break;
        }
        case PropType::String: {
            const auto& v = p->strings;
            if (index < 0 || static_cast<size_t>(index) >= v.size()) return kOfxStatErrBadIndex;
            store(reinterpret_cast<char**>(value), v[index]);
            break;
        }
        case PropType::Double: {
            const auto& v = p->doubles;
            if (index < 0 || static_cast<size_t>(index) >= v.size()) return kOfxStatErrBadIndex;
            store(reinterpret_cast<double*>(value), v[index]);
            break;
        }
        case PropType::Int: {
            const auto& v = p->ints;
            if (index < 0 || static_cast<size_t>(index) >= v.size()) return kOfxStatErrBadIndex;
            store(reinterpret_cast<int*>(value), v[index]);
            break;
        }
    }
    return kOfxStatOK;
}

template <typename T>
OfxStatus PropertySet::getMany(const char* name, int count, PropType type, T* values) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const Property* p = find(name);
    if (p == nullptr) return kOfxStatErrUnknown;
    if (p->type != type) return kOfxStatErrValue;
    if (count < 0 || count > p->dimension()) return kOfxStatErrBadIndex;
    if (count > 0 && values == nullptr) return kOfxStatErrBadHandle;
    for (int i = 0; i < count; ++i) {
        OfxStatus status = getOne(name, i, type, &values[i]);
        if (status != kOfxStatOK) return status;
    }
    return kOfxStatOK;
}

OfxStatus PropertySet::getPointer(const char* name, int index, void** value) const {
    return getOne(name, index, PropType::Pointer, value);
}
OfxStatus PropertySet::getString(const char* name, int index, char** value) const {
    return getOne(name, index, PropType::String, value);
}
OfxStatus PropertySet::getDouble(const char* name, int index, double* value) const {
    return getOne(name, index, PropType::Double, value);
}
OfxStatus PropertySet::getInt(const char* name, int index, int* value) const {
    return getOne(name, index, PropType::Int, value);
}
OfxStatus PropertySet::getPointerN(const char* name, int count, void** values) const {
    return getMany(name, count, PropType::Pointer, values);
}
OfxStatus PropertySet::getStringN(const char* name, int count, char** values) const {
    return getMany(name, count, PropType::String, values);
}
OfxStatus PropertySet::getDoubleN(const char* name, int count, double* values) const {
    return getMany(name, count, PropType::Double, values);
}
OfxStatus PropertySet::getIntN(const char* name, int count, int* values) const {
    return getMany(name, count, PropType::Int, values);
}

OfxStatus PropertySet::reset(const char* name) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (name == nullptr) return kOfxStatErrUnknown;
    auto it = properties_.find(name);
    if (it == properties_.end()) return kOfxStatErrUnknown;
    Property& p = it->second;
    p.pointers = p.defaultPointers;
    p.strings = p.defaultStrings;
    p.doubles = p.defaultDoubles;
    p.ints = p.defaultInts;
    return kOfxStatOK;
}

OfxStatus PropertySet::getDimension(const char* name, int* dimension) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const Property* p = find(name);
    if (p == nullptr) return kOfxStatErrUnknown;
    if (dimension == nullptr) return kOfxStatErrBadHandle;
    *dimension = p->dimension();
    return kOfxStatOK;
}

bool PropertySet::has(const std::string& name) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return properties_.count(name) != 0;
}

int PropertySet::dimension(const std::string& name) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const Property* p = find(name.c_str());
    return p ? p->dimension() : -1;
}

std::string PropertySet::string(const std::string& name, int index, const std::string& fallback) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const Property* p = find(name.c_str());
    if (!p || p->type != PropType::String || index < 0 || static_cast<size_t>(index) >= p->strings.size())
        return fallback;
    return p->strings[index];
}

std::vector<std::string> PropertySet::strings(const std::string& name) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const Property* p = find(name.c_str());
    return p && p->type == PropType::String ? p->strings : std::vector<std::string>{};
}

double PropertySet::number(const std::string& name, int index, double fallback) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const Property* p = find(name.c_str());
    if (!p || index < 0) return fallback;
    if (p->type == PropType::Double && static_cast<size_t>(index) < p->doubles.size())
        return p->doubles[index];
    if (p->type == PropType::Int && static_cast<size_t>(index) < p->ints.size()) return p->ints[index];
    return fallback;
}

std::vector<double> PropertySet::doubles(const std::string& name) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const Property* p = find(name.c_str());
    if (!p) return {};
    if (p->type == PropType::Double) return p->doubles;
    if (p->type == PropType::Int) return std::vector<double>(p->ints.begin(), p->ints.end());
    return {};
}

int PropertySet::integer(const std::string& name, int index, int fallback) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const Property* p = find(name.c_str());
    if (!p || p->type != PropType::Int || index < 0 || static_cast<size_t>(index) >= p->ints.size())
        return fallback;
    return p->ints[index];
}

std::vector<int> PropertySet::ints(const std::string& name) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const Property* p = find(name.c_str());
    return p && p->type == PropType::Int ? p->ints : std::vector<int>{};
}

void* PropertySet::pointer(const std::string& name, int index) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const Property* p = find(name.c_str());
    if (!p || p->type != PropType::Pointer || index < 0 || static_cast<size_t>(index) >= p->pointers.size())
        return nullptr;
    return p->pointers[index];
}

bool PropertySet::typeOf(const std::string& name, PropType* type) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const Property* p = find(name.c_str());
    if (!p) return false;
    *type = p->type;
    return true;
}

std::vector<std::string> PropertySet::names() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<std::string> out;
    for (const auto& entry : properties_) out.push_back(entry.first);
    return out;
}

void PropertySet::putString(const std::string& name, std::vector<std::string> values) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Property& p = properties_[name];
    if (p.type != PropType::String) p = Property{PropType::String};
    p.strings = std::move(values);
}

void PropertySet::putDouble(const std::string& name, std::vector<double> values) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Property& p = properties_[name];
    if (p.type != PropType::Double) p = Property{PropType::Double};
    p.doubles = std::move(values);
}

void PropertySet::putInt(const std::string& name, std::vector<int> values) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Property& p = properties_[name];
    if (p.type != PropType::Int) p = Property{PropType::Int};
    p.ints = std::move(values);
}

void PropertySet::putPointer(const std::string& name, std::vector<void*> values) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Property& p = properties_[name];
    if (p.type != PropType::Pointer) p = Property{PropType::Pointer};
    p.pointers = std::move(values);
}

}  // namespace vhost
