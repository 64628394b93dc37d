#pragma once

// One pipeline execution: the kernels of one process (for one effect execution and one process
// execution) run as a chain of ping-pong passes, and the last pass is copied into the destination.
// `process` dispatches like the OpenFX support library's image processor: the GPU path the render
// enables, else the CPU threads.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "definition/EffectDefinitionRecords.h"
#include "gpu/GpuRuntime.h"
#include "kernels/KernelRecords.h"
#include "render/RegionPlan.h"
#include "render/RenderHost.h"
#include "render/RenderTypes.h"
#include "render/SourceRouting.h"

class RenderBufferManager;
class TextureManager;
class XMLEffectDefinition;

class GenericProcessor {
  public:
    using PoolFlush = std::function<void(RenderBufferManager*)>;

    GenericProcessor(GpuRuntime& gpu, RenderHost& effect, const XMLEffectDefinition& definition);
    virtual ~GenericProcessor() = default;

    // Images by name; "output" becomes the destination image.
    void setImages(const std::map<std::string, ImagePlane>& images);
    void setParameters(const ParameterValueMap& parameters);
    void setTextures(const TextureMap& textures);
    void setConnectionStatus(const ConnectionMap& connectionStatus);
    void setAuxSourceIndex(int index);
    void setAuxRoutingActive(bool active) { auxRoutingActive_ = active; }

    void setRenderRequest(const RenderRequest& request);
    void setGpuModes(bool openCL, bool cuda, bool metal) {
        openCLEnabled_ = openCL;
        cudaEnabled_ = cuda;
        metalEnabled_ = metal;
    }
    void setStream(GpuStream stream) { stream_ = stream; }
    GpuStream stream() const { return stream_; }
    void setBufferManager(RenderBufferManager* manager) { bufferManager_ = manager; }
    void setPoolFlush(PoolFlush flush) { poolFlush_ = std::move(flush); }
    // `ownBuffer`: one of the render engine's buffers, whose rows are padded on purpose.
    void setOutputBuffer(void* buffer, int rowBytes, bool ownBuffer = false) {
        outputBuffer_ = buffer;
        outputRowBytes_ = rowBytes;
        outputIsOwnBuffer_ = ownBuffer;
    }
    void setKernels(const std::vector<KernelDefinition>& kernels) { kernels_ = kernels; }
    void setExecution(int process, int processCount, int effectExecution, int effectExecutionCount,
                      int processExecution, int processExecutionCount);
    void setAlphaSettings(int alphaSourceMode, bool matteConnected, GpuTextureObject matteTexture);
    void setMatteInjectionState(MatteInjectionState* state) { injection_ = state; }
    void setTextureManager(const TextureManager* textures) { textureManager_ = textures; }
    void setAccumulationState(bool valid, double lastTime, bool update);
    void setFrameworkValues(bool hasBlend, double blend, double transitionPosition);
    BundledResources& bundledResources() { return bundledResources_; }
    DeviceBuffers& deviceBuffers() { return deviceBuffers_; }

    // Runs over the regions of a plan (null: every pass over the whole frame).
    void setRegions(const RunRegions* regions) { regions_ = regions; }

    void process();

    // The records of every pass this run would launch, without launching any: what a plan needs.
    std::vector<PlannedPass> plannedPasses();

    // Whether this run wrote its destination; when it did not, why (empty when nothing was asked).
    bool wroteDestination() const { return wroteDestination_.load(); }
    const std::string& failure() const { return failure_; }

    virtual void processImagesOpenCL();
    virtual void processImagesCUDA();
    virtual void processImagesMetal() {}
    // CPU fallback for a window of rows: copies the first required input into the destination.
    virtual void multiThreadProcessImages(int y1, int y2);

  private:
    // The argument records of one pass.
    struct PassRecords {
        std::string file;
        SystemParameters system;
        PipelineParameters pipeline;
        SourceConnections sources;
        AnimatedParameters parameters;
    };

    void multiThread();
    // The kernels this run executes: those set, else the definition's CUDA kernels.
    std::vector<KernelDefinition> runKernels() const;
    std::vector<PassRecords> buildPasses(const std::vector<KernelDefinition>& kernels, int width, int height);
    // False when the pass could not run (no kernel function, a launch or execution error).
    bool runPass(GpuStream stream, const PassRecords& records, GpuTextureObject input,
                 GpuSurfaceObject output, const PassRegion* region);

    GpuRuntime& gpu_;
    RenderHost& effect_;
    const XMLEffectDefinition& definition_;

    std::map<std::string, ImagePlane> images_;
    ImagePlane dstImg_;
    bool haveDstImg_ = false;
    ParameterValueMap parameters_;
    TextureMap textures_;
    ConnectionMap connectionStatus_;
    int auxSourceIndex_ = 0;
    bool auxRoutingActive_ = false;
    int alphaSourceMode_ = 0;
    bool matteConnected_ = false;
    GpuTextureObject matteTexture_ = 0;
    std::string effectName_;

    RenderRequest request_;
    bool haveRequest_ = false;
    bool openCLEnabled_ = false;
    bool cudaEnabled_ = false;
    bool metalEnabled_ = false;
    GpuStream stream_ = nullptr;

    RenderBufferManager* bufferManager_ = nullptr;
    PoolFlush poolFlush_;
    void* outputBuffer_ = nullptr;
    int outputRowBytes_ = 0;
    bool outputIsOwnBuffer_ = false;
    std::vector<KernelDefinition> kernels_;
    int currentProcess_ = 0, totalProcesses_ = 1;
    int currentEffectExecution_ = 0, totalEffectExecutions_ = 1;
    int currentProcessExecution_ = 0, totalProcessExecutions_ = 1;
    bool accumValid_ = false;
    double accumLastTime_ = -1.0;
    bool accumUpdate_ = true;
    bool hasBlend_ = false;
    double blend_ = 1.0;
    double transitionPosition_ = 0.0;
    BundledResources bundledResources_;
    DeviceBuffers deviceBuffers_;

    MatteInjectionState* injection_ = nullptr;
    MatteInjectionState localInjection_;
    const TextureManager* textureManager_ = nullptr;
    const RunRegions* regions_ = nullptr;
    // Set by every worker of the CPU copy, read once they have joined.
    std::atomic<bool> wroteDestination_{false};
    std::string failure_;
};
