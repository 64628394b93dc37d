#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "RenderTestSupport.h"
#include "gpu/HostRuntime.h"
#include "kernels/KernelTables.h"
#include "render/FinalProcessing.h"

// The audio monitor and the analysis banner drawn by final processing, checked pixel by pixel
// against positions and colours worked out here from the monitor's layout: bands in nx = x / W
// and ny = 1 - y / H, text cells of the 8 x 12 font scaled to the frame.

namespace {

struct Colour {
    float r, g, b;
};

Colour times(Colour c, float s) {
    return {std::min(c.r * s, 1.0f), std::min(c.g * s, 1.0f), std::min(c.b * s, 1.0f)};
}

const Colour kWhite{1, 1, 1}, kPanel{0.18f, 0.18f, 0.18f}, kBlack{0, 0, 0};
const Colour kDrums{0.88f, 0.31f, 0.13f};     // stem class 1
const Colour kBassStem{0.13f, 0.38f, 0.88f};  // stem class 2
const Colour kGrey{0.5f, 0.5f, 0.5f};
const Colour kRms{0.85f, 0.15f, 0.15f};              // channel 1
const Colour kCent{0.3f, 0.9f, 0.9f};                // channel 10
const Colour kPulse{1.0f, 0.55f, 0.1f};              // channel 11
const Colour kBassBand{0.95f, 0.7633929f, 0.4275f};  // channel 4 on the hue ramp

struct Cell {
    int width, height, spacing;
};

int glyph(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= '0' && c <= '9') return 26 + c - '0';
    if (c == ' ') return 36;
    return -1;
}

class MonitorImage {
  public:
    MonitorImage(int w, int h, const AudioMonitorRecord& record, Colour under = {0.5f, 0.4f, 0.3f},
                 float alpha = 0.5f)
        : image(w, h) {
        image.fill(under.r, under.g, under.b, alpha);
        const SystemParameters system = finalProcessingSystemParameters(w, h, 0.0, 1.0, false);
        EXPECT_TRUE(runFinalProcessing(HostRuntime::instance(), nullptr, system, nullptr, image.plane().data,
                                       w, h, 0, image.rowBytes, record));
    }

    int W() const { return image.width; }
    int H() const { return image.height; }
    int column(float nx) const { return static_cast<int>(nx * static_cast<float>(W())); }
    // The pixel row whose ny is closest to the value.
    int row(float ny) const { return static_cast<int>(std::lround((1.0f - ny) * static_cast<float>(H()))); }
    const float* at(float nx, float ny) const { return image.pixel(column(nx), row(ny)); }
    // A pixel row whose ny lies strictly inside (low, high).
    int rowWithin(float low, float high) const {
        for (int y = 0; y < H(); ++y) {
            const float ny = 1.0f - static_cast<float>(y) / static_cast<float>(H());
            if (ny > low && ny < high) return y;
        }
        ADD_FAILURE() << "no row between " << low << " and " << high;
        return 0;
    }

    // Every pixel of a text line: lit ones in `colour` (alpha 1), unlit ones in anything else.
    // Returns the number of lit pixels.
    int expectText(const std::string& text, int cx, int top, Cell cell, Colour colour) const {
        const int advance = cell.width + cell.spacing;
        const int length = static_cast<int>(text.size());
        const int start = cx - (length * advance - cell.spacing) / 2;
        int lit = 0;
        for (int i = 0; i < length; ++i) {
            for (int r = 0; r < cell.height; ++r) {
                for (int p = 0; p < cell.width; ++p) {
                    const int x = start + i * advance + p, y = top - r;
                    const int g = glyph(text[static_cast<std::size_t>(i)]);
                    const unsigned char bits = g < 0 ? 0 : monitorFontTable()[g * 12 + 12 * r / cell.height];
                    const bool on = (bits >> (7 - 8 * p / cell.width)) & 1u;
                    const float* px = image.pixel(x, y);
                    const bool matches = std::fabs(px[0] - colour.r) < 1e-5f &&
                                         std::fabs(px[1] - colour.g) < 1e-5f &&
                                         std::fabs(px[2] - colour.b) < 1e-5f;
                    if (on) {
                        ++lit;
                        EXPECT_TRUE(matches && px[3] == 1.0f)
                            << text << " char " << i << " at " << x << "," << y << ": " << px[0] << " "
                            << px[1] << " " << px[2] << " " << px[3];
                    } else {
                        EXPECT_FALSE(matches) << text << " char " << i << " unlit at " << x << "," << y;
                    }
                }
            }
        }
        return lit;
    }

    // A title written downwards in the left margin, centred on row cy.
    int expectVerticalTitle(const std::string& text, int cy, Colour colour) const {
        const int hl = std::max(22 * H() / 1000, 12), wl = 8 * hl / 12, gap = std::max(hl / 4, 2);
        const int pitch = hl + gap;
        const int length = static_cast<int>(text.size());
        const int top = cy + (length * pitch - gap) / 2;
        int lit = 0;
        for (int i = 0; i < length; ++i)
            lit += expectText(text.substr(static_cast<std::size_t>(i), 1), 5 * W() / 100 - wl + wl / 2,
                              top - i * pitch, {wl, hl, 0}, colour);
        return lit;
    }

    TestImage image;
};

void expectColour(const float* px, Colour c, float alpha, const char* what) {
    EXPECT_NEAR(px[0], c.r, 1e-5f) << what;
    EXPECT_NEAR(px[1], c.g, 1e-5f) << what;
    EXPECT_NEAR(px[2], c.b, 1e-5f) << what;
    EXPECT_NEAR(px[3], alpha, 1e-6f) << what;
}

void setLabel(char (&field)[6], const char* text) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text, std::min<std::size_t>(std::strlen(text), sizeof field));
}

AudioMonitorRecord sampleRecord() {
    AudioMonitorRecord m;
    std::memset(&m, 0, sizeof m);
    m.monitorEnabled = 1;
    m.stemCount = 3;
    m.selectedStem = 1;
    const int kinds[3] = {0, 1, 2};
    const float levels[3] = {0.5f, 0.5f, 0.25f};
    const char* labels[3] = {"MIX", "DRUMS", "BASS"};
    for (int s = 0; s < 3; ++s) {
        m.stemKinds[s] = kinds[s];
        m.stemLevels[s] = levels[s];
        setLabel(m.stemLabels[s], labels[s]);
    }
    std::memcpy(m.selectedStemName, "DRUMS", 6);
    m.channelValues[4] = 0.75f;
    m.channelValues[10] = 0.5f;
    m.selectedChannel = 4;
    for (int k = 0; k < 16; ++k) m.routeChannels[k] = -1, m.routeStems[k] = -1;
    m.routeSlots = 4;
    m.routeCount = 2;
    m.routeChannels[0] = 1, m.routeStems[0] = 1, m.routeLevels[0] = 0.5f;
    m.routeChannels[1] = 11, m.routeStems[1] = 0, m.routeLevels[1] = 1.0f, m.routeMuted[1] = 1;
    m.routeChannels[2] = 3;  // beyond routeCount: inactive
    m.selectedRoute = 0;
    return m;
}

constexpr int kW = 400, kH = 600;
const Cell kSmall{6, 10, 1};  // hs = max(trunc(0.018 * 600), 10) = 10
const Cell kTiny{5, 8, 1};

TEST(AudioMonitor, StemMetersLabelsAndTitles) {
    const MonitorImage m(kW, kH, sampleRecord());
    const float b = 0.8f / 6.0f;  // three stems still get six slots
    // Stem 0 (mix, grey class), level 0.5: filled from ny 0.12 to 0.19 at 0.7.
    expectColour(m.at(0.15f, 0.15f), times(kGrey, 0.7f), 1.0f, "mix meter");
    expectColour(m.at(0.15f, 0.08f), kBlack, 1.0f, "above the mix meter");
    // Stem 1 is selected: its slot is a panel, its meter brighter.
    const float drumsCentre = 0.1f + b + 0.44f * b;
    expectColour(m.at(drumsCentre, 0.15f), times(kDrums, 1.3f), 1.0f, "selected meter");
    expectColour(m.at(drumsCentre, 0.08f), kPanel, 1.0f, "selected slot");
    // Stem 2 at 0.25: filled from 0.155.
    const float bassCentre = 0.1f + 2 * b + 0.44f * b;
    expectColour(m.at(bassCentre, 0.17f), times(kBassStem, 0.7f), 1.0f, "bass meter");
    expectColour(m.at(bassCentre, 0.14f), kBlack, 1.0f, "above the bass meter");
    // Slots four to six stay empty.
    expectColour(m.at(0.1f + 4.5f * b, 0.18f), kBlack, 1.0f, "no fourth stem");

    const int labelTop = 8 * kH / 10;
    auto slotCentre = [&](int i) {
        return m.column(0.5f * ((0.1f + i * b) + (0.1f + (i + 1) * b - 0.12f * b)));
    };
    EXPECT_GT(m.expectText("MIX", slotCentre(0), labelTop, kSmall, kGrey), 0);
    EXPECT_GT(m.expectText("DRUMS", slotCentre(1), labelTop, kSmall, kWhite), 0);
    EXPECT_GT(m.expectText("BASS", slotCentre(2), labelTop, kSmall, kBassStem), 0);

    EXPECT_GT(m.expectVerticalTitle("STEMS", 88 * kH / 100, {0.85f, 0.85f, 0.85f}), 0);
    EXPECT_GT(m.expectVerticalTitle("ROUTES", 205 * kH / 1000, {0.85f, 0.85f, 0.85f}), 0);
    EXPECT_GT(m.expectVerticalTitle("DRUMS", 56 * kH / 100, times(kDrums, 1.2f)), 0);

    // Separators and the black backdrop; the whole frame ends opaque.
    expectColour(m.at(0.5f, 0.235f), kPanel, 1.0f, "upper separator");
    expectColour(m.at(0.5f, 0.655f), kPanel, 1.0f, "lower separator");
    expectColour(m.at(0.95f, 0.5f), kBlack, 1.0f, "margin");
}

TEST(AudioMonitor, ChannelPanelAndFrames) {
    // Wide enough for the channel labels not to run into their neighbours (as at full HD).
    const MonitorImage m(960, 540, sampleRecord());
    const float q = 0.755f / 24.0f;
    const float g1 = 0.1f, g2 = g1 + 4 * q + 0.015f, g3 = g2 + 7 * q + 0.015f, g4 = g3 + 9 * q + 0.015f;
    auto barCentre = [&](float start, int j) { return start + (j + 0.45f) * q; };
    // Channel 4 ("BASS", second bar of the bands) is selected, at 0.75: filled from ny 0.36.
    expectColour(m.at(barCentre(g2, 1), 0.45f), times(kBassBand, 1.3f), 1.0f, "selected band");
    expectColour(m.at(barCentre(g2, 1), 0.30f), kPanel, 1.0f, "selected band's column");
    // "CENT" (third bar of the first group) at 0.5: filled from ny 0.44.
    expectColour(m.at(barCentre(g1, 2), 0.50f), times(kCent, 0.7f), 1.0f, "centroid bar");
    expectColour(m.at(barCentre(g1, 2), 0.40f), kBlack, 1.0f, "above the centroid bar");
    // An empty bar leaves the backdrop.
    expectColour(m.at(barCentre(g3, 0), 0.5f), kBlack, 1.0f, "pulse at 0");

    const int labelTop = 39 * m.H() / 100;
    auto labelCentre = [&](float start, int j) {
        return m.column(0.5f * ((start + j * q) + (start + (j + 1) * q - 0.1f * q)));
    };
    EXPECT_GT(m.expectText("BASS", labelCentre(g2, 1), labelTop, kSmall, kWhite), 0);
    EXPECT_GT(m.expectText("RMS", labelCentre(g1, 0), labelTop, kSmall, kRms), 0);
    EXPECT_GT(m.expectText("TAP4", labelCentre(g4, 3), labelTop, kSmall, {1.0f, 0.95f, 0.35f}), 0);

    // Frames: the top edge of every group, ny in [0.275, 0.277], and the titles above them.
    const float starts[4] = {g1, g2, g3, g4};
    const int counts[4] = {4, 7, 9, 4};
    const char* titles[4] = {"ANALYSIS", "FREQUENCY", "BEATS", "TAPS"};
    for (int g = 0; g < 4; ++g) {
        const float left = starts[g] - 0.005f, right = starts[g] + counts[g] * q + 0.005f;
        const float* edge = m.image.pixel(m.column(left + 0.01f), m.rowWithin(0.2752f, 0.2768f));
        expectColour(edge, {0.25f, 0.25f, 0.25f}, 1.0f, titles[g]);
        EXPECT_GT(m.expectText(titles[g], m.column(0.5f * (left + right)), 74 * m.H() / 100, kSmall, kGrey),
                  0);
    }
}

TEST(AudioMonitor, RouteMetersNumbersAndSources) {
    const MonitorImage m(kW, kH, sampleRecord());
    const float s = 0.2f;  // four slots
    const float width = 0.85f * s;
    // Route 1: RMS of the drums, selected. Left 80 % in the stem's colour, the rest in the channel's.
    expectColour(m.at(0.1f + 0.4f * width, 0.85f), times(kDrums, 1.3f), 1.0f, "route 1 stem part");
    expectColour(m.at(0.1f + 0.9f * width, 0.85f), times(kRms, 1.3f), 1.0f, "route 1 channel part");
    expectColour(m.at(0.1f + 0.4f * width, 0.75f), kPanel, 1.0f, "route 1 column");
    // Route 2: the beat pulse, muted and not selected: a quarter of the channel colour, full height.
    expectColour(m.at(0.1f + s + 0.5f * width, 0.72f), times(kPulse, 0.25f), 1.0f, "muted pulse route");
    // Route 3 has a channel but lies beyond the route count: no meter.
    expectColour(m.at(0.1f + 2 * s + 0.5f * width, 0.88f), kBlack, 1.0f, "inactive route");

    auto centre = [&](int k) { return m.column(0.5f * ((0.1f + k * s) + (0.1f + k * s + width))); };
    const int numberTop = 9 * kH / 100, sourceTop = 65 * kH / 1000;
    EXPECT_GT(m.expectText("R1", centre(0), numberTop, kSmall, kWhite), 0);
    EXPECT_GT(m.expectText("R2", centre(1), numberTop, kSmall, kPulse), 0);
    EXPECT_GT(m.expectText("R3", centre(2), numberTop, kSmall, {0.2f, 0.2f, 0.2f}), 0);
    EXPECT_GT(m.expectText("R4", centre(3), numberTop, kSmall, {0.2f, 0.2f, 0.2f}), 0);
    EXPECT_GT(m.expectText("DRUMS", centre(0), sourceTop, kTiny, kWhite), 0);
    EXPECT_GT(m.expectText("PULSE", centre(1), sourceTop, kTiny, kPulse), 0);
}

TEST(AudioMonitor, SlotNumbersBeyondNineAndEdgeRecords) {
    AudioMonitorRecord record = sampleRecord();
    record.stemCount = 0;  // no meters, the panels stay
    record.routeSlots = 12;
    record.routeCount = 12;
    record.selectedRoute = 20;
    setLabel(record.stemLabels[1], "drums");  // lower case draws nothing
    record.routeStems[0] = 1;
    const MonitorImage m(kW, kH, record);
    const float s = 0.8f / 12.0f;
    auto centre = [&](int k) { return m.column(0.5f * ((0.1f + k * s) + (0.1f + k * s + 0.85f * s))); };
    EXPECT_GT(m.expectText("10", centre(9), 9 * kH / 100, kSmall, {0.2f, 0.2f, 0.2f}), 0);
    EXPECT_GT(m.expectText("12", centre(11), 9 * kH / 100, kSmall, {0.2f, 0.2f, 0.2f}), 0);
    EXPECT_EQ(m.expectText("drums", centre(0), 65 * kH / 1000, kTiny, kDrums), 0);
    expectColour(m.at(0.15f, 0.15f), kBlack, 1.0f, "no stem meter");
    EXPECT_GT(m.expectVerticalTitle("STEMS", 88 * kH / 100, {0.85f, 0.85f, 0.85f}), 0);
}

TEST(AudioMonitor, DimmedBackdropKeepsTheFrameDarkened) {
    AudioMonitorRecord record = sampleRecord();
    record.dimmedBackdrop = 1;
    const MonitorImage m(kW, kH, record, {0.5f, 0.4f, 0.3f}, 0.25f);
    expectColour(m.at(0.95f, 0.5f), {0.09f, 0.072f, 0.054f}, 1.0f, "dimmed margin");
}

TEST(AudioMonitor, BlackBackdropIgnoresTheFramesPixels) {
    // What an unwritten output buffer may hold: NaN, infinities. Premultiplied and blended, the
    // monitor over black stays finite.
    AudioMonitorRecord record = sampleRecord();
    TestImage frame(kW, kH), source(kW, kH);
    source.fill(0.2f, 0.4f, 0.6f, 1.0f);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            float* p = frame.pixel(x, y);
            p[0] = NAN, p[1] = INFINITY, p[2] = -INFINITY, p[3] = (x + y) % 2 ? NAN : 0.0f;
        }
    const SystemParameters system = finalProcessingSystemParameters(kW, kH, 0.0, 0.5, true);
    ASSERT_TRUE(runFinalProcessing(HostRuntime::instance(), nullptr, system, source.plane().data,
                                   frame.plane().data, kW, kH, source.rowBytes, frame.rowBytes, record));
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            for (int c = 0; c < 4; ++c) ASSERT_TRUE(std::isfinite(frame.pixel(x, y)[c])) << x << "," << y;
    // The margin: half black, half source.
    const float* margin = frame.pixel(kW * 95 / 100, kH / 2);
    EXPECT_NEAR(margin[0], 0.1f, 1e-6f);
    EXPECT_NEAR(margin[2], 0.3f, 1e-6f);
    EXPECT_EQ(margin[3], 1.0f);
}

TEST(AnalysisBanner, ProgressBarTextAndAlpha) {
    AudioMonitorRecord record;
    std::memset(&record, 0, sizeof record);
    record.analysisRunning = 1;
    record.progressDone = 3;
    record.progressTotal = 12;
    const MonitorImage m(kW, kH, record);
    // Outside the banner the frame is untouched; inside the box it is darkened, alpha kept.
    expectColour(m.at(0.1f, 0.5f), {0.5f, 0.4f, 0.3f}, 0.5f, "outside");
    expectColour(m.at(0.26f, 0.83f), {0.15f, 0.12f, 0.09f}, 0.5f, "darkened box");
    // The bar: green up to nx = 0.27 + 0.46 * 3 / 12 = 0.385, dark after, grey band around.
    expectColour(m.at(0.30f, 0.885f), {0.3f, 0.8f, 0.4f}, 1.0f, "done");
    expectColour(m.at(0.38f, 0.885f), {0.3f, 0.8f, 0.4f}, 1.0f, "done, near the end");
    expectColour(m.at(0.39f, 0.885f), {0.12f, 0.12f, 0.12f}, 1.0f, "to do");
    expectColour(m.image.pixel(m.column(0.5f), m.rowWithin(0.8752f, 0.8768f)), {0.4f, 0.4f, 0.4f}, 1.0f,
                 "band");
    const int hb = std::max(3 * kH / 100, 14);
    EXPECT_GT(m.expectText("ANALYZING AUDIO", kW / 2, 165 * kH / 1000, {8 * hb / 12, hb, hb / 6}, kWhite), 0);
    const int h = std::max(3 * hb / 4, 10);
    EXPECT_GT(m.expectText("3 12", kW / 2, 95 * kH / 1000, {8 * h / 12, h, 8 * h / 60}, {0.6f, 0.6f, 0.6f}),
              0);

    record.analysisPhase = 1;
    record.progressDone = 123;  // tens digit 12: not in the font
    record.progressTotal = 0;   // no count, all dark
    const MonitorImage stems(kW, kH, record);
    EXPECT_GT(
        stems.expectText("EXTRACTING STEMS", kW / 2, 165 * kH / 1000, {8 * hb / 12, hb, hb / 6}, kWhite), 0);
    expectColour(stems.at(0.30f, 0.885f), {0.12f, 0.12f, 0.12f}, 1.0f, "nothing done");
    expectColour(stems.image.pixel(kW / 2, 95 * kH / 1000 - 3), {0.15f, 0.12f, 0.09f}, 0.5f, "no count");
}

}  // namespace
