#pragma once

// The render engine of one effect instance: the body of its render action. It fetches the
// output and input images, makes textures of them, runs the definition's processes for every
// effect execution as pipelines of kernel passes, applies the framework's final processing and
// hands the finished pixels back in the host's output image. It keeps the instance's persistent
// GPU state (textures, buffer pool, process buffers, accumulation and device buffers, the
// plug-in-owned stream) between renders.

#include <atomic>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gpu/GpuRuntime.h"
#include "kernels/FinalProcessingLaunch.h"
#include "kernels/KernelRecords.h"
#include "render/AccumulationBuffers.h"
#include "render/BufferPool.h"
#include "render/DeviceBufferSet.h"
#include "render/RegionPlan.h"
#include "render/RenderHost.h"
#include "render/RenderTypes.h"
#include "render/SourceRouting.h"
#include "render/TextureManager.h"

class GenericProcessor;
class XMLEffectDefinition;
struct KernelDefinition;

class RenderEngine {
  public:
    RenderEngine(RenderHost& host, const XMLEffectDefinition& definition, const RenderProfile& profile,
                 GpuRuntime& gpu = gpuRuntime());
    ~RenderEngine();
    RenderEngine(const RenderEngine&) = delete;
    RenderEngine& operator=(const RenderEngine&) = delete;

    // The whole render. Throws std::runtime_error when it cannot produce the output image.
    void setupAndProcess(const RenderRequest& request);

    RenderBufferManager* acquireManager(const void* dstImgBuffer, int width, int height);
    void flushPool(const RenderBufferManager* keep);

    // The user reset the accumulated state ("flush_cache"); safe beside a render in progress.
    void flushAccumulation() { accumulation_.flush(); }

    // State a render leaves behind, for the instance and its tests.
    BufferPool& bufferPool() { return pool_; }
    TextureManager& textures() { return textures_; }
    const AlphaMatteSettings& alphaSettings() const { return alpha_; }
    bool auxRoutingActive() const { return auxRoutingActive_; }
    int auxSourceIndex() const { return auxSourceIndex_; }
    std::size_t pipelineBufferCount() const { return pipelineOutputBuffers_.size(); }
    // Row pitch of the process buffers: the packed row padded to the texture pitch alignment.
    std::size_t processBufferPitch() const { return bufferPitch_; }
    bool hasPluginStream() const { return pluginStreamCreated_; }
    const AccumulationBuffers& accumulation() const { return accumulation_; }
    const DeviceBufferSet& deviceBufferSet() const { return deviceBufferSet_; }
    int renderCount() const { return renderCounter_.load(); }

  private:
    struct PerRender;

    void runSinglePipeline(PerRender& render, const std::vector<KernelDefinition>& kernels,
                           void* outputBuffer, int outputRowBytes, int processIndex, int processCount,
                           int effectExecution, int effectExecutionCount, int processExecution,
                           int processExecutionCount, const RunRegions* regions = nullptr);
    // Sets a processor up for one pipeline execution; true when it runs the CUDA path.
    bool configureProcessor(PerRender& render, GenericProcessor& processor,
                            const std::vector<KernelDefinition>& kernels, void* outputBuffer,
                            int outputRowBytes, int processIndex, int processCount, int effectExecution,
                            int effectExecutionCount, int processExecution, int processExecutionCount);
    // Plans which part of the frame each pass computes (see RegionPlan), when the render allows.
    void planRegions(PerRender& render, int effectExecutions);
    void prepareProcessBuffers(int width, int height, int processCount);
    void releaseProcessBuffers();
    void fetchInputs(PerRender& render);
    void fetchMatte(PerRender& render);
    ImagePlane onOutputGrid(const PerRender& render, const std::string& name, const ImagePlane& plane);
    bool copyOntoOutputGrid(const PerRender& render, const ImagePlane& plane, std::vector<float>& aligned);
    void applyFinalProcessing(PerRender& render);
    int executionCount(const std::string& text, double time, bool logDynamic);
    GpuStream effectiveStream(const RenderRequest& request) const;
    const char* choosePlatform(const RenderRequest& request) const;

    // Accumulation buffers (not on proxy renders) and the device buffers with their record.
    void prepareTemporalBuffers(PerRender& render);
    // Deferred accumulation copies after process `processIndex`, which last wrote `written`.
    void copyAccumulationAfterProcess(PerRender& render, int processIndex, void* written, int rowBytes);
    void copyAccumulationAtEnd(PerRender& render);
    // The integer value of a parameter at the render's time.
    int integerParameter(const std::string& name, double time);

    // The audio steps before the pipeline runs (analysis completion, automatic loading, the
    // monitor's switches), for definitions with audio slots.
    void runAudioSteps(PerRender& render);
    // The monitor over black instead of the effect: the effect need not run.
    bool audioVisualizerBypassesPipeline() const {
        return monitorRecord_.monitorEnabled != 0 && monitorRecord_.dimmedBackdrop == 0;
    }

    RenderHost& host_;
    const XMLEffectDefinition& definition_;
    RenderProfile profile_;
    GpuRuntime& gpu_;

    std::atomic<int> renderCounter_{0};
    std::mutex renderMutex_;

    GpuStream pluginStream_ = nullptr;
    bool pluginStreamCreated_ = false;
    RenderBufferManager* activeManager_ = nullptr;

    void* effectOutputBuffer_ = nullptr;
    std::vector<void*> pipelineOutputBuffers_;
    GpuTextureObject effectOutputTexture_ = 0;
    std::vector<GpuTextureObject> pipelineOutputTextures_;
    std::size_t bufferPitch_ = 0;  // row bytes of the effect-output and process buffers
    int cachedWidth_ = 0, cachedHeight_ = 0, cachedProcessCount_ = 0;

    TextureManager textures_;
    BufferPool pool_;
    AccumulationBuffers accumulation_;
    DeviceBufferSet deviceBufferSet_;
    RegionPlan regionPlan_;
    DeviceBuffers deviceBuffers_;
    AudioMonitorRecord monitorRecord_;

    AlphaMatteSettings alpha_;
    // Inputs whose bounds differ from the output's, laid out on the output's pixel grid.
    std::map<std::string, std::vector<float>> alignedInputs_;
    bool auxRoutingActive_ = false;
    int auxSourceIndex_ = 0;
    MatteInjectionState injection_;
};
