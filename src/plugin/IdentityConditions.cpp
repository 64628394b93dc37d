#include "plugin/IdentityConditions.h"

bool identityConditionHolds(const std::string& op, double value, double reference, bool* knownOperator) {
    if (knownOperator) *knownOperator = true;
    if (op == "equal") return value == reference;
    if (op == "notEqual") return !(value == reference);
    if (op == "lessThan") return value < reference;
    if (op == "lessEqual") return value <= reference;
    if (op == "greaterThan") return value > reference;
    if (op == "greaterEqual") return value >= reference;
    if (knownOperator) *knownOperator = false;
    return false;
}
