// The invert effect again, written on the support layer: the road a real plug-in of ours takes.
#include <memory>
#include <stdexcept>
#include <string>

#include "ofxsImageEffect.h"
#include "ofxsParam.h"

namespace {

class SupportInvert : public OFX::ImageEffect {
  public:
    explicit SupportInvert(OfxImageEffectHandle handle)
        : OFX::ImageEffect(handle),
          source_(fetchClip(kOfxImageEffectSimpleSourceClipName)),
          output_(fetchClip(kOfxImageEffectOutputClipName)),
          amount_(fetchDoubleParam("amount")),
          fail_(fetchBooleanParam("fail")) {}

    void render(const OFX::RenderArguments& args) override {
        if (fail_->getValueAtTime(args.time)) throw std::runtime_error("render asked to fail");
        const double amount = amount_->getValueAtTime(args.time);
        std::unique_ptr<OFX::Image> src(source_->fetchImage(args.time));
        std::unique_ptr<OFX::Image> dst(output_->fetchImage(args.time));
        if (!src || !dst) throw std::runtime_error("missing image");
        const OfxRectI& w = args.renderWindow;
        for (int y = w.y1; y < w.y2; ++y)
            for (int x = w.x1; x < w.x2; ++x) {
                auto* out = static_cast<float*>(dst->getPixelAddress(x, y));
                auto* in = static_cast<const float*>(src->getPixelAddress(x, y));
                if (out == nullptr) continue;
                for (int c = 0; c < 4; ++c)
                    out[c] = in ? float(amount * (1.0 - in[c]) + (1.0 - amount) * in[c]) : 0.0f;
            }
    }

    void changedParam(const OFX::InstanceChangedArgs& args, const std::string& name) override {
        sendMessage(OFX::eMessageLog, "changed",
                    "changed " + name + (args.reason == OFX::eChangeUserEdit ? " user " : " other ") +
                        std::to_string(args.time));
    }

  private:
    OFX::Clip* source_;
    OFX::Clip* output_;
    OFX::DoubleParam* amount_;
    OFX::BooleanParam* fail_;
};

class SupportInvertFactory : public OFX::PluginFactoryHelper<SupportInvertFactory> {
  public:
    SupportInvertFactory()
        : OFX::PluginFactoryHelper<SupportInvertFactory>("com.velmora.test.supportinvert", 2, 0) {}

    void describe(OFX::ImageEffectDescriptor& desc) override {
        desc.setLabel("Support Invert");
        desc.setPluginGrouping("Velmora Tests");
        desc.addSupportedContext(OFX::eContextFilter);
        desc.addSupportedContext(OFX::eContextGeneral);
        desc.addSupportedBitDepth(OFX::eBitDepthFloat);
        desc.setRenderThreadSafety(OFX::eRenderInstanceSafe);
    }

    void describeInContext(OFX::ImageEffectDescriptor& desc, OFX::ContextEnum) override {
        desc.defineClip(kOfxImageEffectSimpleSourceClipName)->addSupportedComponent(OFX::ePixelComponentRGBA);
        desc.defineClip(kOfxImageEffectOutputClipName)->addSupportedComponent(OFX::ePixelComponentRGBA);
        OFX::DoubleParamDescriptor* amount = desc.defineDoubleParam("amount");
        amount->setLabel("Amount");
        amount->setDefault(1.0);
        amount->setRange(0.0, 1.0);
        desc.defineBooleanParam("fail")->setLabel("Fail");
    }

    OFX::ImageEffect* createInstance(OfxImageEffectHandle handle, OFX::ContextEnum) override {
        return new SupportInvert(handle);
    }
};

}  // namespace

namespace OFX {
namespace Plugin {
void getPluginIDs(PluginFactoryArray& factories) {
    static SupportInvertFactory factory;
    factories.push_back(&factory);
}
}  // namespace Plugin
}  // namespace OFX
