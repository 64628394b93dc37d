#pragma once

// Final processing of a render, host side: the destination is uploaded into an array, the
// framework kernel premultiplies and blends it with the unprocessed source, and the result goes
// back into the destination. The destination is untouched unless every step succeeds.

#include "gpu/GpuRuntime.h"
#include "kernels/FinalProcessingLaunch.h"
#include "kernels/KernelRecords.h"

bool runFinalProcessing(GpuRuntime& gpu, GpuStream stream, const SystemParameters& system,
                        const void* sourcePixels, void* destinationPixels, int width, int height,
                        int sourceRowBytes, int destinationRowBytes, const AudioMonitorRecord& monitor);

// The record final processing reads: size, frame, blend and premultiply; every other byte zero.
SystemParameters finalProcessingSystemParameters(int width, int height, double time, double globalBlend,
                                                 bool premultiplyOutput);
