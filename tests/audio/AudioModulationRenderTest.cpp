// The audio test effect rendered over a sequence with an analysis loaded: routes drive its
// brightness and its bar in the pixels, taps and Mute All, and the audio monitor drawn over the
// frame (over black, the pipeline bypassed, or over the dimmed effect).
#include <dlfcn.h>

#include <cmath>
#include <sstream>

#include "AudioEffectTestSupport.h"
#include "Overlay.h"
#include "ofxKeySyms.h"

using audio_test::AudioEffectFixture;

namespace {

constexpr int kW = 50, kH = 8;
constexpr float kGrey = 0.25f;

// 24 analysis frames per second (the host's frame rate), 48 frames: the mix's RMS energy is
// frame / 48, every other channel 0; beats at 0.5, 1 and 1.5 s.
std::string rampAnalysis() {
    std::ostringstream json;
    json << R"({"format":"orbalt_audio_analysis","timing":{"analysis_rate":24},"frames":[)";
    for (int f = 0; f < 48; ++f) {
        json << (f ? "," : "") << "[0," << f / 48.0;
        for (int c = 2; c < 11; ++c) json << ",0";
        json << "]";
    }
    json << R"(],"beat_times":[0.5,1.0,1.5]})";
    return json.str();
}

class ModulatedEffect {
  public:
    explicit ModulatedEffect(int width = kW, int height = kH) : width_(width), height_(height) {
        fixture_.installStandIn("exit 0");
        fx_ = fixture_.open();
        auto source = std::make_shared<vhost::Image>(width, height);
        source->fill(kGrey, kGrey, kGrey, 1.0f);
        (*fx_)->connectClip("Source", source);
        output_ = std::make_shared<vhost::Image>(width, height);
        (*fx_)->connectClip("Output", output_);
        const std::string analysis = fixture_.file("ramp.json");
        std::ofstream(analysis) << rampAnalysis();
        set("audio_file", analysis);
    }

    void set(const std::string& name, const vhost::ParamValue& value) {
        ASSERT_EQ((*fx_)->setParam(name, value), kOfxStatOK) << name;
    }
    // A route: source option, target index, operator (0 Add, 1 Multiply, 2 Replace), range.
    void route(int slot, int source, int target, int op, double low, double high) {
        const std::string n = std::to_string(slot);
        set("audio_source_" + n, source);
        set("audio_target_" + n, target);
        set("audio_operator_" + n, op);
        set("audio_offset_" + n, low);
        set("audio_amplitude_" + n, high);
    }

    const float* render(double frame) {
        EXPECT_EQ((*fx_)->render(frame, OfxRectI{0, 0, width_, height_}), kOfxStatOK) << frame;
        return output_->pixel(0, height_ / 2);
    }
    const float* pixel(int x, int y) const { return output_->pixel(x, y); }
    // The columns of the middle row that show the white bar.
    std::vector<int> barColumns() const {
        std::vector<int> columns;
        for (int x = 0; x < width_; ++x)
            if (output_->pixel(x, height_ / 2)[0] == 1.0f) columns.push_back(x);
        return columns;
    }
    vhost::Instance& instance() { return *fx_->instance; }

    ~ModulatedEffect() { holdTapClock(0); }

    // Holds the plug-in's tap clock at `nanos` (0: it runs again); false where it cannot.
    bool holdTapClock(long long nanos) {
        void* library = dlopen(fx_->fx.binary->binaryPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (!library) return false;
        auto hook =
            reinterpret_cast<void (*)(long long)>(dlsym(library, "velmora_audiopulse_hold_tap_clock"));
        if (hook) hook(nanos);
        dlclose(library);
        return hook != nullptr;
    }

  private:
    AudioEffectFixture fixture_;
    std::unique_ptr<velmora_test::LiveInstance> fx_;
    vhost::ImagePtr output_;
    int width_, height_;
};

TEST(AudioModulationRender, RmsDrivesBrightnessAndBeatsMoveTheBar) {
    ModulatedEffect fx;
    fx.route(1, 2, 0, 2, 0.0, 2.0);   // RMS Energy replaces Brightness, mapped into 0..2
    fx.route(2, 12, 1, 2, 0.2, 0.8);  // Pulse replaces Bar Position, 0.2 .. 0.8
    for (int frame : {0, 6, 18, 30, 47}) {
        const float* p = fx.render(frame);
        const float rms = frame / 48.0f;
        EXPECT_NEAR(p[0], kGrey * 2.0f * rms, 1e-5f) << "frame " << frame;
        EXPECT_NEAR(p[3], 1.0f, 1e-6f);
    }
    // On a beat (frame 12 is 0.5 s) the bar stands at 0.8; a quarter second later it has fallen
    // back to 0.2 + 0.6 exp(-2.5).
    fx.render(12);
    EXPECT_EQ(fx.barColumns(), (std::vector<int>{39, 40}));
    fx.render(18);
    const double late = 0.2 + 0.6 * std::exp(-2.5);
    for (int x : fx.barColumns()) EXPECT_LE(std::fabs((x + 0.5) / kW - late), 0.02 + 1e-6) << x;
    EXPECT_FALSE(fx.barColumns().empty());
}

TEST(AudioModulationRender, TapKeysPulseAndMuteAllStopsTheRoutes) {
    ModulatedEffect fx;
    fx.route(1, 21, 0, 2, 0.0, 2.0);  // "Tap F1" replaces Brightness
    ASSERT_EQ(fx.instance().setParamAtTime("audio_tap_track_1", 10.0, 1.0), kOfxStatOK);
    EXPECT_NEAR(fx.render(9)[0], 0.0f, 1e-6f);  // before the tap
    EXPECT_NEAR(fx.render(10)[0], kGrey * 2.0f, 1e-5f);
    EXPECT_NEAR(fx.render(12.4)[0], kGrey * 2.0f * std::exp(-1.0f), 1e-5f);
    fx.set("audio_tap_latency", 0.1);  // keys are seen 2.4 frames early
    EXPECT_NEAR(fx.render(7.6)[0], kGrey * 2.0f, 1e-5f);

    fx.set("audio_mute_all", true);
    EXPECT_NEAR(fx.render(10)[0], kGrey, 1e-6f);  // Brightness as set: 1
}

// F1 in the viewer keys tap track 1 and records the tap: a pulse rendered while the tap is live
// (under half a second old) decays over 0.3 s, a later one over 0.1 s. The plug-in's tap clock is
// held, so a stalled machine cannot age the tap between the key press and the render.
TEST(AudioModulationRender, ALiveTapDecaysSlower) {
    ModulatedEffect fx;
    fx.route(1, 21, 0, 2, 0.0, 2.0);  // "Tap F1" replaces Brightness
    const long long pressed = 1'000'000'000'000LL;
    ASSERT_TRUE(fx.holdTapClock(pressed));
    vhost::Overlay overlay(fx.instance());
    overlay.draw(10.0);  // the viewer's first draw makes the overlay manager
    ASSERT_EQ(overlay.keyDown(10.0, kOfxKey_F1), kOfxStatOK);
    const float live = kGrey * 2.0f * std::exp(-1.0f / 3.0f), stale = kGrey * 2.0f * std::exp(-1.0f);
    EXPECT_NEAR(fx.render(12.4)[0], live, 1e-5f);
    fx.holdTapClock(pressed + 499'999'999);
    EXPECT_NEAR(fx.render(12.4)[0], live, 1e-5f);
    fx.holdTapClock(pressed + 500'000'000);
    EXPECT_NEAR(fx.render(12.4)[0], stale, 1e-5f);
}

TEST(AudioModulationRender, TheMonitorReplacesOrDimsTheEffect) {
    const int w = 200, h = 120;
    ModulatedEffect fx(w, h);
    fx.route(1, 2, 0, 2, 0.0, 4.0);  // brightness = 4 x RMS
    fx.set("audio_show_monitor", true);
    fx.render(24);  // RMS 0.5: the effect alone would be 0.5
    // Over black: the effect is not run; the margin is black and opaque.
    const float* margin = fx.pixel(w * 95 / 100, h / 2);
    EXPECT_EQ(margin[0], 0.0f);
    EXPECT_EQ(margin[3], 1.0f);
    // The mix's meter (the selected stem, grey class) is filled to 0.19 - 0.14 * 0.5 = 0.12.
    const float* meter = fx.pixel(w * 15 / 100, static_cast<int>(h * (1 - 0.15)));
    EXPECT_NEAR(meter[0], 0.65f, 1e-5f);
    // Route 1's meter, RMS (channel 1) of the mix: right fifth in the channel's colour x 1.3.
    const float* route =
        fx.pixel(static_cast<int>(w * (0.1 + 0.85 * 0.4 * 0.95)), static_cast<int>(h * (1 - 0.85)));
    EXPECT_NEAR(route[0], 1.0f, 1e-5f);
    EXPECT_NEAR(route[1], 0.195f, 1e-5f);

    fx.set("audio_show_dimmed_effect", true);
    fx.render(24);
    EXPECT_NEAR(margin[0], 0.18f * kGrey * 2.0f, 1e-5f);
    EXPECT_EQ(margin[3], 1.0f);
}

}  // namespace
