#pragma once

#include <map>
#include <string>

#include "ofxsImageEffect.h"
#include "overlays/OverlayParamHost.h"

namespace OFX {

// The overlay parameter host over an effect instance's OpenFX parameters and its "Source" clip.
// Parameters are fetched on first use and kept; every failure reports false.
class OfxOverlayParamHost : public OverlayParamHost {
  public:
    explicit OfxOverlayParamHost(ImageEffect& effect) : effect_(effect) {}

    bool getDouble2D(const std::string& name, double time, double& x, double& y) override;
    bool setDouble2D(const std::string& name, double x, double y) override;
    bool getDouble(const std::string& name, double time, double& value) override;
    bool setDouble(const std::string& name, double value) override;
    bool getScalar(const std::string& name, double time, double& value) override;
    bool getBoolean(const std::string& name, double time, bool& value) override;
    void beginUndoBlock(const std::string& label) override;
    void endUndoBlock() override;
    bool getImageSize(double time, double& width, double& height) override;
    bool setDoubleAtTime(const std::string& name, double time, double value) override;

    // The region of definition of the effect's "Source" clip at a time, with 1920 x 1080 in place
    // of a size that is not positive; false when the clip is missing or not connected.
    static bool sourceImageSize(ImageEffect& effect, double time, double& width, double& height);

  private:
    Double2DParam* double2D(const std::string& name);
    DoubleParam* doubleParam(const std::string& name);

    ImageEffect& effect_;
    std::map<std::string, Double2DParam*> double2DParams_;
    std::map<std::string, DoubleParam*> doubleParams_;
};

}  // namespace OFX
