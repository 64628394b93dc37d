#pragma once

#include <map>
#include <string>

class XMLEffectDefinition;
struct ParameterDefinition;
struct GroupDefinition;

namespace OFX {
class ImageEffectDescriptor;
class PageParamDescriptor;
class GroupParamDescriptor;
class ParamDescriptor;
}  // namespace OFX

// Page name to page descriptor, owned by one describe-in-context call.
using PageMap = std::map<std::string, OFX::PageParamDescriptor*>;

// Turns the definition's parameters into host parameters and lays them out in groups and pages.
// Holds no state: every operation works on the definition and descriptor it is given.
class XMLParameterManager {
public:
    // Every parameter in declaration order. False after a failure (parameters made so far stay).
    static bool createParameters(const XMLEffectDefinition& definition, OFX::ImageEffectDescriptor& desc,
                                 PageMap& pages);
    // One parameter by name; throws std::out_of_range for a name the definition lacks.
    static OFX::ParamDescriptor* createParameter(const std::string& name, const XMLEffectDefinition& definition,
                                                 OFX::ImageEffectDescriptor& desc);

    // Single-page layout: groups made and the created parameters re-parented into them.
    static bool organizeUI(const XMLEffectDefinition& definition, OFX::ImageEffectDescriptor& desc, PageMap& pages);
    // Page layout: parameters created page by page, every page padded to whole tabs.
    static bool createAndOrganizeWithPages(const XMLEffectDefinition& definition, OFX::ImageEffectDescriptor& desc,
                                           PageMap& pages);

    // Per-type creators; each returns the new descriptor.
    static OFX::ParamDescriptor* createDoubleParam(const ParameterDefinition& def, OFX::ImageEffectDescriptor& desc);
    static OFX::ParamDescriptor* createIntParam(const ParameterDefinition& def, OFX::ImageEffectDescriptor& desc);
    static OFX::ParamDescriptor* createBooleanParam(const ParameterDefinition& def, OFX::ImageEffectDescriptor& desc);
    static OFX::ParamDescriptor* createChoiceParam(const ParameterDefinition& def, OFX::ImageEffectDescriptor& desc);
    static OFX::ParamDescriptor* createColorParam(const ParameterDefinition& def, OFX::ImageEffectDescriptor& desc);
    static OFX::ParamDescriptor* createColorRGBAParam(const ParameterDefinition& def,
                                                      OFX::ImageEffectDescriptor& desc);
    static OFX::ParamDescriptor* createVec2Param(const ParameterDefinition& def, OFX::ImageEffectDescriptor& desc);
    static OFX::ParamDescriptor* createVec3Param(const ParameterDefinition& def, OFX::ImageEffectDescriptor& desc);
    static OFX::ParamDescriptor* createStringParam(const ParameterDefinition& def, OFX::ImageEffectDescriptor& desc);
    static OFX::ParamDescriptor* createFilePathParam(const ParameterDefinition& def,
                                                     OFX::ImageEffectDescriptor& desc);
    static OFX::ParamDescriptor* createPushButtonParam(const ParameterDefinition& def,
                                                       OFX::ImageEffectDescriptor& desc);
    static OFX::ParamDescriptor* createCurveParam(const ParameterDefinition& def, OFX::ImageEffectDescriptor& desc);

    // Hint with the resolution-dependence remark for numeric types.
    static std::string hintWithResolutionSuffix(const ParameterDefinition& def);
    // Digits shown for an increment: max(1, ceil(-log10(inc))); only meaningful for inc > 0.
    static int digitsForIncrement(double inc);

private:
    // Dispatch on the definition type; null for a type without a creator.
    static OFX::ParamDescriptor* createByType(const ParameterDefinition& def, OFX::ImageEffectDescriptor& desc);
    static OFX::GroupParamDescriptor* defineUIGroup(const GroupDefinition& group, OFX::ImageEffectDescriptor& desc);
};
