#pragma once

#include <string>

// The comparison of one identity condition: a parameter's value against the condition's value.
// Operators: "equal", "notEqual", "lessThan", "lessEqual", "greaterThan", "greaterEqual".
// A value that is not a number satisfies "notEqual" only. An unknown operator is false, with
// *knownOperator (when given) set to false.
bool identityConditionHolds(const std::string& op, double value, double reference,
                            bool* knownOperator = nullptr);
