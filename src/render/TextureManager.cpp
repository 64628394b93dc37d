#include "render/TextureManager.h"

#include <cstring>

#include "log/PluginLog.h"
#include "render/GpuObjects.h"

const EmbeddedResource* findEmbeddedResource(const std::string& key) {
    // The library embeds no resource textures; definitions that declare some render without them.
    static const EmbeddedResource* const table[] = {nullptr};
    for (const EmbeddedResource* resource : table) {
        if (resource && key == resource->key) return resource;
    }
    return nullptr;
}

namespace {

const char* kindName(GpuMemcpyKind kind) {
    return kind == GpuMemcpyDeviceToDevice ? "DeviceToDevice" : "HostToDevice";
}

int samplerCode(const std::string& sampler) {
    return sampler == "nearest" ? 1 : 0;
}

int wrapCode(const std::string& wrap) {
    if (wrap == "clamp") return 0;
    if (wrap == "repeat") return 1;
    return 2;
}

}  // namespace

TextureManager::TextureManager(GpuRuntime& gpu, bool zeroCopy) : gpu_(gpu), zeroCopy_(zeroCopy) {}

TextureManager::~TextureManager() {
    cleanupTextures();
    releaseBundledResources();
}

bool TextureManager::isDeviceMemory(const void* pixels, bool logDetection, const std::string& name) {
    GpuPointerAttributes attributes;
    const GpuError error = gpu_.pointerGetAttributes(&attributes, pixels);
    if (error != GpuErr::Success) {
        if (logDetection) {
            VLOG_DEBUG("cudaPointerGetAttributes failed (assuming host memory): %s",
                       gpu_.getErrorString(error));
        }
        gpu_.getLastError();
        return false;
    }
    if (logDetection) {
        VLOG_DEBUG("Memory detection for '%s': type=%d (0=unregistered, 1=host, 2=device, 3=managed)",
                   name.c_str(), static_cast<int>(attributes.type));
    }
    gpu_.getLastError();
    return attributes.type == GpuMemoryTypeDevice;
}

void TextureManager::releaseEntry(TextureEntry& entry) {
    if (entry.platform != "cuda") return;
    if (entry.texture) gpu_.destroyTextureObject(entry.texture);
    if (!entry.linear && entry.array) gpu_.freeArray(entry.array);
    entry.texture = 0;
    entry.array = nullptr;
}

bool TextureManager::createTexture(const std::string& name, int width, int height, const void* pixels,
                                   int pitchBytes) {
    std::lock_guard<std::mutex> lock(textureMutex_);
    VLOG_DEBUG("createTexture: %s (%dx%d, pitch=%d bytes)", name.c_str(), width, height, pitchBytes);
    auto existing = textureCache_.find(name);
    if (existing != textureCache_.end()) {
        releaseEntry(existing->second);
        textureCache_.erase(existing);
    }
    if (!pixels || width <= 0 || height <= 0 || pitchBytes < width * static_cast<int>(kBytesPerPixel)) {
        VLOG_ERROR("createTexture: invalid image for '%s' (%p, %dx%d, pitch=%d bytes)", name.c_str(), pixels,
                   width, height, pitchBytes);
        return false;
    }

    const bool device = isDeviceMemory(pixels, true, name);
    TextureEntry entry;
    entry.sourcePointer = pixels;
    entry.width = width;
    entry.height = height;

    if (device && zeroCopy_) {
        VLOG_DEBUG("Creating ZERO-COPY pitch2D texture for '%s' (device memory, pitch=%d)", name.c_str(),
                   pitchBytes);
        const GpuError error = createPitchTexture(gpu_, const_cast<void*>(pixels), width, height,
                                                  static_cast<std::size_t>(pitchBytes), &entry.texture);
        if (error != GpuErr::Success) {
            VLOG_DEBUG("Zero-copy pitch2D failed (%s), falling back to cudaArray copy",
                       gpu_.getErrorString(error));
            gpu_.getLastError();
            entry.texture = 0;
        } else {
            entry.linear = true;
        }
    }

    if (!entry.linear) {
        VLOG_DEBUG("Creating cudaArray texture for '%s' (%s memory)", name.c_str(),
                   device ? "device" : "host");
        GpuError error = mallocFloat4Array(gpu_, &entry.array, width, height, GpuArrayDefault);
        if (error != GpuErr::Success) {
            gpu_.getLastError();
            VLOG_ERROR("cudaMallocArray failed: %s", gpu_.getErrorString(error));
            return false;
        }
        const GpuMemcpyKind kind = device ? GpuMemcpyDeviceToDevice : GpuMemcpyHostToDevice;
        const GpuError stale = gpu_.getLastError();
        if (stale != GpuErr::Success) {
            VLOG_DEBUG("Cleared stale CUDA error before texture copy (%s): %s", name.c_str(),
                       gpu_.getErrorString(stale));
        }
        const GpuStream stream = device ? deviceCopyStream_ : nullptr;
        error = gpu_.memcpy2DToArrayAsync(entry.array, 0, 0, pixels, static_cast<std::size_t>(pitchBytes),
                                          static_cast<std::size_t>(width) * kBytesPerPixel,
                                          static_cast<std::size_t>(height), kind, stream);
        if (error == GpuErr::Success) error = gpu_.streamSynchronize(stream);
        if (error != GpuErr::Success) {
            gpu_.getLastError();
            VLOG_ERROR("cudaMemcpy2DToArrayAsync failed (%s): %s", kindName(kind),
                       gpu_.getErrorString(error));
            gpu_.freeArray(entry.array);
            return false;
        }
        VLOG_DEBUG("✅ cudaArray texture created (copied %d bytes using %s)", width * height * 16,
                   kindName(kind));
        error = createArrayTexture(gpu_, entry.array, &entry.texture);
        if (error != GpuErr::Success) {
            gpu_.getLastError();
            VLOG_ERROR("cudaCreateTextureObject failed: %s", gpu_.getErrorString(error));
            gpu_.freeArray(entry.array);
            return false;
        }
    }
    textureCache_[name] = entry;
    VLOG_DEBUG("Texture cached for '%s' (linear=%d)", name.c_str(), entry.linear ? 1 : 0);
    return true;
}

bool TextureManager::updateTextureData(const std::string& name, const void* pixels, int pitchBytes) {
    std::lock_guard<std::mutex> lock(textureMutex_);
    auto found = textureCache_.find(name);
    if (found == textureCache_.end()) {
        VLOG_ERROR("No cached texture found for %s", name.c_str());
        return false;
    }
    VLOG_DEBUG("updateTextureData: %s (pitch=%d bytes)", name.c_str(), pitchBytes);
    TextureEntry& entry = found->second;
    if (entry.platform != "cuda") {
        if (entry.platform != "metal") VLOG_ERROR("Platform %s not implemented yet", entry.platform.c_str());
        return false;
    }
    if (!pixels || pitchBytes < entry.width * static_cast<int>(kBytesPerPixel)) {
        VLOG_ERROR("updateTextureData: invalid image for '%s' (%p, pitch=%d bytes)", name.c_str(), pixels,
                   pitchBytes);
        return false;
    }
    if (entry.linear) {
        VLOG_DEBUG("Updating zero-copy pitch2D texture for '%s' (recreating view)", name.c_str());
        if (entry.texture) gpu_.destroyTextureObject(entry.texture);
        entry.texture = 0;
        GpuTextureObject texture = 0;
        const GpuError error = createPitchTexture(gpu_, const_cast<void*>(pixels), entry.width, entry.height,
                                                  static_cast<std::size_t>(pitchBytes), &texture);
        if (error != GpuErr::Success) {
            gpu_.getLastError();
            VLOG_ERROR("cudaCreateTextureObject (pitch2D update) failed: %s", gpu_.getErrorString(error));
            return false;
        }
        entry.texture = texture;
        VLOG_DEBUG("✅ Zero-copy pitch2D texture view updated (no copy performed!)");
        return true;
    }

    const bool device = isDeviceMemory(pixels, false, name);
    const GpuMemcpyKind kind = device ? GpuMemcpyDeviceToDevice : GpuMemcpyHostToDevice;
    const GpuStream stream = device ? deviceCopyStream_ : nullptr;
    VLOG_DEBUG("Updating cudaArray texture for '%s' (copying from %s)", name.c_str(),
               device ? "device" : "host");
    const GpuError stale = gpu_.getLastError();
    if (stale != GpuErr::Success) {
        VLOG_DEBUG("Cleared stale CUDA error before texture update (%s): %s", name.c_str(),
                   gpu_.getErrorString(stale));
    }
    GpuError error =
        gpu_.memcpy2DToArrayAsync(entry.array, 0, 0, pixels, static_cast<std::size_t>(pitchBytes),
                                  static_cast<std::size_t>(entry.width) * kBytesPerPixel,
                                  static_cast<std::size_t>(entry.height), kind, stream);
    if (error == GpuErr::Success) error = gpu_.streamSynchronize(stream);
    if (error != GpuErr::Success) {
        gpu_.getLastError();
        VLOG_ERROR("cudaMemcpy2DToArrayAsync failed (%s): %s", kindName(kind), gpu_.getErrorString(error));
        return false;
    }
    VLOG_DEBUG("✅ cudaArray texture updated (copied %d bytes using %s)", entry.width * entry.height * 16,
               kindName(kind));
    return true;
}

GpuTextureObject TextureManager::refreshTexture(const std::string& name, int width, int height,
                                                const void* pixels, int pitchBytes, bool isMatte) {
    GpuPointerAttributes attributes;
    const bool device = gpu_.pointerGetAttributes(&attributes, pixels) == GpuErr::Success &&
                        attributes.type == GpuMemoryTypeDevice;
    gpu_.getLastError();

    TextureEntry cached;
    bool isCached = false;
    {
        std::lock_guard<std::mutex> lock(textureMutex_);
        auto found = textureCache_.find(name);
        if (found != textureCache_.end()) {
            isCached = true;
            cached = found->second;
        }
    }

    auto takeEntry = [this, &name]() -> GpuTextureObject {
        std::lock_guard<std::mutex> lock(textureMutex_);
        auto found = textureCache_.find(name);
        return found != textureCache_.end() ? found->second.texture : 0;
    };

    if (!isCached || (device && !cached.linear)) {
        if (createTexture(name, width, height, pixels, pitchBytes)) {
            VLOG_DEBUG("Created texture for: %s", name.c_str());
            return takeEntry();
        }
        VLOG_ERROR("Failed to create texture for: %s", name.c_str());
        return 0;
    }

    const bool pointerChanged = cached.sourcePointer != pixels;
    if (pointerChanged || cached.width != width || cached.height != height) {
        if (pointerChanged && !isMatte) {
            VLOG_DEBUG("⚠️  Source pointer changed for '%s' (Resolve buffer reuse detected!)",
                       name.c_str());
        }
        if (!createTexture(name, width, height, pixels, pitchBytes)) return 0;
        if (!isMatte) VLOG_DEBUG("Recreated texture for dimension change: %s", name.c_str());
        return takeEntry();
    }
    if (updateTextureData(name, pixels, pitchBytes)) return takeEntry();
    if (!cached.linear) return 0;
    // The view could not take the new row pitch (one the texture unit refuses): copy instead.
    if (!createTexture(name, width, height, pixels, pitchBytes)) return 0;
    return takeEntry();
}

void TextureManager::cleanupTextures() {
    std::lock_guard<std::mutex> lock(textureMutex_);
    VLOG_DEBUG("cleanupTextures: %d cached", static_cast<int>(textureCache_.size()));
    for (auto& item : textureCache_) {
        TextureEntry& entry = item.second;
        if (entry.platform != "cuda") continue;
        if (entry.texture) {
            const GpuError error = gpu_.destroyTextureObject(entry.texture);
            if (error != GpuErr::Success) {
                gpu_.getLastError();
                VLOG_ERROR("cudaDestroyTextureObject failed: %s", gpu_.getErrorString(error));
            }
            entry.texture = 0;
        }
        if (entry.linear) {
            VLOG_DEBUG("No cudaArray to free for '%s' (zero-copy linear texture)", item.first.c_str());
        } else if (entry.array) {
            const GpuError error = gpu_.freeArray(entry.array);
            if (error != GpuErr::Success) {
                gpu_.getLastError();
                VLOG_ERROR("cudaFreeArray failed: %s", gpu_.getErrorString(error));
            }
            entry.array = nullptr;
            VLOG_DEBUG("Freed cudaArray for '%s'", item.first.c_str());
        }
    }
    textureCache_.clear();
    if (defaultTexturesCreated_ && black_.platform == "cuda") {
        for (TextureEntry* entry : {&black_, &white_, &transparent_}) {
            if (entry->texture) gpu_.destroyTextureObject(entry->texture);
            if (entry->array) gpu_.freeArray(entry->array);
            *entry = TextureEntry();
        }
        defaultTexturesCreated_ = false;
    }
}

GpuTextureObject TextureManager::orbaltCreate1x1Texture(const float rgba[4], GpuArray* outArray) {
    *outArray = nullptr;
    GpuArray array = nullptr;
    GpuError error = mallocFloat4Array(gpu_, &array, 1, 1, GpuArrayDefault);
    if (error != GpuErr::Success) {
        gpu_.getLastError();
        VLOG_ERROR("orbaltCreate1x1Texture: cudaMallocArray failed: %s", gpu_.getErrorString(error));
        return 0;
    }
    error = gpu_.memcpy2DToArray(array, 0, 0, rgba, 16, 16, 1, GpuMemcpyHostToDevice);
    if (error != GpuErr::Success) {
        gpu_.getLastError();
        VLOG_ERROR("orbaltCreate1x1Texture: cudaMemcpy2DToArray failed: %s", gpu_.getErrorString(error));
        gpu_.freeArray(array);
        return 0;
    }
    GpuTextureObject texture = 0;
    error = createArrayTexture(gpu_, array, &texture);
    if (error != GpuErr::Success) {
        gpu_.getLastError();
        VLOG_ERROR("orbaltCreate1x1Texture: cudaCreateTextureObject failed: %s", gpu_.getErrorString(error));
        gpu_.freeArray(array);
        return 0;
    }
    *outArray = array;
    return texture;
}

bool TextureManager::createDefaultTextures(int width, int height) {
    {
        std::lock_guard<std::mutex> lock(textureMutex_);
        if (defaultTexturesCreated_) return true;
    }
    VLOG_DEBUG("Creating default textures (%dx%d)", width, height);
    static const float colours[3][4] = {{0, 0, 0, 1}, {1, 1, 1, 1}, {0, 0, 0, 0}};
    TextureEntry made[3];
    for (int i = 0; i < 3; ++i) {
        made[i].texture = orbaltCreate1x1Texture(colours[i], &made[i].array);
        made[i].width = made[i].height = 1;
        if (!made[i].texture) {
            for (int j = 0; j < i; ++j) {
                gpu_.destroyTextureObject(made[j].texture);
                gpu_.freeArray(made[j].array);
            }
            return false;
        }
    }
    {
        std::lock_guard<std::mutex> lock(textureMutex_);
        black_ = made[0];
        white_ = made[1];
        transparent_ = made[2];
        defaultTexturesCreated_ = true;
    }
    VLOG_DEBUG("Created default textures (black, white, transparent)");
    return true;
}

bool TextureManager::defaultTexturesCreated() const {
    std::lock_guard<std::mutex> lock(textureMutex_);
    return defaultTexturesCreated_;
}

GpuTextureObject TextureManager::getDefaultTexture(int mode) const {
    std::lock_guard<std::mutex> lock(textureMutex_);
    if (!defaultTexturesCreated_) {
        VLOG_ERROR("Default textures not created yet");
        return 0;
    }
    switch (mode) {
        case NoInputBlack:
            return black_.texture;
        case NoInputWhite:
            return white_.texture;
        case NoInputTransparent:
            return transparent_.texture;
        default:
            return 0;
    }
}

bool TextureManager::loadBundledResources(GpuStream,
                                          const std::vector<ResourceTextureDefinition>& definitions) {
    VLOG_DEBUG("[loadBundledResources] ENTRY");
    if (resourcesLoaded_) {
        VLOG_DEBUG("[loadBundledResources] Already loaded, returning true");
        return true;
    }
    VLOG_DEBUG("[loadBundledResources] Getting resource definitions from XML");
    VLOG_DEBUG("[loadBundledResources] Got %zu resource definitions", definitions.size());
    if (definitions.empty()) {
        VLOG_DEBUG("No bundled resources to load");
    } else {
        VLOG_INFO("Loading %zu bundled resources...", definitions.size());
        std::size_t loaded = 0;
        for (const ResourceTextureDefinition& definition : definitions) {
            VLOG_DEBUG("[loadBundledResources] Processing resource: name='%s', file='%s'",
                       definition.name.c_str(), definition.file.c_str());
            const std::size_t dot = definition.file.rfind('.');
            const std::string key =
                dot == std::string::npos ? definition.file : definition.file.substr(0, dot);
            VLOG_DEBUG("[loadBundledResources] Lookup key='%s'", key.c_str());
            VLOG_DEBUG("[loadBundledResources] Calling findEmbeddedResource");
            const EmbeddedResource* embedded = findEmbeddedResource(key);
            VLOG_DEBUG("[loadBundledResources] findEmbeddedResource returned %p",
                       static_cast<const void*>(embedded));
            if (!embedded || !embedded->texels || embedded->width <= 0 || embedded->height <= 0) {
                VLOG_ERROR("Bundled resource '%s' (file: %s, lookup: %s) not found in embedded data",
                           definition.name.c_str(), definition.file.c_str(), key.c_str());
                continue;
            }
            LoadedResource resource;
            resource.name = definition.name;
            resource.width = embedded->width;
            resource.height = embedded->height;
            resource.channels = definition.channels;
            resource.samplerMode = samplerCode(definition.sampler);
            resource.wrapMode = wrapCode(definition.wrap);
            if (mallocFloat4Array(gpu_, &resource.array, resource.width, resource.height, GpuArrayDefault) !=
                GpuErr::Success) {
                gpu_.getLastError();
                VLOG_ERROR("Bundled resource '%s': cudaMallocArray failed", definition.name.c_str());
                continue;
            }
            const std::size_t rowBytes = static_cast<std::size_t>(resource.width) * kBytesPerPixel;
            GpuTextureDesc desc = gpuStandardTextureDesc();
            const GpuAddressMode address = resource.wrapMode == 0   ? GpuAddressModeClamp
                                           : resource.wrapMode == 1 ? GpuAddressModeWrap
                                                                    : GpuAddressModeMirror;
            desc.addressMode[0] = desc.addressMode[1] = address;
            desc.filterMode = resource.samplerMode == 1 ? GpuFilterModePoint : GpuFilterModeLinear;
            GpuResourceDesc view;
            view.type = GpuResourceTypeArray;
            view.array = resource.array;
            if (gpu_.memcpy2DToArray(resource.array, 0, 0, embedded->texels, rowBytes, rowBytes,
                                     static_cast<std::size_t>(resource.height),
                                     GpuMemcpyHostToDevice) != GpuErr::Success ||
                gpu_.createTextureObject(&resource.texture, view, desc) != GpuErr::Success) {
                gpu_.getLastError();
                VLOG_ERROR("Bundled resource '%s': texture creation failed", definition.name.c_str());
                gpu_.freeArray(resource.array);
                continue;
            }
            resources_.push_back(resource);
            ++loaded;
        }
        VLOG_INFO("Loaded %zu/%zu bundled resources successfully", loaded, definitions.size());
    }
    resourcesLoaded_ = true;
    return true;
}

void TextureManager::populateBundledResources(BundledResources& record) const {
    std::memset(&record, 0, sizeof record);
    int count = 0;
    for (const LoadedResource& resource : resources_) {
        if (count >= MAX_BUNDLED_RESOURCES) break;
        ResourceSlot& slot = record.resources[count++];
        slot.textureObject = resource.texture;
        slot.name = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(resource.name.c_str()));
        slot.width = resource.width;
        slot.height = resource.height;
        slot.channels = resource.channels;
        slot.samplerMode = resource.samplerMode;
        slot.wrapMode = resource.wrapMode;
        VLOG_DEBUG("Populating bundled resource '%s': samplerMode=%d, wrapMode=%d", resource.name.c_str(),
                   resource.samplerMode, resource.wrapMode);
    }
    record.resourceCount = count;
    if (resources_.size() > static_cast<std::size_t>(MAX_BUNDLED_RESOURCES)) {
        VLOG_ERROR("WARNING: %zu bundled resources exceed MAX_BUNDLED_RESOURCES (%d), truncated",
                   resources_.size(), MAX_BUNDLED_RESOURCES);
    }
}

void TextureManager::releaseBundledResources() {
    if (!resources_.empty()) VLOG_DEBUG("Freeing %zu bundled resources", resources_.size());
    for (LoadedResource& resource : resources_) {
        if (resource.texture) gpu_.destroyTextureObject(resource.texture);
        if (resource.array) gpu_.freeArray(resource.array);
    }
    resources_.clear();
    resourcesLoaded_ = false;
}

bool TextureManager::findEntry(const std::string& name, TextureEntry* entry) const {
    std::lock_guard<std::mutex> lock(textureMutex_);
    auto found = textureCache_.find(name);
    if (found == textureCache_.end()) return false;
    if (entry) *entry = found->second;
    return true;
}

std::size_t TextureManager::cachedCount() const {
    std::lock_guard<std::mutex> lock(textureMutex_);
    return textureCache_.size();
}
