#pragma once

// Fixtures of the render-engine tests: images in host memory, an effect instance stand-in over
// them, and a capture of the plug-in log.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "definition/XMLEffectDefinition.h"
#include "render/RenderHost.h"

// A float RGBA image with any row pitch (bytes, a multiple of 4) and pixel bounds.
struct TestImage {
    int width = 0, height = 0, rowBytes = 0, x1 = 0, y1 = 0;
    std::vector<float> storage;

    TestImage() = default;
    TestImage(int w, int h, int pitchBytes = 0, int originX = 0, int originY = 0);

    float* pixel(int x, int y);
    const float* pixel(int x, int y) const;
    void fill(float r, float g, float b, float a);
    ImagePlane plane();
};

// The effect instance's side of a render, over TestImages.
class FakeRenderHost : public RenderHost {
  public:
    explicit FakeRenderHost(const XMLEffectDefinition& definition);

    void connect(const std::string& clip, TestImage* image);  // image may be null: connected, no image
    void disconnect(const std::string& clip);
    void removeClip(const std::string& clip);
    void set(const std::string& parameter, const ParameterValue& value) { overrides_[parameter] = value; }

    AlphaMatteSettings alpha;
    std::optional<double> blend;
    int auxInput2Feeds = 1;
    bool generalContext = true;
    std::function<void(const std::string& clip)> onFetch;  // called before every image fetch
    // The audio steps of a definition with audio slots.
    std::function<void(double time, ParameterValueMap& values, AudioMonitorRecord& monitor)> audioSteps;

    bool hasClip(const std::string& name) const override;
    bool isClipConnected(const std::string& name) const override;
    std::unique_ptr<RenderImage> fetchImage(const std::string& name, double time) override;
    ParameterValueMap collectParameterValues(double time) override;
    int getDynamicExecutionCount(const std::string& name, double time) override;
    ParameterValue readParameter(const std::string& name, double time) override;
    AlphaMatteSettings readAlphaMatteSelectors() override { return alpha; }
    int readAuxInput2Feeds(double) override { return auxInput2Feeds; }
    bool readDoubleParameter(const std::string& name, double time, double* value) override;
    void runAudioSteps(double time, ParameterValueMap& values, AudioMonitorRecord& monitor) override {
        if (audioSteps) audioSteps(time, values, monitor);
    }
    bool isGeneralContext() const override { return generalContext; }
    double frameRate() const override { return 24.0; }
    ParameterValue readVector(const std::string& name, const std::string& type, double time) const override;

  private:
    struct Clip {
        bool connected = false;
        TestImage* image = nullptr;
    };
    const XMLEffectDefinition& definition_;
    std::map<std::string, Clip> clips_;
    std::map<std::string, ParameterValue> overrides_;
};

// The shipped effect definition, parsed once.
const XMLEffectDefinition& shippedDefinition();

// Routes the plug-in log at debug level into a fresh file for one test.
class LogCapture {
  public:
    LogCapture();
    ~LogCapture();
    std::string text() const;
    bool contains(const std::string& fragment) const { return text().find(fragment) != std::string::npos; }
    int count(const std::string& fragment) const;

  private:
    std::string folder_;
};
