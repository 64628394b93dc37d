#pragma once

class XMLEffectDefinition;
struct InputDefinition;

namespace OFX {
class ImageEffectDescriptor;
class ClipDescriptor;
}  // namespace OFX

// Defines the effect's clips from the definition's inputs, and the output clip.
class XMLInputManager {
public:
    XMLInputManager();

    // One clip per declared input in order, then "Output". False when any clip could not be defined
    // (the clips defined so far stay).
    bool createInputs(const XMLEffectDefinition& definition, OFX::ImageEffectDescriptor& desc);
    // Null when the host refuses the clip.
    OFX::ClipDescriptor* createClip(const InputDefinition& input, OFX::ImageEffectDescriptor& desc);

    // The clip's mask flag: explicit is_mask wins; unset means the name mentions mask or matte.
    static bool isMaskInput(const InputDefinition& input);
};
