#pragma once

#include <string>

// A small tagged value carrying one parameter's value through the framework
// (value store, presets, kernel packing). Conversions are total: they never fail outward.
class ParameterValue {
public:
    enum class Kind : int { Double = 0, Int = 1, Bool = 2, String = 3, Vec2 = 4, Vec3 = 5, Vec4 = 6 };

    ParameterValue();  // kind Double, value 0
    explicit ParameterValue(double value);
    explicit ParameterValue(int value);
    explicit ParameterValue(bool value);
    explicit ParameterValue(const std::string& value);
    explicit ParameterValue(const char* value);
    ParameterValue(double x, double y);
    ParameterValue(double x, double y, double z);
    ParameterValue(double x, double y, double z, double w);

    Kind kind() const { return kind_; }
    const char* typeName() const;  // "double", "int", ... or "unknown"

    double asDouble() const;
    int asInt() const;
    bool asBool() const;
    std::string asString() const;

    // Vector components in single precision, whatever the kind.
    float x() const { return static_cast<float>(x_); }
    float y() const { return static_cast<float>(y_); }
    float z() const { return static_cast<float>(z_); }
    float w() const { return static_cast<float>(w_); }

private:
    Kind kind_ = Kind::Double;
    double number_ = 0.0;  // double payload
    int integer_ = 0;
    bool boolean_ = false;
    std::string text_;
    double x_ = 0.0, y_ = 0.0, z_ = 0.0, w_ = 0.0;
};
