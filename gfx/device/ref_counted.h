// Reference counting shared by every object of the device.
#pragma once

#include <atomic>

#include "gfx/d3d9.h"

namespace gfx {

class DeviceImpl;

// Implements AddRef/Release for an interface: the object deletes itself when
// the last reference goes.
template <class Interface>
class RefCounted : public Interface {
public:
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

protected:
    ~RefCounted() override = default;

private:
    std::atomic<ULONG> refs_{1};
};

// Answers QueryInterface for a list of accepted IIDs.
inline bool IidIn(REFIID riid, std::initializer_list<const IID*> accepted) {
    for (const IID* id : accepted) {
        if (riid == *id) return true;
    }
    return false;
}

}  // namespace gfx
