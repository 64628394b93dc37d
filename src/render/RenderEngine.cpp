#include "render/RenderEngine.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <thread>

#include "definition/XMLEffectDefinition.h"
#include "log/PluginLog.h"
#include "render/FinalProcessing.h"
#include "render/GenericProcessor.h"
#include "render/GpuObjects.h"
#include "render/RenderBufferManager.h"

namespace {

unsigned long threadHash() {
    return static_cast<unsigned long>(std::hash<std::thread::id>()(std::this_thread::get_id()));
}

bool validPlane(const ImagePlane& plane) {
    return plane.data && plane.width() > 0 && plane.height() > 0 &&
           plane.rowBytes >= plane.width() * static_cast<int>(kBytesPerPixel);
}

std::string describePlane(const ImagePlane& plane) {
    char text[160];
    std::snprintf(text, sizeof text, "%dx%d, %d row bytes", plane.width(), plane.height(), plane.rowBytes);
    return text;
}

}  // namespace

// Everything that lives for one render only.
struct RenderEngine::PerRender {
    RenderRequest request;
    const char* platform = "cuda";
    std::map<std::string, std::unique_ptr<RenderImage>> owned;
    std::map<std::string, ImagePlane> images;
    TextureMap textures;
    ConnectionMap connectionStatus;
    ParameterValueMap parameters;
    std::string sourceName;
    ImagePlane source;
    bool haveSource = false;
    ImagePlane output;
    void* dstImgBuffer = nullptr;
    int width = 0, height = 0;
    GpuTextureObject matteTexture = 0;
    bool destinationWritten = false;
};

void RenderEngine::runAudioSteps(PerRender& render) {
    if (definition_.getAudioSlotCount() <= 0) return;
    try {
        host_.runAudioSteps(render.request.time, render.parameters, monitorRecord_);
    } catch (const std::exception& error) {
        // The effect renders on without audio.
        VLOG_ERROR("Audio steps failed: %s", error.what());
    }
}

RenderEngine::RenderEngine(RenderHost& host, const XMLEffectDefinition& definition,
                           const RenderProfile& profile, GpuRuntime& gpu)
    : host_(host),
      definition_(definition),
      profile_(profile),
      gpu_(gpu),
      textures_(gpu, !profile.cudaFallback),
      pool_(gpu),
      accumulation_(gpu, definition.getAccumulationBuffers(), profile.accumTimeTolerance),
      deviceBufferSet_(gpu, definition.getDeviceBuffers()),
      regionPlan_(gpu) {
    std::memset(&deviceBuffers_, 0, sizeof deviceBuffers_);
    std::memset(&monitorRecord_, 0, sizeof monitorRecord_);
}

RenderEngine::~RenderEngine() {
    textures_.cleanupTextures();
    textures_.releaseBundledResources();
    pool_.clear();
    releaseProcessBuffers();
    const std::size_t accumulationBuffers = accumulation_.release();
    if (accumulationBuffers) VLOG_DEBUG("Released %zu accumulation buffer(s)", accumulationBuffers);
    const std::size_t deviceBuffers = deviceBufferSet_.release();
    if (deviceBuffers) VLOG_DEBUG("Released %zu device buffer(s) (CUDA)", deviceBuffers);
    if (pluginStreamCreated_ && pluginStream_) {
        gpu_.streamSynchronize(pluginStream_);
        gpu_.streamDestroy(pluginStream_);
        VLOG_DEBUG("Destroyed plugin-owned CUDA stream");
    }
    pluginStream_ = nullptr;
    pluginStreamCreated_ = false;
}

void RenderEngine::releaseProcessBuffers() {
    if (effectOutputTexture_) gpu_.destroyTextureObject(effectOutputTexture_);
    effectOutputTexture_ = 0;
    for (GpuTextureObject texture : pipelineOutputTextures_) {
        if (texture) gpu_.destroyTextureObject(texture);
    }
    pipelineOutputTextures_.clear();
    if (effectOutputBuffer_) {
        gpu_.free(effectOutputBuffer_);
        effectOutputBuffer_ = nullptr;
        VLOG_DEBUG("Released cached effectOutput CUDA linear buffer");
    }
    if (!pipelineOutputBuffers_.empty()) {
        for (void* buffer : pipelineOutputBuffers_) gpu_.free(buffer);
        VLOG_DEBUG("Released %zu cached pipeline CUDA linear buffers", pipelineOutputBuffers_.size());
        pipelineOutputBuffers_.clear();
    }
    bufferPitch_ = 0;
    cachedWidth_ = cachedHeight_ = cachedProcessCount_ = 0;
}

RenderBufferManager* RenderEngine::acquireManager(const void* dstImgBuffer, int width, int height) {
    const bool matteInjection =
        alpha_.alphaSourceMode == 3 || ((alpha_.alphaSourceMode == 0 || alpha_.alphaSourceMode == 2) &&
                                        (injection_.injectedTexture != 0 || alpha_.matteConnected));
    return pool_.acquireManager(dstImgBuffer, width, height, pipelineOutputBuffers_.size(), matteInjection);
}

void RenderEngine::flushPool(const RenderBufferManager* keep) {
    pool_.flushPool(keep);
}

GpuStream RenderEngine::effectiveStream(const RenderRequest& request) const {
    if (profile_.cudaFallback && pluginStream_) return pluginStream_;
    // A host's CUDA stream means nothing to the CPU backend.
    if (gpu_.kind() != GpuBackendKind::Cuda) return pluginStream_;
    return static_cast<GpuStream>(request.pCudaStream);
}

const char* RenderEngine::choosePlatform(const RenderRequest& request) const {
    if (request.isEnabledCudaRender) return "cuda";
    if (request.isEnabledMetalRender) return "metal";
    bool hasCuda = false, hasOpenCL = false;
    for (const ProcessDefinition& process : definition_.getProcesses()) {
        for (const KernelDefinition& kernel : process.kernels) {
            hasCuda = hasCuda || kernel.platform == "cuda";
            hasOpenCL = hasOpenCL || kernel.platform == "opencl";
        }
    }
    if (hasCuda && !hasOpenCL) {
        VLOG_INFO("Host doesn't report CUDA support, but plugin has CUDA kernels - using CUDA fallback");
        return "cuda";
    }
    return "opencl";
}

int RenderEngine::executionCount(const std::string& text, double time, bool logDynamic) {
    if (text.empty() || text == "1") return 1;
    if (text.compare(0, 6, "param:") == 0) {
        const std::string name = text.substr(6);
        int count = host_.getDynamicExecutionCount(name, time);
        if (count < 1) count = 1;
        if (logDynamic) VLOG_DEBUG("Dynamic effect executions from parameter '%s': %d", name.c_str(), count);
        return count;
    }
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < 1) return 1;
    return value > 1000000 ? 1000000 : static_cast<int>(value);
}

void RenderEngine::prepareProcessBuffers(int width, int height, int processCount) {
    if (effectOutputBuffer_ && !pipelineOutputBuffers_.empty() && width == cachedWidth_ &&
        height == cachedHeight_ && processCount == cachedProcessCount_) {
        VLOG_DEBUG("Phase 3a.2: Reusing cached multi-pipeline buffers (CUDA, %d pipelines, %.2f MB)",
                   processCount,
                   megabytes(bufferPitch_ * static_cast<std::size_t>(height)) * (processCount + 1));
        return;
    }
    if (effectOutputBuffer_ || !pipelineOutputBuffers_.empty()) {
        VLOG_DEBUG(
            "Phase 3a.2: Dimensions/pipeline count changed (%dx%d→%dx%d, %d→%d pipelines) - reallocating "
            "(CUDA)",
            cachedWidth_, cachedHeight_, width, height, cachedProcessCount_, processCount);
    } else {
        VLOG_DEBUG("Phase 3a.2: First allocation of multi-pipeline buffers (CUDA)");
    }
    releaseProcessBuffers();

    // Pitch2D textures view these buffers, so their rows are padded to the device's texture
    // pitch alignment (a packed row of an odd width is not a valid pitch).
    std::size_t pitch = 0;
    GpuError error = paddedRowPitch(gpu_, width, &pitch);
    if (error != GpuErr::Success) {
        gpu_.getLastError();
        VLOG_ERROR("Phase 3a.2: Failed to read the device's texture pitch alignment: %s",
                   gpu_.getErrorString(error));
        throw std::runtime_error("Failed to read the device's texture pitch alignment");
    }
    const std::size_t bytes = pitch * static_cast<std::size_t>(height);
    VLOG_DEBUG("Phase 3a.2: Allocating CUDA linear buffers for %d pipelines (%.2f MB total) - Metal parity",
               processCount, megabytes(bytes) * (processCount + 1));
    error = gpu_.malloc(&effectOutputBuffer_, bytes);
    if (error != GpuErr::Success) {
        effectOutputBuffer_ = nullptr;
        gpu_.getLastError();
        VLOG_ERROR("Phase 3a.2: Failed to allocate effectOutput CUDA buffer: %s", gpu_.getErrorString(error));
        throw std::runtime_error("Failed to allocate effectOutput CUDA buffer");
    }
    VLOG_DEBUG("Phase 3a.2: Allocated effectOutput linear buffer (%.2f MB)", megabytes(bytes));
    for (int i = 0; i < processCount; ++i) {
        void* buffer = nullptr;
        error = gpu_.malloc(&buffer, bytes);
        if (error != GpuErr::Success) {
            gpu_.getLastError();
            VLOG_ERROR("Phase 3a.2: Failed to allocate pipelineOutput[%d] CUDA buffer: %s", i,
                       gpu_.getErrorString(error));
            releaseProcessBuffers();
            throw std::runtime_error("Failed to allocate pipeline CUDA buffer");
        }
        pipelineOutputBuffers_.push_back(buffer);
        VLOG_DEBUG("Phase 3a.2: Allocated pipelineOutput[%d] linear buffer (%.2f MB)", i, megabytes(bytes));
    }
    bufferPitch_ = pitch;

    // A process reads the buffers only through these textures: without one, every later pass would
    // sample nothing, so a texture that cannot be made fails the render.
    bool texturesMade = true;
    error = createPitchTexture(gpu_, effectOutputBuffer_, width, height, pitch, &effectOutputTexture_);
    if (error != GpuErr::Success) {
        effectOutputTexture_ = 0;
        gpu_.getLastError();
        VLOG_ERROR("Failed to create cached effectOutput pitch2D texture: %s", gpu_.getErrorString(error));
        texturesMade = false;
    }
    for (std::size_t i = 0; i < pipelineOutputBuffers_.size(); ++i) {
        GpuTextureObject texture = 0;
        error = createPitchTexture(gpu_, pipelineOutputBuffers_[i], width, height, pitch, &texture);
        if (error != GpuErr::Success) {
            texture = 0;
            gpu_.getLastError();
            VLOG_ERROR("Failed to create cached pipelineOutput_%zu pitch2D texture: %s", i,
                       gpu_.getErrorString(error));
            texturesMade = false;
        }
        pipelineOutputTextures_.push_back(texture);
    }
    if (!texturesMade) {
        releaseProcessBuffers();
        throw std::runtime_error("Failed to create the pitch2D textures of the process buffers");
    }
    VLOG_DEBUG("Phase 3a.2: Created %d cached pitch2D texture objects (Metal parity, reused across frames)",
               processCount + 1);
    cachedWidth_ = width;
    cachedHeight_ = height;
    cachedProcessCount_ = processCount;
    VLOG_DEBUG("Phase 3a.2: All CUDA arrays allocated successfully (%d pipeline arrays + 1 effectOutput)",
               processCount);
}

// Lays `plane` out on the output's pixel grid in `aligned` (tightly packed rows, transparent
// where the plane has no pixels). False when the copy failed; `aligned` is then transparent.
bool RenderEngine::copyOntoOutputGrid(const PerRender& render, const ImagePlane& plane,
                                      std::vector<float>& aligned) {
    const ImagePlane& o = render.output;
    aligned.assign(static_cast<std::size_t>(render.width) * render.height * 4, 0.0f);
    const int x1 = std::max(plane.x1, o.x1), x2 = std::min(plane.x2, o.x2);
    const int y1 = std::max(plane.y1, o.y1), y2 = std::min(plane.y2, o.y2);
    if (x2 <= x1 || y2 <= y1) return true;
    const GpuMemcpyKind kind = queryMemoryType(gpu_, plane.data) == GpuMemoryTypeDevice
                                   ? GpuMemcpyDeviceToHost
                                   : GpuMemcpyHostToHost;
    const auto* from = static_cast<const unsigned char*>(plane.data) +
                       static_cast<std::ptrdiff_t>(y1 - plane.y1) * plane.rowBytes +
                       static_cast<std::ptrdiff_t>(x1 - plane.x1) * 16;
    float* to = aligned.data() + (static_cast<std::size_t>(y1 - o.y1) * render.width + (x1 - o.x1)) * 4;
    if (gpu_.memcpy2D(to, static_cast<std::size_t>(render.width) * 16, from,
                      static_cast<std::size_t>(plane.rowBytes), static_cast<std::size_t>(x2 - x1) * 16,
                      static_cast<std::size_t>(y2 - y1), kind) == GpuErr::Success)
        return true;
    gpu_.getLastError();
    std::fill(aligned.begin(), aligned.end(), 0.0f);
    return false;
}

// The kernels sample every input over the output's size, so an input whose bounds differ (a
// mask cropped to its object, a plate with overscan) is placed by its pixel coordinates on the
// output's grid, transparent where it has no pixels, instead of being stretched over the output.
ImagePlane RenderEngine::onOutputGrid(const PerRender& render, const std::string& name,
                                      const ImagePlane& plane) {
    const ImagePlane& o = render.output;
    if (plane.x1 == o.x1 && plane.y1 == o.y1 && plane.x2 == o.x2 && plane.y2 == o.y2) {
        alignedInputs_.erase(name);
        return plane;
    }
    std::vector<float>& aligned = alignedInputs_[name];
    if (!copyOntoOutputGrid(render, plane, aligned))
        VLOG_ERROR("Failed to place the '%s' image on the output's pixel grid", name.c_str());
    VLOG_DEBUG("Placed '%s' (%d,%d)-(%d,%d) on the output grid (%d,%d)-(%d,%d)", name.c_str(), plane.x1,
               plane.y1, plane.x2, plane.y2, o.x1, o.y1, o.x2, o.y2);
    ImagePlane placed = plane;
    placed.data = aligned.data();
    placed.x1 = o.x1;
    placed.y1 = o.y1;
    placed.x2 = o.x2;
    placed.y2 = o.y2;
    placed.rowBytes = render.width * 16;
    return placed;
}

void RenderEngine::fetchInputs(PerRender& render) {
    const double time = render.request.time;
    if (definition_.isTransition()) {
        VLOG_DEBUG("Fetching transition clip images");
        ImagePlane from, to;
        for (const char* name : {"SourceFrom", "SourceTo"}) {
            if (!host_.hasClip(name) || !host_.isClipConnected(name)) continue;
            render.connectionStatus[name] = true;
            std::unique_ptr<RenderImage> image = host_.fetchImage(name, time);
            if (!image) continue;
            const ImagePlane fetched = image->plane();
            render.owned[name] = std::move(image);
            if (!validPlane(fetched)) {
                VLOG_ERROR("Unusable image for '%s' (%s)", name, describePlane(fetched).c_str());
                continue;
            }
            const ImagePlane plane = onOutputGrid(render, name, fetched);
            render.images[name] = plane;
            (std::strcmp(name, "SourceFrom") == 0 ? from : to) = plane;
            if (!render.haveSource) {
                render.haveSource = true;
                render.source = plane;
                render.sourceName = name;
            }
            if (textures_.createTexture(name, plane.width(), plane.height(), plane.data, plane.rowBytes)) {
                TextureEntry entry;
                if (textures_.findEntry(name, &entry)) render.textures[name] = entry.texture;
            }
            VLOG_DEBUG("Fetched %s image", name);
        }
        VLOG_DEBUG("Transition inputs: SourceFrom=%p, SourceTo=%p", from.data, to.data);
        return;
    }

    for (const InputDefinition& input : definition_.getInputs()) {
        const std::string& name = input.name;
        VLOG_DEBUG("Processing input: %s", name.c_str());
        if (!host_.hasClip(name)) {
            if (!input.optional) throw std::runtime_error("Required input " + name + " not available");
            continue;
        }
        const bool connected = host_.isClipConnected(name);
        render.connectionStatus[name] = connected;
        if (input.optional && !connected) {
            VLOG_DEBUG("Optional input %s not connected", name.c_str());
            continue;
        }
        std::unique_ptr<RenderImage> image = host_.fetchImage(name, time);
        ImagePlane plane;
        if (image) plane = image->plane();
        if (image && !validPlane(plane)) {
            VLOG_ERROR("Unusable image for input '%s' (%s)", name.c_str(), describePlane(plane).c_str());
            if (!input.optional) {
                throw std::runtime_error("Unusable input image: " + name + " (" + describePlane(plane) + ")");
            }
            image.reset();
        }
        if (!image) {
            if (!input.optional) {
                VLOG_ERROR("fetchImage returned NULL for required input '%s' at time %f — aborting render",
                           name.c_str(), time);
                throw std::runtime_error("Failed to fetch input image: " + name);
            }
            VLOG_ERROR(
                "fetchImage returned NULL for optional input '%s' at time %f — falling back to noinput "
                "default "
                "texture",
                name.c_str(), time);
            render.connectionStatus[name] = false;
            continue;
        }
        render.owned[name] = std::move(image);
        plane = onOutputGrid(render, name, plane);
        render.images[name] = plane;
        if (!render.haveSource) {
            render.haveSource = true;
            render.source = plane;
            render.sourceName = name;
        }
        const GpuTextureObject texture =
            textures_.refreshTexture(name, plane.width(), plane.height(), plane.data, plane.rowBytes, false);
        if (texture) {
            render.textures[name] = texture;
        } else if (!input.optional) {
            // Every pass would read a stand-in instead of the image.
            throw std::runtime_error("Failed to create texture for required input: " + name);
        }
    }
}

void RenderEngine::fetchMatte(PerRender& render) {
    const int mode = alpha_.alphaSourceMode;
    const int inputCount = static_cast<int>(definition_.getInputs().size());
    const bool usesMatte = mode == 0 || mode == 2;
    if (usesMatte && !(alpha_.matteConnected && host_.hasClip("Matte") && host_.isClipConnected("Matte"))) {
        VLOG_DEBUG("Matte clip not connected — skipping image fetch");
    }
    if (usesMatte && alpha_.matteConnected) {
        if (!host_.hasClip("Matte") || !host_.isClipConnected("Matte")) return;
        std::unique_ptr<RenderImage> image = host_.fetchImage("Matte", render.request.time);
        ImagePlane plane = image ? image->plane() : ImagePlane();
        if (!image || !validPlane(plane)) {
            VLOG_DEBUG("fetchImage returned NULL for 'Matte' at time %f — skipping injection this frame",
                       render.request.time);
            return;
        }
        render.owned["Matte"] = std::move(image);
        plane = onOutputGrid(render, "Matte", plane);
        render.images["Matte"] = plane;
        const GpuTextureObject texture = textures_.refreshTexture("Matte", plane.width(), plane.height(),
                                                                  plane.data, plane.rowBytes, true);
        if (texture) {  // the refresh rule logs what it made or failed to make
            render.textures["Matte"] = texture;
            render.matteTexture = texture;
        }
        return;
    }
    if (mode == 3) return;
    if (usesMatte && auxRoutingActive_ && auxSourceIndex_ == inputCount) return;
    if (mode == 1 || usesMatte) {
        if (activeManager_) activeManager_->releaseMatteResources();
    }
}

void RenderEngine::runSinglePipeline(PerRender& render, const std::vector<KernelDefinition>& kernels,
                                     void* outputBuffer, int outputRowBytes, int processIndex,
                                     int processCount, int effectExecution, int effectExecutionCount,
                                     int processExecution, int processExecutionCount,
                                     const RunRegions* regions) {
    VLOG_DEBUG("runSinglePipeline: pipeline %d/%d, output=%p, size=%dx%d, kernels=%zu", processIndex,
               processCount, outputBuffer, render.width, render.height, kernels.size());
    GenericProcessor processor(gpu_, host_, definition_);
    configureProcessor(render, processor, kernels, outputBuffer, outputRowBytes, processIndex, processCount,
                       effectExecution, effectExecutionCount, processExecution, processExecutionCount);
    processor.setRegions(regions);

    VLOG_DEBUG("runSinglePipeline: calling processor->process()");
    processor.process();
    VLOG_DEBUG("runSinglePipeline: complete");
    if (!processor.wroteDestination()) {
        // Whatever the destination holds is not this process's result: the output would be wrong.
        if (host_.abortRequested()) throw std::runtime_error("Render aborted by the host");
        const std::string& why = processor.failure();
        throw std::runtime_error(std::string("The effect pipeline could not run process ") +
                                 std::to_string(processIndex + 1) + " of " + std::to_string(processCount) +
                                 " (platform " + render.platform +
                                 "): " + (why.empty() ? "its destination was not written" : why));
    }
    if (outputBuffer == render.dstImgBuffer) render.destinationWritten = true;
}

bool RenderEngine::configureProcessor(PerRender& render, GenericProcessor& processor,
                                      const std::vector<KernelDefinition>& kernels, void* outputBuffer,
                                      int outputRowBytes, int processIndex, int processCount,
                                      int effectExecution, int effectExecutionCount, int processExecution,
                                      int processExecutionCount) {
    processor.setOutputBuffer(outputBuffer, outputRowBytes, outputBuffer != render.dstImgBuffer);
    processor.setBufferManager(activeManager_);
    processor.setPoolFlush([this](RenderBufferManager* manager) { flushPool(manager); });
    processor.setKernels(kernels);
    processor.setExecution(processIndex, processCount, effectExecution, effectExecutionCount,
                           processExecution, processExecutionCount);
    processor.setImages(render.images);
    processor.setParameters(render.parameters);
    processor.setTextures(render.textures);
    processor.setConnectionStatus(render.connectionStatus);
    processor.setAuxSourceIndex(auxSourceIndex_);
    processor.setAuxRoutingActive(auxRoutingActive_);
    auto matte = render.textures.find("Matte");
    processor.setAlphaSettings(alpha_.alphaSourceMode, alpha_.matteConnected,
                               matte != render.textures.end() ? matte->second : 0);
    processor.setMatteInjectionState(&injection_);
    processor.setTextureManager(&textures_);
    processor.setRenderRequest(render.request);

    const RenderRequest& request = render.request;
    bool cuda = request.isEnabledCudaRender, openCL = request.isEnabledOpenCLRender,
         metal = request.isEnabledMetalRender;
    GpuStream stream = cuda ? effectiveStream(request) : nullptr;

    bool hasCudaKernel = false;
    for (const KernelDefinition& kernel : kernels) hasCudaKernel = hasCudaKernel || kernel.platform == "cuda";
    const bool noGpuApi = !cuda && !openCL && !metal;
    if ((profile_.cudaFallback || noGpuApi) && hasCudaKernel) {
        if (!pluginStreamCreated_) {
            VLOG_INFO(
                "CUDA fallback path entered — RAW render args: isEnabledCudaRender=%d, "
                "isEnabledOpenCLRender=%d, "
                "isEnabledMetalRender=%d, pCudaStream=%p",
                request.isEnabledCudaRender ? 1 : 0, request.isEnabledOpenCLRender ? 1 : 0,
                request.isEnabledMetalRender ? 1 : 0, request.pCudaStream);
            GpuStream created = nullptr;
            const GpuError error = gpu_.streamCreateWithFlags(&created, GpuStreamNonBlocking);
            if (error != GpuErr::Success) {
                gpu_.getLastError();
                VLOG_ERROR("cudaStreamCreateWithFlags failed (%d) — falling back to default stream", error);
            } else {
                pluginStream_ = created;
                pluginStreamCreated_ = true;
                textures_.setDeviceCopyStream(pluginStream_);
                VLOG_INFO(
                    "Created plugin-owned CUDA stream %p (non-blocking, avoids default stream deadlock)",
                    static_cast<void*>(pluginStream_));
            }
        }
        VLOG_DEBUG("Forcing CUDA render mode (stream=%p)", static_cast<void*>(pluginStream_));
        cuda = true;
        openCL = metal = false;
        if (pluginStream_) stream = pluginStream_;
    }
    processor.setGpuModes(openCL, cuda, metal);
    processor.setStream(stream);

    textures_.populateBundledResources(processor.bundledResources());
    processor.deviceBuffers() = deviceBuffers_;
    const AccumulationDecision accumulation = accumulation_.evaluate(
        request.time, request.renderScaleX, request.renderScaleY,
        [this, &request](const std::string& name) { return integerParameter(name, request.time); });
    processor.setAccumulationState(accumulation.valid, accumulation.lastTime, accumulation.update);
    double blend = 1.0;
    const bool hasBlend = host_.readDoubleParameter("Blend", request.time, &blend);
    double transition = 0.0;
    if (definition_.isTransition()) host_.readDoubleParameter("Transition", request.time, &transition);
    processor.setFrameworkValues(hasBlend, blend, transition);
    return cuda && !openCL;
}

void RenderEngine::planRegions(PerRender& render, int effectExecutions) {
    regionPlan_.clear();
    const std::vector<ProcessDefinition>& processes = definition_.getProcesses();
    // One effect execution of processes that each run on this platform, without accumulation
    // buffers: what a plan covers. Anything else renders every pass over the whole frame.
    if (!regionPlansEnabled() || processes.empty() || effectExecutions != 1 || definition_.isTransition() ||
        !definition_.getAccumulationBuffers().empty() || std::strcmp(render.platform, "cuda") != 0)
        return;
    const int P = static_cast<int>(processes.size());
    std::vector<PlannedRun> runs;
    GpuStream stream = nullptr;
    for (int p = 0; p < P; ++p) {
        std::vector<KernelDefinition> kernels;
        for (const KernelDefinition& kernel : processes[p].kernels)
            if (kernel.platform == render.platform) kernels.push_back(kernel);
        if (kernels.empty()) return;
        const int X = executionCount(processes[p].executions, render.request.time, false);
        for (int k = 0; k < X; ++k) {
            const bool last = p == P - 1 && k == X - 1;
            GenericProcessor processor(gpu_, host_, definition_);
            if (!configureProcessor(
                    render, processor, kernels, last ? render.dstImgBuffer : pipelineOutputBuffers_[p],
                    last ? render.output.rowBytes : static_cast<int>(bufferPitch_), p, P, 0, 1, k, X))
                return;
            stream = processor.stream();
            PlannedRun run;
            run.process = p;
            run.final = last;
            run.passes = processor.plannedPasses();
            runs.push_back(std::move(run));
        }
    }
    const auto start = std::chrono::steady_clock::now();
    if (regionPlan_.build(render.width, render.height, static_cast<int>(definition_.getInputs().size()), P,
                          runs, stream)) {
        VLOG_DEBUG("Region plan: %zu of %zu tiles can change (%.1f%%), planned in %lld us",
                   regionPlan_.changedTiles(), regionPlan_.frameTiles(),
                   100.0 * static_cast<double>(regionPlan_.changedTiles()) /
                       static_cast<double>(regionPlan_.frameTiles() ? regionPlan_.frameTiles() : 1),
                   static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                              std::chrono::steady_clock::now() - start)
                                              .count()));
    }
}

int RenderEngine::integerParameter(const std::string& name, double time) {
    return host_.readParameter(name, time).asInt();
}

void RenderEngine::prepareTemporalBuffers(PerRender& render) {
    const RenderRequest& request = render.request;
    accumulation_.beginRender();
    if (request.renderScaleX >= 1.0 && request.renderScaleY >= 1.0)
        accumulation_.allocate(render.width, render.height);
    deviceBufferSet_.prepare(
        render.width, render.height,
        [this, &request](const std::string& name) { return integerParameter(name, request.time); },
        deviceBuffers_);
}

void RenderEngine::copyAccumulationAfterProcess(PerRender& render, int processIndex, void* written,
                                                int rowBytes) {
    const RenderRequest& request = render.request;
    if (request.renderScaleX < 1.0 || request.renderScaleY < 1.0) return;
    const std::vector<ProcessDefinition>& processes = definition_.getProcesses();
    if (processIndex < 0 || processIndex >= static_cast<int>(processes.size())) return;
    AccumulationBuffers::Frame frame;
    frame.pixels = written;
    frame.rowBytes = rowBytes > 0 ? static_cast<std::size_t>(rowBytes) : 0;
    frame.width = render.width;
    frame.height = render.height;
    accumulation_.copyAfterProcess(processes[processIndex].name, processIndex, frame, request.time,
                                   effectiveStream(request));
}

void RenderEngine::copyAccumulationAtEnd(PerRender& render) {
    const RenderRequest& request = render.request;
    AccumulationBuffers::Frame frame;
    frame.pixels = render.dstImgBuffer;
    frame.rowBytes = render.output.rowBytes > 0 ? static_cast<std::size_t>(render.output.rowBytes) : 0;
    frame.width = render.width;
    frame.height = render.height;
    accumulation_.copyAtEnd(frame, request.time, request.renderScaleX, request.renderScaleY,
                            effectiveStream(request));
}

void RenderEngine::applyFinalProcessing(PerRender& render) {
    double blend = 1.0;
    if (!host_.readDoubleParameter("Blend", render.request.time, &blend)) blend = 1.0;
    const SystemParameters system = finalProcessingSystemParameters(
        render.width, render.height, render.request.time, blend, alpha_.premultiplyOutput);

    // Row bytes of the blend source: the first required input with an image, else the first
    // optional one, else the transition source the position favours.
    int sourceRowBytes = 0;
    for (int pass = 0; pass < 2 && sourceRowBytes == 0; ++pass) {
        for (const InputDefinition& input : definition_.getInputs()) {
            if (input.optional != (pass == 1)) continue;
            auto found = render.images.find(input.name);
            if (found != render.images.end() && found->second.rowBytes != 0) {
                sourceRowBytes = found->second.rowBytes;
                break;
            }
        }
    }
    if (sourceRowBytes == 0 && definition_.isTransition()) {
        double position = 0.0;
        host_.readDoubleParameter("Transition", render.request.time, &position);
        auto found = render.images.find(position < 0.5 ? "SourceFrom" : "SourceTo");
        if (found != render.images.end()) sourceRowBytes = found->second.rowBytes;
    }

    // The blend reads the source pixel under each output pixel. A source whose rows or bounds do
    // not match the output is first laid out on the output's pixel grid (transparent outside it).
    const void* sourcePixels = nullptr;
    std::vector<float> aligned;
    if (render.haveSource && system.globalBlend < 1.0f) {
        const ImagePlane& s = render.source;
        const ImagePlane& o = render.output;
        const bool sameGrid =
            s.x1 == o.x1 && s.y1 == o.y1 && s.x2 == o.x2 && s.y2 == o.y2 && sourceRowBytes == s.rowBytes;
        if (sameGrid) {
            sourcePixels = s.data;
        } else {
            if (!copyOntoOutputGrid(render, s, aligned))
                VLOG_ERROR("Failed to read the source image for the blend");
            sourcePixels = aligned.data();
            sourceRowBytes = render.width * 16;
        }
    }

    const GpuStream stream = effectiveStream(render.request);
    VLOG_DEBUG("Final processing stream: %p", static_cast<void*>(stream));
    if (!activeManager_->applyFinalProcessing(stream, system, sourcePixels, render.dstImgBuffer, render.width,
                                              render.height, sourceRowBytes, render.output.rowBytes,
                                              monitorRecord_)) {
        VLOG_ERROR("Final processing failed - output left without premultiply and blend");
    }
}

void RenderEngine::setupAndProcess(const RenderRequest& request) {
    const int active = ++renderCounter_;
    if (active > 1) {
        VLOG_ERROR("⚠️  CONCURRENT RENDER DETECTED on instance %p! active=%d thread=%lx time=%.1f",
                   static_cast<void*>(this), active, threadHash(), request.time);
    }
    VLOG_DEBUG("[setupAndProcess] ENTRY — CUDA=%d OpenCL=%d Metal=%d stream=%p renders=%d thread=%lx",
               request.isEnabledCudaRender ? 1 : 0, request.isEnabledOpenCLRender ? 1 : 0,
               request.isEnabledMetalRender ? 1 : 0, request.pCudaStream, active, threadHash());
    std::lock_guard<std::mutex> lock(renderMutex_);
    try {
        PerRender render;
        render.request = request;
        // A CUDA render hands over device memory, which the CPU backend cannot read. Hosts of the
        // CUDA-fallback profile may hand over host memory even then: they render on.
        if (request.isEnabledCudaRender && !profile_.cudaFallback && gpu_.kind() != GpuBackendKind::Cuda) {
            throw std::runtime_error(
                "The host enabled CUDA rendering (images in device memory), but no CUDA device is usable by "
                "the plug-in");
        }

        std::unique_ptr<RenderImage> outputImage =
            host_.hasClip("output") ? host_.fetchImage("output", request.time) : nullptr;
        if (!outputImage) throw std::runtime_error("Failed to fetch output image");
        render.output = outputImage->plane();
        render.width = render.output.width();
        render.height = render.output.height();
        if (!validPlane(render.output)) {
            throw std::runtime_error("Unusable output image (" + describePlane(render.output) + ")");
        }

        if (!textures_.defaultTexturesCreated()) {
            VLOG_INFO("Creating default textures for noinput feature");
            if (textures_.createDefaultTextures(render.width, render.height)) {
                VLOG_INFO("Default textures created successfully");
            } else {
                VLOG_ERROR("Failed to create default textures");
            }
        }
        if (!textures_.resourcesLoaded()) {
            VLOG_DEBUG("[setupAndProcess] Loading bundled resources");
            if (!textures_.loadBundledResources(effectiveStream(request),
                                                definition_.getResourceTextures())) {
                VLOG_ERROR("Failed to load bundled resources");
            }
        }

        render.platform = choosePlatform(request);
        {
            int passes = 0;
            std::size_t kernelCount = 0;
            for (const ProcessDefinition& process : definition_.getProcesses()) {
                for (const KernelDefinition& kernel : process.kernels) {
                    if (kernel.platform != render.platform) continue;
                    passes += kernel.executions;
                    ++kernelCount;
                }
            }
            VLOG_DEBUG("Effect '%s' on %s: %d total passes across %zu kernels", definition_.getName().c_str(),
                       render.platform, passes, kernelCount);
        }

        render.dstImgBuffer = render.output.data;
        activeManager_ = acquireManager(render.dstImgBuffer, render.width, render.height);
        VLOG_DEBUG("Phase B: Using buffer pool for dstImgBuffer=%p (pool size=%zu)", render.dstImgBuffer,
                   pool_.size());

        const std::vector<ProcessDefinition>& processes = definition_.getProcesses();
        const int processCount = processes.empty() ? 1 : static_cast<int>(processes.size());
        prepareProcessBuffers(render.width, render.height, processCount);
        prepareTemporalBuffers(render);

        render.images["output"] = render.output;
        render.owned["output"] = std::move(outputImage);
        fetchInputs(render);

        auxSourceIndex_ = 0;
        auxRoutingActive_ = auxRoutingApplies(profile_.mayCapAuxInputs, profile_.synthesizeMatte,
                                              host_.isGeneralContext(), definition_.getInputs());
        if (auxRoutingActive_) {
            try {
                auxSourceIndex_ = host_.readAuxInput2Feeds(request.time);
            } catch (const std::exception& error) {
                VLOG_DEBUG("Aux routing: could not read _aux_input2_feeds selector: %s", error.what());
                auxSourceIndex_ = 0;
            }
        }
        alpha_ = host_.readAlphaMatteSelectors();
        injection_ = MatteInjectionState();
        fetchMatte(render);

        VLOG_DEBUG("Images: %d, Textures: %d (base inputs only)", static_cast<int>(render.images.size()),
                   static_cast<int>(render.textures.size()));
        if (effectOutputTexture_ && !pipelineOutputTextures_.empty()) {
            render.textures["effectOutput"] = effectOutputTexture_;
            for (std::size_t i = 0; i < pipelineOutputTextures_.size(); ++i) {
                if (pipelineOutputTextures_[i]) {
                    render.textures["pipelineOutput_" + std::to_string(i)] = pipelineOutputTextures_[i];
                }
            }
            VLOG_DEBUG("Phase 3a.3: Using %d cached CUDA texture objects (effectOutput + %d pipelines)",
                       static_cast<int>(pipelineOutputTextures_.size()) + 1,
                       static_cast<int>(pipelineOutputTextures_.size()));
        }
        accumulation_.addTextures(render.textures);
        VLOG_DEBUG("Final texture count: %d", static_cast<int>(render.textures.size()));

        render.parameters = host_.collectParameterValues(request.time);
        runAudioSteps(render);

        const int effectExecutions = executionCount(definition_.getPipelineExecutions(), request.time, true);
        const int outputRowBytes = render.output.rowBytes;
        if (audioVisualizerBypassesPipeline()) {
            VLOG_DEBUG("Audio visualizer active (no dimmed backdrop) — bypassing effect pipeline");
        } else {
            planRegions(render, effectExecutions);
            std::size_t run = 0;
            for (int j = 0; j < effectExecutions; ++j) {
                if (effectExecutions > 1)
                    VLOG_DEBUG("Effect execution %d/%d starting", j + 1, effectExecutions);
                const auto start = std::chrono::steady_clock::now();
                if (processes.empty()) {
                    std::vector<KernelDefinition> kernels;
                    VLOG_DEBUG("Phase 3a.4: Single pipeline (old format) - %zu kernels", kernels.size());
                    runSinglePipeline(render, kernels, render.dstImgBuffer, outputRowBytes, 0, 1, j,
                                      effectExecutions, 0, 1);
                } else {
                    VLOG_DEBUG("Phase 3a.4: Multi-pipeline loop - %zu pipelines", processes.size());
                    const int P = static_cast<int>(processes.size());
                    for (int p = 0; p < P; ++p) {
                        const ProcessDefinition& process = processes[p];
                        std::vector<KernelDefinition> kernels;
                        for (const KernelDefinition& kernel : process.kernels) {
                            if (kernel.platform == render.platform) kernels.push_back(kernel);
                        }
                        if (kernels.empty()) {
                            VLOG_ERROR("Phase 3a.4: Pipeline %d '%s' has no kernels for %s - skipping", p,
                                       process.name.c_str(), render.platform);
                            continue;
                        }
                        const int X = executionCount(process.executions, request.time, false);
                        VLOG_DEBUG(
                            "🚀 Executing pipeline %d/%zu '%s' (%zu kernels, %d pipeline_executions from "
                            "'%s')",
                            p + 1, processes.size(), process.name.c_str(), kernels.size(), X,
                            process.executions.empty() ? "1" : process.executions.c_str());
                        void* written = nullptr;
                        int writtenRowBytes = 0;
                        for (int k = 0; k < X; ++k) {
                            if (X > 1) {
                                VLOG_DEBUG("🔁 Pipeline '%s' iteration %d/%d (effect iter %d/%d)",
                                           process.name.c_str(), k + 1, X, j + 1, effectExecutions);
                            }
                            void* destination;
                            if (j == effectExecutions - 1 && p == P - 1 && k == X - 1) {
                                destination = render.dstImgBuffer;
                                VLOG_DEBUG("CUDA Pipeline %d: Writing to _dstImg (final output)", p);
                            } else {
                                destination = pipelineOutputBuffers_[p];
                                VLOG_DEBUG("CUDA Pipeline %d: Writing to pipelineOutput[%d] array (%p)", p, p,
                                           destination);
                            }
                            const int rowBytes = destination == render.dstImgBuffer
                                                     ? outputRowBytes
                                                     : static_cast<int>(bufferPitch_);
                            runSinglePipeline(render, kernels, destination, rowBytes, p, P, j,
                                              effectExecutions, k, X, regionPlan_.run(run++));
                            written = destination;
                            writtenRowBytes = rowBytes;
                        }
                        copyAccumulationAfterProcess(render, p, written, writtenRowBytes);
                        VLOG_DEBUG("Phase 3a.4: Pipeline %d '%s' complete (%d executions)", p,
                                   process.name.c_str(), X);
                    }
                }
                const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - start)
                                         .count();
                if (effectExecutions < 2) {
                    VLOG_DEBUG("Total pipeline execution: %lldms", ms);
                } else {
                    VLOG_DEBUG("Effect execution %d/%d: pipeline execution took %lldms", j + 1,
                               effectExecutions, ms);
                }
                if (j < effectExecutions - 1) {
                    const int index = processes.empty() ? 0 : static_cast<int>(processes.size()) - 1;
                    if (index < 0 || index >= static_cast<int>(pipelineOutputBuffers_.size())) {
                        VLOG_ERROR("Invalid pipeline index %d for feedback copy", index);
                    } else {
                        const GpuStream stream = effectiveStream(request);
                        const std::size_t bytes = frameBytes(render.width, render.height);
                        GpuError error = gpu_.memcpy2DAsync(
                            effectOutputBuffer_, bufferPitch_, pipelineOutputBuffers_[index], bufferPitch_,
                            static_cast<std::size_t>(render.width) * kBytesPerPixel,
                            static_cast<std::size_t>(render.height), GpuMemcpyDeviceToDevice, stream);
                        if (error != GpuErr::Success) {
                            gpu_.getLastError();
                            VLOG_ERROR("CUDA feedback copy failed (pipeline %d → effectOutput): %s", index,
                                       gpu_.getErrorString(error));
                        } else if ((error = gpu_.streamSynchronize(stream)) != GpuErr::Success) {
                            gpu_.getLastError();
                            VLOG_ERROR("CUDA stream sync after feedback copy failed: %s",
                                       gpu_.getErrorString(error));
                        } else {
                            VLOG_ERROR(
                                "✅ Feedback: Copied pipeline %d output to effectOutput (%.2f MB, CUDA, "
                                "linear "
                                "buffers)",
                                index, megabytes(bytes));
                        }
                    }
                }
            }
            // Handing the host an output image the pipeline never wrote would report garbage as success.
            if (!render.destinationWritten) {
                if (host_.abortRequested()) throw std::runtime_error("Render aborted by the host");
                throw std::runtime_error(
                    std::string("The effect pipeline did not write the output image (platform ") +
                    render.platform + ")");
            }
        }

        if (activeManager_ && render.dstImgBuffer) applyFinalProcessing(render);
        copyAccumulationAtEnd(render);
        render.owned["output"]->finishWrite();
        activeManager_ = nullptr;
        regionPlan_.clear();
        --renderCounter_;
    } catch (const std::exception& error) {
        VLOG_ERROR("ERROR in setupAndProcess: %s", error.what());
        activeManager_ = nullptr;
        regionPlan_.clear();
        --renderCounter_;
        throw;
    } catch (...) {
        VLOG_ERROR("ERROR in setupAndProcess: %s", "unknown exception");
        activeManager_ = nullptr;
        regionPlan_.clear();
        --renderCounter_;
        throw;
    }
}
