#pragma once

// Clips: their descriptors at description time, the instance's clips, and the images fetched from them.

#include <string>

#include "ofxImageEffect.h"
#include "ofxsCore.h"
#include "ofxsPropertySet.h"

namespace OFX {

class ClipDescriptor {
  public:
    ClipDescriptor(const std::string& name, OfxPropertySetHandle props);

    const std::string& getName() const { return name_; }
    PropertySet& getPropertySet() { return props_; }

    void setLabel(const std::string& label);  // label, short and long label alike
    void setLabels(const std::string& label, const std::string& shortLabel, const std::string& longLabel);
    void addSupportedComponent(PixelComponentEnum components);
    void setTemporalClipAccess(bool access);
    void setOptional(bool optional);
    void setSupportsTiles(bool supports);
    void setIsMask(bool isMask);
    void setFieldExtraction(FieldExtractionEnum extraction);

  private:
    std::string name_;
    PropertySet props_;
};

// One image the host handed over; destroying it gives it back to the host.
class Image {
  public:
    explicit Image(OfxPropertySetHandle props);
    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    PropertySet& getPropertySet() { return props_; }
    const PropertySet& getPropertySet() const { return props_; }

    // Host or device memory (device memory when the render was enabled for CUDA, OpenCL or Metal).
    void* getPixelData() const { return data_; }
    const OfxRectI& getBounds() const { return bounds_; }
    OfxRectI getRegionOfDefinition() const;
    int getRowBytes() const { return rowBytes_; }  // may be negative
    PixelComponentEnum getPixelComponents() const { return components_; }
    int getPixelComponentCount() const;
    BitDepthEnum getPixelDepth() const { return depth_; }
    std::size_t getPixelBytes() const;  // bytes of one pixel, 0 for unknown formats
    double getPixelAspectRatio() const;
    OfxPointD getRenderScale() const;
    FieldEnum getField() const;
    PreMultiplicationEnum getPreMultiplication() const;
    std::string getUniqueIdentifier() const;

    // Address of pixel (x, y) in host memory, or null outside the bounds.
    void* getPixelAddress(int x, int y) const;

  private:
    PropertySet props_;
    void* data_ = nullptr;
    OfxRectI bounds_{0, 0, 0, 0};
    int rowBytes_ = 0;
    PixelComponentEnum components_ = ePixelComponentNone;
    BitDepthEnum depth_ = eBitDepthNone;
};

class Clip {
  public:
    Clip(const std::string& name, OfxImageClipHandle handle, OfxPropertySetHandle props);

    const std::string& getName() const { return name_; }
    OfxImageClipHandle getHandle() const { return handle_; }
    PropertySet& getPropertySet() { return props_; }

    std::string getLabel() const;
    bool isConnected() const;
    bool isOptional() const;
    bool isMask() const;
    bool supportsTiles() const;
    bool hasContinuousSamples() const;
    PixelComponentEnum getPixelComponents() const;
    PixelComponentEnum getUnmappedPixelComponents() const;
    BitDepthEnum getPixelDepth() const;
    BitDepthEnum getUnmappedPixelDepth() const;
    PreMultiplicationEnum getPreMultiplication() const;
    FieldEnum getFieldOrder() const;
    double getPixelAspectRatio() const;
    double getFrameRate() const;
    OfxRangeD getFrameRange() const;
    OfxRectD getRegionOfDefinition(double time) const;

    // The image at a time, or null when the host has none (an unconnected clip, a time outside its range).
    // The caller owns it.
    Image* fetchImage(double time) const;
    Image* fetchImage(double time, const OfxRectD& region) const;

  private:
    Image* fetch(double time, const OfxRectD* region) const;

    std::string name_;
    OfxImageClipHandle handle_;
    PropertySet props_;
};

}  // namespace OFX
