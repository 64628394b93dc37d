#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "params/ParameterValue.h"

// Parameter name to value, in byte-wise name order.
using PresetValues = std::map<std::string, ParameterValue>;

// What the preset writer needs to know of one parameter definition.
struct PresetParameter {
    std::string name;
    std::string type;  // the definition's type text: "double", "color", "choice", ...
};

// Parses a preset document held in memory. A document that does not parse, or has no
// <preset> root, gives an empty map; a bad <param> is logged and skipped.
// outEffect and outVersion receive the <meta> attributes (empty when absent).
PresetValues parsePresetXml(const std::string& text, std::string& outEffect, std::string& outVersion);

// Reads and parses a preset file; an unreadable file gives an empty map. Only a regular file of
// at most kMaxPresetFileBytes is read. *error (when given) receives the cause of an empty map,
// for the user: "it is not valid XML (...)", "it is larger than 16 MB", "it holds no values".
PresetValues loadPresetFile(const std::string& path, std::string& outEffect, std::string& outVersion,
                            std::string* error = nullptr);

constexpr std::size_t kMaxPresetFileBytes = 16u * 1024u * 1024u;

// The document text for a preset. Values of the given parameters come first, in the order
// given; values that belong to no parameter follow in name order, typed by their kind.
std::string formatPresetXml(const std::string& effectName, const std::string& version,
                            const std::string& created, const PresetValues& values,
                            const std::vector<PresetParameter>& parameters);

// Creates the folder of `path` when needed and writes the preset, stamped with the local time.
// The file is replaced atomically: a failed write leaves an earlier file of that path intact.
// *error (when given) receives the cause of a failure, for the user.
bool writePresetFile(const std::string& path, const std::string& effectName, const std::string& version,
                     const PresetValues& values, const std::vector<PresetParameter>& parameters,
                     std::string* error = nullptr);

// Text safe to put in a log line: control characters become '?'.
std::string printableForLog(const std::string& text);
