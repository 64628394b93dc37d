// The host's own stores: properties, parameter values and keyframes, images.
#include <gtest/gtest.h>

#include "Image.h"
#include "Param.h"
#include "ParamSet.h"
#include "PropertySet.h"
#include "ofxParam.h"

using namespace vhost;

TEST(PropertySet, StatusCodesOfTheSuite) {
    PropertySet props("test", true);
    props.declareDouble("fixed", {1.0, 2.0}, 2);
    props.declareString("list", std::vector<std::string>{"a"});
    PropertySet closed("closed", false);

    double d = 0;
    int i = 0;
    char* s = nullptr;
    struct Case {
        const char* what;
        OfxStatus got;
        OfxStatus expected;
    } cases[] = {
        {"missing property", props.getDouble("nothing", 0, &d), kOfxStatErrUnknown},
        {"type mismatch on read", props.getInt("fixed", 0, &i), kOfxStatErrValue},
        {"type mismatch on write", props.setString("fixed", 0, "x"), kOfxStatErrValue},
        {"index past the dimension", props.getDouble("fixed", 2, &d), kOfxStatErrBadIndex},
        {"negative index", props.getString("list", -1, &s), kOfxStatErrBadIndex},
        {"write past a fixed dimension", props.setDouble("fixed", 2, 3.0), kOfxStatErrBadIndex},
        {"gap in a variable dimension", props.setString("list", 3, "d"), kOfxStatErrBadIndex},
        {"append to a variable dimension", props.setString("list", 1, "b"), kOfxStatOK},
        {"more values than there are", props.getDoubleN("fixed", 3, &d), kOfxStatErrBadIndex},
        {"unknown name on a closed set", closed.setInt("new", 0, 1), kOfxStatErrUnknown},
        {"new name on an open set", props.setInt("new", 0, 7), kOfxStatOK},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;

    int dim = 0;
    EXPECT_EQ(props.getDimension("list", &dim), kOfxStatOK);
    EXPECT_EQ(dim, 2);
    EXPECT_EQ(props.integer("new"), 7);
    // Reset restores the declared values and dimension.
    EXPECT_EQ(props.setDouble("fixed", 1, 9.0), kOfxStatOK);
    EXPECT_EQ(props.reset("list"), kOfxStatOK);
    EXPECT_EQ(props.reset("fixed"), kOfxStatOK);
    EXPECT_EQ(props.strings("list"), std::vector<std::string>{"a"});
    EXPECT_EQ(props.doubles("fixed"), (std::vector<double>{1.0, 2.0}));

    props.setRejected({"OfxImageEffectPropNoSpatialAwareness"});
    EXPECT_EQ(props.setString("OfxImageEffectPropNoSpatialAwareness", 0, "false"), kOfxStatErrUnknown);
}

TEST(Param, KeyframesInterpolateByKind) {
    ParamSet set;
    Param* dbl = nullptr;
    Param* integer = nullptr;
    Param* choice = nullptr;
    ASSERT_EQ(set.define(kOfxParamTypeDouble, "d", &dbl), kOfxStatOK);
    ASSERT_EQ(set.define(kOfxParamTypeInteger, "i", &integer), kOfxStatOK);
    ASSERT_EQ(set.define(kOfxParamTypeChoice, "c", &choice), kOfxStatOK);
    EXPECT_EQ(set.define(kOfxParamTypeDouble, "d", &dbl), kOfxStatErrExists);
    EXPECT_EQ(set.define("NoSuchType", "x", &dbl), kOfxStatErrUnknown);

    dbl->setNumbers({2.0}, 10.0, true);
    dbl->setNumbers({4.0}, 20.0, true);
    integer->setNumbers({0.0}, 0.0, true);
    integer->setNumbers({3.0}, 4.0, true);
    choice->setNumbers({1.0}, 0.0, true);
    choice->setNumbers({3.0}, 10.0, true);
    struct Case {
        Param* param;
        double time;
        double expected;
    } cases[] = {
        {dbl, 0.0, 2.0},    {dbl, 10.0, 2.0},    {dbl, 12.5, 2.5},    {dbl, 20.0, 4.0},
        {dbl, 99.0, 4.0},   {integer, 1.0, 1.0}, {integer, 2.0, 2.0},  // 0.75 and 1.5 rounded
        {choice, 9.9, 1.0}, {choice, 10.0, 3.0},                       // stepped
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(c.param->numbersAt(c.time)[0], c.expected) << c.param->name() << "@" << c.time;

    EXPECT_DOUBLE_EQ(dbl->derivative(15.0, 0), 0.2);
    EXPECT_DOUBLE_EQ(dbl->integral(0.0, 20.0, 0), 2.0 * 10 + 3.0 * 10);
    // With keys, a plain set writes a key; deleting the last key keeps its value.
    dbl->setNumbers({6.0}, 30.0, false);
    EXPECT_EQ(dbl->keyTimes(), (std::vector<double>{10.0, 20.0, 30.0}));
    dbl->deleteAllKeys();
    EXPECT_DOUBLE_EQ(dbl->numbersAt(25.0)[0], 2.0);
}

TEST(Param, ValuesAreCheckedAndClamped) {
    ParamSet set;
    Param* d = nullptr;
    Param* rgb = nullptr;
    Param* text = nullptr;
    set.define(kOfxParamTypeDouble, "d", &d);
    set.define(kOfxParamTypeRGB, "rgb", &rgb);
    set.define(kOfxParamTypeString, "s", &text);
    d->props().setDouble(kOfxParamPropMin, 0, 0.0);
    d->props().setDouble(kOfxParamPropMax, 0, 1.0);
    d->assign(5.0, 0.0, false);
    EXPECT_DOUBLE_EQ(std::get<double>(d->valueAt(0.0)), 1.0);
    d->assign(0, 0.0, false);  // a whole number for a real parameter
    EXPECT_DOUBLE_EQ(std::get<double>(d->valueAt(0.0)), 0.0);
    EXPECT_THROW(d->assign(std::string("x"), 0.0, false), std::invalid_argument);
    EXPECT_THROW(rgb->assign(std::vector<double>{1.0, 0.5}, 0.0, false), std::invalid_argument);
    EXPECT_THROW(text->assign(1.0, 0.0, false), std::invalid_argument);
    rgb->assign(std::vector<double>{0.2, 0.4, 0.6}, 0.0, false);
    EXPECT_EQ(std::get<std::vector<double>>(rgb->valueAt(0.0)), (std::vector<double>{0.2, 0.4, 0.6}));
}

TEST(Image, StridesAndBounds) {
    Image down(OfxRectI{10, 20, 13, 22}, -64);
    down.pixel(10, 20)[0] = 1.0f;  // bottom row: the last row in memory
    down.pixel(12, 21)[3] = 2.0f;
    EXPECT_EQ(down.pixel(13, 20), nullptr);
    EXPECT_EQ(down.pixel(10, 19), nullptr);
    const char* base = static_cast<const char*>(down.data());
    EXPECT_EQ(reinterpret_cast<const float*>(base)[0], 1.0f);
    EXPECT_EQ(reinterpret_cast<const float*>(base - 64 + 2 * 16)[3], 2.0f);
    EXPECT_THROW(Image(OfxRectI{0, 0, 4, 1}, 32), std::invalid_argument);  // shorter than a row
    EXPECT_THROW(Image(OfxRectI{0, 0, -1, 1}), std::invalid_argument);
}
