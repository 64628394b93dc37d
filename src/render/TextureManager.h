#pragma once

// The effect instance's textures: one cached texture per image name (a zero-copy view of device
// memory, or a copy in an array), the per-render rule that decides between recreating and
// refreshing it, the 1x1 stand-ins for unconnected inputs, and the definition's resource textures.

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "definition/EffectDefinitionRecords.h"
#include "gpu/GpuRuntime.h"
#include "kernels/KernelRecords.h"

struct TextureEntry {
    GpuArray array = nullptr;  // null for a zero-copy texture
    GpuTextureObject texture = 0;
    const void* sourcePointer = nullptr;
    int width = 0;
    int height = 0;
    std::string platform = "cuda";
    bool linear = false;  // a pitch2D view over the source memory
};

struct LoadedResource {
    GpuTextureObject texture = 0;
    GpuArray array = nullptr;
    int width = 0;
    int height = 0;
    int channels = 4;
    std::string name;
    int samplerMode = 0;  // 0 linear, 1 nearest
    int wrapMode = 2;     // 0 clamp, 1 repeat, 2 mirror
};

// A texture compiled into the library: float RGBA texels, rows bottom first.
struct EmbeddedResource {
    const char* key;
    int width;
    int height;
    int channels;
    const float* texels;  // width * height * 4 floats
};

// The library's table of embedded resources, by key (the file name without its extension).
const EmbeddedResource* findEmbeddedResource(const std::string& key);

class TextureManager {
  public:
    enum NoInputMode { NoInputError = 0, NoInputBlack = 1, NoInputWhite = 2, NoInputTransparent = 3 };

    // `zeroCopy`: device-memory images may be sampled in place (off under the CUDA-fallback profile).
    TextureManager(GpuRuntime& gpu, bool zeroCopy);
    ~TextureManager();
    TextureManager(const TextureManager&) = delete;
    TextureManager& operator=(const TextureManager&) = delete;

    // Stream for copies from device memory (the plug-in-owned stream, when one exists).
    void setDeviceCopyStream(GpuStream stream) { deviceCopyStream_ = stream; }

    bool createTexture(const std::string& name, int width, int height, const void* pixels, int pitchBytes);
    bool updateTextureData(const std::string& name, const void* pixels, int pitchBytes);
    // The per-render rule: create, recreate on a new pointer or size, else refresh in place.
    // The texture to use this render, or 0 (the name then stays out of the render's map).
    GpuTextureObject refreshTexture(const std::string& name, int width, int height, const void* pixels,
                                    int pitchBytes, bool isMatte);
    void cleanupTextures();

    bool createDefaultTextures(int width, int height);
    bool defaultTexturesCreated() const;
    GpuTextureObject getDefaultTexture(int mode) const;
    GpuTextureObject orbaltCreate1x1Texture(const float rgba[4], GpuArray* outArray);

    bool loadBundledResources(GpuStream stream, const std::vector<ResourceTextureDefinition>& definitions);
    bool resourcesLoaded() const { return resourcesLoaded_; }
    void populateBundledResources(BundledResources& record) const;
    void releaseBundledResources();

    // A copy of the cached entry, false when none.
    bool findEntry(const std::string& name, TextureEntry* entry) const;
    std::size_t cachedCount() const;

  private:
    bool isDeviceMemory(const void* pixels, bool logDetection, const std::string& name);
    void releaseEntry(TextureEntry& entry);

    GpuRuntime& gpu_;
    bool zeroCopy_;
    GpuStream deviceCopyStream_ = nullptr;

    mutable std::mutex textureMutex_;
    std::map<std::string, TextureEntry> textureCache_;
    TextureEntry black_, white_, transparent_;
    bool defaultTexturesCreated_ = false;

    std::vector<LoadedResource> resources_;
    bool resourcesLoaded_ = false;
};
