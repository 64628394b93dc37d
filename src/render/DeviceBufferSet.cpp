#include "render/DeviceBufferSet.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "log/PluginLog.h"
#include "render/GpuObjects.h"

namespace {

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// A literal count: a base-10 integer from 1 to INT_MAX, nothing else.
int literalCount(const DeviceBufferDefinition& declaration) {
    const std::string& text = declaration.count;
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(begin, &end, 10);
    if (text.empty() || end == begin || *end != '\0') {
        throw std::runtime_error(
            "Device buffer '" + declaration.name + "' has count '" + text +
            "', which is not a number (use a positive integer, \"image\" or \"param:<name>\")");
    }
    if (errno == ERANGE || value < 1 || value > std::numeric_limits<int>::max()) {
        throw std::runtime_error("Device buffer '" + declaration.name + "' has count " + text +
                                 ", outside 1 to " + std::to_string(std::numeric_limits<int>::max()));
    }
    return static_cast<int>(value);
}

}  // namespace

DeviceBufferSet::DeviceBufferSet(GpuRuntime& gpu, const std::vector<DeviceBufferDefinition>& declarations)
    : gpu_(gpu), declarations_(declarations) {}

DeviceBufferSet::~DeviceBufferSet() {
    release();
}

int DeviceBufferSet::elementSize(const std::string& type) {
    if (type == "float" || type == "int" || type == "uint32") return 4;
    if (type == "float2" || type == "uint64") return 8;
    if (type == "float3") return 12;
    if (type == "float4") return 16;
    return 0;
}

std::size_t DeviceBufferSet::release() {
    const std::size_t count = buffers_.size();
    for (Buffer& buffer : buffers_) gpu_.free(buffer.pointer);
    buffers_.clear();
    width_ = height_ = 0;
    return count;
}

int DeviceBufferSet::resolveCount(const DeviceBufferDefinition& declaration, int width, int height,
                                  const ParameterReader& parameter) const {
    if (declaration.count == "image") {
        const long long pixels = static_cast<long long>(width > 0 ? width : 0) * (height > 0 ? height : 0);
        if (pixels > std::numeric_limits<int>::max()) {
            throw std::runtime_error("Device buffer '" + declaration.name + "': a " + std::to_string(width) +
                                     "x" + std::to_string(height) +
                                     " image has too many pixels for one buffer");
        }
        return static_cast<int>(pixels);
    }
    if (startsWith(declaration.count, "param:")) {
        const std::string name = declaration.count.substr(6);
        const int value = parameter ? parameter(name) : 0;
        if (value < 1) {
            VLOG_ERROR("Device buffer '%s': param '%s' resolved to %d (must be > 0)",
                       declaration.name.c_str(), name.c_str(), value);
            return 1;
        }
        return value;
    }
    return literalCount(declaration);
}

bool DeviceBufferSet::reallocate(const std::vector<int>& counts) {
    release();
    buffers_.reserve(declarations_.size());
    std::size_t total = 0;
    for (std::size_t i = 0; i < declarations_.size(); ++i) {
        const DeviceBufferDefinition& declaration = declarations_[i];
        Buffer buffer;
        buffer.count = counts[i];
        buffer.elementSize = elementSize(declaration.type);
        buffer.name = declaration.name;
        const std::size_t bytes =
            static_cast<std::size_t>(buffer.count) * static_cast<std::size_t>(buffer.elementSize);
        const GpuError error = gpu_.malloc(&buffer.pointer, bytes);
        if (error != GpuErr::Success) {
            gpu_.getLastError();
            VLOG_ERROR("Failed to allocate device buffer '%s' (%zu bytes): %s", declaration.name.c_str(),
                       bytes, gpu_.getErrorString(error));
            release();
            VLOG_ERROR("Device buffer allocation failed");
            return false;
        }
        total += bytes;
        buffers_.push_back(buffer);
        VLOG_INFO("Device buffer '%s': %d elements x %d bytes = %.2f MB (%s)", declaration.name.c_str(),
                  buffer.count, buffer.elementSize, megabytes(bytes), declaration.type.c_str());
    }
    VLOG_INFO("Device buffers ready: %zu buffer(s), %.2f MB total", buffers_.size(), megabytes(total));
    return true;
}

void DeviceBufferSet::prepare(int width, int height, const ParameterReader& parameter,
                              DeviceBuffers& record) {
    std::memset(&record, 0, sizeof record);
    if (declarations_.empty()) return;

    std::vector<int> counts;
    bool imageCount = false;
    for (const DeviceBufferDefinition& declaration : declarations_) {
        counts.push_back(resolveCount(declaration, width, height, parameter));
        imageCount = imageCount || declaration.count == "image";
    }
    bool needed = buffers_.empty();
    for (std::size_t i = 0; i < buffers_.size() && !needed; ++i) needed = buffers_[i].count != counts[i];
    if (!needed && imageCount && (width != width_ || height != height_)) needed = true;
    if (needed) {
        if (!reallocate(counts)) return;
        width_ = width;
        height_ = height;
    }

    record.bufferCount = static_cast<int32_t>(buffers_.size());
    for (std::size_t i = 0; i < buffers_.size() && i < static_cast<std::size_t>(MAX_DEVICE_BUFFERS); ++i) {
        DeviceBufferSlot& slot = record.buffers[i];
        slot.devicePointer = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(buffers_[i].pointer));
        slot.elementCount = buffers_[i].count;
        slot.elementSize = buffers_[i].elementSize;
        slot.name = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(buffers_[i].name.c_str()));
    }
}
