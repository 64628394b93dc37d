#include "PresetCommands.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "Effect.h"
#include "EffectObject.h"
#include "Host.h"
#include "HostError.h"
#include "Instance.h"
#include "NearestNames.h"
#include "Param.h"
#include "ParamSet.h"
#include "PluginBinary.h"
#include "PluginRecord.h"
#include "ofxParam.h"
#include "params/NumberText.h"
#include "platform/UserFolders.h"

namespace presetcmd {
namespace {

const char kPluginIdentifier[] = "com.xmlframework.velmora";

std::string trimmed(const std::string& text) {
    const char* blanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The name the plug-in stores a typed name under: blanks around it and one ".xml" ending dropped.
std::string withoutXmlEnding(const std::string& typed) {
    const std::string name = trimmed(typed);
    const std::string ending = ".xml";
    if (name.size() > ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
        return name.substr(0, name.size() - ending.size());
    return name;
}

// The preset names a dropdown offers: its options after the placeholder entries.
std::vector<std::string> offered(const vhost::Instance& instance, const std::string& dropdown,
                                 std::size_t skip) {
    std::vector<std::string> options = instance.choiceOptions(dropdown);
    if (options.size() <= skip) return {};
    options.erase(options.begin(), options.begin() + static_cast<std::ptrdiff_t>(skip));
    return options;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + ("'" + name + "'");
    return text.empty() ? "none" : text;
}

std::size_t messageCount(vhost::Instance& instance) {
    return instance.record()->host().records().messages().size();
}

// An error the plug-in reported to the user since `before`, or "".
std::string errorSince(vhost::Instance& instance, std::size_t before) {
    const std::vector<vhost::MessageRecord> messages = instance.record()->host().records().messages();
    for (std::size_t i = before; i < messages.size(); ++i)
        if (messages[i].type == kOfxMessageError || messages[i].type == kOfxMessageFatal)
            return messages[i].text;
    return std::string();
}

void expectOk(OfxStatus status, const std::string& what) {
    if (status != kOfxStatOK && status != kOfxStatReplyDefault)
        throw std::runtime_error(what + " failed (OpenFX status " + std::to_string(status) + ")");
}

double parseNumber(const std::string& text, const std::string& name) {
    double value = 0.0;
    if (numbertext::parseDouble(text, value) != numbertext::ParseStatus::Ok)
        throw std::runtime_error("--set " + name + ": '" + text + "' is not a number");
    return value;
}

std::vector<std::string> splitComponents(const std::string& text) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        pieces.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return pieces;
        start = comma + 1;
    }
}

vhost::ParamValue convertSetting(vhost::Param& param, const std::string& name, const std::string& text) {
    if (param.isText()) return text;
    switch (param.kind()) {
        case vhost::ParamKind::Boolean: {
            std::string lower = text;
            std::transform(lower.begin(), lower.end(), lower.begin(),
                           [](unsigned char c) { return std::tolower(c); });
            if (lower == "true" || lower == "on" || lower == "yes" || lower == "1") return true;
            if (lower == "false" || lower == "off" || lower == "no" || lower == "0") return false;
            throw std::runtime_error("--set " + name + ": '" + text + "' is not true or false");
        }
        case vhost::ParamKind::Choice: {
            char* end = nullptr;
            errno = 0;
            const long index = std::strtol(text.c_str(), &end, 10);
            if (!text.empty() && end == text.c_str() + text.size()) {
                if (errno == ERANGE || index < INT_MIN || index > INT_MAX)
                    throw std::runtime_error("--set " + name + ": option index '" + text +
                                             "' is out of range");
                return static_cast<int>(index);
            }
            return text;  // an option's text
        }
        case vhost::ParamKind::Integer: {
            const double value = parseNumber(text, name);
            if (std::floor(value) != value)
                throw std::runtime_error("--set " + name + ": '" + text + "' is not whole");
            if (value < INT_MIN || value > INT_MAX)
                throw std::runtime_error("--set " + name + ": '" + text + "' is out of range");
            return static_cast<int>(value);
        }
        default:
            break;
    }
    const std::vector<std::string> pieces = splitComponents(text);
    if (param.components() == 1) return parseNumber(text, name);
    std::vector<double> numbers;
    for (const std::string& piece : pieces) numbers.push_back(parseNumber(piece, name));
    return numbers;
}

std::vector<const vhost::Param*> settableParams(const vhost::Instance& instance) {
    std::vector<const vhost::Param*> params;
    for (const auto& param : const_cast<vhost::Instance&>(instance).object().params().params())
        if (param->hasValue()) params.push_back(param.get());
    return params;
}

std::string labelOf(const vhost::Param& param) {
    return param.props().string(kOfxPropLabel);
}

bool hasParam(vhost::Instance& instance, const std::string& name) {
    for (const auto& param : instance.object().params().params())
        if (param->name() == name) return true;
    return false;
}

// A name of the audio controls (script name or label) in an effect that describes only the
// minimal ones, which it does where the analysis tool is not installed.
bool missingAudioControl(vhost::Instance& instance, const std::string& name) {
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool audioName = lower.rfind("audio_", 0) == 0 || lower.rfind("audio ", 0) == 0 ||
                           lower == "stem_model" || lower == "stem model";
    return audioName && hasParam(instance, "download_audio_tool") && !hasParam(instance, "audio_file");
}

const vhost::Param& findParam(vhost::Instance& instance, const std::string& name) {
    const std::vector<const vhost::Param*> params = settableParams(instance);
    for (const vhost::Param* param : params)
        if (param->name() == name) return *param;
    auto sameText = [](const std::string& a, const std::string& b) {
        const std::string x = trimmed(a), y = trimmed(b);
        return x.size() == y.size() &&
               std::equal(x.begin(), x.end(), y.begin(), [](unsigned char p, unsigned char q) {
                   return std::tolower(p) == std::tolower(q);
               });
    };
    // A label, as the host shows it; letter case and blanks around it do not matter.
    std::vector<const vhost::Param*> labelled;
    for (const vhost::Param* param : params)
        if (sameText(labelOf(*param), name)) labelled.push_back(param);
    if (labelled.size() == 1) return *labelled.front();
    if (labelled.size() > 1) {
        std::vector<std::string> names;
        for (const vhost::Param* param : labelled) names.push_back(param->name());
        throw std::runtime_error("--set " + name + ": several parameters have that label (" +
                                 alternatives(names) + "); give its script name");
    }
    if (missingAudioControl(instance, trimmed(name)))
        throw std::runtime_error(
            "--set " + name +
            ": the audio controls exist only where the audio analysis tool is installed, "
            "and it is not installed at " +
            platform::audioToolPath() + " (make install-audio-tool, or orbalt_audio --install, installs it)");
    std::vector<std::string> candidates;
    for (const vhost::Param* param : params) {
        candidates.push_back(param->name());
        if (!labelOf(*param).empty()) candidates.push_back(labelOf(*param));
    }
    const std::vector<std::string> near = nearestNames(trimmed(name), candidates);
    std::string message = "--set " + name + ": no parameter has that script name or label";
    if (!near.empty()) message += "; did you mean " + alternatives(near) + "?";
    throw std::runtime_error(message + " (velmora-render params lists them)");
}

// Numbers outside the parameter's range are clamped by the host, as hosts do; say so.
void warnWhenClamped(const vhost::Param& param, const std::string& typed, const vhost::ParamValue& value,
                     std::ostream* warnings) {
    if (!warnings || !param.isNumeric() || param.kind() == vhost::ParamKind::Boolean ||
        param.kind() == vhost::ParamKind::Choice)
        return;
    std::vector<double> numbers;
    if (const auto* d = std::get_if<double>(&value)) numbers.push_back(*d);
    if (const auto* i = std::get_if<int>(&value)) numbers.push_back(*i);
    if (const auto* list = std::get_if<std::vector<double>>(&value)) numbers = *list;
    const vhost::PropertySet& props = param.props();
    for (std::size_t c = 0; c < numbers.size(); ++c) {
        const int at = static_cast<int>(c);
        const double low = props.number(kOfxParamPropMin, at, -INFINITY);
        const double high = props.number(kOfxParamPropMax, at, INFINITY);
        if (numbers[c] >= low && numbers[c] <= high) continue;
        const double used = numbers[c] < low ? low : high;
        *warnings << "velmora-render: warning: --set " << typed << ": "
                  << numbertext::formatGeneral(numbers[c], 10) << " is "
                  << (numbers[c] < low ? "below the smallest" : "above the largest") << " value of "
                  << param.name() << " (" << labelOf(param) << "), " << numbertext::formatGeneral(used, 10)
                  << "; the host clamps it to that\n";
    }
}

}  // namespace

std::vector<std::string> settableParamNames(const vhost::Instance& instance) {
    std::vector<std::string> names;
    for (const vhost::Param* param : settableParams(instance)) names.push_back(param->name());
    return names;
}

void applySetting(vhost::Instance& instance, const std::string& assignment, std::ostream* warnings) {
    const std::size_t equals = assignment.find('=');
    if (equals == std::string::npos || equals == 0)
        throw std::runtime_error("--set takes name=value, not '" + assignment + "'");
    const std::string typed = assignment.substr(0, equals);
    const std::string text = assignment.substr(equals + 1);
    const std::string name = findParam(instance, typed).name();
    try {
        vhost::Param& param = instance.param(name);
        const vhost::ParamValue value = convertSetting(param, typed, text);
        warnWhenClamped(param, assignment, value, warnings);
        expectOk(instance.setParam(name, value), "--set " + typed);
    } catch (const vhost::HostError& e) {
        throw std::runtime_error("--set " + typed + ": " + e.what());
    }
}

PresetSource applyPreset(vhost::Instance& instance, const std::string& typedName) {
    // The name as typed first, so that a preset named "a.xml" is found; then without the ending.
    const std::string exact = trimmed(typedName);
    const std::string name = withoutXmlEnding(typedName);
    if (name.empty()) throw std::runtime_error("--preset needs a preset name");
    const std::vector<std::string> user = offered(instance, "preset_list", 2);
    const std::vector<std::string> factory = offered(instance, "factory_preset_list", 1);
    std::string dropdown;
    int index = -1;
    PresetSource source = PresetSource::User;
    for (const std::string& candidate : {exact, name}) {
        if (auto it = std::find(user.begin(), user.end(), candidate); it != user.end()) {
            dropdown = "preset_list";
            index = static_cast<int>(it - user.begin()) + 2;
        } else if (auto f = std::find(factory.begin(), factory.end(), candidate); f != factory.end()) {
            dropdown = "factory_preset_list";
            index = static_cast<int>(f - factory.begin()) + 1;
            source = PresetSource::Factory;
        }
        if (index >= 0) break;
    }
    if (index < 0) {
        std::vector<std::string> all = user;
        all.insert(all.end(), factory.begin(), factory.end());
        const std::vector<std::string> near = nearestNames(name, all);
        throw std::runtime_error(
            "no preset named '" + name + "'" +
            (near.empty() ? std::string() : "; did you mean " + alternatives(near) + "?") +
            " User presets: " + joined(user) + "; factory presets: " + joined(factory));
    }
    const std::size_t before = messageCount(instance);
    expectOk(instance.setParam(dropdown, index), "selecting preset '" + name + "'");
    const std::string error = errorSince(instance, before);
    if (!error.empty()) throw std::runtime_error("preset '" + name + "': " + error);
    return source;
}

void savePreset(vhost::Instance& instance, const std::string& typedName) {
    const std::string name = withoutXmlEnding(typedName);
    const std::size_t before = messageCount(instance);
    expectOk(instance.setParam("preset_name", typedName), "typing the preset name");
    expectOk(instance.pressButton("save_preset"), "pressing Save");
    const std::string error = errorSince(instance, before);
    if (!error.empty()) throw std::runtime_error(error);
    // A saved preset is listed and selected in "My Presets".
    const std::vector<std::string> options = instance.choiceOptions("preset_list");
    const vhost::ParamValue selected = instance.value("preset_list");
    const int index = std::holds_alternative<int>(selected) ? std::get<int>(selected)
                      : std::holds_alternative<double>(selected)
                          ? static_cast<int>(std::get<double>(selected))
                          : -1;
    if (index < 2 || index >= static_cast<int>(options.size()) || options[index] != name)
        throw std::runtime_error("the plug-in did not save the preset '" + name + "' (see the plug-in log)");
}

const char* savePresetUsage() {
    return "usage: velmora-render save-preset NAME [--set name=value ...] [--bundle PATH]\n"
           "  Saves the effect's parameters (defaults, changed by each --set) as the user preset NAME,\n"
           "  through the plug-in's \"Save As\" field and \"Save\" button.\n";
}

int runSavePreset(const std::vector<std::string>& args, const std::string& defaultBundle, std::ostream& out,
                  std::ostream& err) {
    std::string name, bundle = defaultBundle;
    std::vector<std::string> settings;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--help" || word == "-h") {
            out << savePresetUsage();
            return 0;
        }
        if (word == "--set" || word == "--bundle") {
            if (i + 1 >= args.size()) {
                err << "velmora-render save-preset: " << word << " needs a value\n" << savePresetUsage();
                return 2;
            }
            if (word == "--set")
                settings.push_back(args[++i]);
            else
                bundle = args[++i];
        } else if (word.rfind("--set=", 0) == 0) {
            settings.push_back(word.substr(6));
        } else if (word.rfind("--bundle=", 0) == 0) {
            bundle = word.substr(9);
        } else if (!word.empty() && word[0] == '-') {
            err << "velmora-render save-preset: unknown option '" << word << "'\n" << savePresetUsage();
            return 2;
        } else if (name.empty()) {
            name = word;
        } else {
            err << "velmora-render save-preset: one preset name only ('" << name << "', then '" << word
                << "')\n";
            return 2;
        }
    }
    if (name.empty()) {
        err << "velmora-render save-preset: no preset name given\n" << savePresetUsage();
        return 2;
    }
    if (bundle.empty()) {
        err << "velmora-render save-preset: no bundle found; give one with --bundle PATH\n";
        return 2;
    }
    try {
        vhost::Host host;
        vhost::PluginBinary binary = host.load(bundle);
        vhost::Effect effect = binary.plugin(kPluginIdentifier).describe();
        vhost::Instance instance = effect.createInstance();
        for (const std::string& setting : settings) applySetting(instance, setting, &err);
        savePreset(instance, name);
        out << "Saved preset '" << withoutXmlEnding(name) << "'\n";
        return 0;
    } catch (const std::exception& e) {
        err << "velmora-render save-preset: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace presetcmd
