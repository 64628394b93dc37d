#pragma once

#include <string>

// Number <-> text conversions that ignore the process locale (hosts may set one with a
// decimal comma). Parsing skips leading white space and reads the leading number only.
namespace numbertext {

enum class ParseStatus { Ok, NoNumber, OutOfRange };

// Decimal floating-point number; "inf" and "nan" count as out of range.
ParseStatus parseLeadingDouble(const std::string& text, double& value);

// The same, from `first`, which moves past the number read unless there is none (for lists).
ParseStatus readLeadingDouble(const char*& first, const char* last, double& value);

// A text that is one decimal number and nothing else (leading white space allowed).
ParseStatus parseDouble(const std::string& text, double& value);

// Base-10 integer that fits 32 bits.
ParseStatus parseLeadingInt(const std::string& text, int& value);

// printf "%f": six decimals.
std::string formatFixed(double value);

// printf "%.<digits>g".
std::string formatGeneral(double value, int significantDigits);

}  // namespace numbertext
