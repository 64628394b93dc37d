#include "Clip.h"

#include <atomic>

#include "DeviceImages.h"
#include "EffectObject.h"

namespace vhost {

namespace {

// Fetched image property sets, to find the clip that owns one when the plug-in releases it.
std::mutex gFetchedMutex;
std::map<PropertySet*, Clip*> gFetchedOwners;
std::atomic<int> gImageSerial{0};

}  // namespace

Clip::Clip(EffectObject* owner, std::string name)
    : HandleTag(kHandleKind), owner_(owner), name_(std::move(name)), props_(kOfxTypeClip) {
    PropertySet& p = props_;
    p.declareString(kOfxPropType, kOfxTypeClip);
    p.declareString(kOfxPropName, name_);
    p.declareString(kOfxPropLabel, name_);
    p.declareString(kOfxPropShortLabel, name_);
    p.declareString(kOfxPropLongLabel, name_);
    p.declareString(kOfxImageEffectPropSupportedComponents, std::vector<std::string>{});
    p.declareInt(kOfxImageEffectPropTemporalClipAccess, 0);
    p.declareInt(kOfxImageClipPropOptional, 0);
    p.declareString(kOfxImageClipPropFieldExtraction, kOfxImageFieldDoubled);
    p.declareInt(kOfxImageClipPropIsMask, 0);
    p.declareInt(kOfxImageEffectPropSupportsTiles, 1);
}

Clip::Clip(EffectObject* owner, const Clip& descriptor)
    : HandleTag(kHandleKind), owner_(owner), name_(descriptor.name_), props_(descriptor.props_) {
    PropertySet& p = props_;
    p.declareString(kOfxImageEffectPropPixelDepth, kOfxBitDepthNone);
    p.declareString(kOfxImageEffectPropComponents, kOfxImageComponentNone);
    p.declareString(kOfxImageClipPropUnmappedPixelDepth, kOfxBitDepthNone);
    p.declareString(kOfxImageClipPropUnmappedComponents, kOfxImageComponentNone);
    p.declareString(kOfxImageEffectPropPreMultiplication, kOfxImagePreMultiplied);
    p.declareDouble(kOfxImagePropPixelAspectRatio, 1.0);
    p.declareDouble(kOfxImageEffectPropFrameRate, 24.0);
    p.declareDouble(kOfxImageEffectPropFrameRange, {0.0, 0.0}, 2);
    p.declareString(kOfxImageClipPropFieldOrder, kOfxImageFieldNone);
    p.declareInt(kOfxImageClipPropConnected, 0);
    p.declareDouble(kOfxImageEffectPropUnmappedFrameRange, {0.0, 0.0}, 2);
    p.declareDouble(kOfxImageEffectPropUnmappedFrameRate, 24.0);
    p.declareInt(kOfxImageClipPropContinuousSamples, 0);
    p.declareInt(kOfxImageEffectFrameVarying, 0);
}

Clip::~Clip() {
    std::lock_guard<std::mutex> lock(gFetchedMutex);
    for (auto& entry : fetched_) gFetchedOwners.erase(entry.first);
}

void Clip::updateConnectedProps() {
    const bool on = image_ != nullptr || !timed_.empty();
    props_.putInt(kOfxImageClipPropConnected, {on ? 1 : 0});
    const char* depth = on ? kOfxBitDepthFloat : kOfxBitDepthNone;
    const char* components = on ? kOfxImageComponentRGBA : kOfxImageComponentNone;
    props_.putString(kOfxImageEffectPropPixelDepth, {depth});
    props_.putString(kOfxImageClipPropUnmappedPixelDepth, {depth});
    props_.putString(kOfxImageEffectPropComponents, {components});
    props_.putString(kOfxImageClipPropUnmappedComponents, {components});
}

void Clip::connect(ImagePtr image) {
    std::lock_guard<std::mutex> lock(mutex_);
    image_ = std::move(image);
    updateConnectedProps();
}

void Clip::connectAt(double time, ImagePtr image) {
    std::lock_guard<std::mutex> lock(mutex_);
    timed_[time] = std::move(image);
    updateConnectedProps();
}

void Clip::disconnect() {
    std::lock_guard<std::mutex> lock(mutex_);
    image_.reset();
    timed_.clear();
    updateConnectedProps();
}

bool Clip::connected() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return image_ != nullptr || !timed_.empty();
}

ImagePtr Clip::imageAt(double time) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = timed_.find(time);
    return it != timed_.end() ? it->second : image_;
}

OfxStatus Clip::getImage(double time, const OfxRectD* region, OfxPropertySetHandle* imageProps) {
    (void)region;  // the whole image is handed out; it covers any region asked for
    if (imageProps == nullptr) return kOfxStatErrBadHandle;
    *imageProps = nullptr;
    if (owner_->role() != EffectRole::Instance) return kOfxStatErrBadHandle;
    ImagePtr image = imageAt(time);
    if (!image) return kOfxStatFailed;
    void* data = image->data();
    int rowBytes = image->rowBytes();
#if VELMORA_HAVE_CUDA
    if (owner_->deviceImages != nullptr) {
        const DeviceImages::Placement placement = owner_->deviceImages->deviceData(image);
        if (placement.data == nullptr) return kOfxStatErrMemory;
        data = placement.data;
        rowBytes = placement.rowBytes;
    }
#endif

    auto props = std::make_unique<PropertySet>(kOfxTypeImage, false);
    PropertySet& p = *props;
    const OfxRectI& b = image->bounds();
    p.declareString(kOfxPropType, kOfxTypeImage);
    p.declareString(kOfxImageEffectPropPixelDepth, kOfxBitDepthFloat);
    p.declareString(kOfxImageEffectPropComponents, kOfxImageComponentRGBA);
    p.declareString(kOfxImageEffectPropPreMultiplication,
                    props_.string(kOfxImageEffectPropPreMultiplication));
    p.declareDouble(kOfxImageEffectPropRenderScale, {owner_->renderScale[0], owner_->renderScale[1]}, 2);
    p.declareDouble(kOfxImagePropPixelAspectRatio, 1.0);
    p.declarePointer(kOfxImagePropData, data);
    p.declareInt(kOfxImagePropBounds, {b.x1, b.y1, b.x2, b.y2}, 4);
    p.declareInt(kOfxImagePropRegionOfDefinition, {b.x1, b.y1, b.x2, b.y2}, 4);
    p.declareInt(kOfxImagePropRowBytes, rowBytes);
    p.declareString(kOfxImagePropField, kOfxImageFieldNone);
    p.declareString(kOfxImagePropUniqueIdentifier, name_ + "#" + std::to_string(++gImageSerial));

    PropertySet* key = props.get();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        fetched_[key] = Fetched{std::move(props), std::move(image)};
    }
    {
        std::lock_guard<std::mutex> lock(gFetchedMutex);
        gFetchedOwners[key] = this;
    }
    *imageProps = key->handle();
    return kOfxStatOK;
}

OfxStatus Clip::releaseImage(OfxPropertySetHandle imageProps) {
    PropertySet* key = PropertySet::from(imageProps);
    if (key == nullptr) return kOfxStatErrBadHandle;
    Clip* clip = nullptr;
    {
        std::lock_guard<std::mutex> lock(gFetchedMutex);
        auto it = gFetchedOwners.find(key);
        if (it == gFetchedOwners.end()) return kOfxStatErrBadHandle;
        clip = it->second;
        gFetchedOwners.erase(it);
    }
    std::lock_guard<std::mutex> lock(clip->mutex_);
    clip->fetched_.erase(key);
    return kOfxStatOK;
}

OfxStatus Clip::regionOfDefinition(double time, OfxRectD* rod) const {
    if (rod == nullptr) return kOfxStatErrBadHandle;
    ImagePtr image = imageAt(time);
    if (!image) {
        *rod = OfxRectD{0, 0, 0, 0};
        return kOfxStatOK;
    }
    const OfxRectI& b = image->bounds();
    *rod = OfxRectD{double(b.x1), double(b.y1), double(b.x2), double(b.y2)};
    return kOfxStatOK;
}

int Clip::outstandingImages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(fetched_.size());
}

}  // namespace vhost
