#include <gtest/gtest.h>

#include "params/NumberText.h"

using namespace numbertext;

TEST(NumberText, ParseStatuses) {
    struct Case {
        const char* text;
        ParseStatus doubleStatus;
        double doubleValue;
        ParseStatus intStatus;
        int intValue;
    };
    const Case cases[] = {
        {"  -3.5e1x", ParseStatus::Ok, -35.0, ParseStatus::Ok, -3},
        {"+7", ParseStatus::Ok, 7.0, ParseStatus::Ok, 7},
        {"+-7", ParseStatus::NoNumber, 0, ParseStatus::NoNumber, 0},
        {"", ParseStatus::NoNumber, 0, ParseStatus::NoNumber, 0},
        {"abc", ParseStatus::NoNumber, 0, ParseStatus::NoNumber, 0},
        {"1e999", ParseStatus::OutOfRange, 0, ParseStatus::Ok, 1},
        {"nan", ParseStatus::OutOfRange, 0, ParseStatus::NoNumber, 0},
        {"2147483648", ParseStatus::Ok, 2147483648.0, ParseStatus::OutOfRange, 0},
        {"-2147483648", ParseStatus::Ok, -2147483648.0, ParseStatus::Ok, -2147483647 - 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        double d = 0;
        int i = 0;
        EXPECT_EQ(parseLeadingDouble(c.text, d), c.doubleStatus);
        if (c.doubleStatus == ParseStatus::Ok) {
            EXPECT_DOUBLE_EQ(d, c.doubleValue);
        }
        EXPECT_EQ(parseLeadingInt(c.text, i), c.intStatus);
        if (c.intStatus == ParseStatus::Ok) {
            EXPECT_EQ(i, c.intValue);
        }
    }
}

// A whole text that is one number, as command-line values are.
TEST(NumberText, WholeTextIsOneNumber) {
    const struct {
        const char* text;
        ParseStatus status;
        double value;
    } cases[] = {
        {"0.25", ParseStatus::Ok, 0.25},     {" -1e2", ParseStatus::Ok, -100.0},
        {"0.25x", ParseStatus::NoNumber, 0}, {"0,25", ParseStatus::NoNumber, 0},
        {"", ParseStatus::NoNumber, 0},      {"1e999", ParseStatus::OutOfRange, 0},
        {"inf", ParseStatus::OutOfRange, 0},
    };
    for (const auto& c : cases) {
        double value = -7;
        EXPECT_EQ(parseDouble(c.text, value), c.status) << c.text;
        EXPECT_EQ(value, c.status == ParseStatus::Ok ? c.value : -7) << c.text;
    }
}

TEST(NumberText, GeneralNotationWithTenDigits) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {50.0, "50"},
        {0.05, "0.05"},
        {1e-12, "1e-12"},
        {123456789.123, "123456789.1"},
        {static_cast<double>(0.1f), "0.1000000015"},
        {-0.25, "-0.25"},
        {1e15, "1e+15"},
    };
    for (const Case& c : cases) EXPECT_EQ(formatGeneral(c.value, 10), c.text);
}
