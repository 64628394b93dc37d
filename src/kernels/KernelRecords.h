#pragma once

// Argument records shared by the render engine (host code) and every kernel (device code).
// The byte layout is binding: hosts and kernels compiled separately exchange these records,
// so every offset and size is pinned by a static assertion below. Texture objects, surface
// objects and host pointers are carried as plain 64-bit integers.

#include <stddef.h>
#include <stdint.h>

constexpr int MAX_SOURCE_SLOTS = 16;
constexpr int MAX_BUNDLED_RESOURCES = 16;
constexpr int MAX_DEVICE_BUFFERS = 8;

constexpr int MAX_PACKED_FLOATS = 64;
constexpr int MAX_PACKED_INTS = 32;
constexpr int MAX_PACKED_BOOLS = 32;
constexpr int MAX_PACKED_VEC2S = 16;
constexpr int MAX_PACKED_VEC3S = 16;
constexpr int MAX_PACKED_COLORS = 16;
constexpr int MAX_PACKED_COLORS_RGBA = 16;

// Render geometry, time, pass counters and framework values of one pass.
struct SystemParameters {
    int32_t width;
    int32_t height;
    float time;
    float frameRate;
    int32_t frame;
    float percentScale;
    float pixelAspectRatio;
    float aspectRatio;
    float renderScaleX;
    float renderScaleY;
    uint8_t reserved40;
    uint8_t interactiveRender;
    uint8_t padding42[2];
    int32_t renderWindow[4];  // x1, y1, x2, y2
    uint8_t sequentialRender;
    uint8_t padding61[3];
    int32_t currentExecution;
    int32_t totalExecutions;
    int32_t currentKernel;
    int32_t totalKernels;
    int32_t currentPass;
    int32_t totalPasses;
    int32_t currentPipelineExecution;
    int32_t totalPipelineExecutions;
    int32_t currentPipeline;
    int32_t totalPipelines;
    int32_t currentProcessExecution;
    int32_t totalProcessExecutions;
    int32_t reserved112;  // 32
    int32_t reserved116;  // 32
    int32_t reserved120;  // 3
    uint8_t reserved124;
    uint8_t padding125[3];
    float reserved128;  // 1.0
    uint8_t reserved132[8];
    float globalBlend;
    float transitionPosition;
    int32_t isTransition;
    uint8_t accumValid;
    uint8_t padding153[3];
    int32_t reserved156;  // 0
    int32_t reserved160;  // -1
    int32_t reserved164;  // -1
    float accumLastTime;
    uint8_t accumUpdate;
    uint8_t padding173[3];
    int32_t dispatchCount;
    uint8_t reserved180[32];
    int32_t premultiplyOutput;
    uint8_t reserved216[20];
};

// Effect name and version, as host pointers (no kernel reads them).
struct PipelineParameters {
    uint64_t effectName;
    uint64_t effectVersion;
};

struct SourceSlot {
    uint64_t textureObject;  // 0 when none
    uint8_t isConnected;
    uint8_t padding9[7];
    uint64_t sourceName;  // host pointer to the name
    int32_t addressMode;  // 0 clamp, 1 repeat, 2 mirror, 3 black
    int32_t defaultMode;  // 0 error, 1 black, 2 white, 3 transparent
    uint8_t reserved32;   // 0
    uint8_t padding33[3];
    int32_t reserved36;  // -1
    int32_t reserved40;  // 0
    int32_t reserved44;  // 0
    int32_t reserved48;  // 4
    uint8_t padding52[4];
};

// All source textures of a render: inputs, effectOutput, process outputs, accumulation buffers.
struct SourceConnections {
    SourceSlot sources[MAX_SOURCE_SLOTS];
    int32_t sourceCount;
    uint8_t padding900[4];
};

struct PackedVec2 {
    float x, y;
};
struct PackedVec3 {
    float x, y, z;
};
struct PackedVec4 {
    float x, y, z, w;
};

// The effect's parameter values, packed by type in declaration order.
struct AnimatedParameters {
    float floats[MAX_PACKED_FLOATS];
    int32_t ints[MAX_PACKED_INTS];
    uint8_t bools[MAX_PACKED_BOOLS];
    PackedVec2 vec2s[MAX_PACKED_VEC2S];
    PackedVec3 vec3s[MAX_PACKED_VEC3S];
    PackedVec3 colors[MAX_PACKED_COLORS];
    PackedVec4 colorsRGBA[MAX_PACKED_COLORS_RGBA];
    int32_t floatCount;
    int32_t intCount;
    int32_t boolCount;
    int32_t vec2Count;
    int32_t vec3Count;
    int32_t colorCount;
    int32_t colorRGBACount;
};

struct ResourceSlot {
    uint64_t textureObject;
    uint64_t name;  // host pointer
    int32_t width;
    int32_t height;
    int32_t channels;
    int32_t samplerMode;
    int32_t wrapMode;
    uint8_t padding36[4];
};

struct BundledResources {
    ResourceSlot resources[MAX_BUNDLED_RESOURCES];
    int32_t resourceCount;
    uint8_t padding644[4];
};

struct DeviceBufferSlot {
    uint64_t devicePointer;
    int32_t elementCount;
    int32_t elementSize;  // bytes: 4, 8, 12 or 16
    uint64_t name;        // host pointer
};

struct DeviceBuffers {
    DeviceBufferSlot buffers[MAX_DEVICE_BUFFERS];
    int32_t bufferCount;
    uint8_t padding196[4];
};

#define VELMORA_ASSERT_FIELD(Record, field, offset) \
    static_assert(offsetof(Record, field) == (offset), #Record "::" #field " must sit at byte " #offset)

static_assert(sizeof(SystemParameters) == 236 && alignof(SystemParameters) == 4, "SystemParameters layout");
VELMORA_ASSERT_FIELD(SystemParameters, width, 0);
VELMORA_ASSERT_FIELD(SystemParameters, height, 4);
VELMORA_ASSERT_FIELD(SystemParameters, time, 8);
VELMORA_ASSERT_FIELD(SystemParameters, frameRate, 12);
VELMORA_ASSERT_FIELD(SystemParameters, frame, 16);
VELMORA_ASSERT_FIELD(SystemParameters, percentScale, 20);
VELMORA_ASSERT_FIELD(SystemParameters, pixelAspectRatio, 24);
VELMORA_ASSERT_FIELD(SystemParameters, aspectRatio, 28);
VELMORA_ASSERT_FIELD(SystemParameters, renderScaleX, 32);
VELMORA_ASSERT_FIELD(SystemParameters, renderScaleY, 36);
VELMORA_ASSERT_FIELD(SystemParameters, reserved40, 40);
VELMORA_ASSERT_FIELD(SystemParameters, interactiveRender, 41);
VELMORA_ASSERT_FIELD(SystemParameters, renderWindow, 44);
VELMORA_ASSERT_FIELD(SystemParameters, sequentialRender, 60);
VELMORA_ASSERT_FIELD(SystemParameters, currentExecution, 64);
VELMORA_ASSERT_FIELD(SystemParameters, totalExecutions, 68);
VELMORA_ASSERT_FIELD(SystemParameters, currentKernel, 72);
VELMORA_ASSERT_FIELD(SystemParameters, totalKernels, 76);
VELMORA_ASSERT_FIELD(SystemParameters, currentPass, 80);
VELMORA_ASSERT_FIELD(SystemParameters, totalPasses, 84);
VELMORA_ASSERT_FIELD(SystemParameters, currentPipelineExecution, 88);
VELMORA_ASSERT_FIELD(SystemParameters, totalPipelineExecutions, 92);
VELMORA_ASSERT_FIELD(SystemParameters, currentPipeline, 96);
VELMORA_ASSERT_FIELD(SystemParameters, totalPipelines, 100);
VELMORA_ASSERT_FIELD(SystemParameters, currentProcessExecution, 104);
VELMORA_ASSERT_FIELD(SystemParameters, totalProcessExecutions, 108);
VELMORA_ASSERT_FIELD(SystemParameters, reserved112, 112);
VELMORA_ASSERT_FIELD(SystemParameters, reserved116, 116);
VELMORA_ASSERT_FIELD(SystemParameters, reserved120, 120);
VELMORA_ASSERT_FIELD(SystemParameters, reserved124, 124);
VELMORA_ASSERT_FIELD(SystemParameters, reserved128, 128);
VELMORA_ASSERT_FIELD(SystemParameters, reserved132, 132);
VELMORA_ASSERT_FIELD(SystemParameters, globalBlend, 140);
VELMORA_ASSERT_FIELD(SystemParameters, transitionPosition, 144);
VELMORA_ASSERT_FIELD(SystemParameters, isTransition, 148);
VELMORA_ASSERT_FIELD(SystemParameters, accumValid, 152);
VELMORA_ASSERT_FIELD(SystemParameters, reserved156, 156);
VELMORA_ASSERT_FIELD(SystemParameters, reserved160, 160);
VELMORA_ASSERT_FIELD(SystemParameters, reserved164, 164);
VELMORA_ASSERT_FIELD(SystemParameters, accumLastTime, 168);
VELMORA_ASSERT_FIELD(SystemParameters, accumUpdate, 172);
VELMORA_ASSERT_FIELD(SystemParameters, dispatchCount, 176);
VELMORA_ASSERT_FIELD(SystemParameters, premultiplyOutput, 212);

static_assert(sizeof(PipelineParameters) == 16 && alignof(PipelineParameters) == 8,
              "PipelineParameters layout");
VELMORA_ASSERT_FIELD(PipelineParameters, effectName, 0);
VELMORA_ASSERT_FIELD(PipelineParameters, effectVersion, 8);

static_assert(sizeof(SourceSlot) == 56 && alignof(SourceSlot) == 8, "SourceSlot layout");
VELMORA_ASSERT_FIELD(SourceSlot, textureObject, 0);
VELMORA_ASSERT_FIELD(SourceSlot, isConnected, 8);
VELMORA_ASSERT_FIELD(SourceSlot, sourceName, 16);
VELMORA_ASSERT_FIELD(SourceSlot, addressMode, 24);
VELMORA_ASSERT_FIELD(SourceSlot, defaultMode, 28);
VELMORA_ASSERT_FIELD(SourceSlot, reserved32, 32);
VELMORA_ASSERT_FIELD(SourceSlot, reserved36, 36);
VELMORA_ASSERT_FIELD(SourceSlot, reserved40, 40);
VELMORA_ASSERT_FIELD(SourceSlot, reserved44, 44);
VELMORA_ASSERT_FIELD(SourceSlot, reserved48, 48);

static_assert(sizeof(SourceConnections) == 904 && alignof(SourceConnections) == 8,
              "SourceConnections layout");
VELMORA_ASSERT_FIELD(SourceConnections, sources, 0);
VELMORA_ASSERT_FIELD(SourceConnections, sourceCount, 896);

static_assert(sizeof(AnimatedParameters) == 1212 && alignof(AnimatedParameters) == 4,
              "AnimatedParameters layout");
VELMORA_ASSERT_FIELD(AnimatedParameters, floats, 0);
VELMORA_ASSERT_FIELD(AnimatedParameters, ints, 256);
VELMORA_ASSERT_FIELD(AnimatedParameters, bools, 384);
VELMORA_ASSERT_FIELD(AnimatedParameters, vec2s, 416);
VELMORA_ASSERT_FIELD(AnimatedParameters, vec3s, 544);
VELMORA_ASSERT_FIELD(AnimatedParameters, colors, 736);
VELMORA_ASSERT_FIELD(AnimatedParameters, colorsRGBA, 928);
VELMORA_ASSERT_FIELD(AnimatedParameters, floatCount, 1184);
VELMORA_ASSERT_FIELD(AnimatedParameters, intCount, 1188);
VELMORA_ASSERT_FIELD(AnimatedParameters, boolCount, 1192);
VELMORA_ASSERT_FIELD(AnimatedParameters, vec2Count, 1196);
VELMORA_ASSERT_FIELD(AnimatedParameters, vec3Count, 1200);
VELMORA_ASSERT_FIELD(AnimatedParameters, colorCount, 1204);
VELMORA_ASSERT_FIELD(AnimatedParameters, colorRGBACount, 1208);

static_assert(sizeof(ResourceSlot) == 40 && alignof(ResourceSlot) == 8, "ResourceSlot layout");
VELMORA_ASSERT_FIELD(ResourceSlot, textureObject, 0);
VELMORA_ASSERT_FIELD(ResourceSlot, name, 8);
VELMORA_ASSERT_FIELD(ResourceSlot, width, 16);
VELMORA_ASSERT_FIELD(ResourceSlot, height, 20);
VELMORA_ASSERT_FIELD(ResourceSlot, channels, 24);
VELMORA_ASSERT_FIELD(ResourceSlot, samplerMode, 28);
VELMORA_ASSERT_FIELD(ResourceSlot, wrapMode, 32);

static_assert(sizeof(BundledResources) == 648 && alignof(BundledResources) == 8, "BundledResources layout");
VELMORA_ASSERT_FIELD(BundledResources, resources, 0);
VELMORA_ASSERT_FIELD(BundledResources, resourceCount, 640);

static_assert(sizeof(DeviceBufferSlot) == 24 && alignof(DeviceBufferSlot) == 8, "DeviceBufferSlot layout");
VELMORA_ASSERT_FIELD(DeviceBufferSlot, devicePointer, 0);
VELMORA_ASSERT_FIELD(DeviceBufferSlot, elementCount, 8);
VELMORA_ASSERT_FIELD(DeviceBufferSlot, elementSize, 12);
VELMORA_ASSERT_FIELD(DeviceBufferSlot, name, 16);

static_assert(sizeof(DeviceBuffers) == 200 && alignof(DeviceBuffers) == 8, "DeviceBuffers layout");
VELMORA_ASSERT_FIELD(DeviceBuffers, buffers, 0);
VELMORA_ASSERT_FIELD(DeviceBuffers, bufferCount, 192);

#undef VELMORA_ASSERT_FIELD
