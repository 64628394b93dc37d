#pragma once

#include <string>

// "com.xmlframework." followed by the definition file's stem: the text after the last '/' or
// '\', cut before its last '.'.
std::string pluginIdentifierFromPath(const std::string& definitionPath);
