// The installer's dialog templates are written in code: one control of a template,
// visible, in dialog units.
#pragma once

#include "platform/user/dialogs.h"

inline platform::DialogItemTemplate DialogItem(const char16_t* className, const char16_t* text,
                                               int id, DWORD style, short x, short y, short cx,
                                               short cy) {
    return platform::DialogItem(className, text, static_cast<WORD>(id), WS_VISIBLE | style, x, y,
                                cx, cy);
}
