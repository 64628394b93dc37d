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
// them out: each image the plug-in fetches goes up once, with its row layout unchanged (the
// same stride, the same place of the data pointer inside its rows), and the images written by
// the render come back afterwards. Everything is freed with the object.
class DeviceImages {
  public:
    // Makes a CUDA stream for the plug-in when asked; throws HostError when that fails.
    explicit DeviceImages(bool withStream);
    ~DeviceImages();
    DeviceImages(const DeviceImages&) = delete;
    DeviceImages& operator=(const DeviceImages&) = delete;

    // The stream handed to the plug-in, or null.
    void* stream() const { return stream_; }

    // The device address that stands for image->data(), copied up on the first call. Null when
    // device memory runs out or the copy fails.
    void* deviceData(const ImagePtr& image);

    // Waits for the plug-in's work, then copies the device copy of `image` back into it; true
    // also when the plug-in never fetched the image. A failed copy leaves the host image as it was.
    bool download(Image& image, std::string* error);

  private:
    struct Copy {
        ImagePtr image;  // kept alive while its copy exists
        unsigned char* device = nullptr;
    };
    std::mutex mutex_;
    std::map<const Image*, Copy> copies_;
    void* stream_ = nullptr;
};
#endif

}  // namespace vhost
