#pragma once

// The CPU backend's parallel work on the host's threads: when the host offers the OpenFX
// multi-thread suite, kernels and fast paths spread their rows over as many threads as it
// allows, so a host (or velmora-render --threads) decides how many cores a render takes.
void useHostThreads();
// Back to the plug-in's own pool; the host's suite is gone once the plug-in is unloaded.
void releaseHostThreads();
