#pragma once

// Stand-ins for the host side of overlay objects: a parameter host over plain maps that records
// every write and undo block, and a draw surface that records every call.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "audio/TapRecords.h"
#include "overlays/OverlayDrawSurface.h"
#include "overlays/OverlayEffectHooks.h"
#include "overlays/OverlayParamHost.h"

namespace overlay_test {

using OFX::OverlayPoint;

struct FakeParamHost : OFX::OverlayParamHost {
    std::map<std::string, OverlayPoint> vec2s;
    std::map<std::string, double> doubles;
    std::map<std::string, int> ints;
    std::map<std::string, bool> booleans;
    std::map<std::string, std::map<double, double>> keys;  // keyframes set at a time
    double width = 200.0, height = 100.0;
    bool sizeKnown = true;
    // "begin:<label>", "end", "set <name>" in order.
    std::vector<std::string> log;
    int openBlocks = 0;

    bool getDouble2D(const std::string& name, double, double& x, double& y) override {
        auto it = vec2s.find(name);
        if (it == vec2s.end()) return false;
        x = it->second.x;
        y = it->second.y;
        return true;
    }
    bool setDouble2D(const std::string& name, double x, double y) override {
        if (!vec2s.count(name)) return false;
        vec2s[name] = OverlayPoint{x, y};
        log.push_back("set " + name);
        return true;
    }
    bool getDouble(const std::string& name, double, double& value) override {
        auto it = doubles.find(name);
        if (it == doubles.end()) return false;
        value = it->second;
        return true;
    }
    bool setDouble(const std::string& name, double value) override {
        if (!doubles.count(name)) return false;
        doubles[name] = value;
        log.push_back("set " + name);
        return true;
    }
    bool getScalar(const std::string& name, double time, double& value) override {
        if (getDouble(name, time, value)) return true;
        auto it = ints.find(name);
        if (it == ints.end()) return false;
        value = it->second;
        return true;
    }
    bool getBoolean(const std::string& name, double, bool& value) override {
        auto it = booleans.find(name);
        if (it == booleans.end()) return false;
        value = it->second;
        return true;
    }
    void beginUndoBlock(const std::string& label) override {
        ++openBlocks;
        log.push_back("begin:" + label);
    }
    void endUndoBlock() override {
        --openBlocks;
        log.push_back("end");
    }
    bool getImageSize(double, double& w, double& h) override {
        if (!sizeKnown) return false;
        w = width;
        h = height;
        return true;
    }
    bool setDoubleAtTime(const std::string& name, double time, double value) override {
        if (!doubles.count(name)) return false;
        keys[name][time] = value;
        log.push_back("key " + name);
        return true;
    }
};

struct DrawCall {
    std::string op;  // "colour", "width", "lines", "ellipse", "rectangle", "text"
    std::vector<double> values;
    std::string text;
};

struct RecordingSurface : OFX::OverlayDrawSurface {
    std::vector<DrawCall> calls;

    void setColour(float r, float g, float b, float a) override {
        calls.push_back({"colour", {r, g, b, a}, ""});
    }
    void setLineWidth(float width) override { calls.push_back({"width", {width}, ""}); }
    void drawLines(const std::vector<OverlayPoint>& points) override {
        DrawCall c{"lines", {}, ""};
        for (const OverlayPoint& p : points) c.values.insert(c.values.end(), {p.x, p.y});
        calls.push_back(c);
    }
    void drawEllipse(OverlayPoint a, OverlayPoint b) override {
        calls.push_back({"ellipse", {a.x, a.y, b.x, b.y}, ""});
    }
    void drawRectangle(OverlayPoint a, OverlayPoint b) override {
        calls.push_back({"rectangle", {a.x, a.y, b.x, b.y}, ""});
    }
    void drawText(const std::string& text, OverlayPoint p) override {
        calls.push_back({"text", {p.x, p.y}, text});
    }

    std::vector<DrawCall> of(const std::string& op) const {
        std::vector<DrawCall> out;
        for (const DrawCall& c : calls)
            if (c.op == op) out.push_back(c);
        return out;
    }
    // "colour width lines ellipse ..." in call order.
    std::string sequence() const {
        std::string s;
        for (const DrawCall& c : calls) s += (s.empty() ? "" : " ") + c.op;
        return s;
    }
};

struct FakeEffect : OFX::OverlayEffectHooks {
    bool monitorShown = false;
    bool monitorTakesClicks = false;
    int monitorClicks = 0;
    TapRecords taps;
    bool keepsTaps = true;

    bool audioMonitorShown() const override { return monitorShown; }
    bool handleMonitorClick(double, double, double) override {
        ++monitorClicks;
        return monitorTakesClicks;
    }
    TapRecords* tapRecords() override { return keepsTaps ? &taps : nullptr; }
};

}  // namespace overlay_test
