#include "Param.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <locale>
#include <sstream>
#include <stdexcept>

#include "ofxParametricParam.h"

namespace vhost {

namespace {

struct KindEntry {
    const char* type;
    ParamKind kind;
    const char* shortName;
};

const KindEntry kKinds[] = {
    {kOfxParamTypeInteger, ParamKind::Integer, "integer"},
    {kOfxParamTypeDouble, ParamKind::Double, "double"},
    {kOfxParamTypeBoolean, ParamKind::Boolean, "boolean"},
    {kOfxParamTypeChoice, ParamKind::Choice, "choice"},
    {kOfxParamTypeStrChoice, ParamKind::StrChoice, "strchoice"},
    {kOfxParamTypeRGBA, ParamKind::RGBA, "rgba"},
    {kOfxParamTypeRGB, ParamKind::RGB, "rgb"},
    {kOfxParamTypeDouble2D, ParamKind::Double2D, "double2d"},
    {kOfxParamTypeInteger2D, ParamKind::Integer2D, "integer2d"},
    {kOfxParamTypeDouble3D, ParamKind::Double3D, "double3d"},
    {kOfxParamTypeInteger3D, ParamKind::Integer3D, "integer3d"},
    {kOfxParamTypeString, ParamKind::String, "string"},
    {kOfxParamTypeCustom, ParamKind::Custom, "custom"},
    {kOfxParamTypeBytes, ParamKind::Bytes, "bytes"},
    {kOfxParamTypeGroup, ParamKind::Group, "group"},
    {kOfxParamTypePage, ParamKind::Page, "page"},
    {kOfxParamTypePushButton, ParamKind::PushButton, "pushbutton"},
    {kOfxParamTypeParametric, ParamKind::Parametric, "parametric"},
};

std::string numberText(double v) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << v;
    return out.str();
}

}  // namespace

bool paramKindFromType(const std::string& typeName, ParamKind* kind) {
    for (const auto& entry : kKinds)
        if (typeName == entry.type) {
            *kind = entry.kind;
            return true;
        }
    return false;
}

const char* paramKindName(ParamKind kind) {
    for (const auto& entry : kKinds)
        if (entry.kind == kind) return entry.shortName;
    return "unknown";
}

std::string toText(const ParamValue& value) {
    struct Visitor {
        std::string operator()(bool v) const { return v ? "true" : "false"; }
        std::string operator()(int v) const { return std::to_string(v); }
        std::string operator()(double v) const { return numberText(v); }
        std::string operator()(const std::string& v) const { return v; }
        std::string operator()(const std::vector<double>& v) const {
            std::string out;
            for (size_t i = 0; i < v.size(); ++i) out += (i ? "," : "") + numberText(v[i]);
            return out;
        }
    };
    return std::visit(Visitor{}, value);
}

Param::Param(ParamSet* owner, std::string name, ParamKind kind, const std::string& typeName)
    : HandleTag(kHandleKind), owner_(owner), name_(std::move(name)), kind_(kind), props_(kOfxTypeParameter) {
    declareProperties(typeName);
    numbers_ = defaultNumbers();
    text_ = props_.string(kOfxParamPropDefault);
    if (kind_ == ParamKind::Parametric) curves_.resize(1);
}

Param::Param(ParamSet* owner, const Param& descriptor)
    : HandleTag(kHandleKind),
      owner_(owner),
      name_(descriptor.name_),
      kind_(descriptor.kind_),
      props_(descriptor.props_),
      curves_(descriptor.curves_) {
    props_.putString(kOfxPropType, {kOfxTypeParameterInstance});
    numbers_ = clamp(defaultNumbers());
    text_ = props_.string(kOfxParamPropDefault);
    if (kind_ == ParamKind::Parametric) {
        int dims = std::max(1, props_.integer(kOfxParamPropParametricDimension, 0, 1));
        curves_.resize(static_cast<size_t>(dims));
    }
}

int Param::components() const {
    switch (kind_) {
        case ParamKind::Integer:
        case ParamKind::Double:
        case ParamKind::Boolean:
        case ParamKind::Choice:
            return 1;
        case ParamKind::Double2D:
        case ParamKind::Integer2D:
            return 2;
        case ParamKind::RGB:
        case ParamKind::Double3D:
        case ParamKind::Integer3D:
            return 3;
        case ParamKind::RGBA:
            return 4;
        case ParamKind::StrChoice:
        case ParamKind::String:
        case ParamKind::Custom:
        case ParamKind::Bytes:
            return 1;
        default:
            return 0;
    }
}

bool Param::isText() const {
    return kind_ == ParamKind::StrChoice || kind_ == ParamKind::String || kind_ == ParamKind::Custom ||
           kind_ == ParamKind::Bytes;
}

bool Param::isNumeric() const {
    return hasValue() && !isText();
}

bool Param::isIntegral() const {
    return kind_ == ParamKind::Integer || kind_ == ParamKind::Boolean || kind_ == ParamKind::Choice ||
           kind_ == ParamKind::Integer2D || kind_ == ParamKind::Integer3D;
}

void Param::declareProperties(const std::string& typeName) {
    PropertySet& p = props_;
    p.declareString(kOfxPropType, kOfxTypeParameter);
    p.declareString(kOfxPropName, name_);
    p.declareString(kOfxPropLabel, name_);
    p.declareString(kOfxPropShortLabel, name_);
    p.declareString(kOfxPropLongLabel, name_);
    p.declareString(kOfxParamPropType, typeName);
    p.declareString(kOfxParamPropScriptName, name_);
    p.declareString(kOfxParamPropHint, "");
    p.declareString(kOfxParamPropParent, "");
    p.declareInt(kOfxParamPropSecret, 0);
    p.declareInt(kOfxParamPropEnabled, 1);
    p.declarePointer(kOfxParamPropDataPtr, nullptr);
    p.declareString(kOfxPropIcon, {"", ""}, 2);
    p.declarePointer(kOfxParamPropInteractV1, nullptr);
    if (kind_ == ParamKind::Group) {
        p.declareInt(kOfxParamPropGroupOpen, 1);
        return;
    }
    if (kind_ == ParamKind::Page) {
        p.declareString(kOfxParamPropPageChild, std::vector<std::string>{});
        return;
    }
    if (kind_ == ParamKind::PushButton) return;

    const bool text = isText();
    p.declareInt(kOfxParamPropAnimates, text ? 0 : 1);
    p.declareInt(kOfxParamPropIsAnimating, 0);
    p.declareInt(kOfxParamPropIsAutoKeying, 0);
    p.declareInt(kOfxParamPropPersistant, 1);
    p.declareInt(kOfxParamPropEvaluateOnChange, 1);
    p.declareInt(kOfxParamPropPluginMayWrite, 0);
    p.declareInt(kOfxParamPropCanUndo, 1);
    p.declareString(kOfxParamPropCacheInvalidation, kOfxParamInvalidateValueChange);

    const int n = components();
    if (text) {
        p.declareString(kOfxParamPropDefault, "");
        if (kind_ == ParamKind::String) {
            p.declareString(kOfxParamPropStringMode, kOfxParamStringIsSingleLine);
            p.declareInt(kOfxParamPropStringFilePathExists, 1);
        }
        if (kind_ == ParamKind::StrChoice) {
            p.declareString(kOfxParamPropChoiceOption, std::vector<std::string>{});
            p.declareString(kOfxParamPropChoiceEnum, std::vector<std::string>{});
        }
        if (kind_ == ParamKind::Custom) p.declarePointer(kOfxParamPropCustomInterpCallbackV1, nullptr);
        return;
    }
    if (kind_ == ParamKind::Parametric) {
        p.declareInt(kOfxParamPropParametricDimension, 1);
        p.declareDouble(kOfxParamPropParametricUIColour, std::vector<double>{});
        p.declarePointer(kOfxParamPropParametricInteractBackground, nullptr);
        p.declareDouble(kOfxParamPropParametricRange, {0.0, 1.0}, 2);
        return;
    }
    if (isIntegral()) {
        p.declareInt(kOfxParamPropDefault, std::vector<int>(n, 0), n);
        if (kind_ == ParamKind::Choice) {
            p.declareString(kOfxParamPropChoiceOption, std::vector<std::string>{});
            p.declareInt(kOfxParamPropChoiceOrder, std::vector<int>{});
        } else if (kind_ != ParamKind::Boolean) {
            p.declareInt(kOfxParamPropMin, std::vector<int>(n, INT_MIN), n);
            p.declareInt(kOfxParamPropMax, std::vector<int>(n, INT_MAX), n);
            p.declareInt(kOfxParamPropDisplayMin, std::vector<int>(n, INT_MIN), n);
            p.declareInt(kOfxParamPropDisplayMax, std::vector<int>(n, INT_MAX), n);
        }
    } else {
        const bool colour = kind_ == ParamKind::RGB || kind_ == ParamKind::RGBA;
        p.declareDouble(kOfxParamPropDefault, std::vector<double>(n, 0.0), n);
        p.declareDouble(kOfxParamPropMin, std::vector<double>(n, colour ? 0.0 : -DBL_MAX), n);
        p.declareDouble(kOfxParamPropMax, std::vector<double>(n, colour ? 1.0 : DBL_MAX), n);
        p.declareDouble(kOfxParamPropDisplayMin, std::vector<double>(n, colour ? 0.0 : -DBL_MAX), n);
        p.declareDouble(kOfxParamPropDisplayMax, std::vector<double>(n, colour ? 1.0 : DBL_MAX), n);
        if (!colour) {
            p.declareDouble(kOfxParamPropIncrement, 1.0);
            p.declareInt(kOfxParamPropDigits, 2);
            p.declareString(kOfxParamPropDoubleType, kOfxParamDoubleTypePlain);
            p.declareString(kOfxParamPropDefaultCoordinateSystem, kOfxParamCoordinatesCanonical);
        }
        if (kind_ == ParamKind::Double) p.declareInt(kOfxParamPropShowTimeMarker, 0);
    }
    if (n == 2) p.declareString(kOfxParamPropDimensionLabel, {"x", "y"}, 2);
    if (n == 3) {
        if (kind_ == ParamKind::RGB)
            p.declareString(kOfxParamPropDimensionLabel, {"r", "g", "b"}, 3);
        else
            p.declareString(kOfxParamPropDimensionLabel, {"x", "y", "z"}, 3);
    }
    if (n == 4) p.declareString(kOfxParamPropDimensionLabel, {"r", "g", "b", "a"}, 4);
}

std::vector<double> Param::defaultNumbers() const {
    if (!isNumeric() || kind_ == ParamKind::Parametric) return {};
    std::vector<double> values = props_.doubles(kOfxParamPropDefault);
    values.resize(static_cast<size_t>(components()), 0.0);
    return values;
}

std::vector<double> Param::clamp(std::vector<double> values) const {
    const std::vector<double> lo = props_.doubles(kOfxParamPropMin);
    const std::vector<double> hi = props_.doubles(kOfxParamPropMax);
    for (size_t i = 0; i < values.size(); ++i) {
        double& v = values[i];
        if (std::isnan(v)) v = 0.0;
        if (i < lo.size() && i < hi.size() && lo[i] <= hi[i]) v = std::min(std::max(v, lo[i]), hi[i]);
        if (isIntegral()) v = std::round(v);
    }
    if (kind_ == ParamKind::Boolean && !values.empty()) values[0] = values[0] != 0.0 ? 1.0 : 0.0;
    if (kind_ == ParamKind::Choice && !values.empty()) values[0] = std::max(0.0, values[0]);
    return values;
}

bool Param::animates() const {
    return props_.integer(kOfxParamPropAnimates, 0, 0) != 0;
}

std::vector<double> Param::numbersAt(double time) const {
    std::lock_guard<std::mutex> guard(mutex_);
    if (numberKeys_.empty()) return numbers_;
    auto after = numberKeys_.lower_bound(time);
    if (after == numberKeys_.begin()) return after->second;
    if (after == numberKeys_.end()) return std::prev(after)->second;
    if (after->first == time) return after->second;
    auto before = std::prev(after);
    const bool stepped = kind_ == ParamKind::Boolean || kind_ == ParamKind::Choice;
    if (stepped) return before->second;
    const double f = (time - before->first) / (after->first - before->first);
    std::vector<double> out(before->second.size());
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = before->second[i] + f * (after->second[i] - before->second[i]);
        if (isIntegral()) out[i] = std::round(out[i]);
    }
    return out;
}

std::string Param::textAt(double time) const {
    std::lock_guard<std::mutex> guard(mutex_);
    if (textKeys_.empty()) return text_;
    auto after = textKeys_.upper_bound(time);
    if (after == textKeys_.begin()) return after->second;
    return std::prev(after)->second;
}

ParamValue Param::valueAt(double time) const {
    if (isText()) return textAt(time);
    std::vector<double> v = numbersAt(time);
    if (v.empty()) return std::vector<double>{};
    switch (kind_) {
        case ParamKind::Boolean:
            return v[0] != 0.0;
        case ParamKind::Integer:
        case ParamKind::Choice:
            return static_cast<int>(v[0]);
        case ParamKind::Double:
            return v[0];
        default:
            return v;
    }
}

void Param::setNumbers(std::vector<double> values, double time, bool asKey) {
    values.resize(static_cast<size_t>(components()), 0.0);
    values = clamp(std::move(values));
    std::lock_guard<std::mutex> guard(mutex_);
    if ((asKey && animates()) || !numberKeys_.empty())
        numberKeys_[time] = values;
    else
        numbers_ = values;
    props_.putInt(kOfxParamPropIsAnimating, {numberKeys_.empty() ? 0 : 1});
}

void Param::setText(std::string text, double time, bool asKey) {
    std::lock_guard<std::mutex> guard(mutex_);
    if ((asKey && animates()) || !textKeys_.empty())
        textKeys_[time] = std::move(text);
    else
        text_ = std::move(text);
    props_.putInt(kOfxParamPropIsAnimating, {textKeys_.empty() ? 0 : 1});
}

void Param::assign(const ParamValue& value, double time, bool asKey) {
    const std::string where = "parameter '" + name_ + "' (" + paramKindName(kind_) + ")";
    if (!hasValue() || kind_ == ParamKind::Parametric) throw std::invalid_argument(where + " holds no value");
    if (isText()) {
        if (!std::holds_alternative<std::string>(value))
            throw std::invalid_argument(where + " takes a text, not " + toText(value));
        setText(std::get<std::string>(value), time, asKey);
        return;
    }
    const int n = components();
    std::vector<double> numbers;
    if (const auto* b = std::get_if<bool>(&value)) {
        numbers = {*b ? 1.0 : 0.0};
    } else if (const auto* i = std::get_if<int>(&value)) {
        numbers = {static_cast<double>(*i)};
    } else if (const auto* d = std::get_if<double>(&value)) {
        if (isIntegral() && std::floor(*d) != *d)
            throw std::invalid_argument(where + " takes a whole number, not " + toText(value));
        numbers = {*d};
    } else if (const auto* v = std::get_if<std::vector<double>>(&value)) {
        numbers = *v;
    } else if (const auto* s = std::get_if<std::string>(&value)) {
        // A choice may be given by its option text.
        const std::vector<std::string> options = props_.strings(kOfxParamPropChoiceOption);
        auto it = std::find(options.begin(), options.end(), *s);
        if (kind_ != ParamKind::Choice || it == options.end())
            throw std::invalid_argument(where + " does not take the text '" + *s + "'");
        numbers = {static_cast<double>(it - options.begin())};
    }
    if (static_cast<int>(numbers.size()) != n)
        throw std::invalid_argument(where + " takes " + std::to_string(n) + " value(s), got " +
                                    std::to_string(numbers.size()));
    for (double x : numbers)
        if (!std::isfinite(x)) throw std::invalid_argument(where + " takes finite numbers only");
    if (kind_ == ParamKind::Choice) {
        const int count = props_.dimension(kOfxParamPropChoiceOption);
        if (numbers[0] < 0 || (count >= 0 && numbers[0] >= count))
            throw std::invalid_argument(where + " has " + std::to_string(std::max(count, 0)) +
                                        " options; index " + toText(value) + " is out of range");
    }
    setNumbers(std::move(numbers), time, asKey);
}

std::vector<double> Param::keyTimes() const {
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<double> times;
    for (const auto& k : numberKeys_) times.push_back(k.first);
    for (const auto& k : textKeys_) times.push_back(k.first);
    return times;
}

bool Param::deleteKey(double time) {
    std::lock_guard<std::mutex> guard(mutex_);
    auto n = numberKeys_.find(time);
    if (n != numberKeys_.end()) {
        // The last key's value stays as the static value.
        if (numberKeys_.size() == 1) numbers_ = n->second;
        numberKeys_.erase(n);
        return true;
    }
    auto t = textKeys_.find(time);
    if (t != textKeys_.end()) {
        if (textKeys_.size() == 1) text_ = t->second;
        textKeys_.erase(t);
        return true;
    }
    return false;
}

void Param::deleteAllKeys() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!numberKeys_.empty()) numbers_ = numberKeys_.begin()->second;
    if (!textKeys_.empty()) text_ = textKeys_.begin()->second;
    numberKeys_.clear();
    textKeys_.clear();
    props_.putInt(kOfxParamPropIsAnimating, {0});
}

double Param::derivative(double time, int component) const {
    std::lock_guard<std::mutex> guard(mutex_);
    if (numberKeys_.size() < 2) return 0.0;
    auto after = numberKeys_.upper_bound(time);
    if (after == numberKeys_.begin() || after == numberKeys_.end()) return 0.0;
    auto before = std::prev(after);
    return (after->second[component] - before->second[component]) / (after->first - before->first);
}

double Param::integral(double t1, double t2, int component) const {
    if (t2 < t1) return -integral(t2, t1, component);
    std::vector<double> cuts{t1};
    for (double t : keyTimes())
        if (t > t1 && t < t2) cuts.push_back(t);
    cuts.push_back(t2);
    double sum = 0.0;
    // The value is piecewise linear between keys, so the trapezoid rule is exact per piece.
    for (size_t i = 0; i + 1 < cuts.size(); ++i) {
        const double a = numbersAt(cuts[i])[component];
        const double b = numbersAt(cuts[i + 1])[component];
        sum += 0.5 * (a + b) * (cuts[i + 1] - cuts[i]);
    }
    return sum;
}

double Param::curveValue(int curve, double x) const {
    std::lock_guard<std::mutex> guard(mutex_);
    if (curve < 0 || static_cast<size_t>(curve) >= curves_.size()) return 0.0;
    const auto& points = curves_[curve];
    if (points.empty()) return 0.0;
    if (x <= points.front().first) return points.front().second;
    if (x >= points.back().first) return points.back().second;
    auto after = std::upper_bound(points.begin(), points.end(), x,
                                  [](double v, const Point& p) { return v < p.first; });
    auto before = std::prev(after);
    const double f = (x - before->first) / (after->first - before->first);
    return before->second + f * (after->second - before->second);
}

Param::State Param::snapshot() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return State{numbers_, text_, numberKeys_, textKeys_, curves_};
}

void Param::restore(const State& state) {
    std::lock_guard<std::mutex> guard(mutex_);
    numbers_ = state.numbers;
    text_ = state.text;
    numberKeys_ = state.numberKeys;
    textKeys_ = state.textKeys;
    curves_ = state.curves;
    props_.putInt(kOfxParamPropIsAnimating, {numberKeys_.empty() && textKeys_.empty() ? 0 : 1});
}

bool Param::copyFrom(const Param& other, double offset, const OfxRangeD* range) {
    if (other.kind_ != kind_ || &other == this) return false;
    std::scoped_lock guard(mutex_, other.mutex_);
    numbers_ = other.numbers_;
    text_ = other.text_;
    curves_ = other.curves_;
    numberKeys_.clear();
    textKeys_.clear();
    auto inRange = [&](double t) { return range == nullptr || (t >= range->min && t <= range->max); };
    for (const auto& k : other.numberKeys_)
        if (inRange(k.first)) numberKeys_[k.first + offset] = k.second;
    for (const auto& k : other.textKeys_)
        if (inRange(k.first)) textKeys_[k.first + offset] = k.second;
    return true;
}

}  // namespace vhost
