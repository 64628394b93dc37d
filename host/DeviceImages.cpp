#include "DeviceImages.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "HostError.h"
#include "gpu/GpuRuntime.h"

namespace vhost {

namespace {

struct Usability {
    bool usable = false;
    std::string why;
};

// The plug-in's own backend choice, made again without its log: a host that hands device
// memory to a plug-in rendering on the CPU would make every render fail.
const Usability& usability() {
    static const Usability decided = [] {
        Usability u;
        const char* forced = std::getenv("VELMORA_BACKEND");
        std::string lowered = forced ? forced : "";
        for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lowered == "cpu" || lowered == "host") {
            u.why = "VELMORA_BACKEND=" + lowered + " forces the CPU";  // CUDA is never touched
            return u;
        }
        std::string status;
        const bool device = cudaDeviceUsable(&status);
        const GpuBackendChoice choice = chooseGpuBackend(forced, device, status);
        u.usable = choice.kind == GpuBackendKind::Cuda;
        u.why = choice.reason;
        return u;
    }();
    return decided;
}

GpuRuntime& cuda() {
    return cudaGpuRuntime();
}

}  // namespace

bool deviceImagesUsable(std::string* why) {
    const Usability& u = usability();
    if (why) *why = u.why;
    return u.usable;
}

DeviceImages::DeviceImages(bool withStream) {
    if (!withStream) return;
    GpuStream stream = nullptr;
    const GpuError error = cuda().streamCreateWithFlags(&stream, GpuStreamNonBlocking);
    if (error != GpuErr::Success) {
        cuda().getLastError();
        throw HostError(
            std::string("cannot create a CUDA stream for the render: ") + cuda().getErrorString(error),
            kOfxStatErrMemory);
    }
    stream_ = stream;
}

DeviceImages::~DeviceImages() {
    GpuRuntime& gpu = cuda();
    if (stream_) gpu.streamSynchronize(static_cast<GpuStream>(stream_));
    for (auto& entry : copies_) gpu.free(entry.second.device);
    if (stream_) gpu.streamDestroy(static_cast<GpuStream>(stream_));
    gpu.getLastError();
}

namespace {

// Rows in ascending order, each a whole stride long, as one block: the layout of the device copy.
std::size_t strideOf(const Image& image) {
    return static_cast<std::size_t>(image.rowBytes() < 0 ? -image.rowBytes() : image.rowBytes());
}

unsigned char* hostRow(Image& image, int i) {
    return static_cast<unsigned char*>(image.data()) + static_cast<std::ptrdiff_t>(i) * image.rowBytes();
}

}  // namespace

DeviceImages::Placement DeviceImages::deviceData(const ImagePtr& image) {
    if (!image) return {};
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = copies_.find(image.get());
    if (found != copies_.end()) return found->second.placement;

    const std::size_t stride = strideOf(*image);
    const int height = image->height();
    std::vector<unsigned char> staged(stride * static_cast<std::size_t>(height));
    for (int i = 0; i < height; ++i) std::memcpy(staged.data() + stride * i, hostRow(*image, i), stride);

    GpuRuntime& gpu = cuda();
    void* device = nullptr;
    // An empty image still gets an address of its own.
    GpuError error = gpu.malloc(&device, staged.empty() ? Image::kPixelBytes : staged.size());
    if (error == GpuErr::Success && !staged.empty())
        error = gpu.memcpy(device, staged.data(), staged.size(), GpuMemcpyHostToDevice);
    if (error != GpuErr::Success) {
        gpu.free(device);
        gpu.getLastError();
        return {};
    }
    Copy& copy = copies_[image.get()];
    copy.image = image;
    copy.device = static_cast<unsigned char*>(device);
    copy.placement.data = device;
    copy.placement.rowBytes = static_cast<int>(stride);
    return copy.placement;
}

bool DeviceImages::download(Image& image, std::string* error) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = copies_.find(&image);
    if (found == copies_.end()) return true;
    GpuRuntime& gpu = cuda();
    GpuError status = stream_ ? gpu.streamSynchronize(static_cast<GpuStream>(stream_)) : GpuErr::Success;
    // The plug-in may have worked on streams of its own.
    if (status == GpuErr::Success) status = gpu.deviceSynchronize();
    const std::size_t stride = strideOf(image);
    std::vector<unsigned char> staged(stride * static_cast<std::size_t>(image.height()));
    if (status == GpuErr::Success && !staged.empty())
        status = gpu.memcpy(staged.data(), found->second.device, staged.size(), GpuMemcpyDeviceToHost);
    if (status != GpuErr::Success) {
        gpu.getLastError();
        if (error) *error = gpu.getErrorString(status);
        return false;
    }
    for (int i = 0; i < image.height(); ++i)
        std::memcpy(hostRow(image, i), staged.data() + stride * i, stride);
    return true;
}

}  // namespace vhost
