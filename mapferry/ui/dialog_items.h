// The installer's dialog templates are written in code: one control of a template,
// visible, in dialog units.
#pragma once

#include "platform/user/dialogs.h"

inline platform::DialogItemTemplate DialogItem(const char16_t* className, const char16_t* text,
                                               int id, DWORD style, short x, short y, short cx,
                                               short cy) {
    platform::DialogItemTemplate item;
    item.className = className;
    item.text = text;
    item.id = static_cast<WORD>(id);
    item.style = WS_VISIBLE | style;
    item.x = x;
    item.y = y;
    item.cx = cx;
    item.cy = cy;
    return item;
}
