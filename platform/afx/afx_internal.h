// Shared inside the class library: the per-thread temporary wrapper maps and the
// handle wrappers' Attach/Detach.
#pragma once

#include <map>
#include <memory>
#include <utility>

#include "platform/afx/afx.h"

namespace platform::afx {

// Wrappers made by FromHandle for handles no wrapper owns; they never own their
// handle and are dropped by AfxDeleteTempObjects.
struct TempMaps {
    std::map<HGDIOBJ, std::unique_ptr<CGdiObject>> gdi;
    std::map<HDC, std::unique_ptr<CDC>> dc;
    std::map<HWND, std::unique_ptr<CWnd>> wnd;
    ~TempMaps();
    void Clear();
};

TempMaps& ThreadTempMaps();

// The temporary wrapper of type T for `handle` in one of the maps: made on first use,
// and made anew when the one there is of another type (the old one lets go first).
template <class T, class Handle, class Base>
T* TempWrapper(std::map<Handle, std::unique_ptr<Base>>& map, Handle handle, Handle Base::*member) {
    if (handle == nullptr)
        return nullptr;
    auto& slot = map[handle];
    if (auto* existing = dynamic_cast<T*>(slot.get()))
        return existing;
    if (slot)
        (*slot).*member = nullptr;
    auto wrapper = std::make_unique<T>();
    (*wrapper).*member = handle;
    T* result = wrapper.get();
    slot = std::move(wrapper);
    return result;
}

// A wrapper takes a handle only while it holds none.
template <class Handle>
BOOL AttachHandle(Handle& slot, Handle handle) {
    if (handle == nullptr || slot != nullptr)
        return FALSE;
    slot = handle;
    return TRUE;
}

template <class Handle>
Handle DetachHandle(Handle& slot) {
    return std::exchange(slot, nullptr);
}

}  // namespace platform::afx
