#pragma once

// The source slots kernels read: the definition's inputs in declaration order (default textures
// standing in for unconnected ones), Input 2 re-routed when the host offers fewer auxiliary inputs
// than declared, then the effect-output, process-output and accumulation textures, and last the
// matte-injected source in slot 0 when the alpha settings ask for it.

#include <map>
#include <string>
#include <vector>

#include "definition/EffectDefinitionRecords.h"
#include "gpu/GpuRuntime.h"
#include "kernels/KernelRecords.h"

class RenderBufferManager;
class TextureManager;

using TextureMap = std::map<std::string, GpuTextureObject>;
using ConnectionMap = std::map<std::string, bool>;

// Matte injection runs once per render; later passes reuse its result.
struct MatteInjectionState {
    bool injectionDone = false;
    GpuTextureObject injectedTexture = 0;
};

struct SourceRoutingInputs {
    const std::vector<InputDefinition>* inputs = nullptr;
    const std::vector<std::string>* accumulationNames = nullptr;
    const TextureMap* textures = nullptr;
    const ConnectionMap* connectionStatus = nullptr;
    const TextureManager* textureManager = nullptr;  // default textures
    RenderBufferManager* bufferManager = nullptr;    // runs the injection
    GpuStream stream = nullptr;
    bool isTransition = false;
    bool auxRoutingActive = false;
    int auxSourceIndex = 0;
    int alphaSourceMode = 0;
    bool matteConnected = false;
    GpuTextureObject matteTexture = 0;
};

void injectMatteTexture(const SourceRoutingInputs& inputs, MatteInjectionState& state,
                        SourceConnections& record);

void replaceSourceTexture(SourceConnections& record, int index, GpuTextureObject texture);

// Whether Input 2 routing is in force for an instance: the profile may cap auxiliary inputs,
// the context is general and more than one auxiliary target exists.
bool auxRoutingApplies(bool mayCapAuxInputs, bool synthesizeMatte, bool generalContext,
                       const std::vector<InputDefinition>& inputs);

// A Matte clip is synthesized: the profile asks for one, the context is general and no declared
// input is named "Matte".
bool matteClipSynthesized(bool synthesizeMatte, bool generalContext,
                          const std::vector<InputDefinition>& inputs);

// Which injection mode the alpha settings ask for: 0 none, 1 luminance, 2 opaque.
int matteInjectionMode(int alphaSourceMode, bool haveMatteSource);
