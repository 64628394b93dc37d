#pragma once

// Device buffers: raw GPU arrays of a declared element type and count that an effect's kernels
// use freely (counters, histograms, per-pixel scratch). Their counts are resolved at every render
// ("image" is the render's pixel count, "param:<name>" a parameter's value); the set is
// reallocated when a count changes and handed to the kernels in the DeviceBuffers record. Contents
// are not initialised: the kernels own them.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "definition/EffectDefinitionRecords.h"
#include "gpu/GpuRuntime.h"
#include "kernels/KernelRecords.h"

class DeviceBufferSet {
  public:
    // The integer value of a parameter at the render time.
    using ParameterReader = std::function<int(const std::string& name)>;

    DeviceBufferSet(GpuRuntime& gpu, const std::vector<DeviceBufferDefinition>& declarations);
    ~DeviceBufferSet();
    DeviceBufferSet(const DeviceBufferSet&) = delete;
    DeviceBufferSet& operator=(const DeviceBufferSet&) = delete;

    // Bytes per element of a declared type; 0 for a type that is not one.
    static int elementSize(const std::string& type);

    // Resolves the counts for a `width` x `height` render, (re)allocates when needed and fills
    // `record`. An allocation failure leaves no buffers (the next render tries again) and an empty
    // record; a count text that is not a positive number throws std::runtime_error.
    void prepare(int width, int height, const ParameterReader& parameter, DeviceBuffers& record);

    // Frees every buffer; returns how many there were.
    std::size_t release();

    struct Buffer {
        void* pointer = nullptr;
        int count = 0;
        int elementSize = 0;
        std::string name;
    };
    const std::vector<Buffer>& buffers() const { return buffers_; }

  private:
    int resolveCount(const DeviceBufferDefinition& declaration, int width, int height,
                     const ParameterReader& parameter) const;
    bool reallocate(const std::vector<int>& counts);

    GpuRuntime& gpu_;
    std::vector<DeviceBufferDefinition> declarations_;
    std::vector<Buffer> buffers_;
    int width_ = 0, height_ = 0;
};
