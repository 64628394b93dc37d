#pragma once

// The audio monitor and the analysis banner, drawn per pixel by the final-processing kernel.
//
// Layout: nx = x / W from the left, ny = 1 - y / H from the top of the picture (y = 0 is the
// bottom row). Band limits are inclusive single-precision values; text rows are whole pixel rows
// counted from the bottom. From the top down: stem meters, the channel panel in four framed
// groups, the route meters; vertical titles in the left margin.

#include "kernels/AudioMonitorRecord.h"
#include "kernels/KernelDevice.h"
#include "kernels/MonitorFont.h"

namespace VELMORA_KERNEL_NS {

namespace monitor {

struct Rgb {
    float r, g, b;
};

__device__ __forceinline__ Rgb rgb(float r, float g, float b) {
    Rgb c;
    c.r = r;
    c.g = g;
    c.b = b;
    return c;
}

// Scaled, each channel at most 1.
__device__ __forceinline__ Rgb scaled(Rgb c, float s) {
    return rgb(fminf(c.r * s, 1.0f), fminf(c.g * s, 1.0f), fminf(c.b * s, 1.0f));
}

__device__ __forceinline__ void paint(float4& p, Rgb c) {
    p.x = c.r;
    p.y = c.g;
    p.z = c.b;
    p.w = 1.0f;
}

__device__ __forceinline__ bool within(float v, float low, float high) {
    return v >= low && v <= high;
}

__device__ __forceinline__ float unit(float v) {
    return clampf(v, 0.0f, 1.0f);
}

__device__ inline Rgb stemColour(int kind) {
    switch (kind) {
        case 1:
            return rgb(0.88f, 0.31f, 0.13f);
        case 2:
            return rgb(0.13f, 0.38f, 0.88f);
        case 3:
            return rgb(0.25f, 0.75f, 0.25f);
        case 4:
            return rgb(0.81f, 0.75f, 0.13f);
        case 5:
            return rgb(0.13f, 0.75f, 0.75f);
        case 6:
            return rgb(0.63f, 0.25f, 0.81f);
        case 7:
            return rgb(0.81f, 0.25f, 0.63f);
        case 8:
            return rgb(0.81f, 0.56f, 0.13f);
        case 9:
            return rgb(0.13f, 0.63f, 0.63f);
        case 10:
            return rgb(0.75f, 0.38f, 0.13f);
        case 11:
            return rgb(0.5f, 0.81f, 0.5f);
        case 12:
            return rgb(0.81f, 0.5f, 0.63f);
        case 13:
            return rgb(0.7f, 0.7f, 0.3f);
        case 14:
            return rgb(0.3f, 0.7f, 0.7f);
        case 15:
            return rgb(0.7f, 0.3f, 0.7f);
        case 16:
            return rgb(0.6f, 0.6f, 0.6f);
        default:
            return rgb(0.5f, 0.5f, 0.5f);
    }
}

__device__ inline Rgb channelColour(int channel) {
    if (channel >= 3 && channel <= 9) {
        // A hue ramp over the frequency bands, lifted towards white.
        const float h = (float)(channel - 3) / 7.0f * 0.75f;
        const float r = unit(fabsf(6.0f * h - 3.0f) - 1.0f);
        const float g = unit(2.0f - fabsf(6.0f * h - 2.0f));
        const float b = unit(2.0f - fabsf(6.0f * h - 4.0f));
        return rgb(0.95f * (0.45f + 0.55f * r), 0.95f * (0.45f + 0.55f * g), 0.95f * (0.45f + 0.55f * b));
    }
    switch (channel) {
        case 0:
            return rgb(0.9f, 0.35f, 0.8f);
        case 1:
            return rgb(0.85f, 0.15f, 0.15f);
        case 2:
            return rgb(1.0f, 0.85f, 0.2f);
        case 10:
            return rgb(0.3f, 0.9f, 0.9f);
        case 11:
            return rgb(1.0f, 0.55f, 0.1f);
        case 12:
            return rgb(1.0f, 0.25f, 0.0f);
        case 13:
            return rgb(1.0f, 0.75f, 0.35f);
        case 14:
            return rgb(1.0f, 0.6f, 0.2f);
        case 15:
            return rgb(0.95f, 0.45f, 0.1f);
        case 16:
            return rgb(0.85f, 0.35f, 0.08f);
        case 17:
            return rgb(0.7f, 0.28f, 0.05f);
        case 18:
            return rgb(0.55f, 0.22f, 0.04f);
        case 19:
            return rgb(0.4f, 0.18f, 0.03f);
        case 20:
            return rgb(0.35f, 0.85f, 0.45f);
        case 21:
            return rgb(0.3f, 0.7f, 1.0f);
        case 22:
            return rgb(0.95f, 0.55f, 0.95f);
        case 23:
            return rgb(1.0f, 0.95f, 0.35f);
        default:
            return rgb(0.5f, 0.5f, 0.5f);
    }
}

// Characters before the first NUL, at most `capacity`.
__device__ __forceinline__ int textLength(const char* text, int capacity) {
    int length = 0;
    while (length < capacity && text[length] != '\0') ++length;
    return length;
}

// Whether pixel (p, r) of a cw x ch cell showing character c is lit (r counted from the top).
__device__ __forceinline__ bool glyphLit(char c, int r, int p, int cw, int ch) {
    const int glyph = fontGlyphIndex(c);
    if (glyph < 0) return false;
    const unsigned char bits = FONT_8x12[glyph * kFontGlyphRows + kFontGlyphRows * r / ch];
    return ((bits >> (7 - kFontGlyphColumns * p / cw)) & 1u) != 0;
}

// Text size classes of the monitor, in pixels.
struct TextCell {
    int width, height, spacing;
};

// A horizontal line of text centred on column cx with its top at row ty: whether (x, y) is lit.
__device__ inline bool textLit(const char* text, int length, int cx, int ty, TextCell cell, int x, int y) {
    const int r = ty - y;
    if (r < 0 || r >= cell.height || length <= 0 || cell.width <= 0) return false;
    const int advance = cell.width + cell.spacing;
    const int start = cx - (length * advance - cell.spacing) / 2;
    const int dx = x - start;
    if (dx < 0 || dx >= length * advance) return false;
    const int i = dx / advance;
    const int p = dx - i * advance;
    if (p >= cell.width) return false;
    return glyphLit(text[i], r, p, cell.width, cell.height);
}

// The layout of one frame: sizes in pixels and the text rows.
struct Layout {
    int W, H, x, y;
    float nx, ny;
    TextCell small, tiny, large;
    int largeGap;
};

__device__ inline Layout layoutFor(int x, int y, int W, int H) {
    Layout l;
    l.W = W;
    l.H = H;
    l.x = x;
    l.y = y;
    l.nx = (float)x / (float)W;
    l.ny = 1.0f - (float)y / (float)H;
    const int hs = max(18 * H / 1000, 10);
    l.small.height = hs;
    l.small.width = 8 * hs / 12;
    l.small.spacing = 8 * hs < 60 ? 1 : 8 * hs / 60;
    const int ht = max(3 * hs / 4, 8);
    l.tiny.height = ht;
    l.tiny.width = 8 * ht / 12;
    l.tiny.spacing = 8 * ht / 60;
    const int hl = max(22 * H / 1000, 12);
    l.large.height = hl;
    l.large.width = 8 * hl / 12;
    l.large.spacing = 0;
    l.largeGap = max(hl / 4, 2);
    return l;
}

// A title written downwards, one large character per line, in the left margin: its column ends
// at trunc(0.05 W), and it is centred on row cy.
__device__ inline bool verticalTitleLit(const char* text, int length, int cy, const Layout& l) {
    if (length <= 0) return false;
    const int end = 5 * l.W / 100;
    const int p = l.x - (end - l.large.width);
    if (p < 0 || p >= l.large.width) return false;
    const int pitch = l.large.height + l.largeGap;
    const int top = cy + (length * pitch - l.largeGap) / 2;
    const int d = top - l.y;
    if (d < 0 || d >= length * pitch) return false;
    const int i = d / pitch;
    const int r = d - i * pitch;
    if (r >= l.large.height) return false;
    return glyphLit(text[i], r, p, l.large.width, l.large.height);
}

// A decimal digit, or a character the font leaves blank for anything else.
__device__ __forceinline__ char digitCharacter(int digit) {
    return digit >= 0 && digit <= 9 ? (char)('0' + digit) : '~';
}

// Whether row y lies within the rows of a text line whose top is row `top`.
__device__ __forceinline__ bool inTextRows(int y, int top, TextCell cell) {
    return y <= top && y > top - cell.height;
}

__device__ __forceinline__ int columnOf(float nx, int W) {
    return (int)(nx * (float)W);
}

// Stem meters and their labels (top band).
__device__ inline void drawStems(float4& p, const Layout& l, const AudioMonitorRecord& m) {
    if (m.stemCount < 1) return;
    const int labelTop = 8 * l.H / 10;
    if (!within(l.ny, 0.05f, 0.19f) && !inTextRows(l.y, labelTop, l.small)) return;
    const int n = min(m.stemCount, kMonitorMaxStems);
    const float b = 0.8f / (float)max(n, 6);
    for (int i = 0; i < n; ++i) {
        const float x0 = 0.1f + (float)i * b;
        const float x1 = 0.1f + (float)(i + 1) * b - 0.12f * b;
        const bool selected = i == m.selectedStem;
        const Rgb colour = stemColour(m.stemKinds[i]);
        if (within(l.nx, x0, x1)) {
            if (selected && within(l.ny, 0.05f, 0.19f)) paint(p, rgb(0.18f, 0.18f, 0.18f));
            if (within(l.ny, 0.19f - 0.14f * unit(m.stemLevels[i]), 0.19f))
                paint(p, scaled(colour, selected ? 1.3f : 0.7f));
        }
        const char* label = m.stemLabels[i];
        if (textLit(label, textLength(label, kMonitorStemLabelBytes), columnOf(0.5f * (x0 + x1), l.W),
                    labelTop, l.small, l.x, l.y))
            paint(p, selected ? rgb(1.0f, 1.0f, 1.0f) : colour);
    }
}

struct ChannelGroup {
    const MonitorChannelLabel* bars;
    int count;
    float start;
    const char* title;
    int titleLength;
};

__device__ inline ChannelGroup channelGroup(int g) {
    const float q = 0.755f / 24.0f;
    const float g1 = 0.1f;
    const float g2 = g1 + 4.0f * q + 0.015f;
    const float g3 = g2 + 7.0f * q + 0.015f;
    const float g4 = g3 + 9.0f * q + 0.015f;
    ChannelGroup group;
    switch (g) {
        case 0:
            group = ChannelGroup{ANALYSIS_CHANNELS, 4, g1, "ANALYSIS", 8};
            break;
        case 1:
            group = ChannelGroup{FREQ_CHANNELS, 7, g2, "FREQUENCY", 9};
            break;
        case 2:
            group = ChannelGroup{BEAT_CHANNELS, 9, g3, "BEATS", 5};
            break;
        default:
            group = ChannelGroup{TAP_CHANNELS, 4, g4, "TAPS", 4};
            break;
    }
    return group;
}

// The 24 channels of the selected stem in four framed groups (middle band).
__device__ inline void drawChannels(float4& p, const Layout& l, const AudioMonitorRecord& m) {
    const float q = 0.755f / 24.0f;
    const int labelTop = 39 * l.H / 100;
    if (!within(l.ny, 0.28f, 0.6f) && !inTextRows(l.y, labelTop, l.small)) return;
    for (int g = 0; g < 4; ++g) {
        const ChannelGroup group = channelGroup(g);
        for (int j = 0; j < group.count; ++j) {
            const float x0 = group.start + (float)j * q;
            const float x1 = group.start + (float)(j + 1) * q - 0.1f * q;
            const MonitorChannelLabel& bar = group.bars[j];
            const bool selected = bar.channel == m.selectedChannel;
            const Rgb colour = channelColour(bar.channel);
            if (within(l.nx, x0, x1)) {
                if (selected && within(l.ny, 0.28f, 0.6f)) paint(p, rgb(0.18f, 0.18f, 0.18f));
                if (within(l.ny, 0.6f - 0.32f * unit(m.channelValues[bar.channel]), 0.6f))
                    paint(p, scaled(colour, selected ? 1.3f : 0.7f));
            }
            if (textLit(bar.text, bar.length, columnOf(0.5f * (x0 + x1), l.W), labelTop, l.small, l.x, l.y))
                paint(p, selected ? rgb(1.0f, 1.0f, 1.0f) : colour);
        }
    }
}

__device__ inline void drawChannelFrames(float4& p, const Layout& l) {
    const float q = 0.755f / 24.0f;
    const int titleTop = 74 * l.H / 100;
    if (!within(l.ny, 0.275f, 0.63f) && !inTextRows(l.y, titleTop, l.small)) return;
    for (int g = 0; g < 4; ++g) {
        const ChannelGroup group = channelGroup(g);
        const float left = group.start - 0.005f;
        const float right = group.start + (float)group.count * q + 0.005f;
        const bool outer = within(l.nx, left, right) && within(l.ny, 0.275f, 0.63f);
        const bool inner = l.nx > left + 0.001f && l.nx < right - 0.001f && l.ny > 0.277f && l.ny < 0.628f;
        if (outer && !inner) paint(p, rgb(0.25f, 0.25f, 0.25f));
        if (textLit(group.title, group.titleLength, columnOf(0.5f * (left + right), l.W), titleTop, l.small,
                    l.x, l.y))
            paint(p, rgb(0.5f, 0.5f, 0.5f));
    }
}

// One meter per route slot, its number and what feeds it (bottom band).
__device__ inline void drawRoutes(float4& p, const Layout& l, const AudioMonitorRecord& m) {
    const int slots = min(m.routeSlots > 0 ? m.routeSlots : m.routeCount, kMonitorMaxRoutes);
    if (slots < 1) return;
    const float s = 0.8f / (float)slots;
    const int numberTop = 9 * l.H / 100;
    const int sourceTop = 65 * l.H / 1000;
    if (!within(l.ny, 0.69f, 0.9f) && !inTextRows(l.y, numberTop, l.small) &&
        !inTextRows(l.y, sourceTop, l.tiny))
        return;
    for (int k = 0; k < slots; ++k) {
        const float x0 = 0.1f + (float)k * s;
        const float x1 = x0 + 0.85f * s;
        const int channel = m.routeChannels[k];
        const bool active = channel > -1 && k < m.routeCount;
        const bool selected = k == m.selectedRoute;
        const int stem = m.routeStems[k];
        const bool fedByStem = stem >= 0 && stem < kMonitorMaxStems;
        const Rgb stemTint = fedByStem ? stemColour(m.stemKinds[stem]) : rgb(0.5f, 0.5f, 0.5f);
        const Rgb channelTint = channelColour(channel);
        if (within(l.nx, x0, x1)) {
            if (selected && within(l.ny, 0.69f, 0.9f)) paint(p, rgb(0.18f, 0.18f, 0.18f));
            if (active && within(l.ny, 0.9f - 0.21f * unit(m.routeLevels[k]), 0.9f)) {
                const bool pulse = channel >= 11 && channel <= 23;
                Rgb c = (pulse || l.nx > x0 + 0.8f * (x1 - x0)) ? channelTint : stemTint;
                if (m.routeMuted[k] != 0)
                    c = scaled(c, selected ? 0.5f : 0.25f);
                else
                    c = scaled(c, selected ? 1.3f : 0.7f);
                paint(p, c);
            }
        }
        const int cx = columnOf(0.5f * (x0 + x1), l.W);
        char number[2];
        if (k < 9) {
            number[0] = 'R';
            number[1] = (char)('1' + k);
        } else {
            number[0] = '1';
            number[1] = (char)('0' + (k + 1 - 10));
        }
        if (textLit(number, 2, cx, numberTop, l.small, l.x, l.y))
            paint(p, selected ? rgb(1.0f, 1.0f, 1.0f) : active ? channelTint : rgb(0.2f, 0.2f, 0.2f));
        if (!active) continue;
        const char* source = nullptr;
        int sourceLength = 0;
        Rgb sourceTint = channelTint;
        if (channel >= 11 && channel <= 19) {
            source = BEAT_CHANNELS[channel - 11].text;
            sourceLength = BEAT_CHANNELS[channel - 11].length;
        } else if (channel >= 20 && channel <= 23) {
            source = TAP_CHANNELS[channel - 20].text;
            sourceLength = TAP_CHANNELS[channel - 20].length;
        } else if (fedByStem) {
            source = m.stemLabels[stem];
            sourceLength = textLength(source, kMonitorStemLabelBytes);
            sourceTint = stemTint;
        }
        if (source && textLit(source, sourceLength, cx, sourceTop, l.tiny, l.x, l.y))
            paint(p, selected ? rgb(1.0f, 1.0f, 1.0f) : sourceTint);
    }
}

}  // namespace monitor

// The monitor over the pixel: backdrop, panels and titles. Every pixel it draws on gets alpha 1;
// final processing makes the whole frame opaque afterwards.
__device__ inline void drawAudioMonitor(float4& p, int x, int y, const SystemParameters& sys,
                                        const AudioMonitorRecord& m) {
    using namespace monitor;
    const Layout l = layoutFor(x, y, sys.width, sys.height);
    if (m.dimmedBackdrop != 0) {
        p.x *= 0.18f;
        p.y *= 0.18f;
        p.z *= 0.18f;
    } else {
        // Opaque black: the effect's pixels (unwritten when the pipeline was bypassed) play no
        // part, not even through the premultiply.
        p = make_float4(0.0f, 0.0f, 0.0f, 1.0f);
    }
    if (within(l.nx, 0.1f, 0.9f) && (within(l.ny, 0.232f, 0.238f) || within(l.ny, 0.652f, 0.658f)))
        paint(p, rgb(0.18f, 0.18f, 0.18f));
    drawStems(p, l, m);
    if (verticalTitleLit("STEMS", 5, 88 * l.H / 100, l)) paint(p, rgb(0.85f, 0.85f, 0.85f));
    drawChannels(p, l, m);
    drawChannelFrames(p, l);
    const int selected = m.selectedStem;
    const int kind = selected >= 0 && selected < kMonitorMaxStems ? m.stemKinds[selected] : 0;
    if (verticalTitleLit(m.selectedStemName, textLength(m.selectedStemName, kMonitorStemNameBytes),
                         56 * l.H / 100, l))
        paint(p, scaled(stemColour(kind), 1.2f));
    drawRoutes(p, l, m);
    const int slots = m.routeSlots > 0 ? m.routeSlots : m.routeCount;
    if (slots >= 1 && verticalTitleLit("ROUTES", 6, 205 * l.H / 1000, l)) paint(p, rgb(0.85f, 0.85f, 0.85f));
}

// The status banner of a running analysis: a darkened box with the phase, a progress bar and the
// step count. Only its text and bar become opaque.
__device__ inline void drawAnalysisBanner(float4& p, int x, int y, const SystemParameters& sys,
                                          const AudioMonitorRecord& m) {
    using namespace monitor;
    const Layout l = layoutFor(x, y, sys.width, sys.height);
    if (within(l.nx, 0.25f, 0.75f) && within(l.ny, 0.82f, 0.92f)) {
        p.x *= 0.3f;
        p.y *= 0.3f;
        p.z *= 0.3f;
    }
    const int hb = max(3 * l.H / 100, 14);
    const TextCell heading = {8 * hb / 12, hb, hb < 6 ? 1 : hb / 6};
    const bool stems = m.analysisPhase == 1;
    if (textLit(stems ? "EXTRACTING STEMS" : "ANALYZING AUDIO", stems ? 16 : 15, l.W / 2, 165 * l.H / 1000,
                heading, l.x, l.y))
        paint(p, rgb(1.0f, 1.0f, 1.0f));
    if (within(l.nx, 0.27f, 0.73f) && within(l.ny, 0.875f, 0.895f)) {
        const bool inside = l.nx > 0.271f && l.nx < 0.729f && l.ny > 0.877f && l.ny < 0.893f;
        if (!inside) {
            paint(p, rgb(0.4f, 0.4f, 0.4f));
        } else {
            const bool done = m.progressTotal >= 1 &&
                              l.nx <= 0.27f + 0.46f * (float)m.progressDone / (float)m.progressTotal;
            paint(p, done ? rgb(0.3f, 0.8f, 0.4f) : rgb(0.12f, 0.12f, 0.12f));
        }
    }
    if (m.progressTotal >= 1) {
        // One or two digits each; a tens digit beyond 9 is not in the font and stays blank.
        char text[5];
        int length = 0;
        const int values[2] = {m.progressDone, m.progressTotal};
        for (int v = 0; v < 2; ++v) {
            if (v == 1) text[length++] = ' ';
            const int value = values[v];
            if (value >= 10) text[length++] = digitCharacter(value / 10);
            text[length++] = digitCharacter(value % 10);
        }
        const int h = max(3 * hb / 4, 10);
        const TextCell count = {8 * h / 12, h, 8 * h / 60};
        if (textLit(text, length, l.W / 2, 95 * l.H / 1000, count, l.x, l.y)) paint(p, rgb(0.6f, 0.6f, 0.6f));
    }
}

}  // namespace VELMORA_KERNEL_NS
