#include "EffectSession.h"

#include <cstdlib>
#include <variant>

#include "HostError.h"
#include "PresetCommands.h"
#include "gpu/GpuRuntime.h"
#include "ofxImageEffect.h"

const char kVelmoraPluginIdentifier[] = "com.xmlframework.velmora";

namespace {

// Velmora when the bundle holds it, else the bundle's one plug-in.
const vhost::Plugin& choosePlugin(const vhost::PluginBinary& binary) {
    for (const vhost::Plugin& plugin : binary.plugins())
        if (plugin.identifier() == kVelmoraPluginIdentifier) return plugin;
    if (binary.plugins().size() == 1) return binary.plugins().front();
    return binary.plugin(kVelmoraPluginIdentifier);  // throws, naming what is missing
}

std::string chooseContext(const vhost::Plugin& plugin) {
    const vhost::Effect any = plugin.describe();
    for (const std::string& context : any.supportedContexts())
        if (context == kOfxImageEffectContextGeneral) return context;
    return any.context();
}

}  // namespace

void selectBackend(const std::string& backend) {
    if (backend.empty()) return;
    if (backend != "cpu" && backend != "cuda")
        throw std::runtime_error("--backend '" + backend + "': expected cpu or cuda");
        // Read by the plug-in once, when it picks its backend.
#ifdef _WIN32
    _putenv_s("VELMORA_BACKEND", backend.c_str());
#else
    ::setenv("VELMORA_BACKEND", backend.c_str(), 1);
#endif
}

// What to tell a user who asked for the GPU where there is none; "" otherwise.
static std::string cpuFallbackNotice(const std::string& backend) {
    const char* forced = std::getenv("VELMORA_BACKEND");
    const std::string asked = !backend.empty() ? "--backend " + backend
                              : forced         ? std::string("VELMORA_BACKEND=") + forced
                                               : std::string();
    if (asked.empty() || (backend.empty() ? std::string(forced) : backend) != "cuda") return std::string();
    std::string status;
    if (cudaDeviceUsable(&status)) return std::string();
    return asked + " asks for the GPU, but CUDA is not usable here (" + status + "); rendering on the CPU";
}

EffectSession::EffectSession(const SessionOptions& options) {
    selectBackend(options.backend);
    if (options.warnings) {
        const std::string notice = cpuFallbackNotice(options.backend);
        if (!notice.empty()) *options.warnings << "velmora-render: " << notice << "\n";
    }
    host_ = std::make_unique<vhost::Host>(
        options.hostName.empty() ? vhost::HostIdentity() : vhost::HostIdentity::forName(options.hostName));
    // Read by the plug-in when it is loaded: how many threads its CPU work may take.
    host_->setCpuCount(options.threads);
    binary_ = std::make_unique<vhost::PluginBinary>(host_->load(options.bundle));
    const vhost::Plugin& plugin = choosePlugin(*binary_);
    effect_ = std::make_unique<vhost::Effect>(plugin.describe(chooseContext(plugin)));
    instance_ = std::make_unique<vhost::Instance>(effect_->createInstance());
    if (!options.preset.empty()) presetcmd::applyPreset(*instance_, options.preset);
    for (const std::string& setting : options.settings)
        presetcmd::applySetting(*instance_, setting, options.warnings);
}

std::string EffectSession::effectLabel() const {
    return effect_->properties().string(kOfxPropLabel);
}

bool EffectSession::hasInput(const char* name) const {
    for (const auto& clip : effect_->clips())
        if (clip->name() == name) return true;
    return false;
}

bool EffectSession::hasMatteInput() {
    return hasInput("Matte");
}

bool EffectSession::hasMaskInput() {
    return hasInput("Mask_Shape");
}

std::optional<std::string> EffectSession::stringValue(const char* name) {
    try {
        const vhost::ParamValue value = instance_->value(name);
        if (const std::string* s = std::get_if<std::string>(&value)) return *s;
    } catch (const vhost::HostError&) {
    }
    return std::nullopt;
}

std::optional<std::string> EffectSession::audioFile() {
    return stringValue("audio_file");
}

std::optional<std::string> EffectSession::audioStatus() {
    const std::optional<std::string> file = audioFile();
    if (!file || file->empty()) return std::nullopt;
    return stringValue("audio_status").value_or("");
}

vhost::ImagePtr EffectSession::render(double time, const FrameImages& images, double scale, bool sequential) {
    const int width = images.plate->width(), height = images.plate->height();
    if (!output_ || output_->width() != width || output_->height() != height)
        output_ = std::make_shared<vhost::Image>(width, height);

    const std::size_t messagesBefore = host_->records().messages().size();
    OfxStatus status = kOfxStatFailed;
    try {
        instance_->connectClip("Source", images.plate);
        if (images.mask) instance_->connectClip("Mask_Shape", images.mask);
        if (images.matte)
            instance_->connectClip("Matte", images.matte);
        else if (hasMatteInput())
            instance_->disconnectClip("Matte");
        instance_->connectClip(kOfxImageEffectOutputClipName, output_);
        host_->gotoTime(time);
        vhost::RenderOptions options;
        options.renderScale = {scale, scale};
        options.sequential = sequential;
        status = instance_->render(time, OfxRectI{0, 0, width, height}, options);
    } catch (const vhost::HostError& e) {
        throw RenderFailure(e.what());
    }
    if (vhost::succeeded(status)) return output_;

    std::string reason = "the effect failed to render (" + vhost::statusName(status) + ")";
    const auto messages = host_->records().messages();
    for (std::size_t i = messagesBefore; i < messages.size(); ++i)
        if (messages[i].type == kOfxMessageError || messages[i].type == kOfxMessageFatal)
            reason += ": " + messages[i].text;
    throw RenderFailure(reason + "; the plug-in log has the details");
}
