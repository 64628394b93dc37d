#include "kernels/SystemParametersBuilder.h"

#include <cmath>
#include <cstddef>
#include <cstring>

#include "log/PluginLog.h"

namespace {

float toFloat(double value) {
    return static_cast<float>(value);
}

void logLayout(const SystemParameters& s) {
    VLOG_DEBUG("=== SYSTEMPARAMETERS STRUCT LAYOUT ===");
    VLOG_DEBUG("Struct size: %zu bytes", sizeof(SystemParameters));
    VLOG_DEBUG("Execution state (XML hierarchy: pipeline → process → kernel):");
    VLOG_DEBUG("  currentPipeline offset: %zu, value: %d", offsetof(SystemParameters, currentPipeline),
               s.currentPipeline);
    VLOG_DEBUG("  totalPipelines offset: %zu, value: %d", offsetof(SystemParameters, totalPipelines),
               s.totalPipelines);
    VLOG_DEBUG("  currentPipelineExecution offset: %zu, value: %d",
               offsetof(SystemParameters, currentPipelineExecution), s.currentPipelineExecution);
    VLOG_DEBUG("  totalPipelineExecutions offset: %zu, value: %d",
               offsetof(SystemParameters, totalPipelineExecutions), s.totalPipelineExecutions);
    VLOG_DEBUG("  currentProcessExecution offset: %zu, value: %d",
               offsetof(SystemParameters, currentProcessExecution), s.currentProcessExecution);
    VLOG_DEBUG("  totalProcessExecutions offset: %zu, value: %d",
               offsetof(SystemParameters, totalProcessExecutions), s.totalProcessExecutions);
    VLOG_DEBUG("=======================================");
}

}  // namespace

int kernelFrameNumber(double time) {
    const double frame = std::trunc(time * 24.0);
    if (!std::isfinite(frame) || frame > 2147483647.0 || frame < -2147483648.0) return 0;
    return static_cast<int>(frame);
}

SystemParameters buildSystemParameters(const SystemParameterInputs& in) {
    SystemParameters s;
    std::memset(&s, 0, sizeof(s));
    s.width = in.width;
    s.height = in.height;

    if (in.hasRenderArguments) {
        s.time = toFloat(in.time);
        s.frame = kernelFrameNumber(in.time);
        s.renderScaleX = toFloat(in.renderScaleX);
        s.renderScaleY = toFloat(in.renderScaleY);
        s.sequentialRender = in.sequentialRender ? 1 : 0;
        s.interactiveRender = in.interactiveRender ? 1 : 0;
        for (int i = 0; i < 4; ++i) s.renderWindow[i] = in.renderWindow[i];
    } else {
        s.renderScaleX = 1.0f;
        s.renderScaleY = 1.0f;
    }

    s.frameRate = toFloat(in.frameRate);
    s.percentScale = 100.0f;
    s.pixelAspectRatio = toFloat(in.pixelAspectRatio);
    // A degenerate height leaves the aspect at 0 rather than infinity.
    s.aspectRatio = in.height > 0
                        ? static_cast<float>(in.width) * s.pixelAspectRatio / static_cast<float>(in.height)
                        : 0.0f;

    s.currentPipelineExecution = in.currentPipelineExecution;
    s.totalPipelineExecutions = in.totalPipelineExecutions;
    s.currentPipeline = in.currentPipeline;
    s.totalPipelines = in.totalPipelines;
    s.currentProcessExecution = in.currentProcessExecution;
    s.totalProcessExecutions = in.totalProcessExecutions;

    s.currentKernel = 0;
    s.totalKernels = 1;
    s.totalPasses = 1;
    s.reserved112 = 32;
    s.reserved116 = 32;
    s.reserved120 = 3;
    s.reserved128 = 1.0f;
    s.reserved160 = -1;
    s.reserved164 = -1;

    s.globalBlend = in.globalBlend ? toFloat(*in.globalBlend) : 1.0f;
    s.isTransition = in.isTransition ? 1 : 0;
    s.transitionPosition = in.isTransition ? toFloat(in.transitionPosition) : 0.0f;
    s.accumValid = in.accumValid ? 1 : 0;
    s.accumLastTime = toFloat(in.accumLastTime);
    s.accumUpdate = in.accumUpdate ? 1 : 0;
    s.premultiplyOutput = in.premultiplyOutput ? 1 : 0;

    if (PluginLog::instance().level() >= LogLevel::Debug) logLayout(s);
    return s;
}

void applyPassCounters(SystemParameters& s, const PassCounters& c) {
    s.currentExecution = c.currentExecution;
    s.totalExecutions = c.totalExecutions;
    s.currentKernel = c.currentKernel;
    s.totalKernels = c.totalKernels;
    s.currentPass = c.currentPass;
    s.totalPasses = c.totalPasses;
    s.dispatchCount = c.dispatchCount;
}
