#include "RenderTestSupport.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "definition/EmbeddedDefinition.h"
#include "log/PluginLog.h"

namespace fs = std::filesystem;

TestImage::TestImage(int w, int h, int pitchBytes, int originX, int originY)
    : width(w), height(h), rowBytes(pitchBytes ? pitchBytes : w * 16), x1(originX), y1(originY) {
    storage.assign(static_cast<std::size_t>(rowBytes / 4) * h, -7.0f);  // padding holds a marker
    fill(0, 0, 0, 0);
}

float* TestImage::pixel(int x, int y) {
    return storage.data() + static_cast<std::size_t>(y) * (rowBytes / 4) + x * 4;
}

const float* TestImage::pixel(int x, int y) const {
    return storage.data() + static_cast<std::size_t>(y) * (rowBytes / 4) + x * 4;
}

void TestImage::fill(float r, float g, float b, float a) {
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            float* p = pixel(x, y);
            p[0] = r, p[1] = g, p[2] = b, p[3] = a;
        }
    }
}

ImagePlane TestImage::plane() {
    ImagePlane plane;
    plane.data = storage.data();
    plane.x1 = x1;
    plane.y1 = y1;
    plane.x2 = x1 + width;
    plane.y2 = y1 + height;
    plane.rowBytes = rowBytes;
    return plane;
}

namespace {

class PlaneImage : public RenderImage {
  public:
    explicit PlaneImage(ImagePlane plane) : plane_(plane) {}
    ImagePlane plane() const override { return plane_; }

  private:
    ImagePlane plane_;
};

}  // namespace

FakeRenderHost::FakeRenderHost(const XMLEffectDefinition& definition) : definition_(definition) {
    clips_["output"] = Clip{true, nullptr};
    for (const InputDefinition& input : definition.getInputs()) clips_[input.name] = Clip{false, nullptr};
    clips_["Matte"] = Clip{false, nullptr};
}

void FakeRenderHost::connect(const std::string& clip, TestImage* image) {
    clips_[clip] = Clip{true, image};
}
void FakeRenderHost::disconnect(const std::string& clip) {
    clips_[clip] = Clip{false, nullptr};
}
void FakeRenderHost::removeClip(const std::string& clip) {
    clips_.erase(clip);
}

bool FakeRenderHost::hasClip(const std::string& name) const {
    return clips_.count(name) != 0;
}

bool FakeRenderHost::isClipConnected(const std::string& name) const {
    auto found = clips_.find(name);
    return found != clips_.end() && found->second.connected;
}

std::unique_ptr<RenderImage> FakeRenderHost::fetchImage(const std::string& name, double) {
    if (onFetch) onFetch(name);
    auto found = clips_.find(name);
    if (found == clips_.end() || !found->second.connected || !found->second.image) return nullptr;
    return std::make_unique<PlaneImage>(found->second.image->plane());
}

ParameterValueMap FakeRenderHost::collectParameterValues(double) {
    ParameterValueMap values;
    for (const ParameterDefinition& p : definition_.getParameters()) {
        auto overridden = overrides_.find(p.name);
        if (overridden != overrides_.end()) {
            values[p.name] = overridden->second;
        } else if (p.type == "bool") {
            values[p.name] = ParameterValue(p.defaultBool);
        } else if (p.type == "int" || p.type == "choice") {
            values[p.name] = ParameterValue(static_cast<int>(p.defaultValue));
        } else if (p.type == "vec2") {
            const double x = p.components.size() > 0 ? p.components[0].defaultValue : 0.0;
            const double y = p.components.size() > 1 ? p.components[1].defaultValue : 0.0;
            values[p.name] = ParameterValue(x, y);
        } else {
            values[p.name] = ParameterValue(p.defaultValue);
        }
    }
    return values;
}

int FakeRenderHost::getDynamicExecutionCount(const std::string& name, double) {
    auto found = overrides_.find(name);
    const int value = found != overrides_.end() ? found->second.asInt() : 1;
    return value < 1 ? 1 : value;
}

ParameterValue FakeRenderHost::readParameter(const std::string& name, double time) {
    const ParameterValueMap values = collectParameterValues(time);
    auto found = values.find(name);
    return found != values.end() ? found->second : ParameterValue();
}

bool FakeRenderHost::readDoubleParameter(const std::string& name, double, double* value) {
    if (name == "Blend" && blend) {
        *value = *blend;
        return true;
    }
    return false;
}

ParameterValue FakeRenderHost::readVector(const std::string& name, const std::string&, double) const {
    auto found = overrides_.find(name);
    if (found != overrides_.end()) return found->second;
    return ParameterValue(0.0, 0.0);
}

const XMLEffectDefinition& shippedDefinition() {
    static XMLEffectDefinition* definition = [] {
        auto* parsed = new XMLEffectDefinition();
        if (!parsed->parse(velmora_definition_xml))
            throw std::runtime_error("shipped definition does not parse");
        return parsed;
    }();
    return *definition;
}

LogCapture::LogCapture() {
    static std::atomic<int> serial{0};
    folder_ = (fs::temp_directory_path() /
               ("velmora-render-log-" + std::to_string(::getpid()) + "-" + std::to_string(serial++)))
                  .string();
    fs::create_directories(folder_);
    setenv("VELMORA_LOG_DIR", folder_.c_str(), 1);
    PluginLog::instance().switchEffect("render-test");
    PluginLog::instance().setLevel(LogLevel::Debug);
}

LogCapture::~LogCapture() {
    PluginLog::instance().setLevel(LogLevel::Error);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

std::string LogCapture::text() const {
    PluginLog::instance().flush();
    std::ifstream in(PluginLog::instance().path());
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

int LogCapture::count(const std::string& fragment) const {
    const std::string all = text();
    int n = 0;
    for (std::size_t at = all.find(fragment); at != std::string::npos; at = all.find(fragment, at + 1)) ++n;
    return n;
}
