#include "plugin/PluginIdentifier.h"

std::string pluginIdentifierFromPath(const std::string& definitionPath) {
    std::string stem = definitionPath;
    const std::size_t separator = stem.find_last_of("/\\");
    if (separator != std::string::npos) stem = stem.substr(separator + 1);
    const std::size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos) stem = stem.substr(0, dot);
    return "com.xmlframework." + stem;
}
