#pragma once

#include <optional>

#include "kernels/KernelRecords.h"

// Plain inputs of one pass's SystemParameters, as the render engine knows them.
struct SystemParameterInputs {
    int width = 0;
    int height = 0;

    // Render arguments of the host's render call; without them time, frame and flags are 0
    // and the render scale is 1.
    bool hasRenderArguments = false;
    double time = 0.0;
    double renderScaleX = 1.0;
    double renderScaleY = 1.0;
    bool sequentialRender = false;
    bool interactiveRender = false;
    int renderWindow[4] = {0, 0, 0, 0};  // x1, y1, x2, y2

    double frameRate = 24.0;
    double pixelAspectRatio = 1.0;

    // Position in the pipeline hierarchy.
    int currentPipelineExecution = 0;
    int totalPipelineExecutions = 1;
    int currentPipeline = 0;
    int totalPipelines = 1;
    int currentProcessExecution = 0;
    int totalProcessExecutions = 1;

    std::optional<double> globalBlend;  // the "Blend" parameter at the render time; absent -> 1.0
    bool isTransition = false;
    double transitionPosition = 0.0;  // used only in the transition context

    bool accumValid = false;
    double accumLastTime = -1.0;
    bool accumUpdate = true;
    bool premultiplyOutput = false;
};

// Per-pass counters the dispatcher sets on top of the built record.
struct PassCounters {
    int currentExecution = 0;
    int totalExecutions = 1;
    int currentKernel = 0;
    int totalKernels = 1;
    int currentPass = 0;
    int totalPasses = 1;
    int dispatchCount = 0;
};

// The frame number the kernels see: time x 24, truncated toward zero (0 for non-finite or
// out-of-range times).
int kernelFrameNumber(double time);

// Builds the record of one pass (every byte not set is zero). Logs the layout at debug level.
SystemParameters buildSystemParameters(const SystemParameterInputs& inputs);

void applyPassCounters(SystemParameters& system, const PassCounters& counters);
