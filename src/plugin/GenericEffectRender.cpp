// The render proper, after the render action's checks: the instance's side of the render engine.
// The engine sees the instance through EffectRenderHost (clips, images, parameter values at a
// time, the alpha selectors) and keeps the instance's GPU state between renders.

#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "log/PluginLog.h"
#include "plugin/GenericEffect.h"
#include "render/RenderEngine.h"

namespace {

// An image of the host. Rows stored top to bottom (negative row bytes) are staged bottom-up
// into `staging`, since the engine works with ascending rows; an output staged that way is
// written back by finishWrite.
class HostImage : public RenderImage {
  public:
    HostImage(OFX::Image* image, std::vector<unsigned char>* staging, bool isOutput)
        : image_(image), staging_(staging), isOutput_(isOutput) {
        const OfxRectI& bounds = image->getBounds();
        plane_.x1 = bounds.x1;
        plane_.y1 = bounds.y1;
        plane_.x2 = bounds.x2;
        plane_.y2 = bounds.y2;
        plane_.pixelAspectRatio = image->getPixelAspectRatio();
        plane_.rowBytes = image->getRowBytes();
        plane_.data = image->getPixelData();
        // Anything but float RGBA is unusable for the engine: no pixels.
        if (image->getPixelDepth() != OFX::eBitDepthFloat ||
            image->getPixelComponents() != OFX::ePixelComponentRGBA) {
            VLOG_ERROR("Unsupported pixel format of a fetched image (float RGBA expected)");
            plane_.data = nullptr;
            return;
        }
        // Rows shorter than the bounds would be read past their end.
        const long long minimumRowBytes = static_cast<long long>(plane_.width()) * 16;
        if (plane_.rowBytes < 0 && -static_cast<long long>(plane_.rowBytes) < minimumRowBytes) {
            VLOG_ERROR("Fetched image rows of %d bytes cannot hold %d pixels", plane_.rowBytes,
                       plane_.width());
            plane_.data = nullptr;
            return;
        }
        if (plane_.rowBytes < 0 && plane_.data && staging_) stage();
    }

    ImagePlane plane() const override { return plane_; }

    void finishWrite() override {
        if (!staged_ || !isOutput_) return;
        const std::size_t rowBytes = static_cast<std::size_t>(plane_.width()) * 16;
        for (int y = 0; y < plane_.height(); ++y) {
            std::memcpy(hostRow(y), staging_->data() + rowBytes * y, rowBytes);
        }
    }

  private:
    unsigned char* hostRow(int y) const {
        return static_cast<unsigned char*>(image_->getPixelData()) +
               static_cast<std::ptrdiff_t>(y) * image_->getRowBytes();
    }

    void stage() {
        const std::size_t rowBytes = static_cast<std::size_t>(plane_.width() > 0 ? plane_.width() : 0) * 16;
        staging_->resize(rowBytes * static_cast<std::size_t>(plane_.height() > 0 ? plane_.height() : 0));
        for (int y = 0; y < plane_.height(); ++y)
            std::memcpy(staging_->data() + rowBytes * y, hostRow(y), rowBytes);
        plane_.data = staging_->data();
        plane_.rowBytes = static_cast<int>(rowBytes);
        staged_ = true;
    }

    std::unique_ptr<OFX::Image> image_;
    std::vector<unsigned char>* staging_;
    bool isOutput_;
    bool staged_ = false;
    ImagePlane plane_;
};

class EffectRenderHost : public RenderHost {
  public:
    explicit EffectRenderHost(GenericEffect& effect) : effect_(effect) {}

    bool hasClip(const std::string& name) const override { return clip(name) != nullptr; }

    bool isClipConnected(const std::string& name) const override {
        OFX::Clip* found = clip(name);
        return found && found->isConnected();
    }

    std::unique_ptr<RenderImage> fetchImage(const std::string& name, double time) override {
        OFX::Clip* found = clip(name);
        if (!found) return nullptr;
        OFX::Image* image = found->fetchImage(time);
        if (!image) return nullptr;
        return std::make_unique<HostImage>(image, &staging_[name], name == "output");
    }

    ParameterValueMap collectParameterValues(double time) override {
        return effect_.collectParameterValues(time);
    }

    int getDynamicExecutionCount(const std::string& name, double time) override {
        return effect_.getDynamicExecutionCount(name, time);
    }

    ParameterValue readParameter(const std::string& name, double time) override {
        return effect_.getParameterValue(name, time);
    }

    AlphaMatteSettings readAlphaMatteSelectors() override {
        effect_.readAlphaMatteSelectors();
        const AlphaMatteSelection& selection = effect_.alphaMatteSelection();
        AlphaMatteSettings settings;
        settings.alphaSourceMode = selection.alphaSource;
        settings.matteConnected = selection.matteConnected;
        settings.premultiplyOutput = selection.premultiplyOutput;
        return settings;
    }

    int readAuxInput2Feeds(double time) override {
        OFX::ChoiceParam* choice = effect_.fetchChoiceParam("_aux_input2_feeds");
        if (!choice) throw std::runtime_error("no _aux_input2_feeds parameter");
        return choice->getValueAtTime(time);
    }

    bool readDoubleParameter(const std::string& name, double time, double* value) override {
        try {
            if (!effect_.paramExists(name)) return false;
            OFX::DoubleParam* param = effect_.fetchDoubleParam(name);
            if (!param) return false;
            *value = param->getValueAtTime(time);
            return true;
        } catch (const std::exception& error) {
            VLOG_ERROR("Failed to read %s: %s", name.c_str(), error.what());
            return false;
        }
    }

    void runAudioSteps(double time, ParameterValueMap& values, AudioMonitorRecord& monitor) override {
        effect_.runAudioSteps(time, values, monitor);
    }

    bool isGeneralContext() const override { return effect_.getContext() == OFX::eContextGeneral; }
    double frameRate() const override { return effect_.getFrameRate(); }
    bool abortRequested() const override { return effect_.abort(); }

    ParameterValue readVector(const std::string& name, const std::string&, double time) const override {
        return effect_.getParameterValue(name, time);
    }

  private:
    // Declared inputs and "output" come from the instance's clip map; the synthesized Matte clip
    // is fetched by name when the host has it.
    OFX::Clip* clip(const std::string& name) const {
        if (OFX::Clip* found = effect_.findClip(name)) return found;
        if (name != "Matte") return nullptr;
        try {
            if (!effect_.clipExists(name)) return nullptr;
            return effect_.fetchClip(name);
        } catch (const std::exception&) {
            return nullptr;
        }
    }

    GenericEffect& effect_;
    std::map<std::string, std::vector<unsigned char>> staging_;
};

RenderProfile profileOf(const HostCapabilities& caps) {
    RenderProfile profile;
    profile.cudaFallback = caps.cudaFallback;
    profile.mayCapAuxInputs = caps.mayCapAuxInputs;
    profile.synthesizeMatte = caps.synthesizeMatte;
    profile.accumTimeTolerance = caps.accumTimeTolerance;
    return profile;
}

RenderRequest requestOf(const OFX::RenderArguments& args) {
    RenderRequest request;
    request.time = args.time;
    request.renderScaleX = args.renderScale.x;
    request.renderScaleY = args.renderScale.y;
    request.renderWindow[0] = args.renderWindow.x1;
    request.renderWindow[1] = args.renderWindow.y1;
    request.renderWindow[2] = args.renderWindow.x2;
    request.renderWindow[3] = args.renderWindow.y2;
    request.field = args.fieldToRender == OFX::eFieldNone ? "none" : "field";
    request.sequentialRender = args.sequentialRenderStatus;
    request.interactiveRender = args.interactiveRenderStatus;
    request.isEnabledOpenCLRender = args.isEnabledOpenCLRender;
    request.isEnabledCudaRender = args.isEnabledCudaRender;
    request.isEnabledMetalRender = args.isEnabledMetalRender;
    request.pCudaStream = args.pCudaStream;
    request.pOpenCLCmdQ = args.pOpenCLCmdQ;
    request.pMetalCmdQ = args.pMetalCmdQ;
    return request;
}

}  // namespace

struct GenericEffectRenderState {
    EffectRenderHost host;
    RenderEngine engine;

    GenericEffectRenderState(GenericEffect& effect)
        : host(effect), engine(host, effect.definition(), profileOf(effect.hostCapabilities())) {}
};

void GenericEffectRenderStateDeleter::operator()(GenericEffectRenderState* state) const {
    delete state;
}

void GenericEffect::setupAndProcess(const OFX::RenderArguments& args) {
    {
        // Renders of one instance may arrive together; the first one makes the state.
        std::lock_guard<std::mutex> lock(renderStateMutex_);
        if (!renderState_) renderState_.reset(new GenericEffectRenderState(*this));
    }
    try {
        renderState_->engine.setupAndProcess(requestOf(args));
    } catch (const std::exception&) {
        // Logged by the engine as "ERROR in setupAndProcess"; the host sees a failed render.
        OFX::throwSuiteStatusException(kOfxStatFailed);
    }
}

void GenericEffect::invalidateAccumulation() {
    // Before the first render there is no state to drop; a render in progress finishes without
    // marking the state valid again.
    std::lock_guard<std::mutex> lock(renderStateMutex_);
    if (renderState_) renderState_->engine.flushAccumulation();
}
