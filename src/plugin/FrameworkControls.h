#pragma once

#include <string>
#include <vector>

namespace OFX {
class ImageEffectDescriptor;
class PageParamDescriptor;
class GroupParamDescriptor;
class ParamDescriptor;
}  // namespace OFX

// The framework's own controls around the definition's parameters. Each returns its descriptor.
namespace framework_controls {

OFX::ParamDescriptor* defineTransition(OFX::ImageEffectDescriptor& desc);
OFX::GroupParamDescriptor* defineGlobalBlendGroup(OFX::ImageEffectDescriptor& desc);
OFX::GroupParamDescriptor* defineBlendHelpGroup(OFX::ImageEffectDescriptor& desc);
OFX::ParamDescriptor* defineBlend(OFX::ImageEffectDescriptor& desc);
OFX::ParamDescriptor* defineShowOverlays(OFX::ImageEffectDescriptor& desc);
OFX::GroupParamDescriptor* defineAlphaMatteGroup(OFX::ImageEffectDescriptor& desc);
OFX::ParamDescriptor* definePremultiplyOutput(OFX::ImageEffectDescriptor& desc);
OFX::ParamDescriptor* defineAlphaSource(OFX::ImageEffectDescriptor& desc, bool auxRouting);
OFX::GroupParamDescriptor* defineAuxRoutingGroup(OFX::ImageEffectDescriptor& desc);
// Options: "None", then each auxiliary input's name with '_' shown as a blank.
OFX::ParamDescriptor* defineAuxInput2Feeds(OFX::ImageEffectDescriptor& desc,
                                           const std::vector<std::string>& auxInputLabels);
// The Reset Accumulation button and its hidden counter, on the page when one is given.
void defineResetAccumulation(OFX::ImageEffectDescriptor& desc, OFX::PageParamDescriptor* page);

}  // namespace framework_controls
