#pragma once

// Launchers of probe_kernels.cu, one set per backend build.

#define VELMORA_DECLARE_PROBE_LAUNCHERS(ns)                                                                 \
    namespace ns {                                                                                          \
    int launchWriteCoords(void* stream, unsigned long long surface, int width, int height, unsigned gridX,  \
                          unsigned gridY, bool guarded);                                                    \
    int launchSample(void* stream, unsigned long long texture, const float* coords, float* out, int count); \
    int launchWithBlock(void* stream, unsigned long long surface, unsigned blockX, unsigned blockY);        \
    }

VELMORA_DECLARE_PROBE_LAUNCHERS(host_impl)
VELMORA_DECLARE_PROBE_LAUNCHERS(cuda_impl)
