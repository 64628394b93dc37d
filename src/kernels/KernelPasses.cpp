#include "kernels/KernelPasses.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "gpu/GpuRuntime.h"
#include "kernels/KernelLaunch.h"
#include "kernels/KernelReach.h"
#include "kernels/cpu/CpuFastPaths.h"
#include "log/PluginLog.h"

namespace {

using TileLauncher = int (*)(const KernelLaunchArgs&, const unsigned* tiles, int count);
using ReachReport = bool (*)(const KernelLaunchArgs&, PassReach&);
using SupportScan = int (*)(const KernelLaunchArgs&, unsigned char* tileFlags, int tilesX);
using RowSupportScan = bool (*)(const KernelLaunchArgs&, unsigned char* tileFlags, int tilesX);
using RowPath = bool (*)(const KernelLaunchArgs&, const cpu_fast::RowRegion&);

struct KernelModule {
    const char* name;
    KernelPassFunction pass;
    KernelModuleLauncher host;
    KernelModuleLauncher cuda;
    RowPath rows;  // whole-row CPU path (null: none), declines what it does not cover
    // Launches over a list of tiles, and the launch function with a region (null: none).
    TileLauncher hostTiles = nullptr;
    TileLauncher cudaTiles = nullptr;
    KernelRegionPassFunction regionPass = nullptr;
    // What a pass reads and where its output can be non-zero; the scan of a Scanned support on
    // each backend (null: none).
    ReachReport reach = nullptr;
    SupportScan cudaSupport = nullptr;
    RowSupportScan hostSupport = nullptr;
};

// Modules registered by effects with kernels of their own.
struct RegisteredModule {
    std::string name;
    KernelModuleLauncher host;
    KernelModuleLauncher cuda;
};

std::mutex registeredMutex;
std::vector<RegisteredModule>& registeredModules() {
    static std::vector<RegisteredModule> modules;
    return modules;
}

bool findRegistered(const std::string& name, RegisteredModule& out) {
    std::lock_guard<std::mutex> lock(registeredMutex);
    for (const RegisteredModule& module : registeredModules()) {
        if (module.name == name) {
            out = module;
            return true;
        }
    }
    return false;
}

#if defined(VELMORA_HAVE_CUDA)
#define VELMORA_CUDA_LAUNCHER(fn) &cuda_impl::fn
#else
#define VELMORA_CUDA_LAUNCHER(fn) nullptr
#endif

enum ModuleIndex { MaskPrep = 0, BlurDivide, PostBlur, RetextureBlur, Composite };

template <ModuleIndex index>
int regionPass(GpuStream stream, const SystemParameters* system, const PipelineParameters* pipeline,
               const SourceConnections* sources, const AnimatedParameters* parameters,
               const BundledResources* resources, const DeviceBuffers* buffers, const char*,
               uint64_t workingImageTex, uint64_t outputSurface, const PassRegion* region);

const KernelModule kModules[] = {
    {"mask_prep", &call_mask_prep_kernel_Pass, &host_impl::launchMaskPrep,
     VELMORA_CUDA_LAUNCHER(launchMaskPrep), &cpu_fast::maskPrep, &host_impl::launchMaskPrepTiles,
     VELMORA_CUDA_LAUNCHER(launchMaskPrepTiles), &regionPass<MaskPrep>, &maskPrepReach,
     VELMORA_CUDA_LAUNCHER(launchMaskPrepSupport), &cpu_fast::maskPrepSupport},
    {"blur_divide", &call_blur_divide_kernel_Pass, &host_impl::launchBlurDivide,
     VELMORA_CUDA_LAUNCHER(launchBlurDivide), &cpu_fast::blurDivide, &host_impl::launchBlurDivideTiles,
     VELMORA_CUDA_LAUNCHER(launchBlurDivideTiles), &regionPass<BlurDivide>, &blurDivideReach},
    {"post_blur", &call_post_blur_kernel_Pass, &host_impl::launchPostBlur,
     VELMORA_CUDA_LAUNCHER(launchPostBlur), &cpu_fast::postBlur, &host_impl::launchPostBlurTiles,
     VELMORA_CUDA_LAUNCHER(launchPostBlurTiles), &regionPass<PostBlur>, &postBlurReach},
    {"retexture_blur", &call_retexture_blur_kernel_Pass, &host_impl::launchRetextureBlur,
     VELMORA_CUDA_LAUNCHER(launchRetextureBlur), &cpu_fast::retextureBlur,
     &host_impl::launchRetextureBlurTiles, VELMORA_CUDA_LAUNCHER(launchRetextureBlurTiles),
     &regionPass<RetextureBlur>, &retextureBlurReach},
    {"composite", &call_composite_kernel_Pass, &host_impl::launchComposite,
     VELMORA_CUDA_LAUNCHER(launchComposite), &cpu_fast::composite, &host_impl::launchCompositeTiles,
     VELMORA_CUDA_LAUNCHER(launchCompositeTiles), &regionPass<Composite>, &compositeReach},
};

std::atomic<bool> rowPathsEnabled{true};

const char* slotName(const SourceSlot& slot) {
    return reinterpret_cast<const char*>(static_cast<uintptr_t>(slot.sourceName));
}

bool startsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

void* asPointer(uint64_t value) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(value));
}

void logPass(const SystemParameters& system, const SourceConnections& sources, uint64_t working,
             int inputCount) {
    VLOG_DEBUG(
        "[SMART DEBUG] pipelineExec=%d processExec=%d currentPipeline=%d: workingImageTex=%p (numInputs=%d, "
        "sourceCount=%d)",
        system.currentPipelineExecution, system.currentProcessExecution, system.currentPipeline,
        asPointer(working), inputCount, sources.sourceCount);
    const int count = sources.sourceCount < MAX_SOURCE_SLOTS ? sources.sourceCount : MAX_SOURCE_SLOTS;
    for (int i = 0; i < count; ++i) {
        VLOG_DEBUG("[SMART DEBUG]   sources[%d].textureObject = %p", i,
                   asPointer(sources.sources[i].textureObject));
    }
}

// One pass over the whole frame (no region), or over the tiles `region` lists.
int runPass(const KernelModule& module, GpuStream stream, const SystemParameters* system,
            const PipelineParameters* pipeline, const SourceConnections* sources,
            const AnimatedParameters* parameters, const BundledResources* resources,
            const DeviceBuffers* buffers, uint64_t workingImageTex, uint64_t outputSurface,
            const PassRegion* region = nullptr) {
    if (!system || !pipeline || !sources || !parameters || !resources || !buffers)
        return GpuErr::InvalidValue;

    const int inputCount = effectInputCount(*sources);
    if (workingImageTex == 0) workingImageTex = chooseWorkingImage(*system, *sources, inputCount);
    if (PluginLog::instance().level() >= LogLevel::Debug)
        logPass(*system, *sources, workingImageTex, inputCount);

    const LaunchGeometry geometry = launchGeometryFor(*system);
    if (geometry.gridX == 0 || geometry.gridY == 0) return GpuErr::InvalidConfiguration;

    const KernelLaunchArgs args{stream,    system,  pipeline,        sources,      parameters,
                                resources, buffers, workingImageTex, outputSurface};
    // A region applies to image passes of modules that launch over tiles; a count dispatch always
    // covers its whole range.
    if (region && (system->dispatchCount > 0 || !module.hostTiles)) region = nullptr;
    if (region && (region->tileCount < 0 || (region->tileCount > 0 && !region->tiles)))
        return GpuErr::InvalidValue;
    if (region && region->tileCount == 0) return GpuErr::Success;
    const unsigned* tiles = region ? region->tiles : nullptr;
    const int tileCount = region ? region->tileCount : 0;
    if (gpuRuntime().kind() == GpuBackendKind::Cuda) {
        if (!module.cuda) return GpuErr::NoDevice;
        if (!region) return module.cuda(args);
        if (!module.cudaTiles || !region->deviceTiles) return GpuErr::InvalidValue;
        return module.cudaTiles(args, region->deviceTiles, tileCount);
    }
    if (module.rows && rowPathsEnabled.load(std::memory_order_relaxed)) {
        const cpu_fast::RowRegion rows =
            region ? cpu_fast::RowRegion::ofTiles(system->width, system->height, tiles, tileCount)
                   : cpu_fast::RowRegion::wholeFrame(system->width, system->height);
        if (module.rows(args, rows)) return hostGpuRuntime().peekAtLastError();
    }
    return region ? module.hostTiles(args, tiles, tileCount) : module.host(args);
}

int runPass(ModuleIndex index, GpuStream stream, const SystemParameters* system,
            const PipelineParameters* pipeline, const SourceConnections* sources,
            const AnimatedParameters* parameters, const BundledResources* resources,
            const DeviceBuffers* buffers, uint64_t workingImageTex, uint64_t outputSurface) {
    return runPass(kModules[index], stream, system, pipeline, sources, parameters, resources, buffers,
                   workingImageTex, outputSurface);
}

template <ModuleIndex index>
int regionPass(GpuStream stream, const SystemParameters* system, const PipelineParameters* pipeline,
               const SourceConnections* sources, const AnimatedParameters* parameters,
               const BundledResources* resources, const DeviceBuffers* buffers, const char*,
               uint64_t workingImageTex, uint64_t outputSurface, const PassRegion* region) {
    return runPass(kModules[index], stream, system, pipeline, sources, parameters, resources, buffers,
                   workingImageTex, outputSurface, region);
}

// The pass function of every registered module: finds the module by the kernel file it is handed.
int registeredKernelPass(GpuStream stream, const SystemParameters* system, const PipelineParameters* pipeline,
                         const SourceConnections* sources, const AnimatedParameters* parameters,
                         const BundledResources* resources, const DeviceBuffers* buffers,
                         const char* kernelName, uint64_t workingImageTex, uint64_t outputSurface) {
    RegisteredModule registered;
    if (!kernelName || !findRegistered(kernelBaseName(kernelName), registered)) return GpuErr::InvalidValue;
    const KernelModule module{registered.name.c_str(), &registeredKernelPass, registered.host,
                              registered.cuda, nullptr};
    return runPass(module, stream, system, pipeline, sources, parameters, resources, buffers, workingImageTex,
                   outputSurface);
}

}  // namespace

void registerKernelModule(const std::string& name, KernelModuleLauncher host, KernelModuleLauncher cuda) {
    if (name.empty() || !host) return;
    for (const KernelModule& module : kModules)
        if (name == module.name) return;
    std::lock_guard<std::mutex> lock(registeredMutex);
    for (RegisteredModule& module : registeredModules()) {
        if (module.name == name) {
            module.host = host;
            module.cuda = cuda;
            return;
        }
    }
    registeredModules().push_back(RegisteredModule{name, host, cuda});
}

void setCpuRowPathsEnabled(bool enabled) {
    rowPathsEnabled.store(enabled);
}

std::string kernelBaseName(const std::string& file) {
    std::string name = file;
    const size_t cu = name.find(".cu");
    if (cu != std::string::npos) name.erase(cu);
    const size_t metal = name.find(".metal");
    if (metal != std::string::npos) name.erase(metal);
    return name;
}

KernelPassFunction findKernelPassFunction(const std::string& file) {
    const std::string name = kernelBaseName(file);
    for (const KernelModule& module : kModules) {
        if (name == module.name) return module.pass;
    }
    RegisteredModule registered;
    if (findRegistered(name, registered)) return &registeredKernelPass;
    return nullptr;
}

namespace {

const KernelModule* builtInModule(const std::string& file) {
    const std::string name = kernelBaseName(file);
    for (const KernelModule& module : kModules) {
        if (name == module.name) return &module;
    }
    return nullptr;
}

}  // namespace

KernelRegionPassFunction findKernelRegionPassFunction(const std::string& file) {
    const KernelModule* module = builtInModule(file);
    return module ? module->regionPass : nullptr;
}

bool kernelPassReach(const std::string& file, const KernelLaunchArgs& args, PassReach& reach) {
    reach = PassReach();
    const KernelModule* module = builtInModule(file);
    if (!module || !module->reach || !args.system || !args.sources || !args.parameters) return false;
    if (args.system->width <= 0 || args.system->height <= 0 || args.system->dispatchCount > 0) return false;
    return module->reach(args, reach) && reach.bounded;
}

bool scanKernelPassSupport(const std::string& file, const KernelLaunchArgs& args,
                           std::vector<unsigned char>& tileFlags) {
    const KernelModule* module = builtInModule(file);
    if (!module || !args.system || args.system->width <= 0 || args.system->height <= 0) return false;
    const int tilesX = (args.system->width + kRegionTileSize - 1) / kRegionTileSize;
    const int tilesY = (args.system->height + kRegionTileSize - 1) / kRegionTileSize;
    tileFlags.assign(static_cast<size_t>(tilesX) * static_cast<size_t>(tilesY), 0);
    GpuRuntime& gpu = gpuRuntime();
    if (gpu.kind() != GpuBackendKind::Cuda)
        return module->hostSupport && module->hostSupport(args, tileFlags.data(), tilesX);
    if (!module->cudaSupport) return false;
    void* flags = nullptr;
    if (gpu.malloc(&flags, tileFlags.size()) != GpuErr::Success) {
        gpu.getLastError();
        return false;
    }
    const GpuStream stream = static_cast<GpuStream>(args.stream);
    bool scanned =
        gpu.memset(flags, 0, tileFlags.size()) == GpuErr::Success &&
        module->cudaSupport(args, static_cast<unsigned char*>(flags), tilesX) == GpuErr::Success &&
        gpu.getLastError() == GpuErr::Success && gpu.streamSynchronize(stream) == GpuErr::Success &&
        gpu.memcpy(tileFlags.data(), flags, tileFlags.size(), GpuMemcpyDeviceToHost) == GpuErr::Success;
    if (!scanned) gpu.getLastError();
    gpu.free(flags);
    return scanned;
}

int effectInputCount(const SourceConnections& sources) {
    const int count = sources.sourceCount < MAX_SOURCE_SLOTS ? sources.sourceCount : MAX_SOURCE_SLOTS;
    for (int i = 0; i < count; ++i) {
        const char* name = slotName(sources.sources[i]);
        if (!name) continue;
        if (std::strcmp(name, "effectOutput") == 0 || startsWith(name, "pipelineOutput_") ||
            startsWith(name, "accum_")) {
            return i;
        }
    }
    return count;
}

int chooseWorkingSlot(const SystemParameters& system, const SourceConnections& sources, int inputCount) {
    const int count = sources.sourceCount < MAX_SOURCE_SLOTS ? sources.sourceCount : MAX_SOURCE_SLOTS;
    const int n = inputCount;
    const int k = system.currentPipeline;
    auto slot = [&](int index) { return index >= 0 && index < count ? index : -1; };
    if (system.currentProcessExecution > 0) return slot(n + 1 + k);
    if (system.currentPipelineExecution > 0 && k == 0) return slot(n);
    if (k > 0 && n + k < count) return slot(n + k);
    return slot(0);
}

uint64_t chooseWorkingImage(const SystemParameters& system, const SourceConnections& sources,
                            int inputCount) {
    const int slot = chooseWorkingSlot(system, sources, inputCount);
    return slot >= 0 ? sources.sources[slot].textureObject : 0;
}

extern "C" {

int call_mask_prep_kernel_Pass(GpuStream stream, const SystemParameters* system,
                               const PipelineParameters* pipeline, const SourceConnections* sources,
                               const AnimatedParameters* parameters, const BundledResources* resources,
                               const DeviceBuffers* buffers, const char*, uint64_t workingImageTex,
                               uint64_t outputSurface) {
    return runPass(MaskPrep, stream, system, pipeline, sources, parameters, resources, buffers,
                   workingImageTex, outputSurface);
}

int call_blur_divide_kernel_Pass(GpuStream stream, const SystemParameters* system,
                                 const PipelineParameters* pipeline, const SourceConnections* sources,
                                 const AnimatedParameters* parameters, const BundledResources* resources,
                                 const DeviceBuffers* buffers, const char*, uint64_t workingImageTex,
                                 uint64_t outputSurface) {
    return runPass(BlurDivide, stream, system, pipeline, sources, parameters, resources, buffers,
                   workingImageTex, outputSurface);
}

int call_post_blur_kernel_Pass(GpuStream stream, const SystemParameters* system,
                               const PipelineParameters* pipeline, const SourceConnections* sources,
                               const AnimatedParameters* parameters, const BundledResources* resources,
                               const DeviceBuffers* buffers, const char*, uint64_t workingImageTex,
                               uint64_t outputSurface) {
    return runPass(PostBlur, stream, system, pipeline, sources, parameters, resources, buffers,
                   workingImageTex, outputSurface);
}

int call_retexture_blur_kernel_Pass(GpuStream stream, const SystemParameters* system,
                                    const PipelineParameters* pipeline, const SourceConnections* sources,
                                    const AnimatedParameters* parameters, const BundledResources* resources,
                                    const DeviceBuffers* buffers, const char*, uint64_t workingImageTex,
                                    uint64_t outputSurface) {
    return runPass(RetextureBlur, stream, system, pipeline, sources, parameters, resources, buffers,
                   workingImageTex, outputSurface);
}

int call_composite_kernel_Pass(GpuStream stream, const SystemParameters* system,
                               const PipelineParameters* pipeline, const SourceConnections* sources,
                               const AnimatedParameters* parameters, const BundledResources* resources,
                               const DeviceBuffers* buffers, const char*, uint64_t workingImageTex,
                               uint64_t outputSurface) {
    return runPass(Composite, stream, system, pipeline, sources, parameters, resources, buffers,
                   workingImageTex, outputSurface);
}

}  // extern "C"
