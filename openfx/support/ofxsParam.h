#pragma once

// Parameters: descriptors used while the effect is described, and instances used by an effect instance.
// Each kind of the C API has one descriptor class and one instance class; the sets own them.

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ofxParam.h"
#include "ofxParametricParam.h"
#include "ofxPixels.h"
#include "ofxsCore.h"
#include "ofxsPropertySet.h"

namespace OFX {

enum ParamTypeEnum {
    eDummyParam,
    eStringParam,
    eIntParam,
    eDoubleParam,
    eDouble2DParam,
    eDouble3DParam,
    eRGBParam,
    eRGBAParam,
    eBooleanParam,
    eChoiceParam,
    eGroupParam,
    ePageParam,
    ePushButtonParam,
    eParametricParam
};

enum DoubleTypeEnum {
    eDoubleTypePlain,
    eDoubleTypeAngle,
    eDoubleTypeScale,
    eDoubleTypeTime,
    eDoubleTypeAbsoluteTime,
    eDoubleTypeX,
    eDoubleTypeXAbsolute,
    eDoubleTypeY,
    eDoubleTypeYAbsolute,
    eDoubleTypeXY,
    eDoubleTypeXYAbsolute
};

enum StringTypeEnum {
    eStringTypeSingleLine,
    eStringTypeMultiLine,
    eStringTypeFilePath,
    eStringTypeDirectoryPath,
    eStringTypeLabel,
    eStringTypeRichTextFormat
};

enum LayoutHintEnum { eLayoutHintNormal = 0, eLayoutHintDivider = 1, eLayoutHintNoNewLine = 2 };

enum KeySearchEnum { eKeySearchBackwards = -1, eKeySearchNear = 0, eKeySearchForwards = 1 };

const char* mapParamTypeEnumToStr(ParamTypeEnum type);
ParamTypeEnum mapStrToParamTypeEnum(const std::string& text);  // unknown: eDummyParam

class GroupParamDescriptor;

// ---------------------------------------------------------------------------------------------------------
// Descriptors

class ParamDescriptor {
  public:
    ParamDescriptor(const std::string& name, ParamTypeEnum type, OfxPropertySetHandle props);
    virtual ~ParamDescriptor() = default;

    const std::string& getName() const { return name_; }
    ParamTypeEnum getType() const { return type_; }
    PropertySet& getPropertySet() { return props_; }
    const PropertySet& getPropertySet() const { return props_; }

    void setLabel(const std::string& label);  // label, short and long label alike
    void setLabels(const std::string& label, const std::string& shortLabel, const std::string& longLabel);
    void setHint(const std::string& hint);
    std::string getHint() const;
    void setScriptName(const std::string& name);
    void setParent(const GroupParamDescriptor& group);
    void setIsSecret(bool secret);
    void setEnabled(bool enabled);
    void setEvaluateOnChange(bool evaluate);
    void setCanUndo(bool canUndo);
    void setLayoutHint(LayoutHintEnum hint, int padWidth = 0);

  private:
    std::string name_;
    ParamTypeEnum type_;
    PropertySet props_;
};

class ValueParamDescriptor : public ParamDescriptor {
  public:
    using ParamDescriptor::ParamDescriptor;
    void setAnimates(bool animates);
    void setIsPersistant(bool persistent);
    void setCacheInvalidation(bool invalidatesAllFrames);  // true: all frames, false: the value's own frame
};

class StringParamDescriptor : public ValueParamDescriptor {
  public:
    StringParamDescriptor(const std::string& name, OfxPropertySetHandle props)
        : ValueParamDescriptor(name, eStringParam, props) {}
    void setDefault(const std::string& value);
    void setStringType(StringTypeEnum type);
    void setFilePathExists(bool mustExist);
};

class IntParamDescriptor : public ValueParamDescriptor {
  public:
    IntParamDescriptor(const std::string& name, OfxPropertySetHandle props)
        : ValueParamDescriptor(name, eIntParam, props) {}
    void setDefault(int value);
    void setRange(int min, int max);
    void setDisplayRange(int min, int max);
};

class DoubleParamDescriptor : public ValueParamDescriptor {
  public:
    DoubleParamDescriptor(const std::string& name, OfxPropertySetHandle props)
        : ValueParamDescriptor(name, eDoubleParam, props) {}
    void setDefault(double value);
    void setRange(double min, double max);
    void setDisplayRange(double min, double max);
    void setIncrement(double increment);
    void setDigits(int digits);
    void setDoubleType(DoubleTypeEnum type);
};

class Double2DParamDescriptor : public ValueParamDescriptor {
  public:
    Double2DParamDescriptor(const std::string& name, OfxPropertySetHandle props)
        : ValueParamDescriptor(name, eDouble2DParam, props) {}
    void setDefault(double x, double y);
    void setRange(double xmin, double ymin, double xmax, double ymax);
    void setDisplayRange(double xmin, double ymin, double xmax, double ymax);
    void setIncrement(double increment);
    void setDigits(int digits);
    void setDoubleType(DoubleTypeEnum type);
    void setDimensionLabels(const std::string& x, const std::string& y);
};

class Double3DParamDescriptor : public ValueParamDescriptor {
  public:
    Double3DParamDescriptor(const std::string& name, OfxPropertySetHandle props)
        : ValueParamDescriptor(name, eDouble3DParam, props) {}
    void setDefault(double x, double y, double z);
    void setRange(double xmin, double ymin, double zmin, double xmax, double ymax, double zmax);
    void setDisplayRange(double xmin, double ymin, double zmin, double xmax, double ymax, double zmax);
    void setIncrement(double increment);
    void setDigits(int digits);
    void setDoubleType(DoubleTypeEnum type);
    void setDimensionLabels(const std::string& x, const std::string& y, const std::string& z);
};

class RGBParamDescriptor : public ValueParamDescriptor {
  public:
    RGBParamDescriptor(const std::string& name, OfxPropertySetHandle props)
        : ValueParamDescriptor(name, eRGBParam, props) {}
    void setDefault(double r, double g, double b);
};

class RGBAParamDescriptor : public ValueParamDescriptor {
  public:
    RGBAParamDescriptor(const std::string& name, OfxPropertySetHandle props)
        : ValueParamDescriptor(name, eRGBAParam, props) {}
    void setDefault(double r, double g, double b, double a);
};

class BooleanParamDescriptor : public ValueParamDescriptor {
  public:
    BooleanParamDescriptor(const std::string& name, OfxPropertySetHandle props)
        : ValueParamDescriptor(name, eBooleanParam, props) {}
    void setDefault(bool value);
};

class ChoiceParamDescriptor : public ValueParamDescriptor {
  public:
    ChoiceParamDescriptor(const std::string& name, OfxPropertySetHandle props)
        : ValueParamDescriptor(name, eChoiceParam, props) {}
    void setDefault(int index);
    // Appends an option. A non-empty label also extends the hint with a line "option: label".
    void appendOption(const std::string& option, const std::string& label = std::string());
    int getNOptions() const;
    void resetOptions();
};

class GroupParamDescriptor : public ParamDescriptor {
  public:
    GroupParamDescriptor(const std::string& name, OfxPropertySetHandle props)
        : ParamDescriptor(name, eGroupParam, props) {}
    void setOpen(bool open);
};

class PageParamDescriptor : public ParamDescriptor {
  public:
    PageParamDescriptor(const std::string& name, OfxPropertySetHandle props)
        : ParamDescriptor(name, ePageParam, props) {}
    void addChild(const ParamDescriptor& child);
    void addSkipRow();
    void addSkipColumn();
    std::vector<std::string> getChildren() const;
};

class PushButtonParamDescriptor : public ParamDescriptor {
  public:
    PushButtonParamDescriptor(const std::string& name, OfxPropertySetHandle props)
        : ParamDescriptor(name, ePushButtonParam, props) {}
};

class ParametricParamDescriptor : public ValueParamDescriptor {
  public:
    ParametricParamDescriptor(const std::string& name, OfxPropertySetHandle props, OfxParamSetHandle paramSet)
        : ValueParamDescriptor(name, eParametricParam, props), paramSet_(paramSet) {}
    void setDimension(int dimension);
    void setRange(double min, double max);
    void setDimensionLabel(const std::string& label, int curve);
    void setUIColour(int curve, const OfxRGBColourD& colour);
    // Default control points, through the host's parametric suite.
    void addControlPoint(int curve, double time, double x, double y, bool addKey);

  private:
    OfxParamSetHandle paramSet_;
};

class ParamSetDescriptor {
  public:
    ParamSetDescriptor() = default;
    virtual ~ParamSetDescriptor();
    ParamSetDescriptor(const ParamSetDescriptor&) = delete;
    ParamSetDescriptor& operator=(const ParamSetDescriptor&) = delete;

    OfxParamSetHandle getParamSetHandle() const { return paramSet_; }

    StringParamDescriptor* defineStringParam(const std::string& name);
    IntParamDescriptor* defineIntParam(const std::string& name);
    DoubleParamDescriptor* defineDoubleParam(const std::string& name);
    Double2DParamDescriptor* defineDouble2DParam(const std::string& name);
    Double3DParamDescriptor* defineDouble3DParam(const std::string& name);
    RGBParamDescriptor* defineRGBParam(const std::string& name);
    RGBAParamDescriptor* defineRGBAParam(const std::string& name);
    BooleanParamDescriptor* defineBooleanParam(const std::string& name);
    ChoiceParamDescriptor* defineChoiceParam(const std::string& name);
    GroupParamDescriptor* defineGroupParam(const std::string& name);
    PageParamDescriptor* definePageParam(const std::string& name);
    PushButtonParamDescriptor* definePushButtonParam(const std::string& name);
    ParametricParamDescriptor* defineParametricParam(const std::string& name);

    // A parameter defined earlier through this set, or null.
    ParamDescriptor* getParamDescriptor(const std::string& name) const;

  protected:
    void setParamSetHandle(OfxParamSetHandle handle) { paramSet_ = handle; }

  private:
    template <class D>
    D* define(const std::string& name, ParamTypeEnum type);

    OfxParamSetHandle paramSet_ = nullptr;
    std::map<std::string, std::unique_ptr<ParamDescriptor>> descriptors_;
};

// ---------------------------------------------------------------------------------------------------------
// Instances

class ParamSet;

class Param {
  public:
    Param(const ParamSet* owner, const std::string& name, ParamTypeEnum type, OfxParamHandle handle);
    virtual ~Param() = default;
    Param(const Param&) = delete;
    Param& operator=(const Param&) = delete;

    const std::string& getName() const { return name_; }
    ParamTypeEnum getType() const { return type_; }
    OfxParamHandle getHandle() const { return handle_; }
    PropertySet& getPropertySet() { return props_; }
    const PropertySet& getPropertySet() const { return props_; }

    std::string getLabel() const;
    void setLabel(const std::string& label);
    std::string getHint() const;
    void setHint(const std::string& hint);
    bool getIsSecret() const;
    void setIsSecret(bool secret);
    bool getIsEnable() const;
    void setEnabled(bool enabled);
    std::string getParentName() const;

  protected:
    const ParamSet* owner_;
    std::string name_;
    ParamTypeEnum type_;
    OfxParamHandle handle_;
    PropertySet props_;
};

class ValueParam : public Param {
  public:
    using Param::Param;
    bool getIsAnimating() const;
    unsigned int getNumKeys() const;
    double getKeyTime(unsigned int index) const;
    // Index of the key at or around a time; -1 when there is none in that direction.
    int getKeyIndex(double time, KeySearchEnum direction) const;
    void deleteKeyAtTime(double time);
    void deleteAllKeys();
};

class StringParam : public ValueParam {
  public:
    StringParam(const ParamSet* owner, const std::string& name, OfxParamHandle handle)
        : ValueParam(owner, name, eStringParam, handle) {}
    void getValue(std::string& value) const;
    std::string getValue() const;
    void getValueAtTime(double time, std::string& value) const;
    void setValue(const std::string& value);
    void setValueAtTime(double time, const std::string& value);
    std::string getDefault() const;
};

class IntParam : public ValueParam {
  public:
    IntParam(const ParamSet* owner, const std::string& name, OfxParamHandle handle)
        : ValueParam(owner, name, eIntParam, handle) {}
    void getValue(int& value) const;
    int getValue() const;
    void getValueAtTime(double time, int& value) const;
    int getValueAtTime(double time) const;
    void setValue(int value);
    void setValueAtTime(double time, int value);
    int getDefault() const;
    void getRange(int& min, int& max) const;
};

class DoubleParam : public ValueParam {
  public:
    DoubleParam(const ParamSet* owner, const std::string& name, OfxParamHandle handle)
        : ValueParam(owner, name, eDoubleParam, handle) {}
    void getValue(double& value) const;
    double getValue() const;
    void getValueAtTime(double time, double& value) const;
    double getValueAtTime(double time) const;
    void setValue(double value);
    void setValueAtTime(double time, double value);
    double getDefault() const;
    void getRange(double& min, double& max) const;
};

class Double2DParam : public ValueParam {
  public:
    Double2DParam(const ParamSet* owner, const std::string& name, OfxParamHandle handle)
        : ValueParam(owner, name, eDouble2DParam, handle) {}
    void getValue(double& x, double& y) const;
    OfxPointD getValue() const;
    void getValueAtTime(double time, double& x, double& y) const;
    OfxPointD getValueAtTime(double time) const;
    void setValue(double x, double y);
    void setValueAtTime(double time, double x, double y);
};

class Double3DParam : public ValueParam {
  public:
    Double3DParam(const ParamSet* owner, const std::string& name, OfxParamHandle handle)
        : ValueParam(owner, name, eDouble3DParam, handle) {}
    void getValue(double& x, double& y, double& z) const;
    void getValueAtTime(double time, double& x, double& y, double& z) const;
    void setValue(double x, double y, double z);
    void setValueAtTime(double time, double x, double y, double z);
};

class RGBParam : public ValueParam {
  public:
    RGBParam(const ParamSet* owner, const std::string& name, OfxParamHandle handle)
        : ValueParam(owner, name, eRGBParam, handle) {}
    void getValue(double& r, double& g, double& b) const;
    void getValueAtTime(double time, double& r, double& g, double& b) const;
    void setValue(double r, double g, double b);
    void setValueAtTime(double time, double r, double g, double b);
};

class RGBAParam : public ValueParam {
  public:
    RGBAParam(const ParamSet* owner, const std::string& name, OfxParamHandle handle)
        : ValueParam(owner, name, eRGBAParam, handle) {}
    void getValue(double& r, double& g, double& b, double& a) const;
    void getValueAtTime(double time, double& r, double& g, double& b, double& a) const;
    void setValue(double r, double g, double b, double a);
    void setValueAtTime(double time, double r, double g, double b, double a);
};

class BooleanParam : public ValueParam {
  public:
    BooleanParam(const ParamSet* owner, const std::string& name, OfxParamHandle handle)
        : ValueParam(owner, name, eBooleanParam, handle) {}
    void getValue(bool& value) const;
    bool getValue() const;
    void getValueAtTime(double time, bool& value) const;
    bool getValueAtTime(double time) const;
    void setValue(bool value);
    void setValueAtTime(double time, bool value);
    bool getDefault() const;
};

class ChoiceParam : public ValueParam {
  public:
    ChoiceParam(const ParamSet* owner, const std::string& name, OfxParamHandle handle)
        : ValueParam(owner, name, eChoiceParam, handle) {}
    void getValue(int& index) const;
    int getValue() const;
    void getValueAtTime(double time, int& index) const;
    int getValueAtTime(double time) const;
    void setValue(int index);
    void setValueAtTime(double time, int index);
    int getDefault() const;

    // The option list may change while the instance lives.
    int getNOptions() const;
    void getOption(int index, std::string& option) const;
    std::string getOption(int index) const;
    void appendOption(const std::string& option, const std::string& label = std::string());
    void resetOptions();
};

class GroupParam : public Param {
  public:
    GroupParam(const ParamSet* owner, const std::string& name, OfxParamHandle handle)
        : Param(owner, name, eGroupParam, handle) {}
    bool getIsOpen() const;
};

class PageParam : public Param {
  public:
    PageParam(const ParamSet* owner, const std::string& name, OfxParamHandle handle)
        : Param(owner, name, ePageParam, handle) {}
};

class PushButtonParam : public Param {
  public:
    PushButtonParam(const ParamSet* owner, const std::string& name, OfxParamHandle handle)
        : Param(owner, name, ePushButtonParam, handle) {}
};

class ParametricParam : public ValueParam {
  public:
    ParametricParam(const ParamSet* owner, const std::string& name, OfxParamHandle handle)
        : ValueParam(owner, name, eParametricParam, handle) {}
    int getNCurves() const;
    double getValue(int curve, double time, double x) const;
    int getNControlPoints(int curve, double time) const;
    std::pair<double, double> getNthControlPoint(int curve, double time, int nth) const;
    void setNthControlPoint(int curve, double time, int nth, double x, double y, bool addKey);
    void addControlPoint(int curve, double time, double x, double y, bool addKey);
    void deleteControlPoint(int curve, int nth);
    void deleteControlPoints(int curve);
};

class ParamSet {
  public:
    ParamSet() = default;
    virtual ~ParamSet();
    ParamSet(const ParamSet&) = delete;
    ParamSet& operator=(const ParamSet&) = delete;

    OfxParamSetHandle getParamSetHandle() const { return paramSet_; }

    bool paramExists(const std::string& name) const;
    ParamTypeEnum getParamType(const std::string& name) const;  // throws TypeRequest for an unknown name

    // Each throws Exception::TypeRequest when the host has no parameter of that name and kind. The set owns
    // the objects; repeated fetches return the same one.
    Param* getParam(const std::string& name);
    StringParam* fetchStringParam(const std::string& name);
    IntParam* fetchIntParam(const std::string& name);
    DoubleParam* fetchDoubleParam(const std::string& name);
    Double2DParam* fetchDouble2DParam(const std::string& name);
    Double3DParam* fetchDouble3DParam(const std::string& name);
    RGBParam* fetchRGBParam(const std::string& name);
    RGBAParam* fetchRGBAParam(const std::string& name);
    BooleanParam* fetchBooleanParam(const std::string& name);
    ChoiceParam* fetchChoiceParam(const std::string& name);
    GroupParam* fetchGroupParam(const std::string& name);
    PageParam* fetchPageParam(const std::string& name);
    PushButtonParam* fetchPushButtonParam(const std::string& name);
    ParametricParam* fetchParametricParam(const std::string& name);

    // Groups the changes that follow into one undo step.
    void beginEditBlock(const std::string& name);
    void endEditBlock();

  protected:
    void setParamSetHandle(OfxParamSetHandle handle) { paramSet_ = handle; }

  private:
    template <class P>
    P* fetch(const std::string& name, ParamTypeEnum type);
    OfxParamHandle lookUp(const std::string& name, OfxPropertySetHandle* props) const;

    OfxParamSetHandle paramSet_ = nullptr;
    std::mutex mutex_;  // guards params_: fetches come from render threads and the main thread
    std::map<std::string, std::unique_ptr<Param>> params_;
};

}  // namespace OFX
