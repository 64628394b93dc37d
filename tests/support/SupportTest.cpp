// The support layer driven through its exported entry points by an in-process fake host.

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <stdexcept>
#include <vector>

#include "FakeHost.h"
#include "ofxsImageEffect.h"
#include "ofxsProcessing.h"

extern "C" {
int OfxGetNumberOfPlugins(void);
OfxPlugin* OfxGetPlugin(int nth);
}

namespace {

enum class RenderOutcome { Ok, SuiteUnsupported, RuntimeError, BadAlloc, NonStandard };
enum class IdentityAnswer { No, YesWithClip, YesWithoutClip };

RenderOutcome gRenderOutcome = RenderOutcome::Ok;
IdentityAnswer gIdentityAnswer = IdentityAnswer::No;
int gHookCalls = 0;
std::string gChangedParam;
OFX::ChangeReasonEnum gChangedReason = OFX::eChangeTime;

class TestEffect : public OFX::ImageEffect {
  public:
    explicit TestEffect(OfxImageEffectHandle handle) : ImageEffect(handle) {}

    void render(const OFX::RenderArguments&) override {
        switch (gRenderOutcome) {
            case RenderOutcome::Ok:
                return;
            case RenderOutcome::SuiteUnsupported:
                OFX::throwSuiteStatusException(kOfxStatErrUnsupported);
                return;
            case RenderOutcome::RuntimeError:
                throw std::runtime_error("render broke");
            case RenderOutcome::BadAlloc:
                throw std::bad_alloc();
            case RenderOutcome::NonStandard:
                throw 42;
        }
    }

    bool isIdentity(const OFX::IsIdentityArguments& args, OFX::Clip*& clip, double& time) override {
        if (gIdentityAnswer == IdentityAnswer::No) return false;
        clip = gIdentityAnswer == IdentityAnswer::YesWithClip ? fetchClip("Source") : nullptr;
        time = args.time + 1;
        return true;
    }

    void changedParam(const OFX::InstanceChangedArgs& args, const std::string& name) override {
        gChangedParam = name;
        gChangedReason = args.reason;
    }
};

class TestFactory : public OFX::PluginFactoryHelper<TestFactory> {
  public:
    TestFactory() : PluginFactoryHelper("com.example.test", 1, 2) {}
    void describe(OFX::ImageEffectDescriptor& desc) override {
        desc.setLabel("Test");
        desc.addSupportedContext(OFX::eContextFilter);
        desc.addSupportedContext(OFX::eContextGeneral);
        desc.addSupportedBitDepth(OFX::eBitDepthFloat);
    }
    void describeInContext(OFX::ImageEffectDescriptor& desc, OFX::ContextEnum) override {
        desc.defineClip("Source")->addSupportedComponent(OFX::ePixelComponentRGBA);
        desc.defineClip("Output");
        OFX::ChoiceParamDescriptor* choice = desc.defineChoiceParam("mode");
        choice->setHint("Pick one");
        choice->appendOption("A", "A");
        choice->appendOption("B", "B");
        desc.defineDoubleParam("amount")->setDefault(0.5);
    }
    OFX::ImageEffect* createInstance(OfxImageEffectHandle handle, OFX::ContextEnum) override {
        return new TestEffect(handle);
    }
};

}  // namespace

void OFX::Plugin::getPluginIDs(OFX::PluginFactoryArray& factories) {
    ++gHookCalls;
    static TestFactory factory;
    factories.push_back(&factory);
}

namespace {

using fakehost::Host;
using fakehost::PropertySetStore;

// A loaded plug-in with one described and instantiated effect in the filter context.
class SupportLayer : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(OfxGetNumberOfPlugins(), 1);
        plugin = OfxGetPlugin(0);
        plugin->setHost(host.record());
        ASSERT_EQ(call(kOfxActionLoad, nullptr), kOfxStatOK);
        effect = host.makeEffect(kOfxImageEffectContextFilter);
        ASSERT_EQ(call(kOfxActionDescribe, effect.get()), kOfxStatOK);
        PropertySetStore in;
        in.set(kOfxImageEffectPropContext, std::string(kOfxImageEffectContextFilter));
        ASSERT_EQ(call(kOfxImageEffectActionDescribeInContext, effect.get(), &in), kOfxStatOK);
        ASSERT_EQ(call(kOfxActionCreateInstance, effect.get()), kOfxStatOK);
        gRenderOutcome = RenderOutcome::Ok;
        gIdentityAnswer = IdentityAnswer::No;
    }

    void TearDown() override {
        if (effect && instance()) call(kOfxActionDestroyInstance, effect.get());
        call(kOfxActionUnload, nullptr);
    }

    OfxStatus call(const char* action, fakehost::Effect* e, PropertySetStore* in = nullptr,
                   PropertySetStore* out = nullptr) {
        return plugin->mainEntry(action, e ? Host::handleOf(*e) : nullptr, in ? Host::handleOf(*in) : nullptr,
                                 out ? Host::handleOf(*out) : nullptr);
    }

    OFX::ImageEffect* instance() { return OFX::retrieveImageEffectPointer(Host::handleOf(*effect)); }

    PropertySetStore renderArgs() {
        PropertySetStore in;
        in.set(kOfxPropTime, 3.0);
        in.set(kOfxImageEffectPropRenderScale, 1.0, 0);
        in.set(kOfxImageEffectPropRenderScale, 1.0, 1);
        for (int i = 0; i < 4; ++i) in.set(kOfxImageEffectPropRenderWindow, i < 2 ? 0 : 8, i);
        return in;
    }

    Host host;
    OfxPlugin* plugin = nullptr;
    std::unique_ptr<fakehost::Effect> effect;
};

TEST_F(SupportLayer, PluginRecordAndHookAreBuiltOnce) {
    OfxGetNumberOfPlugins();
    OfxGetPlugin(0);
    EXPECT_EQ(gHookCalls, 1);
    EXPECT_STREQ(plugin->pluginApi, kOfxImageEffectPluginApi);
    EXPECT_EQ(plugin->apiVersion, 1);
    EXPECT_STREQ(plugin->pluginIdentifier, "com.example.test");
    EXPECT_EQ(plugin->pluginVersionMajor, 1u);
    EXPECT_EQ(plugin->pluginVersionMinor, 2u);
    EXPECT_EQ(OfxGetPlugin(1), nullptr);
    EXPECT_EQ(OfxGetPlugin(-1), nullptr);
    TestFactory other;
    EXPECT_EQ(other.getUID(), "com.example.test12");
}

TEST_F(SupportLayer, DescriptionReachesTheHost) {
    EXPECT_EQ(std::get<std::string>(*effect->props.get(kOfxPropLabel)), "Test");
    // A host that describes twice (a scan, then a load) sees each context and depth once.
    ASSERT_EQ(call(kOfxActionDescribe, effect.get()), kOfxStatOK);
    EXPECT_EQ(std::get<std::string>(*effect->props.get(kOfxImageEffectPropSupportedContexts)),
              kOfxImageEffectContextFilter);
    EXPECT_EQ(std::get<std::string>(*effect->props.get(kOfxImageEffectPropSupportedContexts, 1)),
              kOfxImageEffectContextGeneral);
    EXPECT_EQ(effect->props.get(kOfxImageEffectPropSupportedContexts, 2), nullptr);
    EXPECT_EQ(std::get<std::string>(*effect->props.get(kOfxImageEffectPropSupportedPixelDepths)),
              kOfxBitDepthFloat);
    EXPECT_EQ(effect->props.get(kOfxImageEffectPropSupportedPixelDepths, 1), nullptr);
    ASSERT_TRUE(effect->clips.count("Source"));
    const fakehost::Param& mode = *effect->params.params.at("mode");
    EXPECT_EQ(std::get<std::string>(*mode.props.get(kOfxParamPropChoiceOption, 1)), "B");
    // A labelled option extends the hint: a blank line before the first, one line per option.
    EXPECT_EQ(std::get<std::string>(*mode.props.get(kOfxParamPropHint)), "Pick one\n\nA: A\nB: B");
}

struct FailureCase {
    RenderOutcome outcome;
    OfxStatus status;
};

class RenderFailure : public SupportLayer, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RenderFailure, BecomesAStatusNeverACrash) {
    gRenderOutcome = GetParam().outcome;
    PropertySetStore in = renderArgs();
    EXPECT_EQ(call(kOfxImageEffectActionRender, effect.get(), &in), GetParam().status);
    EXPECT_NE(instance(), nullptr);  // the instance survives a failed render
}

INSTANTIATE_TEST_SUITE_P(EachKindOfThrow, RenderFailure,
                         ::testing::Values(FailureCase{RenderOutcome::Ok, kOfxStatOK},
                                           FailureCase{RenderOutcome::SuiteUnsupported,
                                                       kOfxStatErrUnsupported},
                                           FailureCase{RenderOutcome::RuntimeError, kOfxStatFailed},
                                           FailureCase{RenderOutcome::BadAlloc, kOfxStatErrMemory},
                                           FailureCase{RenderOutcome::NonStandard, kOfxStatFailed}));

TEST_F(SupportLayer, IdentityNeedsAClip) {
    PropertySetStore in = renderArgs();
    PropertySetStore out;
    EXPECT_EQ(call(kOfxImageEffectActionIsIdentity, effect.get(), &in, &out), kOfxStatReplyDefault);
    gIdentityAnswer = IdentityAnswer::YesWithoutClip;
    EXPECT_EQ(call(kOfxImageEffectActionIsIdentity, effect.get(), &in, &out), kOfxStatReplyDefault);
    gIdentityAnswer = IdentityAnswer::YesWithClip;
    ASSERT_EQ(call(kOfxImageEffectActionIsIdentity, effect.get(), &in, &out), kOfxStatOK);
    EXPECT_EQ(std::get<std::string>(*out.get(kOfxPropName)), "Source");
    EXPECT_EQ(std::get<double>(*out.get(kOfxPropTime)), 4.0);
}

TEST_F(SupportLayer, InstanceChangedReachesChangedParam) {
    PropertySetStore in;
    in.set(kOfxPropType, std::string(kOfxTypeParameter));
    in.set(kOfxPropName, std::string("amount"));
    in.set(kOfxPropChangeReason, std::string(kOfxChangeUserEdited));
    in.set(kOfxPropTime, 0.0);
    EXPECT_EQ(call(kOfxActionInstanceChanged, effect.get(), &in), kOfxStatOK);
    EXPECT_EQ(gChangedParam, "amount");
    EXPECT_EQ(gChangedReason, OFX::eChangeUserEdit);
}

TEST_F(SupportLayer, UnknownActionsAndHandlesAreAnsweredSafely) {
    EXPECT_EQ(call("NoSuchAction", effect.get()), kOfxStatReplyDefault);
    // An action the plug-in does not handle, without an instance: the host's default, as OpenFX asks.
    EXPECT_EQ(call("NoSuchAction", nullptr), kOfxStatReplyDefault);
    EXPECT_EQ(call(kOfxImageEffectActionGetTimeDomain, nullptr), kOfxStatReplyDefault);
    ASSERT_EQ(call(kOfxActionDestroyInstance, effect.get()), kOfxStatOK);
    EXPECT_EQ(call("NoSuchAction", effect.get()), kOfxStatReplyDefault);
    PropertySetStore in = renderArgs();
    EXPECT_EQ(call(kOfxImageEffectActionRender, effect.get(), &in), kOfxStatErrBadHandle);
    EXPECT_EQ(call(kOfxActionDestroyInstance, effect.get()), kOfxStatErrBadHandle);
    EXPECT_EQ(plugin->mainEntry(nullptr, nullptr, nullptr, nullptr), kOfxStatErrBadHandle);
}

TEST_F(SupportLayer, ParametersAreFetchedByNameAndKind) {
    OFX::ImageEffect& fx = *instance();
    OFX::ChoiceParam* mode = fx.fetchChoiceParam("mode");
    EXPECT_EQ(mode, fx.fetchChoiceParam("mode"));
    EXPECT_EQ(mode->getNOptions(), 2);
    mode->resetOptions();
    mode->appendOption("C");
    EXPECT_EQ(mode->getNOptions(), 1);
    EXPECT_EQ(mode->getOption(0), "C");
    fx.fetchDoubleParam("amount")->setValue(0.25);
    EXPECT_DOUBLE_EQ(fx.fetchDoubleParam("amount")->getValueAtTime(7), 0.25);
    EXPECT_EQ(dynamic_cast<OFX::DoubleParam*>(fx.getParam("amount")), fx.fetchDoubleParam("amount"));
    EXPECT_THROW(fx.fetchIntParam("amount"), OFX::Exception::TypeRequest);
    EXPECT_THROW(fx.fetchDoubleParam("missing"), OFX::Exception::TypeRequest);
    EXPECT_THROW(fx.fetchClip("missing"), OFX::Exception::TypeRequest);
}

TEST_F(SupportLayer, MissingOptionalSuitesAreReportedNotFatal) {
    OFX::ImageEffect& fx = *instance();
    EXPECT_EQ(fx.sendMessage(OFX::eMessageError, "", "hello"), OFX::eMessageReplyFailed);
    fx.progressStart("working");
    EXPECT_TRUE(fx.progressUpdate(0.5));
    fx.progressEnd();
    EXPECT_THROW(fx.timeLineGetTime(), OFX::Exception::HostInadequate);
}

TEST(SupportLoad, WithoutPropertySuiteFailsAsMissingFeature) {
    fakehost::Options options;
    options.propertySuite = false;
    Host host(options);
    ASSERT_EQ(OfxGetNumberOfPlugins(), 1);
    OfxPlugin* plugin = OfxGetPlugin(0);
    plugin->setHost(host.record());
    EXPECT_EQ(plugin->mainEntry(kOfxActionLoad, nullptr, nullptr, nullptr), kOfxStatErrMissingHostFeature);
}

TEST(SupportLoad, HostDescriptionComesFromTheHostProperties) {
    Host host;
    host.hostProperties().set(kOfxPropName, std::string("uk.co.thefoundry.nuke"));
    host.hostProperties().set(kOfxPropVersion, 14, 0);
    host.hostProperties().set(kOfxPropVersion, 1, 1);
    host.hostProperties().set(kOfxPropVersion, 3, 2);
    host.hostProperties().set(kOfxImageEffectPropSupportsOverlays, 1);
    host.hostProperties().set(kOfxImageEffectPropCudaRenderSupported, std::string("true"));
    host.hostProperties().set(kOfxImageEffectPropMetalRenderSupported, std::string("false"));
    OfxPlugin* plugin = OfxGetPlugin(0);
    plugin->setHost(host.record());
    ASSERT_EQ(plugin->mainEntry(kOfxActionLoad, nullptr, nullptr, nullptr), kOfxStatOK);
    const OFX::ImageEffectHostDescription* d = OFX::getImageEffectHostDescription();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->hostName, "uk.co.thefoundry.nuke");
    EXPECT_EQ(d->versionMajor, 14);
    EXPECT_EQ(d->versionMicro, 3);
    EXPECT_TRUE(d->supportsOverlays);
    EXPECT_TRUE(d->supportsCudaRender);
    EXPECT_FALSE(d->supportsCudaStream);
    EXPECT_FALSE(d->supportsMetalRender);
    plugin->mainEntry(kOfxActionUnload, nullptr, nullptr, nullptr);
}

// Records which rows each call covered.
class RowRecorder : public OFX::ImageProcessor {
  public:
    using ImageProcessor::ImageProcessor;
    void setWindow(const OfxRectI& w) { _renderWindow = w; }
    void multiThreadProcessImages(OfxRectI window) override {
        if (throwOnRow >= window.y1 && throwOnRow < window.y2) throw std::runtime_error("row failed");
        for (int y = window.y1; y < window.y2; ++y) rows[static_cast<std::size_t>(y)]++;
    }
    std::vector<std::atomic<int>> rows = std::vector<std::atomic<int>>(10);
    int throwOnRow = -1;
};

TEST_F(SupportLayer, ProcessorCoversEveryRowOnceWithOrWithoutThreads) {
    for (bool threaded : {true, false}) {
        host.options.multiThreadSuite = threaded;
        ASSERT_EQ(call(kOfxActionLoad, nullptr), kOfxStatOK);
        RowRecorder recorder(*instance());
        recorder.setWindow(OfxRectI{0, 0, 4, 10});
        recorder.multiThread();
        for (std::size_t y = 0; y < 10; ++y) EXPECT_EQ(recorder.rows[y].load(), 1) << "row " << y;
        recorder.throwOnRow = 9;
        EXPECT_THROW(recorder.multiThread(), std::runtime_error) << (threaded ? "threaded" : "single");
    }
}

}  // namespace
