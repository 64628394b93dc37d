#pragma once

namespace OFX {
class ImageEffectDescriptor;
class PageParamDescriptor;
}  // namespace OFX
class XMLEffectDefinition;

namespace audio_controls {

// Creates the audio routing controls of a definition with audio slots: the full set when the
// analysis tool is installed, else the status and download controls only. With a page, every
// control is added to it as it is created.
void describe(OFX::ImageEffectDescriptor& desc, const XMLEffectDefinition& definition,
              OFX::PageParamDescriptor* page);

}  // namespace audio_controls
