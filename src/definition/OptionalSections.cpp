// Reading of the optional definition sections: resource textures, accumulation and device
// buffers, audio reactivity and overlays.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <set>

#include "definition/DefinitionReader.h"
#include "log/PluginLog.h"
#include "params/NumberText.h"

namespace {

constexpr std::size_t kMaxDeviceBuffers = 8;
// Sub-overlays may nest; deeper levels than this are ignored.
constexpr int kMaxOverlayDepth = 8;

bool isDeviceBufferType(const std::string& type) {
    static const std::set<std::string> kTypes = {"float", "float2", "float3", "float4",
                                                 "int",   "uint32", "uint64"};
    return kTypes.count(type) != 0;
}

int overlayTypeCode(const std::string& element) {
    static const char* const kTypes[] = {"point",  "radius",  "scale2d", "vslider",
                                         "vector", "ellipse", "line",    "qualifier"};
    for (int code = 0; code < 8; ++code) {
        if (element == kTypes[code]) return code;
    }
    return -1;
}

bool isSubOverlayElement(const std::string& element) {
    return element == "vector" || element == "radius" || element == "scale2d";
}

}  // namespace

void DefinitionReader::readResources(const pugi::xml_node& resources) {
    for (const pugi::xml_node& node : resources.children("texture")) {
        ResourceTextureDefinition texture;
        texture.name = node.attribute("name").as_string();
        texture.file = node.attribute("file").as_string();
        if (texture.name.empty()) throw DefinitionError("Resource texture must have a name attribute");
        if (texture.file.empty()) throw DefinitionError("Resource texture must have a file attribute");
        texture.channels = node.attribute("channels").as_int(4);
        texture.sampler = node.attribute("sampler").as_string("linear");
        texture.wrap = node.attribute("wrap").as_string("mirror");
        if (texture.sampler != "linear" && texture.sampler != "nearest") {
            VLOG_INFO("Resource '%s': invalid sampler '%s', using 'linear'", texture.name.c_str(),
                      texture.sampler.c_str());
            texture.sampler = "linear";
        }
        if (texture.wrap != "clamp" && texture.wrap != "repeat" && texture.wrap != "mirror") {
            VLOG_INFO("Resource '%s': invalid wrap '%s', using 'mirror'", texture.name.c_str(),
                      texture.wrap.c_str());
            texture.wrap = "mirror";
        }
        if (texture.channels < 1 || texture.channels > 4) {
            VLOG_INFO("Resource '%s': invalid channels %d, using 4", texture.name.c_str(), texture.channels);
            texture.channels = 4;
        }
        VLOG_INFO("Resource parsed - name: %s, file: %s, channels: %d, sampler: %s, wrap: %s",
                  texture.name.c_str(), texture.file.c_str(), texture.channels, texture.sampler.c_str(),
                  texture.wrap.c_str());
        def_.resourceTextures_.push_back(std::move(texture));
    }
    VLOG_INFO("Parsed %zu bundled resources", def_.resourceTextures_.size());
}

void DefinitionReader::readAccumulationBuffers(const pugi::xml_node& section) {
    VLOG_INFO("Parsing <accumulation_buffers> section");
    std::set<std::string> names;
    for (const pugi::xml_node& node : section.children("buffer")) {
        AccumulationBufferDefinition buffer;
        buffer.name = node.attribute("name").as_string();
        if (buffer.name.empty()) throw DefinitionError("Accumulation buffer must have a name attribute");
        if (!names.insert(buffer.name).second) {
            throw DefinitionError("Duplicate accumulation buffer name: " + buffer.name);
        }
        buffer.strobe_param = node.attribute("strobe_param").as_string();
        buffer.source_process = node.attribute("source_process").as_string();
        if (!buffer.strobe_param.empty() || !buffer.source_process.empty()) {
            VLOG_INFO("  Accumulation buffer: '%s' (strobe_param='%s', source_process='%s')",
                      buffer.name.c_str(), buffer.strobe_param.c_str(), buffer.source_process.c_str());
        } else {
            VLOG_INFO("  Accumulation buffer: '%s'", buffer.name.c_str());
        }
        def_.accumulationBuffers_.push_back(std::move(buffer));
    }
    VLOG_INFO("Parsed %zu accumulation buffer(s)", def_.accumulationBuffers_.size());
}

void DefinitionReader::readDeviceBuffers(const pugi::xml_node& section) {
    VLOG_INFO("Parsing <device_buffers> section");
    std::set<std::string> names;
    for (const pugi::xml_node& node : section.children("buffer")) {
        DeviceBufferDefinition buffer;
        buffer.name = node.attribute("name").as_string();
        if (buffer.name.empty()) throw DefinitionError("Device buffer must have a name attribute");
        buffer.type = node.attribute("type").as_string();
        if (buffer.type.empty())
            throw DefinitionError("Device buffer '" + buffer.name + "' must have a type attribute");
        if (!isDeviceBufferType(buffer.type)) {
            throw DefinitionError("Device buffer '" + buffer.name + "' has invalid type '" + buffer.type +
                                  "'. Valid types: float, float2, float3, float4, int, uint32, uint64");
        }
        buffer.count = node.attribute("count").as_string();
        if (buffer.count.empty()) {
            throw DefinitionError("Device buffer '" + buffer.name + "' must have a count attribute");
        }
        if (!names.insert(buffer.name).second)
            throw DefinitionError("Duplicate device buffer name: " + buffer.name);
        VLOG_INFO("  Device buffer: '%s' (type=%s, count=%s)", buffer.name.c_str(), buffer.type.c_str(),
                  buffer.count.c_str());
        def_.deviceBuffers_.push_back(std::move(buffer));
    }
    if (def_.deviceBuffers_.size() > kMaxDeviceBuffers) {
        throw DefinitionError("Too many device buffers (" + std::to_string(def_.deviceBuffers_.size()) +
                              "). Maximum is " + std::to_string(kMaxDeviceBuffers));
    }
    VLOG_INFO("Parsed %zu device buffer(s)", def_.deviceBuffers_.size());
}

void DefinitionReader::readAudioReactive(const pugi::xml_node& section) {
    VLOG_INFO("Parsing <audio_reactive> section");
    def_.audioSlots_ = section.attribute("slots").as_int(0);
    if (def_.audioSlots_ <= 0) {
        VLOG_INFO("  <audio_reactive> has no slots (slots=%d)", def_.audioSlots_);
        def_.audioSlots_ = 0;
    } else {
        for (const pugi::xml_node& node : section.children("target")) {
            const std::string name = node.attribute("name").as_string();
            if (name.empty()) {
                VLOG_INFO("  Skipping <target> with no name attribute");
            } else if (!def_.hasParameter(name)) {
                VLOG_INFO("  Audio reactive target '%s' not found in <parameters> \u2014 skipping",
                          name.c_str());
            } else {
                VLOG_INFO("  Audio reactive target: '%s'", name.c_str());
                def_.audioTargets_.push_back(name);
            }
        }
    }
    VLOG_INFO("Parsed audio_reactive: %d slots, %zu targets", def_.audioSlots_, def_.audioTargets_.size());
}

OverlayColor DefinitionReader::parseOverlayColor(const std::string& text) {
    OverlayColor color;
    if (text.empty()) return color;
    color.set = true;
    if (text[0] == '#') {
        if (text.size() == 7) {
            unsigned int bytes[3] = {255, 255, 255};
            std::sscanf(text.c_str(), "#%02x%02x%02x", &bytes[0], &bytes[1], &bytes[2]);
            color.red = static_cast<float>(bytes[0]) / 255.0f;
            color.green = static_cast<float>(bytes[1]) / 255.0f;
            color.blue = static_cast<float>(bytes[2]) / 255.0f;
        } else if (text.size() == 4) {
            unsigned int digits[3] = {0, 0, 0};
            if (std::sscanf(text.c_str(), "#%1x%1x%1x", &digits[0], &digits[1], &digits[2]) == 3) {
                color.red = static_cast<float>(digits[0] * 17) / 255.0f;
                color.green = static_cast<float>(digits[1] * 17) / 255.0f;
                color.blue = static_cast<float>(digits[2] * 17) / 255.0f;
            }
        }
        return color;
    }
    if (text.find(',') != std::string::npos) {
        // Up to three numbers separated by commas, read until one does not read.
        float parts[3] = {1.0f, 1.0f, 1.0f};
        const char* at = text.data();
        const char* const end = text.data() + text.size();
        for (int i = 0; i < 3; ++i) {
            if (i > 0 && (at == end || *at++ != ',')) break;
            double part = 0.0;
            const numbertext::ParseStatus status = numbertext::readLeadingDouble(at, end, part);
            if (status == numbertext::ParseStatus::NoNumber) break;
            // Infinity or NaN would poison the drawing; such components stay at 1.
            if (status == numbertext::ParseStatus::Ok) parts[i] = static_cast<float>(part);
        }
        color.red = std::isfinite(parts[0]) ? parts[0] : 1.0f;
        color.green = std::isfinite(parts[1]) ? parts[1] : 1.0f;
        color.blue = std::isfinite(parts[2]) ? parts[2] : 1.0f;
        return color;
    }
    struct Named {
        const char* name;
        float red, green, blue;
    };
    static const Named kNamed[] = {
        {"red", 1, 0, 0},           {"green", 0, 1, 0},     {"blue", 0, 0, 1},
        {"cyan", 0, 1, 1},          {"magenta", 1, 0, 1},   {"yellow", 1, 1, 0},
        {"white", 1, 1, 1},         {"black", 0, 0, 0},     {"gray", 0.5f, 0.5f, 0.5f},
        {"grey", 0.5f, 0.5f, 0.5f}, {"orange", 1, 0.5f, 0}, {"purple", 0.5f, 0, 0.5f},
        {"pink", 1, 0.5f, 0.5f}};
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const Named& named : kNamed) {
        if (lower == named.name) {
            color.red = named.red;
            color.green = named.green;
            color.blue = named.blue;
            return color;
        }
    }
    VLOG_INFO("Unknown overlay color '%s', using white", text.c_str());
    return color;
}

bool DefinitionReader::readOverlay(const pugi::xml_node& node, OverlayDefinition& overlay, int depth) const {
    const int type = overlayTypeCode(node.name());
    if (type < 0) return false;
    overlay.type = type;
    overlay.param = node.attribute("param").as_string();
    overlay.style = node.attribute("style").as_string("crosshair");
    overlay.visible_when = node.attribute("visible_when").as_string();
    overlay.label = node.attribute("label").as_string();
    overlay.color = parseOverlayColor(node.attribute("color").as_string());
    overlay.center = node.attribute("center").as_string();
    overlay.fixed_x = readFloat(node, "fixed_x", 0.5f);
    overlay.direction = node.attribute("direction").as_string();
    overlay.magnitude = node.attribute("magnitude").as_string();
    overlay.fixed_magnitude = readFloat(node, "fixed_magnitude", 0.1f);
    overlay.angle = node.attribute("angle").as_string();
    if (depth >= kMaxOverlayDepth) return true;
    for (const pugi::xml_node& child : node.children()) {
        if (child.type() != pugi::node_element || !isSubOverlayElement(child.name())) continue;
        OverlayDefinition sub;
        if (readOverlay(child, sub, depth + 1)) overlay.subOverlays.push_back(std::move(sub));
    }
    return true;
}

void DefinitionReader::readOverlays(const pugi::xml_node& overlays) {
    VLOG_INFO("Parsing <overlays> section");
    const std::string coordinates = overlays.attribute("coordinates").as_string("uv");
    if (coordinates == "centered") {
        def_.overlayCoordinates_ = OverlayCoordinates::Centered;
        VLOG_INFO("Overlay coordinate system: centered (-0.5 to 0.5)");
    } else if (coordinates == "centered_aspect") {
        def_.overlayCoordinates_ = OverlayCoordinates::CenteredAspect;
        VLOG_INFO("Overlay coordinate system: centered_aspect (aspect-corrected)");
    } else {
        def_.overlayCoordinates_ = OverlayCoordinates::Uv;
        VLOG_INFO("Overlay coordinate system: uv (0-1 range)");
    }
    for (const pugi::xml_node& node : overlays.children()) {
        if (node.type() != pugi::node_element) continue;
        OverlayDefinition overlay;
        if (!readOverlay(node, overlay, 0)) {
            VLOG_INFO("Unknown overlay type '%s', skipping", node.name());
            continue;
        }
        if (overlay.param.empty() && overlay.center.empty()) continue;
        VLOG_INFO("Parsed overlay: type=%s, param=%s, style=%s", node.name(), overlay.param.c_str(),
                  overlay.style.c_str());
        def_.overlays_.push_back(std::move(overlay));
    }
    VLOG_INFO("Parsed %zu overlays", def_.overlays_.size());
}
