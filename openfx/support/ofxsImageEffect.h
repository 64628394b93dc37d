#pragma once

// Image effects: the plug-in factories, the effect descriptor of the describe actions, the effect instance
// with its actions' arguments, and what the host told us about itself.

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ofxGPURender.h"
#include "ofxImageEffect.h"
#include "ofxsClip.h"
#include "ofxsCore.h"
#include "ofxsInteract.h"
#include "ofxsParam.h"
#include "ofxsPropertySet.h"

namespace OFX {

// ---------------------------------------------------------------------------------------------------------
// What the host announced on load.

struct ImageEffectHostDescription {
    std::string hostName;
    std::string hostLabel;
    int versionMajor = 0;
    int versionMinor = 0;
    int versionMicro = 0;
    std::string versionLabel;
    int APIVersionMajor = 1;
    int APIVersionMinor = 0;
    bool hostIsBackground = false;
    bool supportsOverlays = false;
    bool supportsMultiResolution = false;
    bool supportsTiles = false;
    bool temporalClipAccess = false;
    bool supportsMultipleClipDepths = false;
    bool supportsMultipleClipPARs = false;
    bool supportsSetableFrameRate = false;
    bool supportsSetableFielding = false;
    bool supportsStringAnimation = false;
    bool supportsCustomInteract = false;
    bool supportsChoiceAnimation = false;
    bool supportsBooleanAnimation = false;
    bool supportsCustomAnimation = false;
    bool supportsParametricAnimation = false;
    int maxParameters = -1;
    int maxPages = 0;
    int pageRowCount = 0;
    int pageColumnCount = 0;
    std::vector<ContextEnum> supportedContexts;
    std::vector<BitDepthEnum> supportedPixelDepths;
    std::vector<PixelComponentEnum> supportedComponents;
    // GPU rendering the host announces (a property the host lacks reads as false).
    bool supportsOpenGLRender = false;
    bool supportsCudaRender = false;
    bool supportsCudaStream = false;
    bool supportsOpenCLRender = false;
    bool supportsMetalRender = false;

    bool supportsContext(ContextEnum context) const;
    bool supportsPixelDepth(BitDepthEnum depth) const;
};

// Null until the host has sent the load action.
const ImageEffectHostDescription* getImageEffectHostDescription();

// ---------------------------------------------------------------------------------------------------------
// Description

class ImageEffectDescriptor : public ParamSetDescriptor {
  public:
    explicit ImageEffectDescriptor(OfxImageEffectHandle handle);
    ~ImageEffectDescriptor() override;

    OfxImageEffectHandle getHandle() const { return handle_; }
    PropertySet& getPropertySet() { return props_; }

    void setLabel(const std::string& label);
    void setLabels(const std::string& label, const std::string& shortLabel, const std::string& longLabel);
    void setPluginGrouping(const std::string& grouping);
    void setPluginDescription(const std::string& description);
    void addSupportedContext(ContextEnum context);
    void addSupportedBitDepth(BitDepthEnum depth);
    void setSingleInstance(bool singleInstance);
    void setHostFrameThreading(bool hostFrameThreading);
    void setSupportsMultiResolution(bool supports);
    void setSupportsTiles(bool supports);
    void setTemporalClipAccess(bool access);
    void setRenderTwiceAlways(bool always);
    void setSupportsMultipleClipDepths(bool supports);
    void setSupportsMultipleClipPARs(bool supports);
    void setRenderThreadSafety(RenderSafetyEnum safety);
    // Throw Exception::PropertyUnknownToHost on hosts without the property.
    void setNoSpatialAwareness(bool noSpatialAwareness);
    void setSequentialRender(int sequential);  // 0 never, 1 always, 2 preferred
    void setSupportsOpenCLRender(bool supports);
    void setSupportsCudaRender(bool supports);
    void setSupportsCudaStream(bool supports);
    void setSupportsMetalRender(bool supports);

    // Takes ownership; the host creates the overlay through the descriptor's main entry.
    void setOverlayInteractDescriptor(EffectOverlayDescriptor* descriptor);

    // The clip descriptors are owned by this descriptor; defining a name twice returns the first one.
    ClipDescriptor* defineClip(const std::string& name);

  private:
    OfxImageEffectHandle handle_;
    PropertySet props_;
    std::map<std::string, std::unique_ptr<ClipDescriptor>> clips_;
    std::unique_ptr<EffectOverlayDescriptor> overlay_;
};

// ---------------------------------------------------------------------------------------------------------
// Action arguments

struct RenderArguments {
    double time = 0.0;
    OfxPointD renderScale{1.0, 1.0};
    OfxRectI renderWindow{0, 0, 0, 0};
    FieldEnum fieldToRender = eFieldNone;
    bool sequentialRenderStatus = false;
    bool interactiveRenderStatus = false;
    bool renderQualityDraft = false;
    bool isEnabledOpenGLRender = false;
    bool isEnabledCudaRender = false;
    bool isEnabledOpenCLRender = false;
    bool isEnabledMetalRender = false;
    void* pCudaStream = nullptr;
    void* pOpenCLCmdQ = nullptr;
    void* pMetalCmdQ = nullptr;
};

struct IsIdentityArguments {
    double time = 0.0;
    OfxPointD renderScale{1.0, 1.0};
    OfxRectI renderWindow{0, 0, 0, 0};
    FieldEnum fieldToRender = eFieldNone;
};

struct RegionOfDefinitionArguments {
    double time = 0.0;
    OfxPointD renderScale{1.0, 1.0};
};

struct RegionsOfInterestArguments {
    double time = 0.0;
    OfxPointD renderScale{1.0, 1.0};
    OfxRectD regionOfInterest{0, 0, 0, 0};
};

struct BeginSequenceRenderArguments {
    OfxRangeD frameRange{0, 0};
    double frameStep = 1.0;
    bool isInteractive = false;
    OfxPointD renderScale{1.0, 1.0};
    bool sequentialRenderStatus = false;
    bool interactiveRenderStatus = false;
    bool isEnabledCudaRender = false;
    void* pCudaStream = nullptr;
};

struct EndSequenceRenderArguments {
    bool isInteractive = false;
    OfxPointD renderScale{1.0, 1.0};
    bool sequentialRenderStatus = false;
    bool interactiveRenderStatus = false;
};

struct InstanceChangedArgs {
    ChangeReasonEnum reason = eChangeUserEdit;
    double time = 0.0;
    OfxPointD renderScale{1.0, 1.0};
};

class Clip;
class ImageEffect;

// Collects the clip preferences an effect states; the dispatcher answers the host with them.
class ClipPreferencesSetter {
  public:
    explicit ClipPreferencesSetter(OfxPropertySetHandle outArgs) : outArgs_(outArgs) {}

    void setClipComponents(const Clip& clip, PixelComponentEnum components);
    void setClipBitDepth(const Clip& clip, BitDepthEnum depth);
    void setPixelAspectRatio(const Clip& clip, double par);
    void setOutputFrameVarying(bool varying);
    void setOutputHasContinuousSamples(bool continuous);
    void setOutputPremultiplication(PreMultiplicationEnum premult);
    void setOutputFielding(FieldEnum fielding);

    bool didSomething() const { return didSomething_; }

  private:
    PropertySet outArgs_;
    bool didSomething_ = false;
};

class RegionOfInterestSetter {
  public:
    explicit RegionOfInterestSetter(OfxPropertySetHandle outArgs) : outArgs_(outArgs) {}
    void setRegionOfInterest(const Clip& clip, const OfxRectD& region);
    bool didSomething() const { return didSomething_; }

  private:
    PropertySet outArgs_;
    bool didSomething_ = false;
};

// ---------------------------------------------------------------------------------------------------------
// Instances

class ImageEffect : public ParamSet {
  public:
    explicit ImageEffect(OfxImageEffectHandle handle);
    ~ImageEffect() override;

    // The actions, in the order the dispatcher offers them. Each default leaves the host's own behaviour.
    virtual void render(const RenderArguments& args);
    virtual void beginSequenceRender(const BeginSequenceRenderArguments& args);
    virtual void endSequenceRender(const EndSequenceRenderArguments& args);
    // True when the output is identityClip at identityTime; the clip must be set when true is returned.
    virtual bool isIdentity(const IsIdentityArguments& args, Clip*& identityClip, double& identityTime);
    virtual bool getRegionOfDefinition(const RegionOfDefinitionArguments& args, OfxRectD& rod);
    virtual void getRegionsOfInterest(const RegionsOfInterestArguments& args, RegionOfInterestSetter& rois);
    virtual void getClipPreferences(ClipPreferencesSetter& preferences);
    virtual void purgeCaches();
    virtual void syncPrivateData();
    virtual void changedParam(const InstanceChangedArgs& args, const std::string& paramName);
    virtual void changedClip(const InstanceChangedArgs& args, const std::string& clipName);
    virtual void beginChanged(ChangeReasonEnum reason);
    virtual void endChanged(ChangeReasonEnum reason);
    virtual void beginEdit();
    virtual void endEdit();

    OfxImageEffectHandle getHandle() const { return handle_; }
    PropertySet& getPropertySet() { return props_; }
    ContextEnum getContext() const { return context_; }

    // Owned by the effect; throws Exception::TypeRequest for a clip the host does not have.
    Clip* fetchClip(const std::string& name);
    bool clipExists(const std::string& name) const;

    double getFrameRate() const;
    OfxPointD getProjectSize() const;
    OfxPointD getProjectOffset() const;
    OfxPointD getProjectExtent() const;
    double getProjectPixelAspectRatio() const;
    bool isInteractive() const;

    // Time line of the host; Exception::HostInadequate without the time-line suite.
    double timeLineGetTime() const;
    void timeLineGotoTime(double time);
    void timeLineGetBounds(double& t1, double& t2) const;

    // Messages to the user; eMessageReplyFailed (and a log line) when the host has no message suite.
    MessageReplyEnum sendMessage(MessageTypeEnum type, const std::string& id, const std::string& message);
    MessageReplyEnum setPersistentMessage(MessageTypeEnum type, const std::string& id,
                                          const std::string& message);
    void clearPersistentMessage();

    // Progress of long operations; without a progress suite these do nothing and progressUpdate returns true.
    void progressStart(const std::string& message, const std::string& messageId = std::string());
    // False when the user asked to stop.
    bool progressUpdate(double fraction);
    void progressEnd();

    // Whether the host wants the current render to stop.
    bool abort() const;

  private:
    OfxImageEffectHandle handle_;
    PropertySet props_;
    ContextEnum context_ = eContextNone;
    bool progressStarted_ = false;
    mutable std::mutex clipMutex_;
    std::map<std::string, std::unique_ptr<Clip>> clips_;
};

// The instance behind an effect handle, or null.
ImageEffect* retrieveImageEffectPointer(OfxImageEffectHandle handle);

// ---------------------------------------------------------------------------------------------------------
// Factories

class PluginFactory {
  public:
    virtual void load() {}
    virtual void unload() {}
    virtual void describe(ImageEffectDescriptor& desc) = 0;
    virtual void describeInContext(ImageEffectDescriptor& desc, ContextEnum context) = 0;
    virtual ImageEffect* createInstance(OfxImageEffectHandle handle, ContextEnum context) = 0;
    virtual const std::string& getID() const = 0;
    virtual const std::string& getUID() const = 0;
    virtual unsigned int getMajorVersion() const = 0;
    virtual unsigned int getMinorVersion() const = 0;
    virtual OfxPluginEntryPoint* getMainEntry() = 0;
    virtual ~PluginFactory() = default;
};

typedef std::vector<PluginFactory*> PluginFactoryArray;

namespace Private {
// The action dispatch of every effect, shared by all factory types.
OfxStatus mainEntry(const char* action, const void* handle, OfxPropertySetHandle inArgs,
                    OfxPropertySetHandle outArgs, PluginFactory& factory);
}  // namespace Private

// Holds identifier and version, and gives each factory type its own main entry.
template <class FACTORY>
class PluginFactoryHelper : public PluginFactory {
  public:
    PluginFactoryHelper(const std::string& id, unsigned int versionMajor, unsigned int versionMinor)
        : id_(id),
          uid_(id + std::to_string(versionMajor) + std::to_string(versionMinor)),
          versionMajor_(versionMajor),
          versionMinor_(versionMinor) {
        if (!instance()) instance() = this;  // the first factory of a type answers its main entry
    }
    ~PluginFactoryHelper() override {
        if (instance() == this) instance() = nullptr;
    }

    const std::string& getID() const override { return id_; }
    const std::string& getUID() const override { return uid_; }
    unsigned int getMajorVersion() const override { return versionMajor_; }
    unsigned int getMinorVersion() const override { return versionMinor_; }
    OfxPluginEntryPoint* getMainEntry() override { return &mainEntry; }

    static OfxStatus mainEntry(const char* action, const void* handle, OfxPropertySetHandle inArgs,
                               OfxPropertySetHandle outArgs) {
        PluginFactory* factory = instance();
        if (!factory) return kOfxStatErrFatal;
        return Private::mainEntry(action, handle, inArgs, outArgs, *factory);
    }

  private:
    static PluginFactory*& instance() {
        static PluginFactory* factory = nullptr;
        return factory;
    }

    std::string id_;
    std::string uid_;
    unsigned int versionMajor_;
    unsigned int versionMinor_;
};

namespace Plugin {
// Defined by the plug-in: appends its factories. Called once per process, on the first export call.
void getPluginIDs(PluginFactoryArray& factories);
}  // namespace Plugin

}  // namespace OFX
