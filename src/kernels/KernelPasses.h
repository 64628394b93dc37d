#pragma once

// Launch functions of the effect kernels, one per kernel module, and the table that finds one
// by the file name a definition's kernel entry gives.
//
// The five functions are exported from the library with C linkage, so a host or tool can find
// them under their plain names (dlsym / GetProcAddress). Each returns the launch error code
// (0 on success); the caller checks the runtime's last error and synchronises the stream.

#include <stdint.h>

#include <string>
#include <vector>

#include "gpu/GpuTypes.h"
#include "kernels/KernelRecords.h"
#include "kernels/PassReach.h"
#include "kernels/PassRegion.h"

#if defined(_WIN32)
#define VELMORA_KERNEL_EXPORT __declspec(dllexport)
#else
#define VELMORA_KERNEL_EXPORT __attribute__((visibility("default")))
#endif

using KernelPassFunction = int (*)(GpuStream stream, const SystemParameters* system,
                                   const PipelineParameters* pipeline, const SourceConnections* sources,
                                   const AnimatedParameters* parameters, const BundledResources* resources,
                                   const DeviceBuffers* buffers, const char* kernelName,
                                   uint64_t workingImageTex, uint64_t outputSurface);

extern "C" {
VELMORA_KERNEL_EXPORT int call_mask_prep_kernel_Pass(GpuStream, const SystemParameters*,
                                                     const PipelineParameters*, const SourceConnections*,
                                                     const AnimatedParameters*, const BundledResources*,
                                                     const DeviceBuffers*, const char*, uint64_t, uint64_t);
VELMORA_KERNEL_EXPORT int call_blur_divide_kernel_Pass(GpuStream, const SystemParameters*,
                                                       const PipelineParameters*, const SourceConnections*,
                                                       const AnimatedParameters*, const BundledResources*,
                                                       const DeviceBuffers*, const char*, uint64_t, uint64_t);
VELMORA_KERNEL_EXPORT int call_post_blur_kernel_Pass(GpuStream, const SystemParameters*,
                                                     const PipelineParameters*, const SourceConnections*,
                                                     const AnimatedParameters*, const BundledResources*,
                                                     const DeviceBuffers*, const char*, uint64_t, uint64_t);
VELMORA_KERNEL_EXPORT int call_retexture_blur_kernel_Pass(GpuStream, const SystemParameters*,
                                                          const PipelineParameters*, const SourceConnections*,
                                                          const AnimatedParameters*, const BundledResources*,
                                                          const DeviceBuffers*, const char*, uint64_t,
                                                          uint64_t);
VELMORA_KERNEL_EXPORT int call_composite_kernel_Pass(GpuStream, const SystemParameters*,
                                                     const PipelineParameters*, const SourceConnections*,
                                                     const AnimatedParameters*, const BundledResources*,
                                                     const DeviceBuffers*, const char*, uint64_t, uint64_t);
}

struct KernelLaunchArgs;
// One backend's launcher of a kernel module: returns the launch error code (0 on success).
using KernelModuleLauncher = int (*)(const KernelLaunchArgs& args);

// Adds a kernel module to the table, for effects built on the framework that bring kernels of
// their own; a later registration of the same name replaces the earlier one, and the modules of
// the shipped effect cannot be replaced. cuda may be null where the module has no GPU build.
void registerKernelModule(const std::string& name, KernelModuleLauncher host, KernelModuleLauncher cuda);

// A launch function with a region: the same pass over the tiles the region lists only (all of
// them when `region` is null). Tiles outside the region are not written.
using KernelRegionPassFunction = int (*)(GpuStream stream, const SystemParameters* system,
                                         const PipelineParameters* pipeline, const SourceConnections* sources,
                                         const AnimatedParameters* parameters,
                                         const BundledResources* resources, const DeviceBuffers* buffers,
                                         const char* kernelName, uint64_t workingImageTex,
                                         uint64_t outputSurface, const PassRegion* region);

// On the host backend the launch functions use whole-row CPU implementations where those give
// the per-pixel kernels' exact result; off runs every pass through the per-pixel kernels.
void setCpuRowPathsEnabled(bool enabled);

// The kernel's base name: the file name cut at the first ".cu", then at the first ".metal".
std::string kernelBaseName(const std::string& file);

// The launch function for a kernel file ("composite.cu", "composite.metal"), by exact,
// case-sensitive match of the base name; null when the table has no such kernel.
KernelPassFunction findKernelPassFunction(const std::string& file);
// The same kernel's launch function with a region (null for a kernel without one).
KernelRegionPassFunction findKernelRegionPassFunction(const std::string& file);

// Adds a kernel module of another effect built on the framework (one bundle's own kernels) to
// the table under its base name: its launcher for the host backend and, where the cuda backend
// is built, for CUDA (null otherwise). A name already in the table is left as it is.
struct KernelLaunchArgs;
using KernelModuleLauncher = int (*)(const KernelLaunchArgs&);
void registerKernelModule(const std::string& name, KernelModuleLauncher host, KernelModuleLauncher cuda);

// What the pass of the kernel `file` reads around an output pixel, and where its output can be
// non-zero or is its input, for the pass's records. False when the kernel cannot bound the pass.
bool kernelPassReach(const std::string& file, const KernelLaunchArgs& args, PassReach& reach);

// For a pass whose support is Scanned: tileFlags[ty * tilesX + tx] = 1 for every 16 x 16 tile where
// its output can be non-zero (0 elsewhere). False when the scan could not run.
bool scanKernelPassSupport(const std::string& file, const KernelLaunchArgs& args,
                           std::vector<unsigned char>& tileFlags);

// The working image a pass reads when the dispatcher hands none: the process's previous
// execution, the previous effect execution, the previous process, or the first input.
uint64_t chooseWorkingImage(const SystemParameters& system, const SourceConnections& sources, int inputCount);
// The source slot that working image comes from; -1 for none.
int chooseWorkingSlot(const SystemParameters& system, const SourceConnections& sources, int inputCount);

// The effect's input count as the source record shows it: the slots before the first
// framework buffer ("effectOutput", "pipelineOutput_<k>", "accum_<name>").
int effectInputCount(const SourceConnections& sources);
