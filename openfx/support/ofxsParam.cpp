#include "ofxsParam.h"

#include <type_traits>

#include "ofxsSuites.h"

namespace OFX {
namespace {

const char* const kParamTypeNames[] = {"",
                                       kOfxParamTypeString,
                                       kOfxParamTypeInteger,
                                       kOfxParamTypeDouble,
                                       kOfxParamTypeDouble2D,
                                       kOfxParamTypeDouble3D,
                                       kOfxParamTypeRGB,
                                       kOfxParamTypeRGBA,
                                       kOfxParamTypeBoolean,
                                       kOfxParamTypeChoice,
                                       kOfxParamTypeGroup,
                                       kOfxParamTypePage,
                                       kOfxParamTypePushButton,
                                       kOfxParamTypeParametric};

const char* doubleTypeName(DoubleTypeEnum type) {
    switch (type) {
        case eDoubleTypeAngle:
            return kOfxParamDoubleTypeAngle;
        case eDoubleTypeScale:
            return kOfxParamDoubleTypeScale;
        case eDoubleTypeTime:
            return kOfxParamDoubleTypeTime;
        case eDoubleTypeAbsoluteTime:
            return kOfxParamDoubleTypeAbsoluteTime;
        case eDoubleTypeX:
            return kOfxParamDoubleTypeX;
        case eDoubleTypeXAbsolute:
            return kOfxParamDoubleTypeXAbsolute;
        case eDoubleTypeY:
            return kOfxParamDoubleTypeY;
        case eDoubleTypeYAbsolute:
            return kOfxParamDoubleTypeYAbsolute;
        case eDoubleTypeXY:
            return kOfxParamDoubleTypeXY;
        case eDoubleTypeXYAbsolute:
            return kOfxParamDoubleTypeXYAbsolute;
        case eDoubleTypePlain:
        default:
            return kOfxParamDoubleTypePlain;
    }
}

const char* stringModeName(StringTypeEnum type) {
    switch (type) {
        case eStringTypeMultiLine:
            return kOfxParamStringIsMultiLine;
        case eStringTypeFilePath:
            return kOfxParamStringIsFilePath;
        case eStringTypeDirectoryPath:
            return kOfxParamStringIsDirectoryPath;
        case eStringTypeLabel:
            return kOfxParamStringIsLabel;
        case eStringTypeRichTextFormat:
            return kOfxParamStringIsRichTextFormat;
        case eStringTypeSingleLine:
        default:
            return kOfxParamStringIsSingleLine;
    }
}

void check(OfxStatus status, const std::string& name, const char* what) {
    throwSuiteStatusException(status, std::string(what) + " of parameter '" + name + "'");
}

}  // namespace

const char* mapParamTypeEnumToStr(ParamTypeEnum type) {
    return type > eDummyParam && type <= eParametricParam ? kParamTypeNames[type] : "";
}

ParamTypeEnum mapStrToParamTypeEnum(const std::string& text) {
    for (int i = 1; i <= eParametricParam; ++i) {
        if (text == kParamTypeNames[i]) return static_cast<ParamTypeEnum>(i);
    }
    return eDummyParam;
}

// ---------------------------------------------------------------------------------------------------------
// Descriptors

ParamDescriptor::ParamDescriptor(const std::string& name, ParamTypeEnum type, OfxPropertySetHandle props)
    : name_(name), type_(type), props_(props) {}

void ParamDescriptor::setLabel(const std::string& label) {
    setLabels(label, label, label);
}

void ParamDescriptor::setLabels(const std::string& label, const std::string& shortLabel,
                                const std::string& longLabel) {
    props_.propSetString(kOfxPropLabel, label);
    props_.propSetString(kOfxPropShortLabel, shortLabel, 0, false);
    props_.propSetString(kOfxPropLongLabel, longLabel, 0, false);
}

void ParamDescriptor::setHint(const std::string& hint) {
    props_.propSetString(kOfxParamPropHint, hint, 0, false);
}

std::string ParamDescriptor::getHint() const {
    return props_.propGetString(kOfxParamPropHint, 0, false);
}

void ParamDescriptor::setScriptName(const std::string& name) {
    props_.propSetString(kOfxParamPropScriptName, name, 0, false);
}

void ParamDescriptor::setParent(const GroupParamDescriptor& group) {
    props_.propSetString(kOfxParamPropParent, group.getName());
}

void ParamDescriptor::setIsSecret(bool secret) {
    props_.propSetInt(kOfxParamPropSecret, secret ? 1 : 0);
}

void ParamDescriptor::setEnabled(bool enabled) {
    props_.propSetInt(kOfxParamPropEnabled, enabled ? 1 : 0);
}

void ParamDescriptor::setEvaluateOnChange(bool evaluate) {
    props_.propSetInt(kOfxParamPropEvaluateOnChange, evaluate ? 1 : 0);
}

void ParamDescriptor::setCanUndo(bool canUndo) {
    props_.propSetInt(kOfxParamPropCanUndo, canUndo ? 1 : 0, 0, false);
}

void ParamDescriptor::setLayoutHint(LayoutHintEnum hint, int padWidth) {
    props_.propSetInt(kOfxParamPropLayoutHint, static_cast<int>(hint), 0, false);
    if (padWidth > 0) props_.propSetInt(kOfxParamPropLayoutPadWidth, padWidth, 0, false);
}

void ValueParamDescriptor::setAnimates(bool animates) {
    getPropertySet().propSetInt(kOfxParamPropAnimates, animates ? 1 : 0);
}

void ValueParamDescriptor::setIsPersistant(bool persistent) {
    getPropertySet().propSetInt(kOfxParamPropPersistant, persistent ? 1 : 0);
}

void ValueParamDescriptor::setCacheInvalidation(bool invalidatesAllFrames) {
    getPropertySet().propSetString(kOfxParamPropCacheInvalidation, invalidatesAllFrames
                                                                       ? kOfxParamInvalidateAll
                                                                       : kOfxParamInvalidateValueChange);
}

void StringParamDescriptor::setDefault(const std::string& value) {
    getPropertySet().propSetString(kOfxParamPropDefault, value);
}

void StringParamDescriptor::setStringType(StringTypeEnum type) {
    getPropertySet().propSetString(kOfxParamPropStringMode, stringModeName(type));
}

void StringParamDescriptor::setFilePathExists(bool mustExist) {
    getPropertySet().propSetInt(kOfxParamPropStringFilePathExists, mustExist ? 1 : 0);
}

void IntParamDescriptor::setDefault(int value) {
    getPropertySet().propSetInt(kOfxParamPropDefault, value);
}

void IntParamDescriptor::setRange(int min, int max) {
    getPropertySet().propSetInt(kOfxParamPropMin, min);
    getPropertySet().propSetInt(kOfxParamPropMax, max);
}

void IntParamDescriptor::setDisplayRange(int min, int max) {
    getPropertySet().propSetInt(kOfxParamPropDisplayMin, min);
    getPropertySet().propSetInt(kOfxParamPropDisplayMax, max);
}

void DoubleParamDescriptor::setDefault(double value) {
    getPropertySet().propSetDouble(kOfxParamPropDefault, value);
}

void DoubleParamDescriptor::setRange(double min, double max) {
    getPropertySet().propSetDouble(kOfxParamPropMin, min);
    getPropertySet().propSetDouble(kOfxParamPropMax, max);
}

void DoubleParamDescriptor::setDisplayRange(double min, double max) {
    getPropertySet().propSetDouble(kOfxParamPropDisplayMin, min);
    getPropertySet().propSetDouble(kOfxParamPropDisplayMax, max);
}

void DoubleParamDescriptor::setIncrement(double increment) {
    getPropertySet().propSetDouble(kOfxParamPropIncrement, increment);
}

void DoubleParamDescriptor::setDigits(int digits) {
    getPropertySet().propSetInt(kOfxParamPropDigits, digits);
}

void DoubleParamDescriptor::setDoubleType(DoubleTypeEnum type) {
    getPropertySet().propSetString(kOfxParamPropDoubleType, doubleTypeName(type));
}

namespace {
void setDoubles(PropertySet& props, const char* name, std::initializer_list<double> values) {
    int i = 0;
    for (double v : values) props.propSetDouble(name, v, i++);
}
}  // namespace

void Double2DParamDescriptor::setDefault(double x, double y) {
    setDoubles(getPropertySet(), kOfxParamPropDefault, {x, y});
}

void Double2DParamDescriptor::setRange(double xmin, double ymin, double xmax, double ymax) {
    setDoubles(getPropertySet(), kOfxParamPropMin, {xmin, ymin});
    setDoubles(getPropertySet(), kOfxParamPropMax, {xmax, ymax});
}

void Double2DParamDescriptor::setDisplayRange(double xmin, double ymin, double xmax, double ymax) {
    setDoubles(getPropertySet(), kOfxParamPropDisplayMin, {xmin, ymin});
    setDoubles(getPropertySet(), kOfxParamPropDisplayMax, {xmax, ymax});
}

void Double2DParamDescriptor::setIncrement(double increment) {
    getPropertySet().propSetDouble(kOfxParamPropIncrement, increment);
}

void Double2DParamDescriptor::setDigits(int digits) {
    getPropertySet().propSetInt(kOfxParamPropDigits, digits);
}

void Double2DParamDescriptor::setDoubleType(DoubleTypeEnum type) {
    getPropertySet().propSetString(kOfxParamPropDoubleType, doubleTypeName(type));
}

void Double2DParamDescriptor::setDimensionLabels(const std::string& x, const std::string& y) {
    getPropertySet().propSetString(kOfxParamPropDimensionLabel, x, 0);
    getPropertySet().propSetString(kOfxParamPropDimensionLabel, y, 1);
}

void Double3DParamDescriptor::setDefault(double x, double y, double z) {
    setDoubles(getPropertySet(), kOfxParamPropDefault, {x, y, z});
}

void Double3DParamDescriptor::setRange(double xmin, double ymin, double zmin, double xmax, double ymax,
                                       double zmax) {
    setDoubles(getPropertySet(), kOfxParamPropMin, {xmin, ymin, zmin});
    setDoubles(getPropertySet(), kOfxParamPropMax, {xmax, ymax, zmax});
}

void Double3DParamDescriptor::setDisplayRange(double xmin, double ymin, double zmin, double xmax, double ymax,
                                              double zmax) {
    setDoubles(getPropertySet(), kOfxParamPropDisplayMin, {xmin, ymin, zmin});
    setDoubles(getPropertySet(), kOfxParamPropDisplayMax, {xmax, ymax, zmax});
}

void Double3DParamDescriptor::setIncrement(double increment) {
    getPropertySet().propSetDouble(kOfxParamPropIncrement, increment);
}

void Double3DParamDescriptor::setDigits(int digits) {
    getPropertySet().propSetInt(kOfxParamPropDigits, digits);
}

void Double3DParamDescriptor::setDoubleType(DoubleTypeEnum type) {
    getPropertySet().propSetString(kOfxParamPropDoubleType, doubleTypeName(type));
}

void Double3DParamDescriptor::setDimensionLabels(const std::string& x, const std::string& y,
                                                 const std::string& z) {
    getPropertySet().propSetString(kOfxParamPropDimensionLabel, x, 0);
    getPropertySet().propSetString(kOfxParamPropDimensionLabel, y, 1);
    getPropertySet().propSetString(kOfxParamPropDimensionLabel, z, 2);
}

void RGBParamDescriptor::setDefault(double r, double g, double b) {
    setDoubles(getPropertySet(), kOfxParamPropDefault, {r, g, b});
}

void RGBAParamDescriptor::setDefault(double r, double g, double b, double a) {
    setDoubles(getPropertySet(), kOfxParamPropDefault, {r, g, b, a});
}

void BooleanParamDescriptor::setDefault(bool value) {
    getPropertySet().propSetInt(kOfxParamPropDefault, value ? 1 : 0);
}

void ChoiceParamDescriptor::setDefault(int index) {
    getPropertySet().propSetInt(kOfxParamPropDefault, index);
}

namespace {
// Shared by descriptors and instances: the option goes to the next index; a label adds a hint line.
void appendChoiceOption(PropertySet& props, const std::string& option, const std::string& label) {
    int n =
        props.propExists(kOfxParamPropChoiceOption) ? props.propGetDimension(kOfxParamPropChoiceOption) : 0;
    props.propSetString(kOfxParamPropChoiceOption, option, n);
    if (label.empty()) return;
    std::string hint = props.propGetString(kOfxParamPropHint, 0, false);
    if (!hint.empty()) {
        hint += "\n";
        if (n == 0) hint += "\n";
    }
    hint += option + ": " + label;
    props.propSetString(kOfxParamPropHint, hint, 0, false);
}

void resetChoiceOptions(PropertySet& props) {
    props.propReset(kOfxParamPropChoiceOption);
}
}  // namespace

void ChoiceParamDescriptor::appendOption(const std::string& option, const std::string& label) {
    appendChoiceOption(getPropertySet(), option, label);
}

int ChoiceParamDescriptor::getNOptions() const {
    return getPropertySet().propGetDimension(kOfxParamPropChoiceOption);
}

void ChoiceParamDescriptor::resetOptions() {
    resetChoiceOptions(getPropertySet());
}

void GroupParamDescriptor::setOpen(bool open) {
    getPropertySet().propSetInt(kOfxParamPropGroupOpen, open ? 1 : 0, 0, false);
}

void PageParamDescriptor::addChild(const ParamDescriptor& child) {
    getPropertySet().propAppendString(kOfxParamPropPageChild, child.getName());
}

void PageParamDescriptor::addSkipRow() {
    getPropertySet().propAppendString(kOfxParamPropPageChild, kOfxParamPageSkipRow);
}

void PageParamDescriptor::addSkipColumn() {
    getPropertySet().propAppendString(kOfxParamPropPageChild, kOfxParamPageSkipColumn);
}

std::vector<std::string> PageParamDescriptor::getChildren() const {
    return getPropertySet().propGetStrings(kOfxParamPropPageChild);
}

void ParametricParamDescriptor::setDimension(int dimension) {
    getPropertySet().propSetInt(kOfxParamPropParametricDimension, dimension);
}

void ParametricParamDescriptor::setRange(double min, double max) {
    getPropertySet().propSetDouble(kOfxParamPropParametricRange, min, 0);
    getPropertySet().propSetDouble(kOfxParamPropParametricRange, max, 1);
}

void ParametricParamDescriptor::setDimensionLabel(const std::string& label, int curve) {
    getPropertySet().propSetString(kOfxParamPropDimensionLabel, label, curve);
}

void ParametricParamDescriptor::setUIColour(int curve, const OfxRGBColourD& colour) {
    getPropertySet().propSetDouble(kOfxParamPropParametricUIColour, colour.r, curve * 3);
    getPropertySet().propSetDouble(kOfxParamPropParametricUIColour, colour.g, curve * 3 + 1);
    getPropertySet().propSetDouble(kOfxParamPropParametricUIColour, colour.b, curve * 3 + 2);
}

void ParametricParamDescriptor::addControlPoint(int curve, double time, double x, double y, bool addKey) {
    OfxParamHandle handle = nullptr;
    check(Private::parameterSuite().paramGetHandle(paramSet_, getName().c_str(), &handle, nullptr), getName(),
          "handle");
    check(Private::parametricSuite().parametricParamAddControlPoint(handle, curve, time, x, y, addKey),
          getName(), "control point");
}

ParamSetDescriptor::~ParamSetDescriptor() = default;

template <class D>
D* ParamSetDescriptor::define(const std::string& name, ParamTypeEnum type) {
    auto existing = descriptors_.find(name);
    if (existing != descriptors_.end()) {
        if (existing->second->getType() != type) {
            throw Exception::TypeRequest("parameter '" + name + "' was defined earlier as " +
                                         mapParamTypeEnumToStr(existing->second->getType()));
        }
        return static_cast<D*>(existing->second.get());
    }
    if (!paramSet_)
        throw Exception::Suite(kOfxStatErrBadHandle, "no parameter set to define '" + name + "' in");
    OfxPropertySetHandle props = nullptr;
    check(Private::parameterSuite().paramDefine(paramSet_, mapParamTypeEnumToStr(type), name.c_str(), &props),
          name, "definition");
    if (!props)
        throw Exception::Suite(kOfxStatFailed,
                               "the host returned no properties for parameter '" + name + "'");
    std::unique_ptr<D> descriptor;
    if constexpr (std::is_same_v<D, ParametricParamDescriptor>) {
        descriptor = std::make_unique<D>(name, props, paramSet_);
    } else {
        descriptor = std::make_unique<D>(name, props);
    }
    D* raw = descriptor.get();
    descriptors_[name] = std::move(descriptor);
    return raw;
}

StringParamDescriptor* ParamSetDescriptor::defineStringParam(const std::string& name) {
    return define<StringParamDescriptor>(name, eStringParam);
}
IntParamDescriptor* ParamSetDescriptor::defineIntParam(const std::string& name) {
    return define<IntParamDescriptor>(name, eIntParam);
}
DoubleParamDescriptor* ParamSetDescriptor::defineDoubleParam(const std::string& name) {
    return define<DoubleParamDescriptor>(name, eDoubleParam);
}
Double2DParamDescriptor* ParamSetDescriptor::defineDouble2DParam(const std::string& name) {
    return define<Double2DParamDescriptor>(name, eDouble2DParam);
}
Double3DParamDescriptor* ParamSetDescriptor::defineDouble3DParam(const std::string& name) {
    return define<Double3DParamDescriptor>(name, eDouble3DParam);
}
RGBParamDescriptor* ParamSetDescriptor::defineRGBParam(const std::string& name) {
    return define<RGBParamDescriptor>(name, eRGBParam);
}
RGBAParamDescriptor* ParamSetDescriptor::defineRGBAParam(const std::string& name) {
    return define<RGBAParamDescriptor>(name, eRGBAParam);
}
BooleanParamDescriptor* ParamSetDescriptor::defineBooleanParam(const std::string& name) {
    return define<BooleanParamDescriptor>(name, eBooleanParam);
}
ChoiceParamDescriptor* ParamSetDescriptor::defineChoiceParam(const std::string& name) {
    return define<ChoiceParamDescriptor>(name, eChoiceParam);
}
GroupParamDescriptor* ParamSetDescriptor::defineGroupParam(const std::string& name) {
    return define<GroupParamDescriptor>(name, eGroupParam);
}
PageParamDescriptor* ParamSetDescriptor::definePageParam(const std::string& name) {
    return define<PageParamDescriptor>(name, ePageParam);
}
PushButtonParamDescriptor* ParamSetDescriptor::definePushButtonParam(const std::string& name) {
    return define<PushButtonParamDescriptor>(name, ePushButtonParam);
}
ParametricParamDescriptor* ParamSetDescriptor::defineParametricParam(const std::string& name) {
    return define<ParametricParamDescriptor>(name, eParametricParam);
}

ParamDescriptor* ParamSetDescriptor::getParamDescriptor(const std::string& name) const {
    auto it = descriptors_.find(name);
    return it == descriptors_.end() ? nullptr : it->second.get();
}

// ---------------------------------------------------------------------------------------------------------
// Instances

Param::Param(const ParamSet* owner, const std::string& name, ParamTypeEnum type, OfxParamHandle handle)
    : owner_(owner), name_(name), type_(type), handle_(handle) {
    OfxPropertySetHandle props = nullptr;
    check(Private::parameterSuite().paramGetPropertySet(handle, &props), name, "properties");
    props_.setHandle(props);
}

std::string Param::getLabel() const {
    return props_.propGetString(kOfxPropLabel, 0, false);
}
void Param::setLabel(const std::string& label) {
    props_.propSetString(kOfxPropLabel, label);
    props_.propSetString(kOfxPropShortLabel, label, 0, false);
    props_.propSetString(kOfxPropLongLabel, label, 0, false);
}
std::string Param::getHint() const {
    return props_.propGetString(kOfxParamPropHint, 0, false);
}
void Param::setHint(const std::string& hint) {
    props_.propSetString(kOfxParamPropHint, hint);
}
bool Param::getIsSecret() const {
    return props_.propGetInt(kOfxParamPropSecret, 0, false) != 0;
}
void Param::setIsSecret(bool secret) {
    props_.propSetInt(kOfxParamPropSecret, secret ? 1 : 0);
}
bool Param::getIsEnable() const {
    return props_.propGetInt(kOfxParamPropEnabled, 0, false) != 0;
}
void Param::setEnabled(bool enabled) {
    props_.propSetInt(kOfxParamPropEnabled, enabled ? 1 : 0);
}
std::string Param::getParentName() const {
    return props_.propGetString(kOfxParamPropParent, 0, false);
}

bool ValueParam::getIsAnimating() const {
    return props_.propGetInt(kOfxParamPropIsAnimating, 0, false) != 0;
}

unsigned int ValueParam::getNumKeys() const {
    unsigned int n = 0;
    check(Private::parameterSuite().paramGetNumKeys(handle_, &n), name_, "key count");
    return n;
}

double ValueParam::getKeyTime(unsigned int index) const {
    OfxTime time = 0;
    check(Private::parameterSuite().paramGetKeyTime(handle_, index, &time), name_, "key time");
    return time;
}

int ValueParam::getKeyIndex(double time, KeySearchEnum direction) const {
    int index = -1;
    OfxStatus st =
        Private::parameterSuite().paramGetKeyIndex(handle_, time, static_cast<int>(direction), &index);
    if (st == kOfxStatFailed) return -1;  // no key in that direction
    check(st, name_, "key index");
    return index;
}

void ValueParam::deleteKeyAtTime(double time) {
    check(Private::parameterSuite().paramDeleteKey(handle_, time), name_, "key deletion");
}

void ValueParam::deleteAllKeys() {
    check(Private::parameterSuite().paramDeleteAllKeys(handle_), name_, "key deletion");
}

// Values travel through the suite's variadic calls with the types the C API prescribes for each kind.
#define OFXS_GET(...) check(Private::parameterSuite().paramGetValue(handle_, __VA_ARGS__), name_, "value")
#define OFXS_GET_AT(t, ...) \
    check(Private::parameterSuite().paramGetValueAtTime(handle_, t, __VA_ARGS__), name_, "value")
#define OFXS_SET(...) \
    check(Private::parameterSuite().paramSetValue(handle_, __VA_ARGS__), name_, "value change")
#define OFXS_SET_AT(t, ...) \
    check(Private::parameterSuite().paramSetValueAtTime(handle_, t, __VA_ARGS__), name_, "value change")

void StringParam::getValue(std::string& value) const {
    char* text = nullptr;
    OFXS_GET(&text);
    value = text ? text : "";
}
std::string StringParam::getValue() const {
    std::string v;
    getValue(v);
    return v;
}
void StringParam::getValueAtTime(double time, std::string& value) const {
    char* text = nullptr;
    OFXS_GET_AT(time, &text);
    value = text ? text : "";
}
void StringParam::setValue(const std::string& value) {
    OFXS_SET(value.c_str());
}
void StringParam::setValueAtTime(double time, const std::string& value) {
    OFXS_SET_AT(time, value.c_str());
}
std::string StringParam::getDefault() const {
    return props_.propGetString(kOfxParamPropDefault, 0, false);
}

void IntParam::getValue(int& value) const {
    OFXS_GET(&value);
}
int IntParam::getValue() const {
    int v = 0;
    getValue(v);
    return v;
}
void IntParam::getValueAtTime(double time, int& value) const {
    OFXS_GET_AT(time, &value);
}
int IntParam::getValueAtTime(double time) const {
    int v = 0;
    getValueAtTime(time, v);
    return v;
}
void IntParam::setValue(int value) {
    OFXS_SET(value);
}
void IntParam::setValueAtTime(double time, int value) {
    OFXS_SET_AT(time, value);
}
int IntParam::getDefault() const {
    return props_.propGetInt(kOfxParamPropDefault, 0, false);
}
void IntParam::getRange(int& min, int& max) const {
    min = props_.propGetInt(kOfxParamPropMin, 0, false);
    max = props_.propGetInt(kOfxParamPropMax, 0, false);
}

void DoubleParam::getValue(double& value) const {
    OFXS_GET(&value);
}
double DoubleParam::getValue() const {
    double v = 0;
    getValue(v);
    return v;
}
void DoubleParam::getValueAtTime(double time, double& value) const {
    OFXS_GET_AT(time, &value);
}
double DoubleParam::getValueAtTime(double time) const {
    double v = 0;
    getValueAtTime(time, v);
    return v;
}
void DoubleParam::setValue(double value) {
    OFXS_SET(value);
}
void DoubleParam::setValueAtTime(double time, double value) {
    OFXS_SET_AT(time, value);
}
double DoubleParam::getDefault() const {
    return props_.propGetDouble(kOfxParamPropDefault, 0, false);
}
void DoubleParam::getRange(double& min, double& max) const {
    min = props_.propGetDouble(kOfxParamPropMin, 0, false);
    max = props_.propGetDouble(kOfxParamPropMax, 0, false);
}

void Double2DParam::getValue(double& x, double& y) const {
    OFXS_GET(&x, &y);
}
OfxPointD Double2DParam::getValue() const {
    OfxPointD p{0, 0};
    getValue(p.x, p.y);
    return p;
}
void Double2DParam::getValueAtTime(double time, double& x, double& y) const {
    OFXS_GET_AT(time, &x, &y);
}
OfxPointD Double2DParam::getValueAtTime(double time) const {
    OfxPointD p{0, 0};
    getValueAtTime(time, p.x, p.y);
    return p;
}
void Double2DParam::setValue(double x, double y) {
    OFXS_SET(x, y);
}
void Double2DParam::setValueAtTime(double time, double x, double y) {
    OFXS_SET_AT(time, x, y);
}

void Double3DParam::getValue(double& x, double& y, double& z) const {
    OFXS_GET(&x, &y, &z);
}
void Double3DParam::getValueAtTime(double time, double& x, double& y, double& z) const {
    OFXS_GET_AT(time, &x, &y, &z);
}
void Double3DParam::setValue(double x, double y, double z) {
    OFXS_SET(x, y, z);
}
void Double3DParam::setValueAtTime(double time, double x, double y, double z) {
    OFXS_SET_AT(time, x, y, z);
}

void RGBParam::getValue(double& r, double& g, double& b) const {
    OFXS_GET(&r, &g, &b);
}
void RGBParam::getValueAtTime(double time, double& r, double& g, double& b) const {
    OFXS_GET_AT(time, &r, &g, &b);
}
void RGBParam::setValue(double r, double g, double b) {
    OFXS_SET(r, g, b);
}
void RGBParam::setValueAtTime(double time, double r, double g, double b) {
    OFXS_SET_AT(time, r, g, b);
}

void RGBAParam::getValue(double& r, double& g, double& b, double& a) const {
    OFXS_GET(&r, &g, &b, &a);
}
void RGBAParam::getValueAtTime(double time, double& r, double& g, double& b, double& a) const {
    OFXS_GET_AT(time, &r, &g, &b, &a);
}
void RGBAParam::setValue(double r, double g, double b, double a) {
    OFXS_SET(r, g, b, a);
}
void RGBAParam::setValueAtTime(double time, double r, double g, double b, double a) {
    OFXS_SET_AT(time, r, g, b, a);
}

void BooleanParam::getValue(bool& value) const {
    int v = 0;
    OFXS_GET(&v);
    value = v != 0;
}
bool BooleanParam::getValue() const {
    bool v = false;
    getValue(v);
    return v;
}
void BooleanParam::getValueAtTime(double time, bool& value) const {
    int v = 0;
    OFXS_GET_AT(time, &v);
    value = v != 0;
}
bool BooleanParam::getValueAtTime(double time) const {
    bool v = false;
    getValueAtTime(time, v);
    return v;
}
void BooleanParam::setValue(bool value) {
    OFXS_SET(value ? 1 : 0);
}
void BooleanParam::setValueAtTime(double time, bool value) {
    OFXS_SET_AT(time, value ? 1 : 0);
}
bool BooleanParam::getDefault() const {
    return props_.propGetInt(kOfxParamPropDefault, 0, false) != 0;
}

void ChoiceParam::getValue(int& index) const {
    OFXS_GET(&index);
}
int ChoiceParam::getValue() const {
    int v = 0;
    getValue(v);
    return v;
}
void ChoiceParam::getValueAtTime(double time, int& index) const {
    OFXS_GET_AT(time, &index);
}
int ChoiceParam::getValueAtTime(double time) const {
    int v = 0;
    getValueAtTime(time, v);
    return v;
}
void ChoiceParam::setValue(int index) {
    OFXS_SET(index);
}
void ChoiceParam::setValueAtTime(double time, int index) {
    OFXS_SET_AT(time, index);
}
int ChoiceParam::getDefault() const {
    return props_.propGetInt(kOfxParamPropDefault, 0, false);
}
int ChoiceParam::getNOptions() const {
    return props_.propGetDimension(kOfxParamPropChoiceOption);
}
void ChoiceParam::getOption(int index, std::string& option) const {
    option = props_.propGetString(kOfxParamPropChoiceOption, index);
}
std::string ChoiceParam::getOption(int index) const {
    std::string option;
    getOption(index, option);
    return option;
}
void ChoiceParam::appendOption(const std::string& option, const std::string& label) {
    appendChoiceOption(props_, option, label);
}
void ChoiceParam::resetOptions() {
    resetChoiceOptions(props_);
}

#undef OFXS_GET
#undef OFXS_GET_AT
#undef OFXS_SET
#undef OFXS_SET_AT

bool GroupParam::getIsOpen() const {
    return props_.propGetInt(kOfxParamPropGroupOpen, 0, false) != 0;
}

int ParametricParam::getNCurves() const {
    return props_.propGetInt(kOfxParamPropParametricDimension, 0, false);
}

double ParametricParam::getValue(int curve, double time, double x) const {
    double y = 0;
    check(Private::parametricSuite().parametricParamGetValue(handle_, curve, time, x, &y), name_,
          "curve value");
    return y;
}

int ParametricParam::getNControlPoints(int curve, double time) const {
    int n = 0;
    check(Private::parametricSuite().parametricParamGetNControlPoints(handle_, curve, time, &n), name_,
          "control point count");
    return n;
}

std::pair<double, double> ParametricParam::getNthControlPoint(int curve, double time, int nth) const {
    double x = 0, y = 0;
    check(Private::parametricSuite().parametricParamGetNthControlPoint(handle_, curve, time, nth, &x, &y),
          name_, "control point");
    return {x, y};
}

void ParametricParam::setNthControlPoint(int curve, double time, int nth, double x, double y, bool addKey) {
    check(
        Private::parametricSuite().parametricParamSetNthControlPoint(handle_, curve, time, nth, x, y, addKey),
        name_, "control point");
}

void ParametricParam::addControlPoint(int curve, double time, double x, double y, bool addKey) {
    check(Private::parametricSuite().parametricParamAddControlPoint(handle_, curve, time, x, y, addKey),
          name_, "control point");
}

void ParametricParam::deleteControlPoint(int curve, int nth) {
    check(Private::parametricSuite().parametricParamDeleteControlPoint(handle_, curve, nth), name_,
          "control point");
}

void ParametricParam::deleteControlPoints(int curve) {
    check(Private::parametricSuite().parametricParamDeleteAllControlPoints(handle_, curve), name_,
          "control points");
}

ParamSet::~ParamSet() = default;

OfxParamHandle ParamSet::lookUp(const std::string& name, OfxPropertySetHandle* props) const {
    if (!paramSet_)
        throw Exception::Suite(kOfxStatErrBadHandle, "no parameter set to look '" + name + "' up in");
    OfxParamHandle handle = nullptr;
    OfxStatus st = Private::parameterSuite().paramGetHandle(paramSet_, name.c_str(), &handle, props);
    if (st == kOfxStatErrUnknown || (st == kOfxStatOK && !handle)) {
        throw Exception::TypeRequest("no parameter named '" + name + "'");
    }
    check(st, name, "handle");
    return handle;
}

bool ParamSet::paramExists(const std::string& name) const {
    if (!paramSet_ || !hostSuites().parameter) return false;
    OfxParamHandle handle = nullptr;
    return hostSuites().parameter->paramGetHandle(paramSet_, name.c_str(), &handle, nullptr) == kOfxStatOK &&
           handle;
}

ParamTypeEnum ParamSet::getParamType(const std::string& name) const {
    OfxPropertySetHandle props = nullptr;
    lookUp(name, &props);
    return mapStrToParamTypeEnum(PropertySet(props).propGetString(kOfxParamPropType));
}

template <class P>
P* ParamSet::fetch(const std::string& name, ParamTypeEnum type) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = params_.find(name);
    if (it != params_.end()) {
        if (it->second->getType() != type) {
            throw Exception::TypeRequest("parameter '" + name + "' is a " +
                                         mapParamTypeEnumToStr(it->second->getType()) + ", not a " +
                                         mapParamTypeEnumToStr(type));
        }
        return static_cast<P*>(it->second.get());
    }
    OfxPropertySetHandle props = nullptr;
    OfxParamHandle handle = lookUp(name, &props);
    if (!props) check(Private::parameterSuite().paramGetPropertySet(handle, &props), name, "properties");
    ParamTypeEnum actual = mapStrToParamTypeEnum(PropertySet(props).propGetString(kOfxParamPropType));
    if (actual != type) {
        throw Exception::TypeRequest("parameter '" + name + "' is a " + mapParamTypeEnumToStr(actual) +
                                     ", not a " + mapParamTypeEnumToStr(type));
    }
    auto param = std::make_unique<P>(this, name, handle);
    P* raw = param.get();
    params_[name] = std::move(param);
    return raw;
}

Param* ParamSet::getParam(const std::string& name) {
    switch (getParamType(name)) {
        case eStringParam:
            return fetchStringParam(name);
        case eIntParam:
            return fetchIntParam(name);
        case eDoubleParam:
            return fetchDoubleParam(name);
        case eDouble2DParam:
            return fetchDouble2DParam(name);
        case eDouble3DParam:
            return fetchDouble3DParam(name);
        case eRGBParam:
            return fetchRGBParam(name);
        case eRGBAParam:
            return fetchRGBAParam(name);
        case eBooleanParam:
            return fetchBooleanParam(name);
        case eChoiceParam:
            return fetchChoiceParam(name);
        case eGroupParam:
            return fetchGroupParam(name);
        case ePageParam:
            return fetchPageParam(name);
        case ePushButtonParam:
            return fetchPushButtonParam(name);
        case eParametricParam:
            return fetchParametricParam(name);
        default:
            throw Exception::TypeRequest("parameter '" + name + "' has a kind this plug-in does not know");
    }
}

StringParam* ParamSet::fetchStringParam(const std::string& name) {
    return fetch<StringParam>(name, eStringParam);
}
IntParam* ParamSet::fetchIntParam(const std::string& name) {
    return fetch<IntParam>(name, eIntParam);
}
DoubleParam* ParamSet::fetchDoubleParam(const std::string& name) {
    return fetch<DoubleParam>(name, eDoubleParam);
}
Double2DParam* ParamSet::fetchDouble2DParam(const std::string& name) {
    return fetch<Double2DParam>(name, eDouble2DParam);
}
Double3DParam* ParamSet::fetchDouble3DParam(const std::string& name) {
    return fetch<Double3DParam>(name, eDouble3DParam);
}
RGBParam* ParamSet::fetchRGBParam(const std::string& name) {
    return fetch<RGBParam>(name, eRGBParam);
}
RGBAParam* ParamSet::fetchRGBAParam(const std::string& name) {
    return fetch<RGBAParam>(name, eRGBAParam);
}
BooleanParam* ParamSet::fetchBooleanParam(const std::string& name) {
    return fetch<BooleanParam>(name, eBooleanParam);
}
ChoiceParam* ParamSet::fetchChoiceParam(const std::string& name) {
    return fetch<ChoiceParam>(name, eChoiceParam);
}
GroupParam* ParamSet::fetchGroupParam(const std::string& name) {
    return fetch<GroupParam>(name, eGroupParam);
}
PageParam* ParamSet::fetchPageParam(const std::string& name) {
    return fetch<PageParam>(name, ePageParam);
}
PushButtonParam* ParamSet::fetchPushButtonParam(const std::string& name) {
    return fetch<PushButtonParam>(name, ePushButtonParam);
}
ParametricParam* ParamSet::fetchParametricParam(const std::string& name) {
    return fetch<ParametricParam>(name, eParametricParam);
}

void ParamSet::beginEditBlock(const std::string& name) {
    check(Private::parameterSuite().paramEditBegin(paramSet_, name.c_str()), name, "edit block");
}

void ParamSet::endEditBlock() {
    check(Private::parameterSuite().paramEditEnd(paramSet_), "", "edit block");
}

}  // namespace OFX
