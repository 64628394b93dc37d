#include "render/GenericProcessor.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <thread>

#include "definition/XMLEffectDefinition.h"
#include "kernels/AnimatedParametersPacker.h"
#include "kernels/KernelPasses.h"
#include "kernels/SystemParametersBuilder.h"
#include "log/PluginLog.h"
#include "render/GpuObjects.h"
#include "render/RegionCopies.h"
#include "render/RenderBufferManager.h"
#include "render/TextureManager.h"

namespace {

using Clock = std::chrono::steady_clock;

long long elapsedMicros(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
}
long long elapsedMillis(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

const char kEffectVersion[] = "1.0";

}  // namespace

GenericProcessor::GenericProcessor(GpuRuntime& gpu, RenderHost& effect, const XMLEffectDefinition& definition)
    : gpu_(gpu), effect_(effect), definition_(definition), effectName_(definition.getName()) {
    std::memset(&bundledResources_, 0, sizeof bundledResources_);
    std::memset(&deviceBuffers_, 0, sizeof deviceBuffers_);
    VLOG_DEBUG("GenericProcessor created for effect: %s", definition.getName().c_str());
}

void GenericProcessor::setImages(const std::map<std::string, ImagePlane>& images) {
    images_ = images;
    auto output = images_.find("output");
    haveDstImg_ = output != images_.end();
    if (haveDstImg_) dstImg_ = output->second;
    VLOG_DEBUG("GenericProcessor: Set %d images", static_cast<int>(images_.size()));
}

void GenericProcessor::setParameters(const ParameterValueMap& parameters) {
    parameters_ = parameters;
    VLOG_DEBUG("GenericProcessor: Set %d parameters", static_cast<int>(parameters_.size()));
}

void GenericProcessor::setTextures(const TextureMap& textures) {
    textures_ = textures;
    VLOG_DEBUG("GenericProcessor: Set %d texture objects", static_cast<int>(textures_.size()));
}

void GenericProcessor::setConnectionStatus(const ConnectionMap& connectionStatus) {
    connectionStatus_ = connectionStatus;
    VLOG_DEBUG("GenericProcessor: Set connection status for %d inputs",
               static_cast<int>(connectionStatus_.size()));
}

void GenericProcessor::setAuxSourceIndex(int index) {
    auxSourceIndex_ = index;
    VLOG_DEBUG("GenericProcessor: Input 2 feeds aux source index %d", index);
}

void GenericProcessor::setRenderRequest(const RenderRequest& request) {
    request_ = request;
    haveRequest_ = true;
}

void GenericProcessor::setExecution(int process, int processCount, int effectExecution,
                                    int effectExecutionCount, int processExecution,
                                    int processExecutionCount) {
    currentProcess_ = process;
    totalProcesses_ = processCount;
    currentEffectExecution_ = effectExecution;
    totalEffectExecutions_ = effectExecutionCount;
    currentProcessExecution_ = processExecution;
    totalProcessExecutions_ = processExecutionCount;
}

void GenericProcessor::setAlphaSettings(int alphaSourceMode, bool matteConnected,
                                        GpuTextureObject matteTexture) {
    alphaSourceMode_ = alphaSourceMode;
    matteConnected_ = matteConnected;
    matteTexture_ = matteTexture;
}

void GenericProcessor::setAccumulationState(bool valid, double lastTime, bool update) {
    accumValid_ = valid;
    accumLastTime_ = lastTime;
    accumUpdate_ = update;
}

void GenericProcessor::setFrameworkValues(bool hasBlend, double blend, double transitionPosition) {
    hasBlend_ = hasBlend;
    blend_ = blend;
    transitionPosition_ = transitionPosition;
}

void GenericProcessor::process() {
    wroteDestination_ = false;
    failure_.clear();
    if (!haveDstImg_) return;
    // Nothing to do when the render window does not lie inside the destination.
    if (haveRequest_) {
        const int* w = request_.renderWindow;
        const bool windowSet = w[2] > w[0] && w[3] > w[1];
        if (windowSet && (w[0] < dstImg_.x1 || w[1] < dstImg_.y1 || w[2] > dstImg_.x2 || w[3] > dstImg_.y2)) {
            failure_ = "the render window does not lie inside the output image";
            return;
        }
    }
    if (openCLEnabled_) {
        processImagesOpenCL();
    } else if (cudaEnabled_) {
        processImagesCUDA();
    } else if (metalEnabled_) {
        failure_ = "Metal kernels do not run in this plug-in";
        processImagesMetal();
    } else {
        multiThread();
    }
}

void GenericProcessor::processImagesOpenCL() {
    VLOG_ERROR("OpenCL no longer supported - use CUDA or Metal");
    failure_ = "OpenCL is not supported";
}

void GenericProcessor::multiThread() {
    int y1 = dstImg_.y1, y2 = dstImg_.y2;
    if (haveRequest_ && request_.renderWindow[3] > request_.renderWindow[1]) {
        y1 = std::max(y1, request_.renderWindow[1]);
        y2 = std::min(y2, request_.renderWindow[3]);
    }
    if (y2 <= y1) return;
    const int rows = y2 - y1;
    const int threads =
        std::max(1, std::min<int>(static_cast<int>(std::thread::hardware_concurrency()), rows));
    std::vector<std::thread> workers;
    const int step = (rows + threads - 1) / threads;
    for (int start = y1; start < y2; start += step) {
        const int end = std::min(y2, start + step);
        workers.emplace_back([this, start, end]() { multiThreadProcessImages(start, end); });
    }
    for (std::thread& worker : workers) worker.join();
}

void GenericProcessor::multiThreadProcessImages(int y1, int y2) {
    VLOG_ERROR("🔴 GenericProcessor: CPU fallback called! (GPU unavailable)");
    const ImagePlane* source = nullptr;
    for (const InputDefinition& input : definition_.getInputs()) {
        if (input.optional) continue;
        auto found = images_.find(input.name);
        if (found != images_.end()) {
            source = &found->second;
            break;
        }
    }
    if (!source || !haveDstImg_ || !dstImg_.data) {
        VLOG_ERROR("Missing source or destination image for CPU processing");
        return;
    }
    int x1 = dstImg_.x1, x2 = dstImg_.x2;
    if (haveRequest_ && request_.renderWindow[2] > request_.renderWindow[0]) {
        x1 = std::max(x1, request_.renderWindow[0]);
        x2 = std::min(x2, request_.renderWindow[2]);
    }
    // Only the part of the window that both images cover is copied.
    const int cx1 = std::max(x1, source->x1), cx2 = std::min(x2, source->x2);
    if (cx2 <= cx1 || !source->data) return;
    for (int y = y1; y < y2; ++y) {
        if (effect_.abortRequested()) break;
        if (y < source->y1 || y >= source->y2) continue;
        const auto* src = static_cast<const unsigned char*>(source->data) +
                          static_cast<std::ptrdiff_t>(y - source->y1) * source->rowBytes +
                          static_cast<std::ptrdiff_t>(cx1 - source->x1) * 16;
        auto* dst = static_cast<unsigned char*>(dstImg_.data) +
                    static_cast<std::ptrdiff_t>(y - dstImg_.y1) * dstImg_.rowBytes +
                    static_cast<std::ptrdiff_t>(cx1 - dstImg_.x1) * 16;
        std::memcpy(dst, src, static_cast<std::size_t>(cx2 - cx1) * 16);
    }
    wroteDestination_ = true;
}

void GenericProcessor::processImagesCUDA() {
    VLOG_DEBUG("GenericProcessor::processImagesCUDA called");
    const std::vector<KernelDefinition> kernels = runKernels();
    if (kernels.empty()) {
        VLOG_ERROR("No CUDA kernels defined");
        failure_ = "no CUDA kernels defined";
        return;
    }
    int totalPasses = 0;
    for (const KernelDefinition& kernel : kernels) totalPasses += std::max(0, kernel.executions);
    VLOG_DEBUG("CUDA multi-pass rendering: %d kernels, %d total passes", static_cast<int>(kernels.size()),
               totalPasses);
    if (totalPasses == 0) {
        // No pass would write the arrays: copying one out would hand over a stale image.
        VLOG_ERROR("No kernel passes to run (every kernel has 0 executions) - destination not written");
        failure_ = "no kernel passes to run";
        return;
    }

    const int width = dstImg_.width();
    const int height = dstImg_.height();
    void* destination = outputBuffer_;
    int rowBytes = outputRowBytes_;
    if (destination) {
        VLOG_DEBUG("✓ Custom output buffer: %p (multipipeline path)", destination);
    } else {
        destination = dstImg_.data;
        rowBytes = dstImg_.rowBytes;
        VLOG_DEBUG("⚠ Using _dstImg fallback: %p (old path, will be deprecated)", destination);
    }
    const int expectedRowBytes = width * 16;
    VLOG_DEBUG("=== OUTPUT BUFFER INFO ===");
    VLOG_DEBUG("📤 Output buffer: Pointer=%p", destination);
    VLOG_DEBUG("Image dimensions: %dx%d", width, height);
    VLOG_DEBUG("Row bytes (actual): %d", rowBytes);
    VLOG_DEBUG("Row bytes (expected): %d", expectedRowBytes);
    VLOG_DEBUG("Padding per row: %d bytes", rowBytes - expectedRowBytes);
    GpuPointerAttributes attributes;
    const GpuError attributeError = gpu_.pointerGetAttributes(&attributes, destination);
    if (attributeError != GpuErr::Success) {
        VLOG_ERROR("cudaPointerGetAttributes failed: %s", gpu_.getErrorString(attributeError));
        gpu_.getLastError();
    } else {
        VLOG_DEBUG("Memory type: %d (0=unregistered, 1=host, 2=device, 3=managed)",
                   static_cast<int>(attributes.type));
        VLOG_DEBUG("==========================");
    }
    if (rowBytes != expectedRowBytes && !(destination == outputBuffer_ && outputIsOwnBuffer_)) {
        // Kernels write surfaces; only the final copy touches the destination, and it honours the pitch.
        VLOG_ERROR("⚠️  ROW STRIDE MISMATCH DETECTED!");
        VLOG_ERROR("⚠️  Kernels assume tightly packed rows, but Resolve uses %d bytes padding per row",
                   rowBytes - expectedRowBytes);
        VLOG_ERROR("⚠️  This WILL cause illegal memory access! Need to fix kernel indexing.");
    }
    if (!destination || width <= 0 || height <= 0 || rowBytes < expectedRowBytes) {
        VLOG_ERROR("Invalid destination buffer for the pipeline (%p, %dx%d, %d row bytes)", destination,
                   width, height, rowBytes);
        failure_ = "invalid destination buffer";
        return;
    }

    if (!bufferManager_) {
        VLOG_ERROR("No buffer manager provided to GenericProcessor!");
        failure_ = "no render buffers";
        return;
    }
    if (!bufferManager_->initialize(width, height, stream_, destination, totalPasses)) {
        if (!poolFlush_) {
            VLOG_ERROR("Failed to initialize CUDA render buffers - aborting");
            failure_ = "the render buffers could not be allocated";
            return;
        }
        VLOG_ERROR("CUDA buffer initialization failed (likely OOM) — attempting pool flush recovery");
        poolFlush_(bufferManager_);
        if (!bufferManager_->initialize(width, height, stream_, destination, totalPasses)) {
            VLOG_ERROR(
                "CUDA buffer initialization failed; pool flush recovery also failed — truly OOM, aborting "
                "render");
            failure_ = "the render buffers could not be allocated";
            return;
        }
        VLOG_INFO("Pool flush recovery succeeded — render proceeding");
    }

    const std::vector<PassRecords> passes = buildPasses(kernels, width, height);
    const RunRegions* regions = regions_ && regions_->passes.size() == passes.size() ? regions_ : nullptr;
    int pass = 0;
    bool aborted = false;
    for (const PassRecords& records : passes) {
        if (records.system.currentExecution == 0) {
            VLOG_DEBUG("CUDA Kernel %d/%d (%s): %d executions", records.system.currentKernel + 1,
                       records.system.totalKernels, records.file.c_str(), records.system.totalExecutions);
        }
        if (effect_.abortRequested()) {
            aborted = true;
            break;
        }
        const GpuTextureObject input = bufferManager_->getInputTexture(pass);
        const GpuSurfaceObject output = bufferManager_->getOutputSurface(pass);
        VLOG_DEBUG("Pass %d/%d: Kernel %d, Execution %d", pass + 1, totalPasses, records.system.currentKernel,
                   records.system.currentExecution);
        const auto passStart = Clock::now();
        const bool ran = runPass(stream_, records, input, output, regions ? &regions->passes[pass] : nullptr);
        VLOG_DEBUG("⏱️  %s (exec %d/%d) took: %lldms", records.file.c_str(),
                   records.system.currentExecution + 1, records.system.totalExecutions,
                   elapsedMillis(passStart));
        if (!ran) {
            // Later passes would build on an image this one never wrote.
            VLOG_ERROR("Pass %d/%d (%s) could not run - destination not written", pass + 1, totalPasses,
                       records.file.c_str());
            failure_ = "kernel pass " + std::to_string(pass + 1) + " (" + records.file + ") could not run";
            return;
        }
        ++pass;
    }

    if (aborted) {
        // The chain stopped part way: its arrays hold no finished image.
        VLOG_INFO("Render aborted by the host after %d of %d passes - destination not written", pass,
                  totalPasses);
        failure_ = "aborted by the host";
        return;
    }

    const auto copyStart = Clock::now();
    bool copied;
    if (regions) {
        // The part of the destination later passes read, or the host sees changed; the rest of the
        // host's image is the input the last pass keeps there.
        copied =
            bufferManager_->copyFinalRegion(stream_, totalPasses, destination, rowBytes, regions->copies);
        if (copied && !regions->identity.empty()) {
            const SourceConnections& sources = passes.back().sources;
            const int slot = regions->identitySlot;
            copied = slot >= 0 && slot < sources.sourceCount &&
                     copyTextureRects(gpu_, stream_, sources.sources[slot].textureObject, destination,
                                      rowBytes, regions->identity);
        }
    } else {
        copied = bufferManager_->copyFinalResult(stream_, totalPasses, destination, width, height, rowBytes);
    }
    if (copied) {
        VLOG_DEBUG("⏱️  Final copy took: %lldms", elapsedMillis(copyStart));
        wroteDestination_ = true;
    } else {
        VLOG_ERROR("Failed to copy final cudaArray to output buffer");
        failure_ = "the final copy into the destination failed";
    }
}

std::vector<KernelDefinition> GenericProcessor::runKernels() const {
    std::vector<KernelDefinition> kernels = kernels_;
    if (kernels.empty()) {
        for (const ProcessDefinition& process : definition_.getProcesses()) {
            for (const KernelDefinition& kernel : process.kernels) {
                if (kernel.platform == "cuda") kernels.push_back(kernel);
            }
        }
    }
    return kernels;
}

std::vector<PlannedPass> GenericProcessor::plannedPasses() {
    std::vector<PlannedPass> planned;
    if (!haveDstImg_) return planned;
    for (const PassRecords& records : buildPasses(runKernels(), dstImg_.width(), dstImg_.height()))
        planned.push_back(PlannedPass{records.file, records.system, records.sources, records.parameters});
    return planned;
}

std::vector<GenericProcessor::PassRecords> GenericProcessor::buildPasses(
    const std::vector<KernelDefinition>& kernels, int width, int height) {
    // Records that are the same for every pass of this run.
    SystemParameterInputs base;
    base.width = width;
    base.height = height;
    base.hasRenderArguments = haveRequest_;
    if (haveRequest_) {
        base.time = request_.time;
        base.renderScaleX = request_.renderScaleX;
        base.renderScaleY = request_.renderScaleY;
        base.sequentialRender = request_.sequentialRender;
        base.interactiveRender = request_.interactiveRender;
        std::memcpy(base.renderWindow, request_.renderWindow, sizeof base.renderWindow);
    }
    base.frameRate = effect_.frameRate();
    base.pixelAspectRatio = dstImg_.pixelAspectRatio;
    base.currentPipelineExecution = currentEffectExecution_;
    base.totalPipelineExecutions = totalEffectExecutions_;
    base.currentPipeline = currentProcess_;
    base.totalPipelines = totalProcesses_;
    base.currentProcessExecution = currentProcessExecution_;
    base.totalProcessExecutions = totalProcessExecutions_;
    if (hasBlend_) base.globalBlend = blend_;
    base.isTransition = definition_.isTransition();
    base.transitionPosition = definition_.isTransition() ? transitionPosition_ : 0.0;
    base.accumValid = accumValid_;
    base.accumLastTime = accumLastTime_;
    base.accumUpdate = accumUpdate_;
    const SystemParameters baseRecord = buildSystemParameters(base);

    PackingContext packing;
    packing.hasRenderArguments = haveRequest_;
    packing.time = haveRequest_ ? request_.time : 0.0;
    packing.renderScaleX = haveRequest_ ? request_.renderScaleX : 1.0;
    packing.renderScaleY = haveRequest_ ? request_.renderScaleY : 1.0;

    SourceRoutingInputs routing;
    routing.inputs = &definition_.getInputs();
    std::vector<std::string> accumulationNames;
    for (const AccumulationBufferDefinition& buffer : definition_.getAccumulationBuffers()) {
        accumulationNames.push_back(buffer.name);
    }
    routing.accumulationNames = &accumulationNames;
    routing.textures = &textures_;
    routing.connectionStatus = &connectionStatus_;
    routing.textureManager = textureManager_;
    routing.bufferManager = bufferManager_;
    routing.stream = stream_;
    routing.isTransition = definition_.isTransition();
    routing.auxRoutingActive = auxRoutingActive_;
    routing.auxSourceIndex = auxSourceIndex_;
    routing.alphaSourceMode = alphaSourceMode_;
    routing.matteConnected = matteConnected_;
    routing.matteTexture = matteTexture_;
    MatteInjectionState& injection = injection_ ? *injection_ : localInjection_;

    int totalPasses = 0;
    for (const KernelDefinition& kernel : kernels) totalPasses += std::max(0, kernel.executions);
    std::vector<PassRecords> passes;
    int pass = 0;
    const int kernelCount = static_cast<int>(kernels.size());
    for (int k = 0; k < kernelCount; ++k) {
        const KernelDefinition& kernel = kernels[k];
        for (int e = 0; e < kernel.executions; ++e) {
            PassRecords records;
            records.file = kernel.file;
            SystemParameters& system = records.system;
            system = baseRecord;
            PassCounters counters;
            counters.currentExecution = e;
            counters.totalExecutions = kernel.executions;
            counters.currentKernel = k;
            counters.totalKernels = kernelCount;
            counters.currentPass = pass;
            counters.totalPasses = totalPasses;
            counters.dispatchCount = 0;
            if (kernel.dispatch == "count" && !kernel.buffer.empty()) {
                const int slots = std::min(deviceBuffers_.bufferCount, MAX_DEVICE_BUFFERS);
                for (int b = 0; b < slots; ++b) {
                    const char* name =
                        reinterpret_cast<const char*>(static_cast<uintptr_t>(deviceBuffers_.buffers[b].name));
                    if (name && kernel.buffer == name) {
                        counters.dispatchCount = deviceBuffers_.buffers[b].elementCount;
                        break;
                    }
                }
                if (counters.dispatchCount == 0) {
                    VLOG_ERROR("dispatch=\"count\" buffer=\"%s\" not found in device buffers",
                               kernel.buffer.c_str());
                }
            }
            applyPassCounters(system, counters);

            PipelineParameters& pipeline = records.pipeline;
            pipeline.effectName = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(effectName_.c_str()));
            pipeline.effectVersion = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(kEffectVersion));
            VLOG_DEBUG("Created PipelineParameters with effect name: '%s'", effectName_.c_str());

            const auto setupStart = Clock::now();
            injectMatteTexture(routing, injection, records.sources);
            const long long sourcesMicros = elapsedMicros(setupStart);
            const auto paramsStart = Clock::now();
            records.parameters =
                packAnimatedParameters(definition_.getParameters(), parameters_, &effect_, packing);
            VLOG_DEBUG("[TIMING] Setup: params=%lld μs, sources=%lld μs", elapsedMicros(paramsStart),
                       sourcesMicros);

            passes.push_back(records);
            ++pass;
        }
    }
    return passes;
}

bool GenericProcessor::runPass(GpuStream stream, const PassRecords& records, GpuTextureObject input,
                               GpuSurfaceObject output, const PassRegion* region) {
    const SystemParameters& system = records.system;
    const PipelineParameters& pipeline = records.pipeline;
    const SourceConnections& sources = records.sources;
    const AnimatedParameters& parameters = records.parameters;
    const std::string& file = records.file;
    VLOG_DEBUG("Calling CUDA kernel: %s (pass %d/%d, %d sources)", file.c_str(), system.currentPass,
               system.totalPasses, sources.sourceCount);
    const auto lookupStart = Clock::now();
    const KernelPassFunction function = findKernelPassFunction(file);
    const KernelRegionPassFunction regionFunction = region ? findKernelRegionPassFunction(file) : nullptr;
    if (!function) {
        VLOG_ERROR("No multi-pass kernel function found for kernel: %s (effect: %s)", file.c_str(),
                   effectName_.c_str());
        return false;
    }
    // A pass whose output no later pass reads has nothing to do.
    if (regionFunction && region->tileCount == 0) {
        VLOG_DEBUG("Kernel pass %d skipped: no later pass reads its output", system.currentPass);
        return true;
    }
    try {
        VLOG_DEBUG("[TIMING] Kernel lookup: %lld μs", elapsedMicros(lookupStart));
        VLOG_DEBUG("Executing kernel pass: kernel=%s, execution=%d/%d, pass=%d/%d", file.c_str(),
                   system.currentExecution + 1, system.totalExecutions, system.currentPass + 1,
                   system.totalPasses);
        const auto launchStart = Clock::now();
        if (regionFunction) {
            regionFunction(stream, &system, &pipeline, &sources, &parameters, &bundledResources_,
                           &deviceBuffers_, file.c_str(), input, output, region);
        } else {
            function(stream, &system, &pipeline, &sources, &parameters, &bundledResources_, &deviceBuffers_,
                     file.c_str(), input, output);
        }
        VLOG_DEBUG("[TIMING] Kernel launch+exec: %lld μs", elapsedMicros(launchStart));
        const GpuError launchError = gpu_.getLastError();
        if (launchError != GpuErr::Success) {
            VLOG_ERROR("❌ CUDA kernel LAUNCH error (pass %d): %s", system.currentPass,
                       gpu_.getErrorString(launchError));
        }
        bool ran = launchError == GpuErr::Success;
        const GpuError syncError = gpu_.streamSynchronize(stream);
        if (syncError != GpuErr::Success) {
            gpu_.getLastError();
            VLOG_ERROR("❌ CUDA kernel EXECUTION error (pass %d): %s", system.currentPass,
                       gpu_.getErrorString(syncError));
            ran = false;
        } else {
            VLOG_DEBUG("✅ Kernel pass %d completed successfully", system.currentPass);
        }
        return ran;
    } catch (const std::exception& error) {
        VLOG_ERROR("Exception in CUDA kernel pass: %s", error.what());
    } catch (...) {
        VLOG_ERROR("Unknown exception in CUDA kernel pass");
    }
    return false;
}
