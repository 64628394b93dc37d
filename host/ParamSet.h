#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "HandleTag.h"
#include "Param.h"
#include "PropertySet.h"

namespace vhost {

// A named group of edits that undo takes back together (paramEditBegin / paramEditEnd).
struct UndoBlock {
    std::string label;
    std::vector<std::string> params;  // in the order of their first change
    std::vector<Param::State> before;
    bool open = true;
};

// The parameters of one descriptor or instance, in definition order.
class ParamSet : public HandleTag {
  public:
    static constexpr HandleKind kHandleKind = HandleKind::ParamSet;

    ParamSet();
    // The instance's set, made from a descriptor's: every parameter at its default.
    void cloneFrom(const ParamSet& descriptor);

    OfxParamSetHandle handle() { return toHandle<OfxParamSetHandle>(this); }
    static ParamSet* from(OfxParamSetHandle handle) { return fromHandle<ParamSet>(handle); }

    PropertySet& props() { return props_; }

    // kOfxStatErrExists for a taken name, kOfxStatErrUnknown for an unknown type.
    OfxStatus define(const char* typeName, const char* name, Param** param);
    Param* find(const std::string& name);
    const Param* find(const std::string& name) const;
    const std::vector<std::unique_ptr<Param>>& params() const { return params_; }

    // Called before a parameter's value changes: records it in the open undo block.
    void beforeChange(Param& param);
    // Called after the plug-in changed a value through the suite.
    void pluginChanged(Param& param);
    std::function<void(Param&)> onPluginChange;

    OfxStatus editBegin(const char* label);
    OfxStatus editEnd();
    const std::vector<UndoBlock>& undoBlocks() const { return undo_; }
    // Restores the values from before the last closed block; false when there is none.
    bool undoLast();

  private:
    PropertySet props_;
    std::vector<std::unique_ptr<Param>> params_;
    std::vector<UndoBlock> undo_;
    int editDepth_ = 0;
    mutable std::recursive_mutex mutex_;
};

}  // namespace vhost
