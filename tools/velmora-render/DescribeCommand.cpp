// describe [BUNDLE] [--host NAME] [--context C]: the effect as a host sees it, as JSON.
#include <map>
#include <nlohmann/json.hpp>
#include <ostream>

#include "BundleLocation.h"
#include "Command.h"
#include "Effect.h"
#include "Host.h"
#include "HostError.h"
#include "PluginBinary.h"
#include "ofxGPURender.h"
#include "ofxImageEffect.h"
#include "ofxParam.h"

using nlohmann::json;

namespace {

// A property's values as JSON: a single value, or an array for several.
json values(const vhost::PropertySet& props, const std::string& name) {
    vhost::PropType type;
    if (!props.typeOf(name, &type)) return nullptr;
    json list = json::array();
    switch (type) {
        case vhost::PropType::String:
            for (const auto& s : props.strings(name)) list.push_back(s);
            break;
        case vhost::PropType::Int:
            for (int v : props.ints(name)) list.push_back(v);
            break;
        case vhost::PropType::Double:
            for (double v : props.doubles(name)) list.push_back(v);
            break;
        case vhost::PropType::Pointer:
            return nullptr;
    }
    if (list.size() == 1) return list[0];
    return list;
}

bool flag(const vhost::PropertySet& props, const std::string& name) {
    return props.integer(name, 0, 0) != 0;
}

json describeParam(const vhost::Param& param, const std::map<std::string, std::string>& pages) {
    const vhost::PropertySet& p = param.props();
    json j;
    j["name"] = param.name();
    j["kind"] = vhost::paramKindName(param.kind());
    j["label"] = p.string(kOfxPropLabel);
    j["shortLabel"] = p.string(kOfxPropShortLabel);
    j["longLabel"] = p.string(kOfxPropLongLabel);
    j["hint"] = p.string(kOfxParamPropHint);
    for (const auto& [key, prop] : std::map<std::string, std::string>{{"default", kOfxParamPropDefault},
                                                                      {"min", kOfxParamPropMin},
                                                                      {"max", kOfxParamPropMax},
                                                                      {"displayMin", kOfxParamPropDisplayMin},
                                                                      {"displayMax", kOfxParamPropDisplayMax},
                                                                      {"increment", kOfxParamPropIncrement},
                                                                      {"digits", kOfxParamPropDigits}})
        if (p.has(prop)) j[key] = values(p, prop);
    if (param.kind() == vhost::ParamKind::Boolean && p.has(kOfxParamPropDefault))
        j["default"] = p.integer(kOfxParamPropDefault) != 0;
    if (p.has(kOfxParamPropChoiceOption)) j["options"] = p.strings(kOfxParamPropChoiceOption);
    if (param.kind() == vhost::ParamKind::Parametric) {
        json curves = json::array();
        for (const auto& curve : param.curves()) {
            json points = json::array();
            for (const auto& pt : curve) points.push_back({pt.first, pt.second});
            curves.push_back(points);
        }
        j["curves"] = curves;
    }
    if (param.kind() == vhost::ParamKind::Page) j["children"] = p.strings(kOfxParamPropPageChild);
    if (param.kind() == vhost::ParamKind::Group) j["open"] = flag(p, kOfxParamPropGroupOpen);
    j["parent"] = p.string(kOfxParamPropParent);
    auto page = pages.find(param.name());
    j["page"] = page == pages.end() ? "" : page->second;
    j["secret"] = flag(p, kOfxParamPropSecret);
    j["enabled"] = flag(p, kOfxParamPropEnabled);
    if (p.has(kOfxParamPropAnimates)) j["animates"] = flag(p, kOfxParamPropAnimates);
    return j;
}

json describeEffect(const vhost::Plugin& plugin, const vhost::Effect& effect, const vhost::Host& host) {
    const vhost::PropertySet& p = effect.properties();
    json j;
    j["identifier"] = plugin.identifier();
    j["version"] = std::to_string(plugin.versionMajor()) + "." + std::to_string(plugin.versionMinor());
    j["host"] = host.identity().name;
    j["context"] = effect.context();
    j["label"] = p.string(kOfxPropLabel);
    j["grouping"] = p.string(kOfxImageEffectPluginPropGrouping);
    j["description"] = p.string(kOfxPropPluginDescription);
    j["contexts"] = p.strings(kOfxImageEffectPropSupportedContexts);
    j["pixelDepths"] = p.strings(kOfxImageEffectPropSupportedPixelDepths);
    j["renderThreadSafety"] = p.string(kOfxImageEffectPluginRenderThreadSafety);
    j["supportsTiles"] = flag(p, kOfxImageEffectPropSupportsTiles);
    j["supportsMultiResolution"] = flag(p, kOfxImageEffectPropSupportsMultiResolution);
    j["temporalClipAccess"] = flag(p, kOfxImageEffectPropTemporalClipAccess);
    j["cudaRender"] = p.string(kOfxImageEffectPropCudaRenderSupported);
    j["cudaStream"] = p.string(kOfxImageEffectPropCudaStreamSupported);
    j["openCLRender"] = p.string(kOfxImageEffectPropOpenCLRenderSupported);
    j["metalRender"] = p.string(kOfxImageEffectPropMetalRenderSupported);
    j["overlayInteract"] = p.pointer(kOfxImageEffectPluginPropOverlayInteractV1) != nullptr;

    json clips = json::array();
    for (const auto& clip : effect.clips()) {
        const vhost::PropertySet& c = clip->props();
        clips.push_back({{"name", clip->name()},
                         {"components", c.strings(kOfxImageEffectPropSupportedComponents)},
                         {"optional", flag(c, kOfxImageClipPropOptional)},
                         {"isMask", flag(c, kOfxImageClipPropIsMask)},
                         {"supportsTiles", flag(c, kOfxImageEffectPropSupportsTiles)},
                         {"temporalClipAccess", flag(c, kOfxImageEffectPropTemporalClipAccess)}});
    }
    j["clips"] = clips;

    std::map<std::string, std::string> pages;
    for (const auto& param : effect.params().params())
        if (param->kind() == vhost::ParamKind::Page)
            for (const auto& child : param->props().strings(kOfxParamPropPageChild))
                pages.emplace(child, param->name());
    json params = json::array();
    for (const auto& param : effect.params().params()) params.push_back(describeParam(*param, pages));
    j["parameters"] = params;
    return j;
}

}  // namespace

int runDescribe(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const char* usage =
        "usage: velmora-render describe [BUNDLE] [--host NAME] [--context filter|general|transition]\n";
    std::string bundle, hostName, context;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            out << usage
                << "  Prints the effect as a host of that name sees it, as JSON (default bundle: the "
                   "velmora\n"
                   "  bundle beside the program).\n";
            return 0;
        }
        if (a == "--host" || a == "--context") {
            if (i + 1 >= args.size()) {
                err << "velmora-render describe: " << a << " needs a value\n" << usage;
                return 2;
            }
            (a == "--host" ? hostName : context) = args[++i];
        } else if (a.rfind("--", 0) == 0 || !bundle.empty()) {
            err << "velmora-render describe: unexpected argument '" << a << "'\n" << usage;
            return 2;
        } else {
            bundle = a;
        }
    }
    if (bundle.empty()) bundle = defaultBundlePath();
    if (bundle.empty()) {
        err << "velmora-render describe: no velmora bundle found beside the program; name one\n" << usage;
        return 2;
    }
    try {
        const std::string ofxContext = context.empty() ? "" : vhost::contextFromShortName(context);
        vhost::Host host(vhost::HostIdentity::forName(hostName));
        vhost::PluginBinary binary = host.load(bundle);
        json all = json::array();
        for (const auto& plugin : binary.plugins()) {
            if (!plugin.isImageEffect()) continue;
            all.push_back(describeEffect(plugin, plugin.describe(ofxContext), host));
        }
        if (all.empty()) {
            err << "velmora-render describe: " << bundle << " holds no image-effect plug-in\n";
            return 1;
        }
        // Text that is not UTF-8 (a host name typed in another encoding) is shown replaced.
        out << (all.size() == 1 ? all[0] : all).dump(2, ' ', false, json::error_handler_t::replace) << "\n";
        return 0;
    } catch (const std::exception& e) {
        err << "velmora-render describe: " << e.what() << "\n";
        return 1;
    }
}
