#include "ofxsClip.h"

#include <cstdint>

#include "ofxsSuites.h"

namespace OFX {

ClipDescriptor::ClipDescriptor(const std::string& name, OfxPropertySetHandle props)
    : name_(name), props_(props) {}

void ClipDescriptor::setLabel(const std::string& label) {
    setLabels(label, label, label);
}

void ClipDescriptor::setLabels(const std::string& label, const std::string& shortLabel,
                               const std::string& longLabel) {
    props_.propSetString(kOfxPropLabel, label);
    props_.propSetString(kOfxPropShortLabel, shortLabel, 0, false);
    props_.propSetString(kOfxPropLongLabel, longLabel, 0, false);
}

void ClipDescriptor::addSupportedComponent(PixelComponentEnum components) {
    props_.propAppendString(kOfxImageEffectPropSupportedComponents, mapPixelComponentEnumToStr(components));
}

void ClipDescriptor::setTemporalClipAccess(bool access) {
    props_.propSetInt(kOfxImageEffectPropTemporalClipAccess, access ? 1 : 0);
}

void ClipDescriptor::setOptional(bool optional) {
    props_.propSetInt(kOfxImageClipPropOptional, optional ? 1 : 0);
}

void ClipDescriptor::setSupportsTiles(bool supports) {
    props_.propSetInt(kOfxImageEffectPropSupportsTiles, supports ? 1 : 0);
}

void ClipDescriptor::setIsMask(bool isMask) {
    props_.propSetInt(kOfxImageClipPropIsMask, isMask ? 1 : 0);
}

void ClipDescriptor::setFieldExtraction(FieldExtractionEnum extraction) {
    const char* value = extraction == eFieldExtractSingle    ? kOfxImageFieldSingle
                        : extraction == eFieldExtractDoubled ? kOfxImageFieldDoubled
                                                             : kOfxImageFieldBoth;
    props_.propSetString(kOfxImageClipPropFieldExtraction, value);
}

Image::Image(OfxPropertySetHandle props) : props_(props) {
    data_ = props_.propGetPointer(kOfxImagePropData, 0, false);
    int b[4] = {0, 0, 0, 0};
    props_.propGetIntN(kOfxImagePropBounds, b, 4);
    bounds_ = OfxRectI{b[0], b[1], b[2], b[3]};
    rowBytes_ = props_.propGetInt(kOfxImagePropRowBytes);
    components_ = mapStrToPixelComponentEnum(props_.propGetString(kOfxImageEffectPropComponents));
    depth_ = mapStrToBitDepthEnum(props_.propGetString(kOfxImageEffectPropPixelDepth));
}

Image::~Image() {
    const OfxImageEffectSuiteV1* suite = hostSuites().imageEffect;
    if (suite && props_.getHandle()) suite->clipReleaseImage(props_.getHandle());
}

OfxRectI Image::getRegionOfDefinition() const {
    int r[4] = {0, 0, 0, 0};
    props_.propGetIntN(kOfxImagePropRegionOfDefinition, r, 4, false);
    return OfxRectI{r[0], r[1], r[2], r[3]};
}

int Image::getPixelComponentCount() const {
    switch (components_) {
        case ePixelComponentRGBA:
            return 4;
        case ePixelComponentRGB:
            return 3;
        case ePixelComponentAlpha:
            return 1;
        default:
            return 0;
    }
}

std::size_t Image::getPixelBytes() const {
    std::size_t component = depth_ == eBitDepthUByte    ? 1
                            : depth_ == eBitDepthUShort ? 2
                            : depth_ == eBitDepthHalf   ? 2
                            : depth_ == eBitDepthFloat  ? 4
                                                        : 0;
    return component * static_cast<std::size_t>(getPixelComponentCount());
}

double Image::getPixelAspectRatio() const {
    return props_.propGetDouble(kOfxImagePropPixelAspectRatio, 0, false);
}

OfxPointD Image::getRenderScale() const {
    OfxPointD scale{1.0, 1.0};
    if (props_.propExists(kOfxImageEffectPropRenderScale)) {
        scale.x = props_.propGetDouble(kOfxImageEffectPropRenderScale, 0, false);
        scale.y = props_.propGetDouble(kOfxImageEffectPropRenderScale, 1, false);
    }
    return scale;
}

FieldEnum Image::getField() const {
    return mapStrToFieldEnum(props_.propGetString(kOfxImagePropField, 0, false));
}

PreMultiplicationEnum Image::getPreMultiplication() const {
    return mapStrToPreMultiplicationEnum(
        props_.propGetString(kOfxImageEffectPropPreMultiplication, 0, false));
}

std::string Image::getUniqueIdentifier() const {
    return props_.propGetString(kOfxImagePropUniqueIdentifier, 0, false);
}

void* Image::getPixelAddress(int x, int y) const {
    if (!data_ || x < bounds_.x1 || x >= bounds_.x2 || y < bounds_.y1 || y >= bounds_.y2) return nullptr;
    std::size_t pixelBytes = getPixelBytes();
    if (pixelBytes == 0) return nullptr;
    auto* base = static_cast<unsigned char*>(data_);
    std::ptrdiff_t offset =
        static_cast<std::ptrdiff_t>(y - bounds_.y1) * rowBytes_ +
        static_cast<std::ptrdiff_t>(x - bounds_.x1) * static_cast<std::ptrdiff_t>(pixelBytes);
    return base + offset;
}

Clip::Clip(const std::string& name, OfxImageClipHandle handle, OfxPropertySetHandle props)
    : name_(name), handle_(handle), props_(props) {}

std::string Clip::getLabel() const {
    return props_.propGetString(kOfxPropLabel, 0, false);
}
bool Clip::isConnected() const {
    return props_.propGetInt(kOfxImageClipPropConnected, 0, false) != 0;
}
bool Clip::isOptional() const {
    return props_.propGetInt(kOfxImageClipPropOptional, 0, false) != 0;
}
bool Clip::isMask() const {
    return props_.propGetInt(kOfxImageClipPropIsMask, 0, false) != 0;
}
bool Clip::supportsTiles() const {
    return props_.propGetInt(kOfxImageEffectPropSupportsTiles, 0, false) != 0;
}
bool Clip::hasContinuousSamples() const {
    return props_.propGetInt(kOfxImageClipPropContinuousSamples, 0, false) != 0;
}
PixelComponentEnum Clip::getPixelComponents() const {
    return mapStrToPixelComponentEnum(props_.propGetString(kOfxImageEffectPropComponents, 0, false));
}
PixelComponentEnum Clip::getUnmappedPixelComponents() const {
    return mapStrToPixelComponentEnum(props_.propGetString(kOfxImageClipPropUnmappedComponents, 0, false));
}
BitDepthEnum Clip::getPixelDepth() const {
    return mapStrToBitDepthEnum(props_.propGetString(kOfxImageEffectPropPixelDepth, 0, false));
}
BitDepthEnum Clip::getUnmappedPixelDepth() const {
    return mapStrToBitDepthEnum(props_.propGetString(kOfxImageClipPropUnmappedPixelDepth, 0, false));
}
PreMultiplicationEnum Clip::getPreMultiplication() const {
    return mapStrToPreMultiplicationEnum(
        props_.propGetString(kOfxImageEffectPropPreMultiplication, 0, false));
}
FieldEnum Clip::getFieldOrder() const {
    return mapStrToFieldEnum(props_.propGetString(kOfxImageClipPropFieldOrder, 0, false));
}
double Clip::getPixelAspectRatio() const {
    return props_.propGetDouble(kOfxImagePropPixelAspectRatio, 0, false);
}
double Clip::getFrameRate() const {
    return props_.propGetDouble(kOfxImageEffectPropFrameRate, 0, false);
}
OfxRangeD Clip::getFrameRange() const {
    return OfxRangeD{props_.propGetDouble(kOfxImageEffectPropFrameRange, 0, false),
                     props_.propGetDouble(kOfxImageEffectPropFrameRange, 1, false)};
}

OfxRectD Clip::getRegionOfDefinition(double time) const {
    OfxRectD rod{0, 0, 0, 0};
    throwSuiteStatusException(Private::imageEffectSuite().clipGetRegionOfDefinition(handle_, time, &rod),
                              "region of definition of clip '" + name_ + "'");
    return rod;
}

Image* Clip::fetch(double time, const OfxRectD* region) const {
    OfxPropertySetHandle imageProps = nullptr;
    OfxStatus st = Private::imageEffectSuite().clipGetImage(handle_, time, region, &imageProps);
    if (st == kOfxStatFailed || (st == kOfxStatOK && !imageProps)) return nullptr;  // no image at that time
    throwSuiteStatusException(st, "image of clip '" + name_ + "'");
    try {
        return new Image(imageProps);
    } catch (...) {
        Private::imageEffectSuite().clipReleaseImage(imageProps);
        throw;
    }
}

Image* Clip::fetchImage(double time) const {
    return fetch(time, nullptr);
}
Image* Clip::fetchImage(double time, const OfxRectD& region) const {
    return fetch(time, &region);
}

}  // namespace OFX
