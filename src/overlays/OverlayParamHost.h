#pragma once

#include <string>

namespace OFX {

// How overlay objects reach the effect's parameters and image. Every operation reports false
// when the parameter does not exist, has another type or cannot be read or written.
class OverlayParamHost {
  public:
    virtual ~OverlayParamHost() = default;

    virtual bool getDouble2D(const std::string& name, double time, double& x, double& y) = 0;
    virtual bool setDouble2D(const std::string& name, double x, double y) = 0;
    virtual bool getDouble(const std::string& name, double time, double& value) = 0;
    virtual bool setDouble(const std::string& name, double value) = 0;
    // A double, an integer or a choice parameter, tried in that order.
    virtual bool getScalar(const std::string& name, double time, double& value) = 0;
    virtual bool getBoolean(const std::string& name, double time, bool& value) = 0;
    // Groups the writes that follow into one undo step named by the label.
    virtual void beginUndoBlock(const std::string& label) = 0;
    virtual void endUndoBlock() = 0;
    // The source image's width and height at the time.
    virtual bool getImageSize(double time, double& width, double& height) = 0;
    // Sets a keyframe of a double parameter at the time.
    virtual bool setDoubleAtTime(const std::string& name, double time, double value) = 0;
};

}  // namespace OFX
