#include "ParamSet.h"

#include <algorithm>

namespace vhost {

ParamSet::ParamSet() : HandleTag(kHandleKind), props_("ParamSet") {
    props_.declareInt(kOfxPropParamSetNeedsSyncing, 0);
}

void ParamSet::cloneFrom(const ParamSet& descriptor) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    params_.clear();
    for (const auto& p : descriptor.params_) params_.push_back(std::make_unique<Param>(this, *p));
}

OfxStatus ParamSet::define(const char* typeName, const char* name, Param** param) {
    if (typeName == nullptr || name == nullptr || name[0] == '\0') return kOfxStatErrValue;
    ParamKind kind;
    if (!paramKindFromType(typeName, &kind)) return kOfxStatErrUnknown;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (find(name) != nullptr) return kOfxStatErrExists;
    params_.push_back(std::make_unique<Param>(this, name, kind, typeName));
    *param = params_.back().get();
    return kOfxStatOK;
}

Param* ParamSet::find(const std::string& name) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (auto& p : params_)
        if (p->name() == name) return p.get();
    return nullptr;
}

const Param* ParamSet::find(const std::string& name) const {
    return const_cast<ParamSet*>(this)->find(name);
}

void ParamSet::beforeChange(Param& param) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (editDepth_ == 0 || undo_.empty()) return;
    UndoBlock& block = undo_.back();
    if (std::find(block.params.begin(), block.params.end(), param.name()) != block.params.end()) return;
    block.params.push_back(param.name());
    block.before.push_back(param.snapshot());
}

void ParamSet::pluginChanged(Param& param) {
    std::function<void(Param&)> callback;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        callback = onPluginChange;
    }
    if (callback) callback(param);
}

OfxStatus ParamSet::editBegin(const char* label) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    // Nested blocks fold into the outermost one.
    if (editDepth_++ == 0) undo_.push_back(UndoBlock{label ? label : ""});
    return kOfxStatOK;
}

OfxStatus ParamSet::editEnd() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (editDepth_ == 0) return kOfxStatFailed;
    if (--editDepth_ == 0) undo_.back().open = false;
    return kOfxStatOK;
}

bool ParamSet::undoLast() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (undo_.empty() || undo_.back().open) return false;
    UndoBlock block = std::move(undo_.back());
    undo_.pop_back();
    for (size_t i = 0; i < block.params.size(); ++i)
        if (Param* p = find(block.params[i])) p->restore(block.before[i]);
    return true;
}

}  // namespace vhost
