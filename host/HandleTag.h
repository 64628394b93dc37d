#pragma once

#include <cstdint>

namespace vhost {

// Every object handed to a plug-in as an opaque OpenFX handle starts with a tag, so that a
// handle of the wrong kind (or a stale or null one) is refused with kOfxStatErrBadHandle.
enum class HandleKind : uint32_t {
    PropertySet = 0x56505253,  // "VPRS"
    ImageEffect = 0x56494658,
    Clip = 0x56434c50,
    ParamSet = 0x56505354,
    Param = 0x5650524d,
    ImageMemory = 0x56494d4d,
    Mutex = 0x564d5458,
    Interact = 0x56494e54,
    DrawContext = 0x56445258,
    Dead = 0xdeadbeef,
};

class HandleTag {
  public:
    explicit HandleTag(HandleKind kind) : kind_(kind) {}
    ~HandleTag() { kind_ = HandleKind::Dead; }
    HandleTag(const HandleTag&) = delete;
    HandleTag& operator=(const HandleTag&) = delete;

    HandleKind handleKind() const { return kind_; }

  private:
    HandleKind kind_;
};

// Recovers the object behind an opaque handle, or null when the handle is not of that kind.
template <typename T, typename Handle>
T* fromHandle(Handle handle) {
    if (handle == nullptr) return nullptr;
    auto* object = reinterpret_cast<T*>(handle);
    if (static_cast<const HandleTag*>(object)->handleKind() != T::kHandleKind) return nullptr;
    return object;
}

template <typename Handle, typename T>
Handle toHandle(T* object) {
    return reinterpret_cast<Handle>(object);
}

}  // namespace vhost
