#include "render/SourceRouting.h"

#include <cstdint>
#include <cstring>

#include "kernels/FinalProcessingLaunch.h"
#include "log/PluginLog.h"
#include "render/RenderBufferManager.h"
#include "render/TextureManager.h"

namespace {

uint64_t namePointer(const std::string& name) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(name.c_str()));
}

// Appends a slot; a full record drops it silently. Returns the index it was meant for.
int appendSlot(SourceConnections& record, GpuTextureObject texture, bool connected, const std::string& name,
               int addressMode, int defaultMode) {
    const int index = record.sourceCount;
    if (index >= MAX_SOURCE_SLOTS) return index;
    SourceSlot& slot = record.sources[index];
    slot.textureObject = texture;
    slot.isConnected = connected ? 1 : 0;
    slot.sourceName = namePointer(name);
    slot.addressMode = addressMode;
    slot.defaultMode = defaultMode;
    slot.reserved32 = 0;
    slot.reserved36 = -1;
    slot.reserved40 = 0;
    slot.reserved44 = 0;
    slot.reserved48 = 4;
    ++record.sourceCount;
    return index;
}

const std::string* mapKey(const TextureMap& textures, const std::string& name, GpuTextureObject* texture) {
    auto found = textures.find(name);
    if (found == textures.end()) return nullptr;
    *texture = found->second;
    return &found->first;
}

}  // namespace

bool matteClipSynthesized(bool synthesizeMatte, bool generalContext,
                          const std::vector<InputDefinition>& inputs) {
    if (!synthesizeMatte || !generalContext) return false;
    for (const InputDefinition& input : inputs) {
        if (input.name == "Matte") return false;
    }
    return true;
}

bool auxRoutingApplies(bool mayCapAuxInputs, bool synthesizeMatte, bool generalContext,
                       const std::vector<InputDefinition>& inputs) {
    if (!mayCapAuxInputs || !generalContext) return false;
    const int synthesized = matteClipSynthesized(synthesizeMatte, generalContext, inputs) ? 1 : 0;
    const int targets = inputs.empty() ? synthesized : static_cast<int>(inputs.size()) - 1 + synthesized;
    return targets > 1;
}

int matteInjectionMode(int alphaSourceMode, bool haveMatteSource) {
    if (alphaSourceMode == 3) return kMatteInjectOpaque;
    if (alphaSourceMode == 0 || alphaSourceMode == 2) return haveMatteSource ? kMatteInjectLuminance : 0;
    return 0;
}

void replaceSourceTexture(SourceConnections& record, int index, GpuTextureObject texture) {
    if (index < 0 || index >= record.sourceCount || index >= MAX_SOURCE_SLOTS) {
        VLOG_ERROR("replaceSourceTexture: index %d out of range (sourceCount=%d)", index, record.sourceCount);
        return;
    }
    record.sources[index].textureObject = texture;
}

void injectMatteTexture(const SourceRoutingInputs& in, MatteInjectionState& state,
                        SourceConnections& record) {
    std::memset(&record, 0, sizeof record);
    static const std::vector<InputDefinition> noInputs;
    const std::vector<InputDefinition>& inputs = in.inputs ? *in.inputs : noInputs;
    static const TextureMap noTextures;
    const TextureMap& textures = in.textures ? *in.textures : noTextures;

    if (in.isTransition) {
        VLOG_DEBUG("Creating SourceConnections for TRANSITION context");
        for (const char* name : {"SourceFrom", "SourceTo"}) {
            GpuTextureObject texture = 0;
            const std::string* key = mapKey(textures, name, &texture);
            if (key) {
                appendSlot(record, texture, true, *key, 0, 0);
                VLOG_DEBUG("Added %s texture to SourceConnections", name);
            } else {
                VLOG_ERROR("%s texture not found for transition", name);
            }
        }
        return;
    }

    const int inputCount = static_cast<int>(inputs.size());
    GpuTextureObject auxTexture = 0;
    if (inputCount >= 2) {
        auto found = textures.find(inputs[1].name);
        if (found != textures.end()) auxTexture = found->second;
    }
    bool extraConnected = false;
    if (in.connectionStatus) {
        for (int i = 2; i < inputCount; ++i) {
            auto found = in.connectionStatus->find(inputs[i].name);
            if (found != in.connectionStatus->end() && found->second) extraConnected = true;
        }
    }
    const bool routingMode = in.auxRoutingActive && !extraConnected && !in.matteConnected;
    GpuTextureObject matteSource = 0;
    if (routingMode) {
        if (in.auxSourceIndex == inputCount && auxTexture) matteSource = auxTexture;
    } else if (in.matteConnected && in.matteTexture) {
        matteSource = in.matteTexture;
    }

    for (int i = 0; i < inputCount; ++i) {
        const InputDefinition& input = inputs[i];
        const int addressMode = input.borderModeCode();
        const int defaultMode = input.noInputCode();
        const GpuTextureObject fallback =
            (defaultMode != 0 && in.textureManager) ? in.textureManager->getDefaultTexture(defaultMode) : 0;
        if (routingMode && i > 0) {
            if (i == in.auxSourceIndex && auxTexture) {
                appendSlot(record, auxTexture, true, input.name, addressMode, defaultMode);
                VLOG_DEBUG("Aux routing: '%s' (index %d) rebound from extra input (Input 2 feeds it)",
                           input.name.c_str(), i);
            } else {
                appendSlot(record, fallback, false, input.name, addressMode, defaultMode);
                VLOG_DEBUG("Aux routing: '%s' (index %d) off (Input 2 feeds source %d)", input.name.c_str(),
                           i, in.auxSourceIndex);
            }
            continue;
        }
        auto found = textures.find(input.name);
        if (found == textures.end()) {
            if (defaultMode != 0) {
                if (fallback) {
                    VLOG_DEBUG("Using default texture for '%s' (mode=%d, isConnected=false)",
                               input.name.c_str(), defaultMode);
                } else {
                    VLOG_ERROR("Failed to get default texture for '%s'", input.name.c_str());
                }
            } else {
                VLOG_ERROR("Required input '%s' not connected", input.name.c_str());
            }
            appendSlot(record, fallback, false, input.name, addressMode, defaultMode);
            continue;
        }
        bool connected = true;
        if (in.connectionStatus) {
            auto state = in.connectionStatus->find(input.name);
            if (state != in.connectionStatus->end()) connected = state->second;
        }
        appendSlot(record, found->second, connected, input.name, addressMode, defaultMode);
    }

    GpuTextureObject texture = 0;
    if (const std::string* key = mapKey(textures, "effectOutput", &texture)) {
        const int index = appendSlot(record, texture, true, *key, 0, 0);
        VLOG_DEBUG("Phase 3a.5: Added effectOutput to SourceConnections at index %d", index);
    }
    for (int i = 0;; ++i) {
        const std::string* key = mapKey(textures, "pipelineOutput_" + std::to_string(i), &texture);
        if (!key) break;
        const int index = appendSlot(record, texture, true, *key, 0, 0);
        VLOG_DEBUG("Phase 3a.5: Added %s to SourceConnections at index %d", key->c_str(), index);
    }
    if (in.accumulationNames) {
        for (const std::string& name : *in.accumulationNames) {
            const std::string* key = mapKey(textures, "accum_" + name, &texture);
            if (!key) continue;
            const int index = appendSlot(record, texture, true, *key, 0, 0);
            VLOG_DEBUG("Added %s to SourceConnections at index %d", key->c_str(), index);
        }
    }
    VLOG_DEBUG(
        "SourceConnections complete - %d total sources (base inputs + pipeline outputs + accum buffers)",
        record.sourceCount);

    const int mode = matteInjectionMode(in.alphaSourceMode, matteSource != 0);
    if (mode == 0) return;

    if (record.sourceCount > 0 && !state.injectionDone) {
        GpuTextureObject result = 0;
        if (!record.sources[0].textureObject) {
            VLOG_ERROR("injectMatteTexture: no Source texture available (slot 0)");
        } else if (!in.bufferManager) {
            VLOG_ERROR("injectMatteTexture: no buffer manager available");
        } else {
            result = in.bufferManager->applyMatteInjection(in.stream, record.sources[0].textureObject,
                                                           matteSource, mode);
            if (!result) VLOG_ERROR("injectMatteTexture: applyMatteInjection failed (mode=%d)", mode);
        }
        state.injectedTexture = result;
        state.injectionDone = true;
        if (!result) VLOG_ERROR("Matte injection failed - falling back to Embedded alpha");
    }
    if (state.injectedTexture) replaceSourceTexture(record, 0, state.injectedTexture);
}
