#pragma once

// The final copy of a render: the last pass's array into the destination buffer, timed when
// the destination is host memory (which is page-locked first, within the pinned budget).

#include "gpu/GpuRuntime.h"

bool CopyTiming(GpuRuntime& gpu, GpuStream stream, GpuArray array, void* dst, int width, int height,
                int dstPitchBytes);

// The calling thread's copy totals since the last timed copy, in milliseconds.
void addHostToDeviceCopyTime(double milliseconds);
