#include "params/ParameterValue.h"

#include <cmath>
#include <limits>

#include "params/NumberText.h"

namespace {

// Text conversions: nothing parsed or out of range gives 0.
double parseLeadingDouble(const std::string& text) {
    double value = 0.0;
    return numbertext::parseLeadingDouble(text, value) == numbertext::ParseStatus::Ok ? value : 0.0;
}

int parseLeadingInt(const std::string& text) {
    int value = 0;
    return numbertext::parseLeadingInt(text, value) == numbertext::ParseStatus::Ok ? value : 0;
}

// Truncates toward zero; NaN gives 0 and values beyond 32 bits saturate.
int truncateToInt(double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (value <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

using numbertext::formatFixed;

bool textToBool(const std::string& text) {
    if (text == "true" || text == "True" || text == "TRUE" || text == "1") return true;
    if (text == "false" || text == "False" || text == "FALSE" || text == "0") return false;
    return !text.empty();
}

}  // namespace

ParameterValue::ParameterValue() = default;

ParameterValue::ParameterValue(double value) : kind_(Kind::Double), number_(value) {}

ParameterValue::ParameterValue(int value) : kind_(Kind::Int), integer_(value) {}

ParameterValue::ParameterValue(bool value) : kind_(Kind::Bool), boolean_(value) {}

ParameterValue::ParameterValue(const std::string& value) : kind_(Kind::String), text_(value) {}

ParameterValue::ParameterValue(const char* value) : kind_(Kind::String), text_(value ? value : "") {}

ParameterValue::ParameterValue(double x, double y) : kind_(Kind::Vec2), x_(x), y_(y) {}

ParameterValue::ParameterValue(double x, double y, double z) : kind_(Kind::Vec3), x_(x), y_(y), z_(z) {}

ParameterValue::ParameterValue(double x, double y, double z, double w)
    : kind_(Kind::Vec4), x_(x), y_(y), z_(z), w_(w) {}

const char* ParameterValue::typeName() const {
    switch (kind_) {
        case Kind::Double:
            return "double";
        case Kind::Int:
            return "int";
        case Kind::Bool:
            return "bool";
        case Kind::String:
            return "string";
        case Kind::Vec2:
            return "vec2";
        case Kind::Vec3:
            return "vec3";
        case Kind::Vec4:
            return "vec4";
    }
    return "unknown";
}

double ParameterValue::asDouble() const {
    switch (kind_) {
        case Kind::Double:
            return number_;
        case Kind::Int:
            return static_cast<double>(integer_);
        case Kind::Bool:
            return boolean_ ? 1.0 : 0.0;
        case Kind::String:
            return parseLeadingDouble(text_);
        default:
            return 0.0;
    }
}

int ParameterValue::asInt() const {
    switch (kind_) {
        case Kind::Double:
            return truncateToInt(number_);
        case Kind::Int:
            return integer_;
        case Kind::Bool:
            return boolean_ ? 1 : 0;
        case Kind::String:
            return parseLeadingInt(text_);
        default:
            return 0;
    }
}

bool ParameterValue::asBool() const {
    switch (kind_) {
        case Kind::Double:
            return number_ != 0.0;  // NaN compares unequal, so it is true
        case Kind::Int:
            return integer_ != 0;
        case Kind::Bool:
            return boolean_;
        case Kind::String:
            return textToBool(text_);
        default:
            return false;
    }
}

std::string ParameterValue::asString() const {
    switch (kind_) {
        case Kind::Double:
            return formatFixed(number_);
        case Kind::Int:
            return std::to_string(integer_);
        case Kind::Bool:
            return boolean_ ? "true" : "false";
        case Kind::String:
            return text_;
        case Kind::Vec2:
            return "(" + formatFixed(x_) + ", " + formatFixed(y_) + ")";
        case Kind::Vec3:
            return "(" + formatFixed(x_) + ", " + formatFixed(y_) + ", " + formatFixed(z_) + ")";
        case Kind::Vec4:
            return "(" + formatFixed(x_) + ", " + formatFixed(y_) + ", " + formatFixed(z_) + ", " +
                   formatFixed(w_) + ")";
    }
    return std::string();
}
