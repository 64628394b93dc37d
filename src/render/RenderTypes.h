#pragma once

// Plain records the render engine exchanges with the effect instance that owns it.

#include <cstdint>
#include <map>
#include <string>

#include "params/ParameterValue.h"

// One image as the host hands it over: RGBA, four 32-bit floats per pixel, rows of `rowBytes`
// bytes, the first row in memory the bottom of the image.
struct ImagePlane {
    void* data = nullptr;
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // pixel bounds
    int rowBytes = 0;
    double pixelAspectRatio = 1.0;

    int width() const { return x2 - x1; }
    int height() const { return y2 - y1; }
};

// What the render action was asked to do.
struct RenderRequest {
    double time = 0.0;
    double renderScaleX = 1.0;
    double renderScaleY = 1.0;
    int renderWindow[4] = {0, 0, 0, 0};  // x1, y1, x2, y2
    std::string field = "none";
    bool sequentialRender = false;
    bool interactiveRender = false;
    bool isEnabledOpenCLRender = false;
    bool isEnabledCudaRender = false;
    bool isEnabledMetalRender = false;
    void* pCudaStream = nullptr;
    void* pOpenCLCmdQ = nullptr;
    void* pMetalCmdQ = nullptr;
};

// The host-profile switches the render engine reads.
struct RenderProfile {
    bool cudaFallback = false;     // images may arrive in host memory; use a plug-in-owned stream
    bool mayCapAuxInputs = false;  // the Input 2 routing selector exists
    bool synthesizeMatte = false;  // a Matte clip is added in the general context
    double accumTimeTolerance = 0.0;
};

// Alpha handling chosen by the user for one render.
struct AlphaMatteSettings {
    int alphaSourceMode = 0;  // 0 Auto, 1 Source's Embedded Alpha, 2 Matte Input's Luminance, 3 Opaque
    bool matteConnected = false;
    bool premultiplyOutput = false;
};

// Parameter values of one render, by name.
using ParameterValueMap = std::map<std::string, ParameterValue>;
