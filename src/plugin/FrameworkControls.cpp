#include "plugin/FrameworkControls.h"

#include "log/PluginLog.h"
#include "ofxsImageEffect.h"

namespace framework_controls {
namespace {

template <class Descriptor>
Descriptor* labelled(Descriptor* param, const char* label, const char* hint) {
    param->setLabels(label, label, label);
    if (hint) param->setHint(hint);
    return param;
}

OFX::GroupParamDescriptor* group(OFX::ImageEffectDescriptor& desc, const char* name, const char* label,
                                 const char* hint, bool open) {
    OFX::GroupParamDescriptor* param = labelled(desc.defineGroupParam(name), label, hint);
    param->setOpen(open);
    return param;
}

}  // namespace

OFX::ParamDescriptor* defineTransition(OFX::ImageEffectDescriptor& desc) {
    OFX::DoubleParamDescriptor* param =
        labelled(desc.defineDoubleParam("Transition"), "Transition", "Transition progress (controlled by host)");
    param->setDefault(0.0);
    param->setRange(0.0, 1.0);
    param->setDisplayRange(0.0, 1.0);
    param->setDoubleType(OFX::eDoubleTypeScale);
    return param;
}

OFX::GroupParamDescriptor* defineGlobalBlendGroup(OFX::ImageEffectDescriptor& desc) {
    return group(desc, "Global Blend", "Global Blend", "Blend the effect with the original image", true);
}

OFX::GroupParamDescriptor* defineBlendHelpGroup(OFX::ImageEffectDescriptor& desc) {
    return group(desc, "blendHelpGroup", "Blend & Help", "Global blend and documentation", true);
}

OFX::ParamDescriptor* defineBlend(OFX::ImageEffectDescriptor& desc) {
    OFX::DoubleParamDescriptor* param =
        labelled(desc.defineDoubleParam("Blend"), "Blend",
                 "Amount of effect to apply (0.0 = original image, 1.0 = full effect)");
    param->setDefault(1.0);
    param->setRange(0.0, 1.0);
    param->setDisplayRange(0.0, 1.0);
    param->setIncrement(0.01);
    return param;
}

OFX::ParamDescriptor* defineShowOverlays(OFX::ImageEffectDescriptor& desc) {
    OFX::BooleanParamDescriptor* param = labelled(desc.defineBooleanParam("show_overlays"), "Show Overlays",
                                                  "Show or hide interactive overlays in the viewport");
    param->setDefault(true);
    return param;
}

OFX::GroupParamDescriptor* defineAlphaMatteGroup(OFX::ImageEffectDescriptor& desc) {
    return group(desc, "_grp_alpha_matte", "Alpha / Matte", "What is used as alpha, and how it's output.", false);
}

OFX::ParamDescriptor* definePremultiplyOutput(OFX::ImageEffectDescriptor& desc) {
    OFX::BooleanParamDescriptor* param = labelled(desc.defineBooleanParam("_premultiply_output"),
                                                  "Premultiply Output", "ON for merge-node workflows.");
    param->setDefault(false);
    param->setAnimates(false);
    return param;
}

OFX::ParamDescriptor* defineAlphaSource(OFX::ImageEffectDescriptor& desc, bool auxRouting) {
    const char* hint = auxRouting ? "Matte = the Matte input. Color page: also set 'Use Input 2 As' to Matte Input."
                                  : "Matte = the Matte input (Input 2 on the Color page).";
    OFX::ChoiceParamDescriptor* param = labelled(desc.defineChoiceParam("_alpha_source"), "Alpha Source", hint);
    for (const char* option : {"Auto", "Source's Embedded Alpha", "Matte Input's Luminance", "Opaque (Alpha = 1)"})
        param->appendOption(option, "");
    param->setDefault(0);
    param->setAnimates(false);
    return param;
}

OFX::GroupParamDescriptor* defineAuxRoutingGroup(OFX::ImageEffectDescriptor& desc) {
    return group(desc, "_grp_aux_routing", "Resolve Color Page: Input 2 Routing",
                 "Color page has only 1 extra input (Input 2). In Fusion, use the default.", false);
}

OFX::ParamDescriptor* defineAuxInput2Feeds(OFX::ImageEffectDescriptor& desc,
                                           const std::vector<std::string>& auxInputLabels) {
    OFX::ChoiceParamDescriptor* param = labelled(desc.defineChoiceParam("_aux_input2_feeds"), "Use Input 2 As",
                                                 "'None' = all aux inputs off. In Fusion, use the default.");
    param->appendOption("None", "");
    for (const std::string& label : auxInputLabels) param->appendOption(label, "");
    param->setDefault(1);
    return param;
}

void defineResetAccumulation(OFX::ImageEffectDescriptor& desc, OFX::PageParamDescriptor* page) {
    OFX::PushButtonParamDescriptor* button =
        labelled(desc.definePushButtonParam("flush_cache"), "Reset Accumulation",
                 "Reset accumulated state. Useful after scrubbing on hosts that fill the cache with "
                 "non-monotonic frame ranges, which breaks accumulation/feedback effects.");
    if (page) page->addChild(*button);

    OFX::IntParamDescriptor* counter = labelled(desc.defineIntParam("_flush_cache_counter"), " ", nullptr);
    counter->setDefault(0);
    counter->setRange(0, 999999);
    counter->setAnimates(false);
    counter->setIsSecret(true);
    counter->setEnabled(false);
    if (page) page->addChild(*counter);
    VLOG_INFO("✓ Reset Accumulation control added (accumulation buffers present)");
}

}  // namespace framework_controls
