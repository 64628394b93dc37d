#include "kernels/AnimatedParametersPacker.h"

#include <cstring>
#include <exception>

#include "log/PluginLog.h"

namespace {

struct SlotRef {
    enum Array { Floats, Vec2s } array;
    int slot;
};

bool vectorType(const std::string& type) {
    return type == "vec2" || type == "vec3" || type == "color" || type == "color_rgba";
}

// The host value of a vector parameter, or false when it cannot be had.
bool readVectorValue(const ParameterDefinition& def, const std::map<std::string, ParameterValue>& values,
                     const HostParameterReader* reader, double time, ParameterValue& out) {
    if (!reader) {
        const auto it = values.find(def.name);
        if (it == values.end()) return false;
        out = it->second;
        return true;
    }
    try {
        out = reader->readVector(def.name, def.type, time);
        return true;
    } catch (const std::exception& e) {
        VLOG_ERROR("Failed to fetch %s param %s: %s", def.type.c_str(), def.name.c_str(), e.what());
    } catch (...) {
        VLOG_ERROR("Failed to fetch %s param %s: %s", def.type.c_str(), def.name.c_str(), "unknown error");
    }
    return false;
}

}  // namespace

AnimatedParameters packAnimatedParameters(const std::vector<ParameterDefinition>& definitions,
                                          const std::map<std::string, ParameterValue>& values,
                                          const HostParameterReader* reader, const PackingContext& context) {
    AnimatedParameters p;
    std::memset(&p, 0, sizeof(p));
    const double t = context.hasRenderArguments ? context.time : 0.0;

    // Slots taken by resolution-scaled parameters, scaled once packing is done. Following the slot a
    // parameter actually took keeps the scale on the right value when an earlier one was skipped.
    std::vector<SlotRef> scaled;

    for (const ParameterDefinition& def : definitions) {
        const std::string& type = def.type;
        if (vectorType(type)) {
            int* count = nullptr;
            int capacity = 0;
            if (type == "vec2")
                count = &p.vec2Count, capacity = MAX_PACKED_VEC2S;
            else if (type == "vec3")
                count = &p.vec3Count, capacity = MAX_PACKED_VEC3S;
            else if (type == "color")
                count = &p.colorCount, capacity = MAX_PACKED_COLORS;
            else
                count = &p.colorRGBACount, capacity = MAX_PACKED_COLORS_RGBA;
            if (*count >= capacity) continue;
            ParameterValue v;
            if (!readVectorValue(def, values, reader, t, v)) continue;
            const int slot = (*count)++;
            if (type == "vec2") {
                p.vec2s[slot] = {v.x(), v.y()};
                if (def.resolution_scaled) scaled.push_back({SlotRef::Vec2s, slot});
            } else if (type == "vec3") {
                p.vec3s[slot] = {v.x(), v.y(), v.z()};
            } else if (type == "color") {
                p.colors[slot] = {v.x(), v.y(), v.z()};
            } else {
                p.colorsRGBA[slot] = {v.x(), v.y(), v.z(), v.w()};
            }
            continue;
        }

        const bool isFloat = type == "float" || type == "double";
        const bool isInt = type == "int" || type == "choice";
        const bool isBool = type == "bool";
        if (!isFloat && !isInt && !isBool) continue;
        const auto it = values.find(def.name);
        if (it == values.end()) continue;
        const ParameterValue& v = it->second;
        if (isFloat && p.floatCount < MAX_PACKED_FLOATS) {
            const int slot = p.floatCount++;
            p.floats[slot] = static_cast<float>(v.asDouble());
            if (def.resolution_scaled) scaled.push_back({SlotRef::Floats, slot});
        } else if (isInt && p.intCount < MAX_PACKED_INTS) {
            p.ints[p.intCount++] = v.asInt();
        } else if (isBool && p.boolCount < MAX_PACKED_BOOLS) {
            p.bools[p.boolCount++] = v.asBool() ? 1 : 0;
        }
    }

    const bool rescale =
        context.hasRenderArguments && (context.renderScaleX != 1.0 || context.renderScaleY != 1.0);
    if (rescale) {
        const float sx = static_cast<float>(context.renderScaleX);
        const float sy = static_cast<float>(context.renderScaleY);
        for (const SlotRef& ref : scaled) {
            if (ref.array == SlotRef::Floats) {
                p.floats[ref.slot] *= sx;
            } else {
                p.vec2s[ref.slot].x *= sx;
                p.vec2s[ref.slot].y *= sy;
            }
        }
    }
    return p;
}
