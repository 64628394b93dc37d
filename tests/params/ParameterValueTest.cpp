#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "params/ParameterValue.h"

namespace {

struct ConversionCase {
    const char* label;
    ParameterValue value;
    double asDouble;
    int asInt;
    bool asBool;
    std::string asString;
};

const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<ConversionCase> conversionTable() {
    return {
        {"empty value", ParameterValue(), 0.0, 0, false, "0.000000"},
        {"double", ParameterValue(2.5), 2.5, 2, true, "2.500000"},
        {"negative double truncates toward zero", ParameterValue(-2.7), -2.7, -2, true, "-2.700000"},
        {"double rounds to six decimals", ParameterValue(1.23456789), 1.23456789, 1, true, "1.234568"},
        {"double zero", ParameterValue(0.0), 0.0, 0, false, "0.000000"},
        {"double beyond int saturates", ParameterValue(3e10), 3e10, std::numeric_limits<int>::max(), true,
         "30000000000.000000"},
        {"int", ParameterValue(-42), -42.0, -42, true, "-42"},
        {"int zero", ParameterValue(0), 0.0, 0, false, "0"},
        {"bool true", ParameterValue(true), 1.0, 1, true, "true"},
        {"bool false", ParameterValue(false), 0.0, 0, false, "false"},
        {"text number", ParameterValue("3.5abc"), 3.5, 3, true, "3.5abc"},
        {"text leading blank", ParameterValue(" 12abc"), 12.0, 12, true, " 12abc"},
        {"text negative", ParameterValue("-7.9"), -7.9, -7, true, "-7.9"},
        {"text plus sign", ParameterValue("+4"), 4.0, 4, true, "+4"},
        {"text exponent", ParameterValue("1e3"), 1000.0, 1, true, "1e3"},
        {"text not a number", ParameterValue("abc"), 0.0, 0, true, "abc"},
        {"text double out of range", ParameterValue("1e999"), 0.0, 1, true, "1e999"},
        {"text int out of range", ParameterValue("99999999999"), 99999999999.0, 0, true, "99999999999"},
        {"text infinity is no number", ParameterValue("inf"), 0.0, 0, true, "inf"},
        {"text True", ParameterValue("True"), 0.0, 0, true, "True"},
        {"text TRUE", ParameterValue("TRUE"), 0.0, 0, true, "TRUE"},
        {"text true", ParameterValue("true"), 0.0, 0, true, "true"},
        {"text FALSE", ParameterValue("FALSE"), 0.0, 0, false, "FALSE"},
        {"text False", ParameterValue("False"), 0.0, 0, false, "False"},
        {"text one", ParameterValue("1"), 1.0, 1, true, "1"},
        {"text zero", ParameterValue("0"), 0.0, 0, false, "0"},
        {"text yes", ParameterValue("yes"), 0.0, 0, true, "yes"},
        {"text empty", ParameterValue(""), 0.0, 0, false, ""},
        {"text from std::string", ParameterValue(std::string("8")), 8.0, 8, true, "8"},
        {"null text", ParameterValue(static_cast<const char*>(nullptr)), 0.0, 0, false, ""},
        {"vec2", ParameterValue(1.0, 2.0), 0.0, 0, false, "(1.000000, 2.000000)"},
        {"vec3", ParameterValue(0.5, -1.0, 3.25), 0.0, 0, false, "(0.500000, -1.000000, 3.250000)"},
        {"vec4", ParameterValue(1.0, 0.0, 0.0, 1.0), 0.0, 0, false,
         "(1.000000, 0.000000, 0.000000, 1.000000)"},
    };
}

TEST(ParameterValue, ConversionTable) {
    for (const auto& c : conversionTable()) {
        SCOPED_TRACE(c.label);
        EXPECT_DOUBLE_EQ(c.value.asDouble(), c.asDouble);
        EXPECT_EQ(c.value.asInt(), c.asInt);
        EXPECT_EQ(c.value.asBool(), c.asBool);
        EXPECT_EQ(c.value.asString(), c.asString);
    }
}

TEST(ParameterValue, NaNDoubleIsTrueAndConvertsSafely) {
    ParameterValue value(kNaN);
    EXPECT_TRUE(value.asBool());
    EXPECT_EQ(value.asInt(), 0);
    EXPECT_TRUE(std::isnan(value.asDouble()));
    EXPECT_EQ(value.asString(), "nan");
}

TEST(ParameterValue, KindsAndTypeNames) {
    struct Case {
        ParameterValue value;
        ParameterValue::Kind kind;
        const char* name;
    };
    const Case cases[] = {
        {ParameterValue(), ParameterValue::Kind::Double, "double"},
        {ParameterValue(1), ParameterValue::Kind::Int, "int"},
        {ParameterValue(true), ParameterValue::Kind::Bool, "bool"},
        {ParameterValue("x"), ParameterValue::Kind::String, "string"},
        {ParameterValue(1.0, 2.0), ParameterValue::Kind::Vec2, "vec2"},
        {ParameterValue(1.0, 2.0, 3.0), ParameterValue::Kind::Vec3, "vec3"},
        {ParameterValue(1.0, 2.0, 3.0, 4.0), ParameterValue::Kind::Vec4, "vec4"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.value.kind(), c.kind);
        EXPECT_STREQ(c.value.typeName(), c.name);
    }
}

TEST(ParameterValue, VectorAccessorsAreSinglePrecision) {
    ParameterValue v(0.1, 0.2, 0.3, 0.4);
    EXPECT_EQ(v.x(), 0.1f);
    EXPECT_EQ(v.y(), 0.2f);
    EXPECT_EQ(v.z(), 0.3f);
    EXPECT_EQ(v.w(), 0.4f);

    ParameterValue v2(5.0, 6.0);
    EXPECT_EQ(v2.z(), 0.0f);
    EXPECT_EQ(v2.w(), 0.0f);

    // Non-vector kinds never set the vector fields.
    ParameterValue scalar(9.0);
    EXPECT_EQ(scalar.x(), 0.0f);
    EXPECT_EQ(scalar.w(), 0.0f);
}

// Hosts may switch the C locale to one with a decimal comma; text must not follow it.
TEST(ParameterValue, TextIgnoresProcessLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8")) {
        GTEST_SKIP() << "no locale with a decimal comma installed";
    }
    EXPECT_EQ(ParameterValue(1.5).asString(), "1.500000");
    EXPECT_DOUBLE_EQ(ParameterValue("2.25").asDouble(), 2.25);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
