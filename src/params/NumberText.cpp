#include "params/NumberText.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace numbertext {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// from_chars accepts neither leading white space nor a '+' sign.
const char* skipToNumber(const char* first, const char* last) {
    while (first != last && isBlank(*first)) ++first;
    if (first != last && *first == '+' && first + 1 != last && *(first + 1) != '-' && *(first + 1) != '+') {
        ++first;
    }
    return first;
}

std::string nonFinite(double value) {
    if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
    return value < 0 ? "-inf" : "inf";
}

}  // namespace

ParseStatus readLeadingDouble(const char*& first, const char* last, double& value) {
    const char* start = skipToNumber(first, last);
    double parsed = 0.0;
    auto result = std::from_chars(start, last, parsed, std::chars_format::general);
    if (result.ec != std::errc() && result.ec != std::errc::result_out_of_range) return ParseStatus::NoNumber;
    first = result.ptr;
    if (result.ec == std::errc::result_out_of_range || !std::isfinite(parsed)) return ParseStatus::OutOfRange;
    value = parsed;
    return ParseStatus::Ok;
}

ParseStatus parseLeadingDouble(const std::string& text, double& value) {
    const char* first = text.data();
    return readLeadingDouble(first, text.data() + text.size(), value);
}

ParseStatus parseDouble(const std::string& text, double& value) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    double parsed = 0.0;
    const ParseStatus status = readLeadingDouble(first, last, parsed);
    if (status != ParseStatus::Ok) return status;
    if (first != last) return ParseStatus::NoNumber;
    value = parsed;
    return ParseStatus::Ok;
}

ParseStatus parseLeadingInt(const std::string& text, int& value) {
    const char* last = text.data() + text.size();
    const char* first = skipToNumber(text.data(), last);
    int parsed = 0;
    auto result = std::from_chars(first, last, parsed, 10);
    if (result.ec == std::errc::result_out_of_range) return ParseStatus::OutOfRange;
    if (result.ec != std::errc()) return ParseStatus::NoNumber;
    value = parsed;
    return ParseStatus::Ok;
}

std::string formatFixed(double value) {
    if (!std::isfinite(value)) return nonFinite(value);
    char buffer[400];  // enough for the largest double in fixed notation
    auto result = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::fixed, 6);
    if (result.ec != std::errc()) return "0.000000";
    return std::string(buffer, result.ptr);
}

std::string formatGeneral(double value, int significantDigits) {
    if (!std::isfinite(value)) return nonFinite(value);
    char buffer[64];
    auto result =
        std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, significantDigits);
    if (result.ec != std::errc()) return "0";
    return std::string(buffer, result.ptr);
}

}  // namespace numbertext
