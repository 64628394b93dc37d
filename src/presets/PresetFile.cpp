#include "presets/PresetFile.h"

#include <ctime>
#include <pugixml.hpp>
#include <set>
#include <sstream>
#include <stdexcept>

#include "log/PluginLog.h"
#include "params/NumberText.h"
#include "platform/FileSystem.h"

namespace {

// Framework and audio controls that never go into the file as extra values.
const std::set<std::string>& neverWrittenNames() {
    static const std::set<std::string> names = {
        "audio_file",      "audio_status", "preset_list",  "factory_preset_list",
        "preset_name",     "save_preset",  "load_preset",  "delete_preset",
        "refresh_presets", "Blend",        "show_overlays"};
    return names;
}

bool skippedDefinition(const PresetParameter& parameter) {
    return parameter.name == "preset_file" || parameter.name == "load_preset" ||
           parameter.name == "save_preset" || parameter.type == "pushbutton";
}

// --- reading ---------------------------------------------------------------------------

double parseNumber(const std::string& text) {
    double value = 0.0;
    switch (numbertext::parseLeadingDouble(text, value)) {
        case numbertext::ParseStatus::Ok:
            return value;
        case numbertext::ParseStatus::OutOfRange:
            throw std::runtime_error("number out of range: '" + text + "'");
        case numbertext::ParseStatus::NoNumber:
            break;
    }
    throw std::runtime_error("not a number: '" + text + "'");
}

int parseInteger(const std::string& text) {
    int value = 0;
    switch (numbertext::parseLeadingInt(text, value)) {
        case numbertext::ParseStatus::Ok:
            return value;
        case numbertext::ParseStatus::OutOfRange:
            throw std::runtime_error("integer out of range: '" + text + "'");
        case numbertext::ParseStatus::NoNumber:
            break;
    }
    throw std::runtime_error("not an integer: '" + text + "'");
}

std::vector<std::string> splitAtCommas(const std::string& text) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = text.find(',', start);
        pieces.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return pieces;
}

// The value a <param> stands for; false when its type stores nothing.
bool decodeParam(const std::string& type, const std::string& text, ParameterValue& value) {
    if (type == "float" || type == "double") {
        value = ParameterValue(parseNumber(text));
    } else if (type == "int" || type == "choice") {
        value = ParameterValue(parseInteger(text));
    } else if (type == "bool") {
        value = ParameterValue(text == "true" || text == "1");
    } else if (type == "vec2" || type == "vec3" || type == "color" || type == "vec4" ||
               type == "color_rgba") {
        const std::size_t needed = type == "vec2" ? 2 : (type == "vec3" || type == "color") ? 3 : 4;
        std::vector<std::string> pieces = splitAtCommas(text);
        if (pieces.size() < needed) return false;
        double c[4] = {0, 0, 0, 0};
        for (std::size_t i = 0; i < needed; ++i) c[i] = parseNumber(pieces[i]);
        if (needed == 2) {
            value = ParameterValue(c[0], c[1]);
        } else if (needed == 3) {
            value = ParameterValue(c[0], c[1], c[2]);
        } else {
            value = ParameterValue(c[0], c[1], c[2], c[3]);
        }
    } else if (type == "string" || type == "filepath") {
        value = ParameterValue(text);
    } else {
        return false;
    }
    return true;
}

// Parses a document; `parsed` tells whether it was a preset document at all, and *error says why
// it was not.
PresetValues parseDocument(const std::string& text, std::string& outEffect, std::string& outVersion,
                           bool& parsed, std::string* error = nullptr) {
    PresetValues values;
    parsed = false;
    outEffect.clear();
    outVersion.clear();
    pugi::xml_document document;
    pugi::xml_parse_result result = document.load_buffer(text.data(), text.size());
    if (!result) {
        VLOG_ERROR("Failed to parse preset XML (from memory)");
        VLOG_DEBUG("Preset XML error: %s at offset %td", result.description(), result.offset);
        if (error)
            *error = std::string("it is not valid XML (") + result.description() + " at byte " +
                     std::to_string(result.offset) + ")";
        return values;
    }
    pugi::xml_node root = document.child("preset");
    if (!root) {
        VLOG_ERROR("Invalid preset XML (no <preset> root)");
        if (error) *error = "it is no preset (its XML has no <preset> element)";
        return values;
    }
    parsed = true;
    if (pugi::xml_node meta = root.child("meta")) {
        outEffect = meta.attribute("effect").value();
        outVersion = meta.attribute("version").value();
    }
    for (pugi::xml_node param : root.child("parameters").children("param")) {
        const std::string name = param.attribute("name").value();
        if (name.empty()) continue;
        const std::string type = param.attribute("type").value();
        const std::string text = param.attribute("value").value();
        try {
            ParameterValue value;
            if (decodeParam(type, text, value)) values[name] = value;
        } catch (const std::exception& error) {
            VLOG_INFO("Failed to parse preset param '%s': %s", printableForLog(name).c_str(),
                      printableForLog(error.what()).c_str());
        }
    }
    return values;
}

// --- writing ---------------------------------------------------------------------------

std::string general(double value) {
    return numbertext::formatGeneral(value, 10);
}

// Vector components are written as the single-precision values the effect works with.
std::string components(const ParameterValue& value, int count) {
    const float c[4] = {value.x(), value.y(), value.z(), value.w()};
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i > 0) text += ',';
        text += general(static_cast<double>(c[i]));
    }
    return text;
}

void addParam(pugi::xml_node parameters, const std::string& name, const std::string& type,
              const std::string& value) {
    pugi::xml_node param = parameters.append_child("param");
    param.append_attribute("name") = name.c_str();
    param.append_attribute("type") = type.c_str();
    param.append_attribute("value") = value.c_str();
}

void addDefinitionParam(pugi::xml_node parameters, const PresetParameter& parameter,
                        const ParameterValue& value) {
    const std::string& type = parameter.type;
    if (type == "float" || type == "double") {
        addParam(parameters, parameter.name, "float", general(value.asDouble()));
    } else if (type == "int" || type == "choice") {
        addParam(parameters, parameter.name, type, std::to_string(value.asInt()));
    } else if (type == "bool") {
        addParam(parameters, parameter.name, "bool", value.asBool() ? "true" : "false");
    } else if (type == "vec2") {
        addParam(parameters, parameter.name, "vec2", components(value, 2));
    } else if (type == "vec3" || type == "color") {
        addParam(parameters, parameter.name, "vec3", components(value, 3));
    } else if (type == "color_rgba" || type == "vec4") {
        addParam(parameters, parameter.name, "vec4", components(value, 4));
    } else if (type == "string" || type == "filepath") {
        addParam(parameters, parameter.name, type, value.asString());
    } else {
        addParam(parameters, parameter.name, type, "");
    }
}

// Extra values carry their kind as the type, so that they load back as what they were.
void addExtraParam(pugi::xml_node parameters, const std::string& name, const ParameterValue& value) {
    switch (value.kind()) {
        case ParameterValue::Kind::Double:
            addParam(parameters, name, "float", general(value.asDouble()));
            break;
        case ParameterValue::Kind::Int:
            addParam(parameters, name, "int", std::to_string(value.asInt()));
            break;
        case ParameterValue::Kind::Bool:
            addParam(parameters, name, "bool", value.asBool() ? "true" : "false");
            break;
        case ParameterValue::Kind::String:
            addParam(parameters, name, "string", value.asString());
            break;
        case ParameterValue::Kind::Vec2:
        case ParameterValue::Kind::Vec3:
        case ParameterValue::Kind::Vec4: {
            // No control of a vector kind is collected outside the definition; such an entry
            // keeps its name only.
            pugi::xml_node param = parameters.append_child("param");
            param.append_attribute("name") = name.c_str();
            param.append_attribute("value") = "";
            break;
        }
    }
}

std::string localTimeStamp() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char buffer[32];
    std::size_t length = std::strftime(buffer, sizeof(buffer), "%Y-%m-%dT%H:%M:%S", &local);
    return std::string(buffer, length);
}

}  // namespace

std::string printableForLog(const std::string& text) {
    std::string result = text;
    for (char& c : result) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) c = '?';
    }
    return result;
}

PresetValues parsePresetXml(const std::string& text, std::string& outEffect, std::string& outVersion) {
    bool parsed = false;
    return parseDocument(text, outEffect, outVersion, parsed);
}

PresetValues loadPresetFile(const std::string& path, std::string& outEffect, std::string& outVersion,
                            std::string* error) {
    outEffect.clear();
    outVersion.clear();
    std::string text, cause;
    if (!platform::readFile(path, text, &cause, kMaxPresetFileBytes)) {
        VLOG_ERROR("Failed to load preset file: %s", printableForLog(path).c_str());
        VLOG_ERROR("Preset file error: %s", cause.c_str());
        if (error) *error = (cause.rfind("is ", 0) == 0 ? "it " : "it cannot be read: ") + cause;
        return PresetValues();
    }
    bool parsed = false;
    PresetValues values = parseDocument(text, outEffect, outVersion, parsed, error);
    if (parsed) {
        VLOG_INFO("Preset loaded: %s (%zu parameters)", printableForLog(path).c_str(), values.size());
        if (values.empty() && error) *error = "it holds no parameter values";
    }
    return values;
}

std::string formatPresetXml(const std::string& effectName, const std::string& version,
                            const std::string& created, const PresetValues& values,
                            const std::vector<PresetParameter>& parameters) {
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";

    pugi::xml_node root = document.append_child("preset");
    pugi::xml_node meta = root.append_child("meta");
    meta.append_attribute("effect") = effectName.c_str();
    meta.append_attribute("version") = version.c_str();
    meta.append_attribute("created") = created.c_str();
    pugi::xml_node parameterList = root.append_child("parameters");

    std::set<std::string> definitionNames;
    for (const PresetParameter& parameter : parameters) {
        definitionNames.insert(parameter.name);
        if (skippedDefinition(parameter)) continue;
        auto found = values.find(parameter.name);
        if (found != values.end()) addDefinitionParam(parameterList, parameter, found->second);
    }
    for (const auto& [name, value] : values) {
        if (definitionNames.count(name) || neverWrittenNames().count(name)) continue;
        addExtraParam(parameterList, name, value);
    }

    std::ostringstream out;
    document.save(out, "\t", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

bool writePresetFile(const std::string& path, const std::string& effectName, const std::string& version,
                     const PresetValues& values, const std::vector<PresetParameter>& parameters,
                     std::string* error) {
    const std::string folder = platform::parentFolder(path);
    std::string cause;
    if (!folder.empty() && !platform::createDirectories(folder, &cause)) {
        VLOG_ERROR("Failed to create preset directory: %s", printableForLog(folder).c_str());
        VLOG_DEBUG("Preset directory error: %s", cause.c_str());
        if (error) *error = "the folder " + folder + " cannot be made (" + cause + ")";
        return false;
    }
    const std::string text = formatPresetXml(effectName, version, localTimeStamp(), values, parameters);
    if (!platform::writeFileAtomically(path, text, &cause)) {
        VLOG_ERROR("Failed to save preset: %s", printableForLog(path).c_str());
        VLOG_ERROR("Preset write error: %s", cause.c_str());
        if (error) *error = "the file cannot be written in " + folder + " (" + cause + ")";
        return false;
    }
    VLOG_INFO("Preset saved: %s", printableForLog(path).c_str());
    return true;
}
