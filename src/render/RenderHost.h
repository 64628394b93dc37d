#pragma once

// What the render engine needs from the effect instance that owns it: clips and their images,
// parameter values at a time, the alpha selectors and the instance's context. The instance
// implements it over the OpenFX host; tests implement it over plain images.

#include <memory>
#include <string>

#include "kernels/AnimatedParametersPacker.h"
#include "kernels/FinalProcessingLaunch.h"
#include "render/RenderTypes.h"

// An image fetched for one render; destroying it hands it back to the host.
class RenderImage {
  public:
    virtual ~RenderImage() = default;
    virtual ImagePlane plane() const = 0;
    // Called on the output image once the render has written it.
    virtual void finishWrite() {}
};

class RenderHost : public HostParameterReader {
  public:
    ~RenderHost() override = default;

    // Clips by name: the declared inputs, "SourceFrom", "SourceTo", "Matte" and "output".
    virtual bool hasClip(const std::string& name) const = 0;
    virtual bool isClipConnected(const std::string& name) const = 0;
    // Null when the host has no image for the clip at that time.
    virtual std::unique_ptr<RenderImage> fetchImage(const std::string& name, double time) = 0;

    // Every definition parameter's value at `time`, by name.
    virtual ParameterValueMap collectParameterValues(double time) = 0;
    // The execution count an "executions" text names ("param:<name>"); at least 1.
    virtual int getDynamicExecutionCount(const std::string& name, double time) = 0;
    // One definition parameter's value at `time`; an empty value when it cannot be read.
    virtual ParameterValue readParameter(const std::string& name, double time) = 0;
    virtual AlphaMatteSettings readAlphaMatteSelectors() = 0;
    // The "_aux_input2_feeds" choice; throws a std::exception when it cannot be read.
    virtual int readAuxInput2Feeds(double time) = 0;
    // A framework double parameter ("Blend", "Transition"); false when the effect has none.
    virtual bool readDoubleParameter(const std::string& name, double time, double* value) = 0;

    // The audio steps before the pipeline runs: analysis completion, automatic loading, the
    // modulation of the render's parameter values and the monitor record. Nothing for effects
    // without audio slots.
    virtual void runAudioSteps(double /*time*/, ParameterValueMap& /*values*/,
                               AudioMonitorRecord& /*monitor*/) {}

    virtual bool isGeneralContext() const = 0;
    virtual double frameRate() const = 0;
    // The host asked to stop the render in progress.
    virtual bool abortRequested() const { return false; }
};
