// Menus: handles to lists of items, their states, and menus loaded from templates.
#include <map>
#include <mutex>

#include "platform/user/dialogs_internal.h"

namespace platform::user {
namespace {

struct Menu {
    bool popup = false;
    std::vector<MenuItem> items;
};

struct Menus {
    std::mutex lock;
    std::map<HMENU, Menu> menus;
    uintptr_t next = 0x30000;
    std::map<std::pair<HINSTANCE, WORD>, MenuTemplate> templates;
};

Menus& TheMenus() {
    static auto* menus = new Menus;
    return *menus;
}

// The flags an item keeps: everything but the way it was addressed and the action.
constexpr UINT kKeptFlags = MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_BITMAP | MF_OWNERDRAW |
                            MF_SEPARATOR | MF_MENUBARBREAK | MF_MENUBREAK | MF_HILITE | MF_DEFAULT |
                            MF_RIGHTJUSTIFY | MFT_RADIOCHECK;

Menu* FindMenuLocked(Menus& all, HMENU menu) {
    auto found = all.menus.find(menu);
    if (found == all.menus.end()) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return nullptr;
    }
    return &found->second;
}

// The item `item` names: by position in this menu, or the first with that command id
// here or in a submenu, depth first.
struct Found {
    Menu* menu = nullptr;
    size_t index = 0;
};

Found FindItemLocked(Menus& all, HMENU handle, UINT item, UINT flags, int depth = 0) {
    Menu* menu = FindMenuLocked(all, handle);
    if (!menu || depth > 32) {
        return {};
    }
    if (flags & MF_BYPOSITION) {
        if (item < menu->items.size()) {
            return {menu, item};
        }
        return {};
    }
    for (size_t i = 0; i < menu->items.size(); ++i) {
        const MenuItem& entry = menu->items[i];
        if (entry.popup) {
            Found inner = FindItemLocked(all, entry.popup, item, flags, depth + 1);
            if (inner.menu) {
                return inner;
            }
        } else if (entry.id == item && !(entry.flags & MF_SEPARATOR)) {
            return {menu, i};
        }
    }
    return {};
}

void DestroyLocked(Menus& all, HMENU handle, int depth = 0) {
    auto found = all.menus.find(handle);
    if (found == all.menus.end() || depth > 32) {
        return;
    }
    std::vector<MenuItem> items = std::move(found->second.items);
    all.menus.erase(found);
    for (const MenuItem& item : items) {
        if (item.popup) {
            DestroyLocked(all, item.popup, depth + 1);
        }
    }
}

HMENU MakeLocked(Menus& all, bool popup) {
    auto handle = reinterpret_cast<HMENU>(all.next++);
    all.menus[handle].popup = popup;
    return handle;
}

// Builds an item from the arguments of AppendMenuW and its kin; false when a submenu
// handle is not a menu.
bool MakeItemLocked(Menus& all, UINT flags, UINT_PTR newItem, LPCWSTR text, MenuItem* item) {
    item->flags = flags & kKeptFlags;
    item->id = 0;
    item->popup = nullptr;
    item->text.clear();
    if (flags & MF_POPUP) {
        auto sub = reinterpret_cast<HMENU>(newItem);
        if (!FindMenuLocked(all, sub)) {
            return false;
        }
        item->popup = sub;
    } else {
        item->id = static_cast<UINT>(newItem);
    }
    if (!(flags & (MF_SEPARATOR | MF_BITMAP | MF_OWNERDRAW)) && text) {
        item->text = text;
    }
    return true;
}

void BuildLocked(Menus& all, HMENU menu, const std::vector<MenuTemplateItem>& items) {
    for (const MenuTemplateItem& entry : items) {
        MenuItem item;
        item.flags = entry.flags & kKeptFlags;
        item.text = entry.text;
        if (!entry.popup.empty()) {
            item.popup = MakeLocked(all, true);
            BuildLocked(all, item.popup, entry.popup);
        } else {
            item.id = entry.id;
        }
        all.menus[menu].items.push_back(item);
    }
}

HINSTANCE ModuleKey(HINSTANCE instance) {
    if (!instance || instance == ProgramInstance() || instance == MainResourceInstance()) {
        return nullptr;
    }
    return instance;
}

}  // namespace

bool MenuItems(HMENU menu, std::vector<MenuItem>* items) {
    Menus& all = TheMenus();
    std::lock_guard<std::mutex> guard(all.lock);
    Menu* found = FindMenuLocked(all, menu);
    if (!found) {
        return false;
    }
    *items = found->items;
    return true;
}

}  // namespace platform::user

using namespace platform;
using namespace platform::user;

HMENU CreateMenu() {
    Menus& all = TheMenus();
    std::lock_guard<std::mutex> guard(all.lock);
    return MakeLocked(all, false);
}

HMENU CreatePopupMenu() {
    Menus& all = TheMenus();
    std::lock_guard<std::mutex> guard(all.lock);
    return MakeLocked(all, true);
}

BOOL DestroyMenu(HMENU menu) {
    Menus& all = TheMenus();
    std::lock_guard<std::mutex> guard(all.lock);
    if (!FindMenuLocked(all, menu)) {
        return FALSE;
    }
    DestroyLocked(all, menu);
    return TRUE;
}

BOOL IsMenu(HMENU menu) {
    Menus& all = TheMenus();
    std::lock_guard<std::mutex> guard(all.lock);
    return all.menus.count(menu) ? TRUE : FALSE;
}

BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR newItem, LPCWSTR text) {
    return InsertMenuW(menu, static_cast<UINT>(-1), flags | MF_BYPOSITION, newItem, text);
}

BOOL InsertMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR newItem, LPCWSTR text) {
    Menus& all = TheMenus();
    std::lock_guard<std::mutex> guard(all.lock);
    Menu* target = FindMenuLocked(all, menu);
    MenuItem item;
    if (!target || !MakeItemLocked(all, flags, newItem, text, &item)) {
        return FALSE;
    }
    if (item.popup == menu) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Found at = FindItemLocked(all, menu, position, flags);
    if (!at.menu) {
        target->items.push_back(item);
    } else {
        at.menu->items.insert(at.menu->items.begin() + static_cast<std::ptrdiff_t>(at.index), item);
    }
    return TRUE;
}

BOOL ModifyMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR newItem, LPCWSTR text) {
    Menus& all = TheMenus();
    std::lock_guard<std::mutex> guard(all.lock);
    Found at = FindItemLocked(all, menu, position, flags);
    MenuItem item;
    if (!at.menu) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    if (!MakeItemLocked(all, flags, newItem, text, &item)) {
        return FALSE;
    }
    at.menu->items[at.index] = item;
    return TRUE;
}

// Takes the item out of its menu; a delete also destroys the submenu it opens.
static BOOL TakeOutItem(HMENU menu, UINT position, UINT flags, bool destroyPopup) {
    Menus& all = TheMenus();
    std::lock_guard<std::mutex> guard(all.lock);
    Found at = FindItemLocked(all, menu, position, flags);
    if (!at.menu) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    HMENU sub = at.menu->items[at.index].popup;
    at.menu->items.erase(at.menu->items.begin() + static_cast<std::ptrdiff_t>(at.index));
    if (sub && destroyPopup) {
        DestroyLocked(all, sub);
    }
    return TRUE;
}

BOOL DeleteMenu(HMENU menu, UINT position, UINT flags) {
    return TakeOutItem(menu, position, flags, true);
}

BOOL RemoveMenu(HMENU menu, UINT position, UINT flags) {
    return TakeOutItem(menu, position, flags, false);
}

DWORD CheckMenuItem(HMENU menu, UINT item, UINT check) {
    Menus& all = TheMenus();
    std::lock_guard<std::mutex> guard(all.lock);
    Found at = FindItemLocked(all, menu, item, check);
    if (!at.menu) {
        return static_cast<DWORD>(-1);
    }
    UINT& flags = at.menu->items[at.index].flags;
    DWORD previous = flags & MF_CHECKED;
    flags = (flags & ~(MF_CHECKED | MFT_RADIOCHECK)) | (check & MF_CHECKED);
    return previous;
}

BOOL EnableMenuItem(HMENU menu, UINT item, UINT enable) {
    Menus& all = TheMenus();
    std::lock_guard<std::mutex> guard(all.lock);
    Found at = FindItemLocked(all, menu, item, enable);
    if (!at.menu) {
        return -1;
    }
    UINT& flags = at.menu->items[at.index].flags;
    BOOL previous = static_cast<BOOL>(flags & (MF_GRAYED | MF_DISABLED));
    flags = (flags & ~(MF_GRAYED | MF_DISABLED)) | (enable & (MF_GRAYED | MF_DISABLED));
    return previous;
}

BOOL CheckMenuRadioItem(HMENU menu, UINT first, UINT last, UINT check, UINT flags) {
    Menus& all = TheMenus();
    std::lock_guard<std::mutex> guard(all.lock);
    if (flags & MF_BYPOSITION) {
        Menu* target = FindMenuLocked(all, menu);
        if (!target || first > last || last >= target->items.size() || check < first ||
            check > last) {
            SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
            return FALSE;
        }
        for (UINT i = first; i <= last; ++i) {
            UINT& itemFlags = target->items[i].flags;
            itemFlags &= ~(MF_CHECKED | MFT_RADIOCHECK);
            if (i == check) {
                itemFlags |= MF_CHECKED | MFT_RADIOCHECK;
            }
        }
        return TRUE;
    }
    // By command: the items of the menu holding `check` whose ids lie in the range.
    Found at = FindItemLocked(all, menu, check, MF_BYCOMMAND);
    if (!at.menu || check < first || check > last) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    for (MenuItem& item : at.menu->items) {
        if (!item.popup && !(item.flags & MF_SEPARATOR) && item.id >= first && item.id <= last) {
            item.flags &= ~(MF_CHECKED | MFT_RADIOCHECK);
            if (item.id == check) {
                item.flags |= MF_CHECKED | MFT_RADIOCHECK;
            }
        }
    }
    return TRUE;
}

HMENU GetSubMenu(HMENU menu, int position) {
    Menus& all = TheMenus();
    std::lock_guard<std::mutex> guard(all.lock);
    Menu* target = FindMenuLocked(all, menu);
    if (!target || position < 0 || static_cast<size_t>(position) >= target->items.size()) {
        return nullptr;
    }
    return target->items[static_cast<size_t>(position)].popup;
}

int GetMenuItemCount(HMENU menu) {
    Menus& all = TheMenus();
    std::lock_guard<std::mutex> guard(all.lock);
    Menu* target = FindMenuLocked(all, menu);
    return target ? static_cast<int>(target->items.size()) : -1;
}

UINT GetMenuItemID(HMENU menu, int position) {
    Menus& all = TheMenus();
    std::lock_guard<std::mutex> guard(all.lock);
    Menu* target = FindMenuLocked(all, menu);
    if (!target || position < 0 || static_cast<size_t>(position) >= target->items.size()) {
        return static_cast<UINT>(-1);
    }
    const MenuItem& item = target->items[static_cast<size_t>(position)];
    return item.popup ? static_cast<UINT>(-1) : item.id;
}

UINT GetMenuState(HMENU menu, UINT item, UINT flags) {
    Menus& all = TheMenus();
    std::lock_guard<std::mutex> guard(all.lock);
    Found at = FindItemLocked(all, menu, item, flags);
    if (!at.menu) {
        return static_cast<UINT>(-1);
    }
    const MenuItem& entry = at.menu->items[at.index];
    UINT state = entry.flags;
    if (entry.popup) {
        auto sub = all.menus.find(entry.popup);
        UINT count = sub == all.menus.end() ? 0 : static_cast<UINT>(sub->second.items.size());
        state = (state & 0xFF) | MF_POPUP | ((count & 0xFF) << 8);
    }
    return state;
}

int GetMenuStringW(HMENU menu, UINT item, LPWSTR text, int maxCount, UINT flags) {
    Menus& all = TheMenus();
    std::lock_guard<std::mutex> guard(all.lock);
    Found at = FindItemLocked(all, menu, item, flags);
    if (!at.menu) {
        return 0;
    }
    const std::u16string& label = at.menu->items[at.index].text;
    if (!text || maxCount <= 0) {
        return static_cast<int>(label.size());
    }
    size_t count = std::min(label.size(), static_cast<size_t>(maxCount - 1));
    std::copy_n(label.begin(), count, text);
    text[count] = 0;
    return static_cast<int>(count);
}

void platform::RegisterMenuTemplate(HINSTANCE instance, WORD id, const MenuTemplate& menuTemplate) {
    HINSTANCE key = ModuleKey(instance);
    Menus& all = TheMenus();
    std::lock_guard<std::mutex> guard(all.lock);
    all.templates[{key, id}] = menuTemplate;
}

HMENU LoadMenuW(HINSTANCE instance, LPCWSTR name) {
    if (!name || !IS_INTRESOURCE(name)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    HINSTANCE key = ModuleKey(instance);
    WORD id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    Menus& all = TheMenus();
    std::lock_guard<std::mutex> guard(all.lock);
    auto found = all.templates.find({key, id});
    if (found == all.templates.end()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    HMENU menu = MakeLocked(all, false);
    BuildLocked(all, menu, found->second.items);
    return menu;
}
