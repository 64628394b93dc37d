#pragma once

// Accumulation buffers: frame-sized float RGBA images, declared by the effect definition, that
// keep a rendered result so that later renders can read it (temporal and feedback effects)
// through pitch2D textures named "accum_<name>". This class allocates them for the render size,
// decides per pipeline execution whether the kept state is valid and which buffers the render
// updates (time jumps, strobe intervals), copies results into them, and drops the kept state
// when the user resets it.
//
// Renders are serialised by the engine's render mutex; a reset (flush) may arrive from the
// host's main thread at any moment, so the kept state sits behind its own mutex, and a render
// that a flush overtook never marks the state valid again.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "definition/EffectDefinitionRecords.h"
#include "gpu/GpuRuntime.h"
#include "render/SourceRouting.h"

// What the kernels of one pipeline execution are told about the kept state.
struct AccumulationDecision {
    bool valid = false;      // the buffers hold a usable earlier result for this render
    double lastTime = -1.0;  // time of the last copy into the buffers; -1 when none
    bool update = true;      // some buffer is updated by this render
};

class AccumulationBuffers {
  public:
    // The integer value of a parameter at the render time.
    using ParameterReader = std::function<int(const std::string& name)>;

    AccumulationBuffers(GpuRuntime& gpu, const std::vector<AccumulationBufferDefinition>& declarations,
                        double timeTolerance);
    ~AccumulationBuffers();
    AccumulationBuffers(const AccumulationBuffers&) = delete;
    AccumulationBuffers& operator=(const AccumulationBuffers&) = delete;

    bool declared() const { return !declarations_.empty(); }
    bool allocated() const { return !buffers_.empty(); }
    int width() const { return width_; }
    int height() const { return height_; }
    // Row bytes of every buffer: the packed row padded to the texture pitch alignment.
    std::size_t pitch() const { return pitch_; }
    const std::vector<void*>& buffers() const { return buffers_; }

    // Start of a render: from now on a flush keeps this render from marking the state valid.
    void beginRender();

    // Buffers of `width` x `height`, zero-filled, made on the first call and on a size change.
    // A failure releases them all; the next call tries again.
    void allocate(int width, int height);

    // Puts "accum_<name>" for each buffer's texture into `textures`.
    void addTextures(TextureMap& textures) const;

    // Validity and strobe gate for one pipeline execution at `time`.
    AccumulationDecision evaluate(double time, double scaleX, double scaleY,
                                  const ParameterReader& parameter);

    // A frame the buffers are filled from: `width` x `height` pixels, rows of `rowBytes` bytes.
    struct Frame {
        const void* pixels = nullptr;
        std::size_t rowBytes = 0;
        int width = 0, height = 0;
    };

    // After process `processName` wrote `source`: copies it into every buffer filled from that process.
    void copyAfterProcess(const std::string& processName, int processIndex, const Frame& source, double time,
                          GpuStream stream);

    // After final processing: copies the output image into every buffer without a source process
    // whose strobe mark is set. A proxy render changes nothing.
    void copyAtEnd(const Frame& output, double time, double scaleX, double scaleY, GpuStream stream);

    // The user's reset, from any thread: the kept state is no longer valid.
    void flush();

    // Destroys the textures and frees the buffers; returns how many buffers there were.
    std::size_t release();

    // The kept state, for tests.
    bool stateValid() const;
    double stateLastTime() const;

  private:
    // A copy into the buffers finished: the state is valid at `time`, unless a flush came in
    // since the render began. `valid` false records only the time.
    void recordCopy(double time, bool valid);
    // Whether `frame` can fill the buffers (their size); logs why not.
    bool fits(const Frame& frame) const;

    GpuRuntime& gpu_;
    std::vector<AccumulationBufferDefinition> declarations_;
    double tolerance_;

    // Owned by the render thread.
    std::vector<void*> buffers_;
    std::vector<GpuTextureObject> textures_;
    std::vector<std::string> names_;
    std::size_t pitch_ = 0;
    int width_ = 0, height_ = 0;
    std::vector<bool> strobeMarks_;
    bool renderForced_ = false;
    std::uint64_t renderGeneration_ = 0;

    // Shared with the flush.
    mutable std::mutex stateMutex_;
    bool accumValid_ = false;
    double accumLastTime_ = -1.0;
    std::uint64_t flushGeneration_ = 0;
};
