// The identity operators, including values that are not numbers.
#include <gtest/gtest.h>

#include <cmath>

#include "plugin/IdentityConditions.h"

TEST(IdentityCondition, OperatorsAgainstNumbersAndNotANumber) {
    const double nan = std::nan("");
    struct Case {
        const char* op;
        bool below, at, above, notANumber;
    };
    // value 0.4, 0.5 and 0.6 against 0.5, then a value that is not a number.
    const Case cases[] = {
        {"equal", false, true, false, false},       {"notEqual", true, false, true, true},
        {"lessThan", true, false, false, false},    {"lessEqual", true, true, false, false},
        {"greaterThan", false, false, true, false}, {"greaterEqual", false, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        bool known = false;
        EXPECT_EQ(identityConditionHolds(c.op, 0.4, 0.5, &known), c.below);
        EXPECT_TRUE(known);
        EXPECT_EQ(identityConditionHolds(c.op, 0.5, 0.5), c.at);
        EXPECT_EQ(identityConditionHolds(c.op, 0.6, 0.5), c.above);
        EXPECT_EQ(identityConditionHolds(c.op, nan, 0.5), c.notANumber);
    }
    bool known = true;
    EXPECT_FALSE(identityConditionHolds("GreaterEqual", 1.0, 0.5, &known));
    EXPECT_FALSE(known);
}
