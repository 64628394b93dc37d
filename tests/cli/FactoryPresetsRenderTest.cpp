// The factory presets and the demo's settings rendered by the built plug-in: each preset fills
// the holes the manual says it suits, none copies the masked object into the fill, and the demo
// leaves no seam.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "DemoSample.h"
#include "EffectSession.h"

namespace {

const std::string kBundle = VELMORA_BUNDLE;

// A preset's row in the manual's table: the hole size it suits and the kind of hole.
struct PresetClaim {
    std::string name;
    int hole = 0;       // pixels: across for a spot, thick for a wire
    std::string shape;  // "spot" or "wire"
};

std::vector<PresetClaim> manualClaims() {
    std::ifstream file(kBundle + "/Contents/Resources/velmora.html");
    std::stringstream text;
    text << file.rdbuf();
    const std::string html = text.str();
    const std::regex row("<tr data-preset=\"([^\"]+)\" data-hole=\"([0-9]+)\" data-hole-shape=\"([a-z]+)\">");
    std::vector<PresetClaim> claims;
    for (std::sregex_iterator it(html.begin(), html.end(), row), end; it != end; ++it)
        claims.push_back({(*it)[1].str(), std::stoi((*it)[2].str()), (*it)[3].str()});
    return claims;
}

std::vector<std::string> factoryPresetNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(kBundle + "/Contents/Resources/presets"))
        if (entry.path().extension() == ".xml") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

// White where inside(dx, dy) holds, dx and dy measured from the picture's centre.
template <typename Inside>
vhost::ImagePtr maskOf(int width, int height, Inside inside) {
    auto mask = std::make_shared<vhost::Image>(width, height);
    mask->fillWith([&](int x, int y, float* p) {
        const float v = inside(x + 0.5 - width / 2.0, y + 0.5 - height / 2.0) ? 1.0f : 0.0f;
        p[0] = p[1] = p[2] = v;
        p[3] = 1.0f;
    });
    return mask;
}

struct Hole {
    std::string what;
    vhost::ImagePtr mask;
};

// The holes a preset claims to fill: a disc and a square of that width for a spot; for a wire,
// straight wires of that thickness at three angles and its round end.
std::vector<Hole> holesFor(const PresetClaim& claim, int width, int height) {
    const double size = claim.hole, half = size / 2;
    std::vector<Hole> holes;
    holes.push_back({"disc", maskOf(width, height,
                                    [&](double dx, double dy) { return dx * dx + dy * dy <= half * half; })});
    if (claim.shape == "spot") {
        holes.push_back({"square", maskOf(width, height, [&](double dx, double dy) {
                             return std::fabs(dx) <= half && std::fabs(dy) <= half;
                         })});
        return holes;
    }
    for (double degrees : {0.0, 45.0, 90.0}) {
        const double c = std::cos(degrees * M_PI / 180), s = std::sin(degrees * M_PI / 180);
        holes.push_back({"wire at " + std::to_string(static_cast<int>(degrees)) + " degrees",
                         maskOf(width, height, [&](double dx, double dy) {
                             return std::fabs(-dx * s + dy * c) <= half &&
                                    std::fabs(dx * c + dy * s) <= width * 0.3;
                         })});
    }
    return holes;
}

vhost::ImagePtr copyOf(const vhost::Image& image) {
    auto copy = std::make_shared<vhost::Image>(image.width(), image.height());
    copy->fillWith([&](int x, int y, float* p) { std::copy(image.pixel(x, y), image.pixel(x, y) + 4, p); });
    return copy;
}

// The effect with a preset and settings, rendering at frame 1 on the CPU.
class Renderer {
  public:
    Renderer(const std::string& preset, std::vector<std::string> settings) {
        SessionOptions options;
        options.bundle = kBundle;
        options.backend = "cpu";
        options.preset = preset;
        options.settings = std::move(settings);
        session_ = std::make_unique<EffectSession>(options);
    }
    vhost::ImagePtr render(const vhost::ImagePtr& plate, const vhost::ImagePtr& mask) {
        return copyOf(*session_->render(1.0, FrameImages{plate, mask, nullptr}, 1.0, false));
    }

  private:
    std::unique_ptr<EffectSession> session_;
};

// Renders with Highlight Unfilled off and on: the pixels that differ are the unfilled ones.
class UnfilledProbe {
  public:
    UnfilledProbe(const std::string& preset, std::vector<std::string> settings = {})
        : off_(preset, with(settings, "show_unfilled=off")),
          on_(preset, with(settings, "show_unfilled=on")) {}

    // The render with the highlight off, and in `unfilled` whether each pixel (row-major) was.
    vhost::ImagePtr render(const vhost::ImagePtr& plate, const vhost::ImagePtr& mask,
                           std::vector<bool>* unfilled) {
        const vhost::ImagePtr plain = off_.render(plate, mask), marked = on_.render(plate, mask);
        unfilled->assign(static_cast<std::size_t>(plain->width()) * plain->height(), false);
        for (int y = 0; y < plain->height(); ++y)
            for (int x = 0; x < plain->width(); ++x)
                for (int c = 0; c < 3; ++c)
                    if (plain->pixel(x, y)[c] != marked->pixel(x, y)[c])
                        (*unfilled)[static_cast<std::size_t>(y) * plain->width() + x] = true;
        return plain;
    }

  private:
    static std::vector<std::string> with(std::vector<std::string> settings, const std::string& more) {
        settings.push_back(more);
        return settings;
    }
    Renderer off_, on_;
};

long count(const std::vector<bool>& flags) {
    return static_cast<long>(std::count(flags.begin(), flags.end(), true));
}

// The largest difference between two renders, over the pixels the fill reached.
float largestFilledDifference(const vhost::Image& a, const vhost::Image& b,
                              const std::vector<bool>& unfilled) {
    float worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (!unfilled[static_cast<std::size_t>(y) * a.width() + x])
                for (int c = 0; c < 4; ++c)
                    worst = std::max(worst, std::fabs(a.pixel(x, y)[c] - b.pixel(x, y)[c]));
    return worst;
}

}  // namespace

TEST(FactoryPresetsRender, TheManualStatesTheHoleSizeOfEveryPreset) {
    std::vector<std::string> claimed;
    for (const PresetClaim& claim : manualClaims()) {
        claimed.push_back(claim.name);
        EXPECT_GT(claim.hole, 0) << claim.name;
        EXPECT_TRUE(claim.shape == "spot" || claim.shape == "wire") << claim.name << ": " << claim.shape;
    }
    std::sort(claimed.begin(), claimed.end());
    EXPECT_EQ(claimed, factoryPresetNames());
}

// With Highlight Unfilled on, no pixel of a hole of the stated size shows red.
TEST(FactoryPresetsRender, EachPresetFillsHolesOfTheSizeTheManualStates) {
    for (const PresetClaim& claim : manualClaims()) {
        const int width = std::max(192, 2 * claim.hole), height = std::max(160, 8 * claim.hole / 5);
        const DemoSample sample = makeDemoSample(width, height);
        UnfilledProbe probe(claim.name);
        for (const Hole& hole : holesFor(claim, width, height)) {
            std::vector<bool> unfilled;
            probe.render(sample.background, hole.mask, &unfilled);
            EXPECT_EQ(count(unfilled), 0) << claim.name << ", " << hole.what << " " << claim.hole << " px";
        }
    }
}

// The demo's object is larger than most presets' holes, and its unfilled core shows the plate;
// wherever the fill reaches, the result is what the object-free background gives, so neither the
// fill nor borrowed detail takes anything from the object.
TEST(FactoryPresetsRender, NoPresetCopiesTheObjectIntoTheFillOnTheDemo) {
    const DemoSample sample = makeDemoSample(640, 360);
    for (const std::string& preset : factoryPresetNames()) {
        UnfilledProbe probe(preset);
        std::vector<bool> unfilled, ignored;
        const vhost::ImagePtr withObject = probe.render(sample.plate, sample.mask, &unfilled);
        const vhost::ImagePtr withoutObject = probe.render(sample.background, sample.mask, &ignored);
        EXPECT_LE(largestFilledDifference(*withObject, *withoutObject, unfilled), 1e-5f) << preset;
    }
}

TEST(DemoSettings, FillEverythingCopyNothingAndLeaveNoSeam) {
    constexpr int kWidth = 640, kHeight = 360;
    const DemoSample sample = makeDemoSample(kWidth, kHeight);
    UnfilledProbe probe("", demoSettings(kWidth, kHeight));
    std::vector<bool> unfilled, ignored;
    const vhost::ImagePtr result = probe.render(sample.plate, sample.mask, &unfilled);
    EXPECT_EQ(count(unfilled), 0);
    EXPECT_LE(
        largestFilledDifference(*result, *probe.render(sample.background, sample.mask, &ignored), unfilled),
        1e-5f);

    // Inside the mask the result stays close to the background the object hid, and along the
    // horizon, where a borrowed horizon at the wrong height draws a seam, closest of all.
    double squares = 0, horizonError = 0, horizonWorst = 0;
    long inMask = 0, onHorizon = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            if (sample.mask->pixel(x, y)[0] <= 0.0f) continue;
            const double fromTop = kHeight - y - 0.5;
            const double horizon = (0.62 + 0.03 * std::sin(6.0 * (x + 0.5) / kWidth)) * kHeight;
            for (int c = 0; c < 3; ++c) {
                const double error = result->pixel(x, y)[c] - sample.background->pixel(x, y)[c];
                squares += error * error;
                ++inMask;
                if (std::fabs(fromTop - horizon) <= 10) {
                    horizonError += std::fabs(error);
                    horizonWorst = std::max(horizonWorst, std::fabs(error));
                    ++onHorizon;
                }
            }
        }
    ASSERT_GT(onHorizon, 0);
    EXPECT_LT(std::sqrt(squares / inMask), 0.015);
    EXPECT_LT(horizonError / onHorizon, 0.013);
    EXPECT_LT(horizonWorst, 0.07);
}
