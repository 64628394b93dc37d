#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "HandleTag.h"
#include "ParamValue.h"
#include "PropertySet.h"
#include "ofxParam.h"

namespace vhost {

enum class ParamKind {
    Integer,
    Double,
    Boolean,
    Choice,
    StrChoice,
    RGBA,
    RGB,
    Double2D,
    Integer2D,
    Double3D,
    Integer3D,
    String,
    Custom,
    Bytes,
    Group,
    Page,
    PushButton,
    Parametric
};

// The kind for an OpenFX parameter type name; false for a name that is no parameter type.
bool paramKindFromType(const std::string& typeName, ParamKind* kind);
// Short lower-case name of a kind ("double", "choice", "rgba", ...).
const char* paramKindName(ParamKind kind);

class ParamSet;

// One parameter: its properties, its value (or keyframes) and, for parametric parameters, its
// curves. Numeric values of every kind are stored as doubles, one per component.
class Param : public HandleTag {
  public:
    static constexpr HandleKind kHandleKind = HandleKind::Param;
    using Point = std::pair<double, double>;

    Param(ParamSet* owner, std::string name, ParamKind kind, const std::string& typeName);
    // An instance parameter made from its descriptor; the value starts at the default.
    Param(ParamSet* owner, const Param& descriptor);

    OfxParamHandle handle() { return toHandle<OfxParamHandle>(this); }
    static Param* from(OfxParamHandle handle) { return fromHandle<Param>(handle); }

    const std::string& name() const { return name_; }
    ParamKind kind() const { return kind_; }
    PropertySet& props() { return props_; }
    const PropertySet& props() const { return props_; }
    ParamSet* owner() const { return owner_; }

    int components() const;   // values per time: 1 to 4, 0 for valueless kinds
    bool isNumeric() const;   // value held as doubles
    bool isText() const;      // string, custom, string choice, bytes
    bool isIntegral() const;  // integer kinds, booleans and choices
    bool hasValue() const { return components() > 0; }

    // Value at a time: keyframes interpolated (linear for real kinds, rounded for integer kinds,
    // stepped for flags, choices and texts), else the static value.
    std::vector<double> numbersAt(double time) const;
    std::string textAt(double time) const;
    ParamValue valueAt(double time) const;

    // Writes: clamp to the parameter's range. With keyframes, a plain set writes a key at time.
    void setNumbers(std::vector<double> values, double time, bool asKey);
    void setText(std::string text, double time, bool asKey);
    // Converts and stores a caller's value; throws std::invalid_argument with a clear message.
    void assign(const ParamValue& value, double time, bool asKey);

    // Keyframes.
    std::vector<double> keyTimes() const;
    bool deleteKey(double time);
    void deleteAllKeys();
    bool animates() const;

    // Derivative and integral of one component (real kinds).
    double derivative(double time, int component) const;
    double integral(double t1, double t2, int component) const;

    // Parametric curves (control points sorted by x).
    std::vector<std::vector<Point>>& curves() { return curves_; }
    const std::vector<std::vector<Point>>& curves() const { return curves_; }
    double curveValue(int curve, double x) const;

    // Copies value and keys (within a range when given) from another parameter of the same kind.
    bool copyFrom(const Param& other, double offset, const OfxRangeD* range);

    // The whole value state, for undo.
    struct State {
        std::vector<double> numbers;
        std::string text;
        std::map<double, std::vector<double>> numberKeys;
        std::map<double, std::string> textKeys;
        std::vector<std::vector<Point>> curves;
    };
    State snapshot() const;
    void restore(const State& state);

  private:
    void declareProperties(const std::string& typeName);
    std::vector<double> clamp(std::vector<double> values) const;
    std::vector<double> defaultNumbers() const;

    ParamSet* owner_;
    std::string name_;
    ParamKind kind_;
    PropertySet props_;
    std::vector<double> numbers_;
    std::string text_;
    std::map<double, std::vector<double>> numberKeys_;
    std::map<double, std::string> textKeys_;
    std::vector<std::vector<Point>> curves_;
    mutable std::mutex mutex_;
};

}  // namespace vhost
