// params [--host NAME] [--json] [--bundle PATH]: every parameter as the plug-in describes it.
// presets [--bundle PATH]: the factory presets in the bundle and the user's presets.
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

#include "BundleLocation.h"
#include "Command.h"
#include "EffectSession.h"
#include "Instance.h"
#include "Param.h"
#include "ParamSet.h"
#include "ofxImageEffect.h"
#include "ofxParam.h"
#include "params/NumberText.h"
#include "platform/UserFolders.h"

using nlohmann::json;

namespace {

const char kParamsUsage[] =
    "usage: velmora-render params [--host NAME] [--json] [--bundle PATH]\n"
    "  Lists every parameter of the effect as the plug-in describes it to a host of that name: script\n"
    "  name (what --set takes, as does the label), label, type, range and default. --json prints them\n"
    "  as a JSON array.\n";

const char kPresetsUsage[] =
    "usage: velmora-render presets [--bundle PATH]\n"
    "  Lists the factory presets in the bundle and the user's own presets, with their folders.\n";

// The words after the command: the options in `valued` take a value, `flags` none.
bool parseOptions(const std::vector<std::string>& args, const std::vector<std::string>& valued,
                  const std::vector<std::string>& flags, std::map<std::string, std::string>* options,
                  std::string* error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (std::find(flags.begin(), flags.end(), word) != flags.end()) {
            (*options)[word] = "yes";
        } else if (std::find(valued.begin(), valued.end(), word) != valued.end()) {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                *error = word + " needs a value";
                return false;
            }
            (*options)[word] = args[++i];
        } else {
            *error = "unexpected argument '" + word + "'";
            return false;
        }
    }
    return true;
}

std::string number(double value) {
    return numbertext::formatGeneral(value, 10);
}

// "0 .. 1000", or "(-2, -2) .. (2, 2)" when the components differ.
std::string rangeText(const vhost::Param& param) {
    const vhost::PropertySet& p = param.props();
    if (param.kind() == vhost::ParamKind::Boolean) return "off, on";
    if (!p.has(kOfxParamPropMin) || !p.has(kOfxParamPropMax)) return "";
    const std::vector<double> low = p.doubles(kOfxParamPropMin), high = p.doubles(kOfxParamPropMax);
    auto listed = [](const std::vector<double>& values) {
        bool same = true;
        for (double v : values) same = same && v == values.front();
        if (same || values.size() == 1) return number(values.empty() ? 0.0 : values.front());
        std::string text = "(";
        for (std::size_t i = 0; i < values.size(); ++i) text += (i ? ", " : "") + number(values[i]);
        return text + ")";
    };
    // Integer ranges are stored as ints.
    auto values = [&](const char* name) {
        std::vector<double> v;
        for (int i = 0; i < p.dimension(name); ++i) v.push_back(p.number(name, i));
        return v;
    };
    return listed(low.empty() ? values(kOfxParamPropMin) : low) + " .. " +
           listed(high.empty() ? values(kOfxParamPropMax) : high);
}

std::string defaultText(const vhost::Param& param) {
    const vhost::PropertySet& p = param.props();
    if (param.kind() == vhost::ParamKind::Boolean) return p.integer(kOfxParamPropDefault) ? "on" : "off";
    if (param.isText()) return "\"" + p.string(kOfxParamPropDefault) + "\"";
    std::string text;
    for (int i = 0; i < p.dimension(kOfxParamPropDefault); ++i)
        text += (i ? ", " : "") + number(p.number(kOfxParamPropDefault, i));
    if (param.kind() == vhost::ParamKind::Choice) {
        const std::vector<std::string> options = p.strings(kOfxParamPropChoiceOption);
        const int index = p.integer(kOfxParamPropDefault);
        if (index >= 0 && index < static_cast<int>(options.size())) text += " (" + options[index] + ")";
    }
    return text;
}

json paramJson(const vhost::Param& param) {
    const vhost::PropertySet& p = param.props();
    json j;
    j["name"] = param.name();
    j["label"] = p.string(kOfxPropLabel);
    j["type"] = vhost::paramKindName(param.kind());
    auto numbers = [&](const char* name) {
        json list = json::array();
        for (int i = 0; i < p.dimension(name); ++i) list.push_back(p.number(name, i));
        return list.size() == 1 ? list[0] : list;
    };
    if (p.has(kOfxParamPropMin)) j["min"] = numbers(kOfxParamPropMin);
    if (p.has(kOfxParamPropMax)) j["max"] = numbers(kOfxParamPropMax);
    if (param.kind() == vhost::ParamKind::Boolean)
        j["default"] = p.integer(kOfxParamPropDefault) != 0;
    else if (param.isText())
        j["default"] = p.string(kOfxParamPropDefault);
    else if (p.has(kOfxParamPropDefault))
        j["default"] = numbers(kOfxParamPropDefault);
    if (p.has(kOfxParamPropChoiceOption)) j["options"] = p.strings(kOfxParamPropChoiceOption);
    j["hint"] = p.string(kOfxParamPropHint);
    return j;
}

std::string padded(const std::string& text, std::size_t width) {
    // Labels may hold multi-byte characters: count what a terminal shows.
    std::size_t shown = 0;
    for (unsigned char c : text) shown += (c & 0xc0) != 0x80;
    return text + std::string(width > shown ? width - shown : 1, ' ');
}

SessionOptions sessionFor(const std::map<std::string, std::string>& options) {
    SessionOptions session;
    session.bundle = options.count("--bundle") ? options.at("--bundle") : defaultBundlePath();
    if (options.count("--host")) session.hostName = options.at("--host");
    session.backend = "cpu";  // nothing is rendered
    return session;
}

// The steps both commands share: --help, their options, the bundle, then `list` over the effect
// loaded in our host. Returns the exit status.
int runListing(const char* command, const char* usage, const std::vector<std::string>& args,
               const std::vector<std::string>& valued, const std::vector<std::string>& flags,
               std::ostream& out, std::ostream& err,
               const std::function<void(EffectSession&, const std::map<std::string, std::string>&,
                                        const SessionOptions&)>& list) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << usage;
        return 0;
    }
    std::map<std::string, std::string> options;
    std::string error;
    if (!parseOptions(args, valued, flags, &options, &error)) {
        err << "velmora-render " << command << ": " << error << "\n" << usage;
        return 2;
    }
    const SessionOptions session = sessionFor(options);
    if (session.bundle.empty()) {
        err << "velmora-render " << command << ": no velmora bundle found; give one with --bundle PATH\n";
        return 2;
    }
    try {
        EffectSession effect(session);
        list(effect, options, session);
        return 0;
    } catch (const std::exception& e) {
        err << "velmora-render " << command << ": " << e.what() << "\n";
        return 1;
    }
}

}  // namespace

int runParams(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return runListing(
        "params", kParamsUsage, args, {"--host", "--bundle"}, {"--json"}, out, err,
        [&](EffectSession& effect, const std::map<std::string, std::string>& options, const SessionOptions&) {
            std::vector<const vhost::Param*> params;
            for (const auto& param : effect.instance().object().params().params())
                if (param->hasValue()) params.push_back(param.get());
            if (options.count("--json")) {
                json all = json::array();
                for (const vhost::Param* param : params) all.push_back(paramJson(*param));
                out << all.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
                return;
            }
            out << padded("SCRIPT NAME", 22) << padded("LABEL", 28) << padded("TYPE", 10)
                << padded("RANGE", 22) << "DEFAULT\n";
            for (const vhost::Param* param : params) {
                out << padded(param->name(), 22) << padded(param->props().string(kOfxPropLabel), 28)
                    << padded(vhost::paramKindName(param->kind()), 10) << padded(rangeText(*param), 22)
                    << defaultText(*param) << "\n";
                if (param->kind() != vhost::ParamKind::Choice) continue;
                const std::vector<std::string> choices = param->props().strings(kOfxParamPropChoiceOption);
                for (std::size_t i = 0; i < choices.size(); ++i)
                    out << std::string(50, ' ') << i << " = " << choices[i] << "\n";
            }
        });
}

int runPresets(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return runListing(
        "presets", kPresetsUsage, args, {"--bundle"}, {}, out, err,
        [&](EffectSession& effect, const std::map<std::string, std::string>&, const SessionOptions& session) {
            vhost::Instance& instance = effect.instance();
            // The dropdowns' entries after their placeholders, as a host shows them.
            auto listed = [&](const char* dropdown, std::size_t skip) {
                std::vector<std::string> names = instance.choiceOptions(dropdown);
                names.erase(names.begin(),
                            names.begin() + static_cast<std::ptrdiff_t>(std::min(skip, names.size())));
                return names;
            };
            const std::vector<std::string> factory = listed("factory_preset_list", 1);
            const std::vector<std::string> user = listed("preset_list", 2);
            out << "Factory presets (" << session.bundle << "/Contents/Resources/presets):\n";
            for (const std::string& name : factory) out << "  " << name << "\n";
            if (factory.empty()) out << "  (none)\n";
            out << "User presets (" << platform::userPresetsFolder(effect.effectLabel()) << "):\n";
            for (const std::string& name : user) out << "  " << name << "\n";
            if (user.empty()) out << "  (none; velmora-render save-preset NAME --set ... makes one)\n";
        });
}
