// The image-effect suite: descriptors, clips, images, abort and image memory.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "EffectObject.h"
#include "Host.h"
#include "Suites.h"

namespace vhost {

namespace {

// Memory the plug-in asks the host for, locked while in use.
class ImageMemory : public HandleTag {
  public:
    static constexpr HandleKind kHandleKind = HandleKind::ImageMemory;
    explicit ImageMemory(size_t bytes) : HandleTag(kHandleKind), bytes_(bytes) {
        data_ = std::aligned_alloc(64, (bytes + 63) / 64 * 64);
    }
    ~ImageMemory() { std::free(data_); }
    void* data() const { return data_; }
    int locks = 0;

  private:
    size_t bytes_;
    void* data_;
};

OfxStatus getPropertySet(OfxImageEffectHandle h, OfxPropertySetHandle* props) {
    EffectObject* fx = EffectObject::from(h);
    if (fx == nullptr || props == nullptr) return kOfxStatErrBadHandle;
    *props = fx->props().handle();
    return kOfxStatOK;
}

OfxStatus getParamSet(OfxImageEffectHandle h, OfxParamSetHandle* params) {
    EffectObject* fx = EffectObject::from(h);
    if (fx == nullptr || params == nullptr) return kOfxStatErrBadHandle;
    *params = fx->params().handle();
    return kOfxStatOK;
}

OfxStatus clipDefine(OfxImageEffectHandle h, const char* name, OfxPropertySetHandle* props) {
    EffectObject* fx = EffectObject::from(h);
    if (fx == nullptr) return kOfxStatErrBadHandle;
    Clip* clip = nullptr;
    const OfxStatus status = fx->defineClip(name, &clip);
    if (status != kOfxStatOK) return status;
    if (props) *props = clip->props().handle();
    return kOfxStatOK;
}

OfxStatus clipGetHandle(OfxImageEffectHandle h, const char* name, OfxImageClipHandle* clip,
                        OfxPropertySetHandle* props) {
    EffectObject* fx = EffectObject::from(h);
    if (fx == nullptr || clip == nullptr) return kOfxStatErrBadHandle;
    Clip* c = name ? fx->clip(name) : nullptr;
    if (c != nullptr && fx->role() == EffectRole::Instance && fx->host() != nullptr) {
        const std::vector<std::string>& unknown = fx->host()->identity().unknownClips;
        if (std::find(unknown.begin(), unknown.end(), name) != unknown.end()) c = nullptr;
    }
    if (c == nullptr) return kOfxStatErrUnknown;
    *clip = c->handle();
    if (props) *props = c->props().handle();
    return kOfxStatOK;
}

OfxStatus clipGetPropertySet(OfxImageClipHandle clip, OfxPropertySetHandle* props) {
    Clip* c = Clip::from(clip);
    if (c == nullptr || props == nullptr) return kOfxStatErrBadHandle;
    *props = c->props().handle();
    return kOfxStatOK;
}

OfxStatus clipGetImage(OfxImageClipHandle clip, OfxTime time, const OfxRectD* region,
                       OfxPropertySetHandle* image) {
    Clip* c = Clip::from(clip);
    if (c == nullptr) return kOfxStatErrBadHandle;
    return c->getImage(time, region, image);
}

OfxStatus clipReleaseImage(OfxPropertySetHandle image) {
    return Clip::releaseImage(image);
}

OfxStatus clipGetRegionOfDefinition(OfxImageClipHandle clip, OfxTime time, OfxRectD* rod) {
    Clip* c = Clip::from(clip);
    if (c == nullptr) return kOfxStatErrBadHandle;
    return c->regionOfDefinition(time, rod);
}

int abortRender(OfxImageEffectHandle h) {
    EffectObject* fx = EffectObject::from(h);
    return fx != nullptr && fx->abortRequested ? 1 : 0;
}

OfxStatus imageMemoryAlloc(OfxImageEffectHandle h, size_t bytes, OfxImageMemoryHandle* memory) {
    (void)h;  // memory may be asked for without an instance
    if (memory == nullptr) return kOfxStatErrBadHandle;
    auto* m = new ImageMemory(bytes);
    if (m->data() == nullptr) {
        delete m;
        *memory = nullptr;
        return kOfxStatErrMemory;
    }
    *memory = toHandle<OfxImageMemoryHandle>(m);
    return kOfxStatOK;
}

OfxStatus imageMemoryFree(OfxImageMemoryHandle memory) {
    ImageMemory* m = fromHandle<ImageMemory>(memory);
    if (m == nullptr) return kOfxStatErrBadHandle;
    delete m;
    return kOfxStatOK;
}

OfxStatus imageMemoryLock(OfxImageMemoryHandle memory, void** data) {
    ImageMemory* m = fromHandle<ImageMemory>(memory);
    if (m == nullptr || data == nullptr) return kOfxStatErrBadHandle;
    ++m->locks;
    *data = m->data();
    return kOfxStatOK;
}

OfxStatus imageMemoryUnlock(OfxImageMemoryHandle memory) {
    ImageMemory* m = fromHandle<ImageMemory>(memory);
    if (m == nullptr) return kOfxStatErrBadHandle;
    if (m->locks > 0) --m->locks;
    return kOfxStatOK;
}

const OfxImageEffectSuiteV1 kSuite = {
    getPropertySet,     getParamSet,      clipDefine,       clipGetHandle,
    clipGetPropertySet, clipGetImage,     clipReleaseImage, clipGetRegionOfDefinition,
    abortRender,        imageMemoryAlloc, imageMemoryFree,  imageMemoryLock,
    imageMemoryUnlock,
};

}  // namespace

const OfxImageEffectSuiteV1* imageEffectSuite() {
    return &kSuite;
}

}  // namespace vhost
