#include "render/AccumulationBuffers.h"

#include <cmath>
#include <limits>

#include "log/PluginLog.h"
#include "render/GpuObjects.h"

namespace {

// The frame a strobe interval counts: the time truncated toward zero, within int range.
int strobeFrame(double time) {
    if (!(time == time)) return 0;
    const double frame = std::trunc(time);
    if (frame >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (frame <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return static_cast<int>(frame);
}

// Copy kind from an image the buffers are filled from: device to device unless the runtime says
// the memory is the host's (a failed query counts as device memory).
GpuMemcpyKind copyKindFrom(GpuRuntime& gpu, const void* source, GpuMemoryType* type) {
    bool queryFailed = false;
    *type = queryMemoryType(gpu, source, &queryFailed);
    if (queryFailed || *type == GpuMemoryTypeDevice || *type == GpuMemoryTypeManaged)
        return GpuMemcpyDeviceToDevice;
    return GpuMemcpyHostToDevice;
}

}  // namespace

AccumulationBuffers::AccumulationBuffers(GpuRuntime& gpu,
                                         const std::vector<AccumulationBufferDefinition>& declarations,
                                         double timeTolerance)
    : gpu_(gpu), declarations_(declarations), tolerance_(timeTolerance) {}

AccumulationBuffers::~AccumulationBuffers() {
    release();
}

void AccumulationBuffers::beginRender() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    renderGeneration_ = flushGeneration_;
    renderForced_ = false;
}

std::size_t AccumulationBuffers::release() {
    for (GpuTextureObject texture : textures_) {
        if (texture) gpu_.destroyTextureObject(texture);
    }
    const std::size_t count = buffers_.size();
    for (void* buffer : buffers_) gpu_.free(buffer);
    textures_.clear();
    buffers_.clear();
    names_.clear();
    pitch_ = 0;
    width_ = height_ = 0;
    return count;
}

void AccumulationBuffers::allocate(int width, int height) {
    if (!declared()) return;
    if (buffers_.empty()) {
        VLOG_INFO("Accumulation buffers: First allocation (%zu buffers)", declarations_.size());
    } else if (width == width_ && height == height_) {
        return;
    } else {
        VLOG_INFO("Accumulation buffers: Resolution changed (%dx%d → %dx%d) - reallocating", width_, height_,
                  width, height);
    }
    release();

    // The textures view the buffers as pitch2D images, so rows are padded to the texture pitch alignment.
    std::size_t pitch = 0;
    GpuError error = paddedRowPitch(gpu_, width, &pitch);
    bool failed = error != GpuErr::Success || pitch == 0 || height <= 0;
    if (failed) {
        gpu_.getLastError();
        VLOG_ERROR("Accumulation buffers: no row pitch for %dx%d: %s", width, height,
                   gpu_.getErrorString(error));
    }
    const std::size_t bytes = pitch * static_cast<std::size_t>(height > 0 ? height : 0);
    for (std::size_t i = 0; i < declarations_.size() && !failed; ++i) {
        const char* name = declarations_[i].name.c_str();
        void* buffer = nullptr;
        error = gpu_.malloc(&buffer, bytes);
        if (error != GpuErr::Success) {
            gpu_.getLastError();
            VLOG_ERROR("Failed to allocate accumulation buffer '%s': %s", name, gpu_.getErrorString(error));
            failed = true;
            break;
        }
        error = gpu_.memset(buffer, 0, bytes);
        GpuTextureObject texture = 0;
        if (error != GpuErr::Success) {
            // A buffer that cannot be cleared would hand stale memory to the kernels as state.
            gpu_.getLastError();
            VLOG_ERROR("Failed to clear accumulation buffer '%s': %s", name, gpu_.getErrorString(error));
        } else {
            error = createPitchTexture(gpu_, buffer, width, height, pitch, &texture);
            if (error != GpuErr::Success) {
                gpu_.getLastError();
                VLOG_ERROR("Failed to create texture for accumulation buffer '%s': %s", name,
                           gpu_.getErrorString(error));
            }
        }
        if (error != GpuErr::Success) {
            gpu_.free(buffer);
            failed = true;
            break;
        }
        buffers_.push_back(buffer);
        textures_.push_back(texture);
        names_.push_back(declarations_[i].name);
        VLOG_INFO("Accumulation buffer '%s' allocated: %dx%d (%.2f MB)", name, width, height,
                  megabytes(bytes));
    }
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        accumValid_ = false;
        accumLastTime_ = -1.0;
    }
    if (failed) {
        release();
        VLOG_ERROR("Accumulation buffer allocation failed - temporal effects will not work");
        return;
    }
    pitch_ = pitch;
    width_ = width;
    height_ = height;
    VLOG_INFO("Accumulation buffers ready: %zu buffer(s), %.2f MB total", buffers_.size(),
              megabytes(bytes * buffers_.size()));
}

void AccumulationBuffers::addTextures(TextureMap& textures) const {
    for (std::size_t i = 0; i < textures_.size(); ++i) {
        if (!textures_[i]) continue;
        textures["accum_" + names_[i]] = textures_[i];
        VLOG_DEBUG("Added accumulation buffer '%s' to texture map", names_[i].c_str());
    }
}

AccumulationDecision AccumulationBuffers::evaluate(double time, double scaleX, double scaleY,
                                                   const ParameterReader& parameter) {
    bool bufferValid = false;
    double last = -1.0;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        bufferValid = accumValid_;
        last = accumLastTime_;
    }
    AccumulationDecision decision;
    decision.lastTime = last;
    decision.valid = bufferValid && time > 0.0 && (last < 0.0 || time >= last - tolerance_);
    const void* self = this;
    if (declared()) {
        if (decision.valid || !bufferValid) {
            VLOG_DEBUG("ACCUM [%p]: valid=%d, bufValid=%d, last=%.1f, time=%.1f, scale=%.2f,%.2f", self,
                       decision.valid ? 1 : 0, bufferValid ? 1 : 0, last, time, scaleX, scaleY);
        } else {
            VLOG_INFO("ACCUM RESET [%p]: time=%.3f < last=%.3f (delta=%.3f), scale=%.2f,%.2f", self, time,
                      last, time - last, scaleX, scaleY);
        }
    }
    strobeMarks_.resize(declarations_.size(), true);

    bool forcedNow = false;
    if (declared()) {
        if (last >= 0.0 && time < last - tolerance_) {
            VLOG_INFO(
                "ACCUM FORCE COPY [%p]: backwards jump (last=%.1f → current=%.1f), overriding strobe gate",
                self, last, time);
            forcedNow = true;
        }
        if (!bufferValid) {
            VLOG_INFO("ACCUM FORCE COPY [%p]: first frame (buffer not yet valid), overriding strobe gate",
                      self);
            forcedNow = true;
        }
    }
    // A forced render starts the accumulation over, as one first frame across all its pipeline
    // executions: it refills every buffer, strobed or not, and none of its processes reads kept
    // state, even after a deferred copy earlier in the render made the state valid again (the
    // other buffers still hold what the reset or the jump dropped).
    if (forcedNow) renderForced_ = true;
    if (renderForced_) {
        strobeMarks_.assign(declarations_.size(), true);
        decision.valid = false;
        decision.update = true;
        return decision;
    }

    const int frame = strobeFrame(time);
    bool anySet = false;
    for (std::size_t i = 0; i < declarations_.size(); ++i) {
        const AccumulationBufferDefinition& declaration = declarations_[i];
        if (!declaration.strobe_param.empty()) {
            int interval = parameter ? parameter(declaration.strobe_param) : 1;
            if (interval < 1) interval = 1;
            if (interval > 1 && frame % interval != 0) {
                strobeMarks_[i] = false;
                VLOG_DEBUG("ACCUM STROBE SKIP [%p]: buffer '%s', frame=%d, interval=%d", self,
                           declaration.name.c_str(), frame, interval);
            } else {
                strobeMarks_[i] = true;
            }
        }
        anySet = anySet || strobeMarks_[i];
    }
    decision.update = anySet;
    return decision;
}

void AccumulationBuffers::recordCopy(double time, bool valid) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (flushGeneration_ != renderGeneration_) {
        // Reset while this render ran: what it copied belongs to the state the user dropped.
        VLOG_INFO("ACCUM [%p]: reset during this render - the accumulated state stays invalid",
                  static_cast<const void*>(this));
        return;
    }
    accumLastTime_ = time;
    if (valid) accumValid_ = true;
}

bool AccumulationBuffers::fits(const Frame& frame) const {
    if (frame.pixels && frame.width == width_ && frame.height == height_ &&
        frame.rowBytes >= static_cast<std::size_t>(width_) * 16)
        return true;
    VLOG_ERROR("Accumulation copy skipped: a %dx%d image (%zu row bytes) cannot fill buffers of %dx%d",
               frame.width, frame.height, frame.rowBytes, width_, height_);
    return false;
}

void AccumulationBuffers::copyAfterProcess(const std::string& processName, int processIndex,
                                           const Frame& source, double time, GpuStream stream) {
    if (!allocated()) return;
    bool named = false;
    for (const AccumulationBufferDefinition& declaration : declarations_)
        named = named || (!declaration.source_process.empty() && declaration.source_process == processName);
    if (!named || !fits(source)) return;
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 16;
    for (std::size_t i = 0; i < declarations_.size(); ++i) {
        if (declarations_[i].source_process.empty() || declarations_[i].source_process != processName)
            continue;
        const char* name = declarations_[i].name.c_str();
        VLOG_INFO("ACCUM DEFERRED COPY: buffer '%s' <- process '%s' (pipeline %d), frame=%.0f", name,
                  processName.c_str(), processIndex, time);
        GpuMemoryType type = GpuMemoryTypeUnregistered;
        const GpuMemcpyKind kind = copyKindFrom(gpu_, source.pixels, &type);
        GpuError error = gpu_.memcpy2DAsync(buffers_[i], pitch_, source.pixels, source.rowBytes, rowBytes,
                                            static_cast<std::size_t>(height_), kind, stream);
        if (error == GpuErr::Success) error = gpu_.streamSynchronize(stream);
        if (error != GpuErr::Success) {
            gpu_.getLastError();
            VLOG_ERROR("ACCUM DEFERRED COPY FAILED: buffer '%s': %s", name, gpu_.getErrorString(error));
        }
        // A failed copy leaves the buffer's earlier contents, so it does not make them valid.
        recordCopy(time, error == GpuErr::Success);
    }
}

void AccumulationBuffers::copyAtEnd(const Frame& output, double time, double scaleX, double scaleY,
                                    GpuStream stream) {
    if (!declared()) return;
    const void* self = this;
    if (scaleX < 1.0 || scaleY < 1.0) {
        bool valid;
        double last;
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            valid = accumValid_;
            last = accumLastTime_;
        }
        VLOG_INFO(
            "ACCUM SKIP [%p]: proxy render frame=%.1f, renderScale=%.2f,%.2f, valid=%d, lastRendered=%.1f",
            self, time, scaleX, scaleY, valid ? 1 : 0, last);
        return;
    }
    if (!allocated() || !fits(output)) return;

    GpuMemoryType type = GpuMemoryTypeUnregistered;
    const GpuMemcpyKind kind = copyKindFrom(gpu_, output.pixels, &type);
    if (kind == GpuMemcpyHostToDevice) {
        VLOG_DEBUG("Accumulation copy: source is host memory (type=%d), using HostToDevice",
                   static_cast<int>(type));
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 16;
    bool issued = false, failed = false;
    for (std::size_t i = 0; i < declarations_.size(); ++i) {
        if (!declarations_[i].source_process.empty()) continue;
        if (i < strobeMarks_.size() && !strobeMarks_[i]) continue;
        issued = true;
        const GpuError error = gpu_.memcpy2DAsync(buffers_[i], pitch_, output.pixels, output.rowBytes,
                                                  rowBytes, static_cast<std::size_t>(height_), kind, stream);
        if (error != GpuErr::Success) {
            gpu_.getLastError();
            VLOG_ERROR("Accumulation buffer copy failed for '%s': %s", declarations_[i].name.c_str(),
                       gpu_.getErrorString(error));
            failed = true;
        }
    }
    if (issued) {
        const GpuError error = gpu_.streamSynchronize(stream);
        if (error != GpuErr::Success) {
            gpu_.getLastError();
            VLOG_ERROR("Accumulation copy: stream synchronisation failed: %s", gpu_.getErrorString(error));
            failed = true;
        }
        if (failed) VLOG_ERROR("Accumulation copy failed — buffer remains invalid");
    }
    recordCopy(time, !failed);
    VLOG_INFO("ACCUM COPY [%p]: frame=%.1f, valid=%d, renderScale=%.2f,%.2f", self, time, failed ? 0 : 1,
              scaleX, scaleY);
}

void AccumulationBuffers::flush() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    accumValid_ = false;
    accumLastTime_ = -1.0;
    ++flushGeneration_;
}

bool AccumulationBuffers::stateValid() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return accumValid_;
}

double AccumulationBuffers::stateLastTime() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return accumLastTime_;
}
