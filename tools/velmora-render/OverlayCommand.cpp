// overlay --bundle PATH --out FILE [options]: renders one frame of an effect and draws its
// on-screen overlays over it, as a host's viewer shows them.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Command.h"
#include "DemoSample.h"
#include "Effect.h"
#include "EffectSession.h"
#include "Host.h"
#include "HostError.h"
#include "ImageFiles.h"
#include "Instance.h"
#include "Overlay.h"
#include "OverlayPainter.h"
#include "PluginBinary.h"
#include "PresetCommands.h"
#include "ofxImageEffect.h"
#include "ofxKeySyms.h"
#include "params/NumberText.h"

namespace {

const char kOverlayUsage[] =
    "usage: velmora-render overlay --bundle PATH --out FILE [options]\n"
    "  Renders one frame of the bundle's effect and draws the effect's on-screen overlays over it,\n"
    "  as a host's viewer shows them.\n"
    "  --plate FILE        the image fed to the effect's input (default: a generated picture)\n"
    "  --size WxH          the generated picture's size (default 640x360)\n"
    "  --set name=value    a parameter value (repeatable)\n"
    "  --time T            the frame (default 1)\n"
    "  --host NAME         the host to imitate (overlay drawing is always offered)\n"
    "  --backend cpu|cuda  the render backend\n"
    "  --drag X0,Y0:X1,Y1  drags the pen from one image position to another (pixels, y up) before\n"
    "                      the frame is rendered (repeatable, in order)\n"
    "  --key KEY           presses a key in the viewer: F1 to F4 or 1 to 4 (repeatable)\n";

struct OverlayOptions {
    std::string bundle, out, plate, size, host, backend;
    double time = 1.0;
    std::vector<std::string> settings, drags, keys;
};

bool parseNumber(const std::string& text, double* value) {
    return numbertext::parseLeadingDouble(text, *value) == numbertext::ParseStatus::Ok;
}

// "X,Y" with nothing after the second number.
bool parsePoint(const std::string& text, OfxPointD* point) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos) return false;
    const std::string x = text.substr(0, comma), y = text.substr(comma + 1);
    if (x.find_first_not_of("+-.0123456789eE") != std::string::npos ||
        y.find_first_not_of("+-.0123456789eE") != std::string::npos)
        return false;
    return parseNumber(x, &point->x) && parseNumber(y, &point->y);
}

bool parseDrag(const std::string& text, OfxPointD* from, OfxPointD* to) {
    const size_t colon = text.find(':');
    return colon != std::string::npos && parsePoint(text.substr(0, colon), from) &&
           parsePoint(text.substr(colon + 1), to);
}

// The key symbol of F1 to F4 or the digits 1 to 4; 0 for anything else.
int keySymbol(const std::string& name) {
    static const struct {
        const char* name;
        int symbol;
    } kKeys[] = {{"F1", kOfxKey_F1}, {"F2", kOfxKey_F2}, {"F3", kOfxKey_F3}, {"F4", kOfxKey_F4},
                 {"1", kOfxKey_1},   {"2", kOfxKey_2},   {"3", kOfxKey_3},   {"4", kOfxKey_4}};
    for (const auto& key : kKeys)
        if (name == key.name) return key.symbol;
    return 0;
}

std::string chooseContext(const vhost::Plugin& plugin) {
    const vhost::Effect any = plugin.describe();
    for (const std::string& context : any.supportedContexts())
        if (context == kOfxImageEffectContextGeneral || context == kOfxImageEffectContextFilter)
            return context;
    return any.context();
}

// The clip the picture feeds: "Source" when the effect has one, else its first input.
std::string inputClipName(const vhost::Effect& effect) {
    std::string first;
    for (const auto& clip : effect.clips()) {
        if (clip->name() == kOfxImageEffectOutputClipName) continue;
        if (clip->name() == kOfxImageEffectSimpleSourceClipName) return clip->name();
        if (first.empty()) first = clip->name();
    }
    if (first.empty()) throw std::runtime_error("the effect has no input clip");
    return first;
}

std::string pointText(OfxPointD p) {
    return "(" + numbertext::formatGeneral(p.x, 6) + ", " + numbertext::formatGeneral(p.y, 6) + ")";
}

int run(const OverlayOptions& options, std::ostream& out, std::ostream& err) {
    selectBackend(options.backend);
    vhost::ImagePtr plate;
    if (!options.plate.empty()) {
        plate = imagefiles::readImage(options.plate);
    } else {
        int width = 640, height = 360;
        if (!options.size.empty() && !parseSampleSize(options.size, &width, &height))
            throw std::runtime_error("--size '" + options.size + "': expected WxH, each from 16 to 8192");
        plate = makeDemoSample(width, height).background;
    }

    vhost::HostIdentity identity =
        options.host.empty() ? vhost::HostIdentity() : vhost::HostIdentity::forName(options.host);
    identity.supportsOverlays = true;
    identity.drawSuite = true;
    vhost::Host host(identity);
    vhost::PluginBinary binary(host, options.bundle);
    if (binary.plugins().empty()) throw std::runtime_error("the bundle holds no plug-in");
    const vhost::Plugin& plugin = binary.plugins().front();
    vhost::Effect effect = plugin.describe(chooseContext(plugin));
    vhost::Instance instance = effect.createInstance();
    for (const std::string& setting : options.settings) presetcmd::applySetting(instance, setting);

    const int width = plate->width(), height = plate->height();
    auto output = std::make_shared<vhost::Image>(width, height);
    instance.connectClip(inputClipName(effect), plate);
    instance.connectClip(kOfxImageEffectOutputClipName, output);
    host.gotoTime(options.time);

    if (!vhost::Overlay::available(instance)) {
        err << "velmora-render overlay: " << plugin.identifier()
            << " has no on-screen overlay (its definition declares none, and it has no \"center\" "
               "position)\n";
        return 1;
    }
    vhost::Overlay overlay(instance);
    // A viewer shows the overlay before the user can touch it.
    overlay.draw(options.time);
    for (const std::string& drag : options.drags) {
        OfxPointD from{}, to{};
        parseDrag(drag, &from, &to);
        const bool taken = overlay.penDown(options.time, from) == kOfxStatOK;
        if (taken) overlay.penMotion(options.time, to);
        overlay.penUp(options.time, to);
        out << "drag " << pointText(from) << " to " << pointText(to) << ": "
            << (taken ? "taken by the overlay" : "no overlay there") << "\n";
    }
    for (const std::string& key : options.keys) {
        const bool taken = overlay.keyDown(options.time, keySymbol(key)) == kOfxStatOK;
        overlay.keyUp(options.time, keySymbol(key));
        out << "key " << key << ": " << (taken ? "taken by the overlay" : "left to the host") << "\n";
    }

    const OfxStatus rendered = instance.render(options.time, OfxRectI{0, 0, width, height});
    if (!vhost::succeeded(rendered))
        throw std::runtime_error("the effect failed to render (" + vhost::statusName(rendered) +
                                 "); the plug-in log has the details");
    const OfxStatus drawn = overlay.draw(options.time);
    vhost::OverlayPainter painter(*output);
    const vhost::PaintReport report = painter.paint(overlay.lastDraw());
    imagefiles::writeImage(options.out, *output);

    out << "Wrote " << options.out << " (" << width << "x" << height << "): ";
    if (drawn == kOfxStatOK)
        out << report.primitives << " overlay shapes and " << report.texts
            << " labels drawn over the frame\n";
    else
        out << "the overlay drew nothing (" << vhost::statusName(drawn) << ")\n";
    if (report.textsSkipped > 0)
        out << report.textsSkipped
            << " labels left out: no font found (install fonts-dejavu-core or set VELMORA_OVERLAY_FONT)\n";
    return 0;
}

}  // namespace

int runOverlay(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    OverlayOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--help" || word == "-h") {
            out << kOverlayUsage;
            return 0;
        }
        std::string time;
        std::string* target = word == "--bundle"    ? &options.bundle
                              : word == "--out"     ? &options.out
                              : word == "--plate"   ? &options.plate
                              : word == "--size"    ? &options.size
                              : word == "--host"    ? &options.host
                              : word == "--backend" ? &options.backend
                              : word == "--time"    ? &time
                                                    : nullptr;
        std::vector<std::string>* list = word == "--set"    ? &options.settings
                                         : word == "--drag" ? &options.drags
                                         : word == "--key"  ? &options.keys
                                                            : nullptr;
        if ((!target && !list) || i + 1 >= args.size()) {
            err << "velmora-render overlay: "
                << (target || list ? word + " needs a value" : "unexpected argument '" + word + "'") << "\n"
                << kOverlayUsage;
            return 2;
        }
        const std::string& value = args[++i];
        if (list) {
            OfxPointD from{}, to{};
            if (list == &options.drags && !parseDrag(value, &from, &to)) {
                err << "velmora-render overlay: --drag '" << value << "': expected X0,Y0:X1,Y1\n";
                return 2;
            }
            if (list == &options.keys && keySymbol(value) == 0) {
                err << "velmora-render overlay: --key '" << value << "': expected F1 to F4 or 1 to 4\n";
                return 2;
            }
            list->push_back(value);
        } else if (target == &time) {
            if (!parseNumber(value, &options.time) ||
                value.find_first_not_of("+-.0123456789eE") != std::string::npos) {
                err << "velmora-render overlay: --time '" << value << "': expected a number\n";
                return 2;
            }
        } else {
            *target = value;
        }
    }
    if (options.bundle.empty() || options.out.empty()) {
        err << "velmora-render overlay: --bundle and --out are required\n" << kOverlayUsage;
        return 2;
    }
    try {
        imagefiles::formatOf(options.out);
        return run(options, out, err);
    } catch (const std::exception& e) {
        err << "velmora-render overlay: " << e.what() << "\n";
        return 1;
    }
}
