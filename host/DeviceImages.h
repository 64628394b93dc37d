#pragma once

#include <map>
#include <mutex>
#include <string>

#include "Image.h"

namespace vhost {

// Whether this process can hand plug-ins images in device memory: a build with the cuda backend,
// a usable CUDA device, and VELMORA_BACKEND not forcing the CPU. Decided once per process;
// `why` receives the device found or the reason there is none.
#if VELMORA_HAVE_CUDA
bool deviceImagesUsable(std::string* why = nullptr);
#else
inline bool deviceImagesUsable(std::string* why = nullptr) {
    if (why) *why = "built without the cuda backend";
    return false;
}
#endif

#if VELMORA_HAVE_CUDA
// Device-memory copies of host images for one render with CUDA enabled, as a GPU host hands
// them out: each image the plug-in fetches goes up once, and the images written by the render
// come back afterwards. Everything is freed with the object.
class DeviceImages {
  public:
    // Makes a CUDA stream for the plug-in when asked; throws HostError when that fails.
    explicit DeviceImages(bool withStream);
    ~DeviceImages();
    DeviceImages(const DeviceImages&) = delete;
    DeviceImages& operator=(const DeviceImages&) = delete;

    // The stream handed to the plug-in, or null.
    void* stream() const { return stream_; }

    // The device copy of an image: the address of pixel (x1, y1) and the row stride. Rows are
    // always ascending in device memory (a positive stride, as GPU hosts hand them out), also for
    // an image stored top row first.
    struct Placement {
        void* data = nullptr;
        int rowBytes = 0;
    };

    // The device copy of `image`, made on the first call; data is null when device memory runs
    // out or the copy fails.
    Placement deviceData(const ImagePtr& image);

    // Waits for the plug-in's work, then copies the device copy of `image` back into it; true
    // also when the plug-in never fetched the image. A failed copy leaves the host image as it was.
    bool download(Image& image, std::string* error);

  private:
    struct Copy {
        ImagePtr image;  // kept alive while its copy exists
        unsigned char* device = nullptr;
        Placement placement;
    };
    std::mutex mutex_;
    std::map<const Image*, Copy> copies_;
    void* stream_ = nullptr;
};
#endif

}  // namespace vhost
