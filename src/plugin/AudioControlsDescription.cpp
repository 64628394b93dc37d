#include "plugin/AudioControlsDescription.h"

#include <algorithm>
#include <string>

#include "audio/AudioModulation.h"
#include "audio/AudioRouting.h"
#include "audio/AudioToolManager.h"
#include "definition/XMLEffectDefinition.h"
#include "log/PluginLog.h"
#include "ofxsImageEffect.h"

namespace audio_controls {
namespace {

// Creates controls under a parent group, each added to the page (when there is one) right away.
class ControlBuilder {
  public:
    ControlBuilder(OFX::ImageEffectDescriptor& desc, OFX::PageParamDescriptor* page)
        : desc_(desc), page_(page) {}

    OFX::GroupParamDescriptor* group(const std::string& name, const std::string& label, const char* hint,
                                     bool open, const OFX::GroupParamDescriptor* parent) {
        return place(desc_.defineGroupParam(name), label, hint, parent,
                     [&](OFX::GroupParamDescriptor* p) { p->setOpen(open); });
    }

    OFX::BooleanParamDescriptor* boolean(const std::string& name, const std::string& label, const char* hint,
                                         const OFX::GroupParamDescriptor* parent) {
        return place(desc_.defineBooleanParam(name), label, hint, parent,
                     [](OFX::BooleanParamDescriptor* p) { p->setDefault(false); });
    }

    OFX::IntParamDescriptor* integer(const std::string& name, const std::string& label, const char* hint,
                                     int min, int max, int displayMin, int displayMax, int value,
                                     const OFX::GroupParamDescriptor* parent) {
        return place(desc_.defineIntParam(name), label, hint, parent, [&](OFX::IntParamDescriptor* p) {
            p->setRange(min, max);
            p->setDisplayRange(displayMin, displayMax);
            p->setDefault(value);
        });
    }

    OFX::DoubleParamDescriptor* real(const std::string& name, const std::string& label, const char* hint,
                                     double min, double max, double displayMin, double displayMax,
                                     double value, double increment,
                                     const OFX::GroupParamDescriptor* parent) {
        return place(desc_.defineDoubleParam(name), label, hint, parent, [&](OFX::DoubleParamDescriptor* p) {
            p->setRange(min, max);
            p->setDisplayRange(displayMin, displayMax);
            p->setDefault(value);
            p->setIncrement(increment);
        });
    }

    OFX::ChoiceParamDescriptor* choice(const std::string& name, const std::string& label, const char* hint,
                                       const std::vector<std::string>& options, int value,
                                       const OFX::GroupParamDescriptor* parent) {
        return place(desc_.defineChoiceParam(name), label, hint, parent, [&](OFX::ChoiceParamDescriptor* p) {
            for (const std::string& option : options) p->appendOption(option, "");
            p->setDefault(value);
        });
    }

    OFX::StringParamDescriptor* text(const std::string& name, const std::string& label, const char* hint,
                                     OFX::StringTypeEnum type, const std::string& value,
                                     const OFX::GroupParamDescriptor* parent) {
        return place(desc_.defineStringParam(name), label, hint, parent, [&](OFX::StringParamDescriptor* p) {
            p->setStringType(type);
            if (type == OFX::eStringTypeFilePath) p->setFilePathExists(true);
            p->setDefault(value);
        });
    }

    OFX::PushButtonParamDescriptor* button(const std::string& name, const std::string& label,
                                           const char* hint, const OFX::GroupParamDescriptor* parent) {
        return place(desc_.definePushButtonParam(name), label, hint, parent,
                     [](OFX::PushButtonParamDescriptor*) {});
    }

  private:
    template <class Descriptor, class Setup>
    Descriptor* place(Descriptor* param, const std::string& label, const char* hint,
                      const OFX::GroupParamDescriptor* parent, Setup setup) {
        param->setLabels(label, label, label);
        if (hint) param->setHint(hint);
        setup(param);
        if (parent) param->setParent(*parent);
        if (page_) page_->addChild(*param);
        return param;
    }

    OFX::ImageEffectDescriptor& desc_;
    OFX::PageParamDescriptor* page_;
};

void describeSlot(ControlBuilder& build, int slot, const std::vector<std::string>& targets,
                  const OFX::GroupParamDescriptor* reactive) {
    auto* route = build.group(audio::slotControl("_grp_audio_slot", slot), "Route " + std::to_string(slot),
                              nullptr, false, reactive);
    build.boolean(audio::slotControl("audio_mute", slot), "Mute", "Mute route (still visualized).", route);

    auto* assign =
        build.group(audio::slotControl("_grp_audio_assign", slot), "Assignment", nullptr, false, route);
    build.choice(audio::slotControl("audio_stem", slot), "Stem", "Stem source.",
                 audio::placeholderStemOptions(), 0, assign);
    build.choice(audio::slotControl("audio_source", slot), "Source", "Analysis channel.",
                 audio::sourceOptionLabels(), 0, assign);
    const int targetCount = static_cast<int>(targets.size());
    build.choice(audio::slotControl("audio_target", slot), "Target", "Target parameter.", targets,
                 std::max(0, std::min(slot, targetCount) - 1), assign);
    build.choice(audio::slotControl("audio_operator", slot), "Operator", "Add / Multiply / Replace.",
                 {"Add", "Multiply", "Replace"}, 0, assign);

    auto* params =
        build.group(audio::slotControl("_grp_audio_params", slot), "Parameters", nullptr, true, route);
    build.real(audio::slotControl("audio_amplitude", slot), "Range High", "Output value at audio peak.", -10,
               10, -2, 2, 1, 0.01, params);
    build.real(audio::slotControl("audio_offset", slot), "Range Low", "Output value at audio zero.", -10, 10,
               -1, 1, 0, 0.01, params);
    build.real(audio::slotControl("audio_delay", slot), "Delay", "Time offset in seconds.", -5, 5, -0.5, 0.5,
               0, 0.001, params);
    build.real(audio::slotControl("audio_threshold", slot), "Threshold", "Zero values below this.", 0, 0.99,
               0, 0.5, 0, 0.01, params);
    build.real(audio::slotControl("audio_smoothing", slot), "Smoothing", "Smoothing window (seconds).", 0, 5,
               0, 0.5, 0, 0.01, params);
    build.boolean(audio::slotControl("audio_autolevel", slot), "Auto Level", "Normalize to tracked peak.",
                  params);
    build.real(audio::slotControl("audio_autolevel_window", slot), "Level Window",
               "Peak decay time (seconds).", 0.1, 30, 0.5, 10, 4, 0.1, params);

    auto* dynamics =
        build.group(audio::slotControl("_grp_audio_dynamics", slot), "Dynamics", nullptr, false, route);
    build.boolean(audio::slotControl("audio_envelope", slot), "Envelope", "Attack/Decay envelope follower.",
                  dynamics);
    build.real(audio::slotControl("audio_attack", slot), "Attack", "Rise time (seconds).", 0.001, 5, 0.001,
               0.5, 0.01, 0.001, dynamics);
    build.real(audio::slotControl("audio_decay", slot), "Decay", "Fall time (seconds).", 0.001, 5, 0.01, 1,
               0.3, 0.001, dynamics);
    build.boolean(audio::slotControl("audio_spring_enable", slot), "Spring", "Spring dynamics (bounce).",
                  dynamics);
    build.real(audio::slotControl("audio_spring", slot), "Spring Strength", "Spring stiffness.", 1, 2000, 10,
               1500, 850, 1, dynamics);
    build.real(audio::slotControl("audio_damping", slot), "Spring Damping",
               "Spring damping (0 = none, 1 = critical).", 0, 1, 0.05, 0.3, 0.1, 0.01, dynamics);
}

}  // namespace

void describe(OFX::ImageEffectDescriptor& desc, const XMLEffectDefinition& definition,
              OFX::PageParamDescriptor* page) {
    const int slots = definition.getAudioSlotCount();
    if (slots < 1) return;
    const std::vector<std::string>& targets = definition.getAudioTargets();
    const bool installed = audio::audioToolInstalled();
    VLOG_INFO("Creating audio reactive parameters: %d slots, %zu targets", slots, targets.size());
    VLOG_INFO("Orbalt Audio tool: %s", installed ? "installed" : "not installed");

    ControlBuilder build(desc, page);
    auto* reactive =
        build.group("_grp_audio_reactive", "Audio Reactivity", "Audio reactive routing.", false, nullptr);
    if (!installed) {
        build.text("audio_status", "Status", nullptr, OFX::eStringTypeSingleLine,
                   "Orbalt Audio required (free) — restart Resolve after installing", reactive);
        build.button("download_audio_tool", "Download Orbalt Audio", "Download Orbalt Audio tool.", reactive);
        VLOG_INFO("Audio reactive: minimal UI (tool not installed)");
        return;
    }

    build.boolean("audio_show_monitor", "Show Audio Monitor", "Show audio channel + routing visualizer.",
                  reactive);
    build.boolean(
        "audio_show_dimmed_effect", "Show Dimmed Effect",
        "Render the effect dimmed behind the visualizer. Off for heavy effects to keep playback realtime.",
        reactive);
    build.boolean("audio_mute_all", "Mute All", "Mute all routes (visualizer still updates).", reactive);
    build.integer("audio_timeline_offset", "Timeline Offset", "Clip start frame relative to 01:00:00:00.", 0,
                  999999, 0, 100000, 0, reactive);

    auto* analysis = build.group("_grp_audio_analysis", "Analysis", nullptr, false, reactive);
    build.text("audio_file", "Audio File", "Audio file path.", OFX::eStringTypeFilePath, "", analysis);
    build.button("browse_audio_file", "Browse...", "Browse for audio file.", analysis);
    build
        .integer("audio_pulses_per_measure", "Pulses per Measure", "Beats per bar (meter). Animatable.", 1,
                 12, 2, 8, 4, analysis)
        ->setAnimates(true);
    build
        .integer("audio_beat_offset", "Beat Offset", "Rotate downbeat by N beats. Animatable.", -11, 11, -3,
                 3, 0, analysis)
        ->setAnimates(true);
    build.choice("stem_model", "Stem Model", "AI stem separation model.",
                 {"6-stem (htdemucs_6s)", "4-stem fine-tuned (htdemucs_ft)"}, 0, analysis);
    build.button("extract_stems", "Extract Stems", "Run stem separation.", analysis);
    build.button("analyze_audio", "Analyze", "Analyze audio (incremental).", analysis);
    build.text("audio_status", "Status", "Analysis status.", OFX::eStringTypeSingleLine, "", analysis);

    auto* events = build.group("_grp_audio_events", "Tap Tracks", nullptr, false, reactive);
    for (int n = 1; n <= 4; ++n) {
        build
            .real("audio_tap_track_" + std::to_string(n), "Tap F" + std::to_string(n),
                  "Tap F-key during playback (or keyframe the diamond).", 0, 1, 0, 1, 0, 1, events)
            ->setAnimates(true);
    }
    build.real("audio_tap_latency", "Tap Latency", "Click-diamond input: ~0.25s. F-key input: 0.", -1, 1, 0,
               0.5, 0, 0.01, events);

    for (int slot = 1; slot <= slots; ++slot) {
        describeSlot(build, slot, targets, reactive);
        VLOG_INFO("  Created audio routing slot %d", slot);
    }
    VLOG_INFO("✓ Audio reactive parameters created");
}

}  // namespace audio_controls
