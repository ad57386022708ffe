#include "pathlume/shell/dialog_parts.h"

#include "pathlume/foundation/registry_helpers.h"

#include "platform/gdi/gdi.h"
#include "platform/user/controls.h"

platform::DialogTemplate FullScreenDialogTemplate(short cx, short cy) {
    platform::DialogTemplate box;
    box.style = WS_POPUP | DS_SETFONT;
    box.cx = cx;
    box.cy = cy;
    return box;
}

platform::DialogItemTemplate PictureItem(WORD id, short x, short y, short cx, short cy) {
    return platform::DialogItem(u"STATIC", u"", id, WS_VISIBLE | SS_BITMAP, x, y, cx, cy);
}

void RegisterScreenTemplate(UINT id, const char16_t* caption, std::span<const ScreenItem> items) {
    platform::DialogTemplate box = FullScreenDialogTemplate(160, 213);
    box.caption = caption;
    for (const ScreenItem& item : items) {
        platform::DialogItemTemplate control;
        control.text = item.text;
        control.id = item.id;
        switch (item.kind) {
            case ScreenItem::kButton:
                control.className = u"BUTTON";
                control.style = WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
                break;
            case ScreenItem::kLabel:
                control.className = u"STATIC";
                control.style = SS_LEFT;
                break;
            case ScreenItem::kGroupFrame:
                control.className = u"BUTTON";
                control.style = WS_VISIBLE | BS_GROUPBOX;
                break;
            case ScreenItem::kTrackbar:
                control.className = TRACKBAR_CLASS;
                control.style = WS_VISIBLE | WS_TABSTOP | TBS_HORZ;
                break;
            case ScreenItem::kCheckBox:
                control.className = u"BUTTON";
                control.style = WS_VISIBLE | WS_TABSTOP | BS_CHECKBOX;
                break;
            case ScreenItem::kNumberField:
                control.className = u"EDIT";
                control.style = WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_NUMBER | ES_CENTER;
                break;
        }
        control.x = DialogUnits(item.x);
        control.y = DialogUnits(item.y);
        control.cx = DialogUnits(item.cx);
        control.cy = DialogUnits(item.cy);
        box.items.push_back(control);
    }
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(id), box);
}

void PlaceScreenItems(CDialog& dialog, std::span<const ScreenItem> items) {
    for (const ScreenItem& item : items) {
        if (CWnd* control = dialog.GetDlgItem(item.id))
            control->SetWindowPos(nullptr, ScaleX(item.x), ScaleY(item.y), ScaleX(item.cx),
                                  ScaleY(item.cy), SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void ShowPicture(CDialog& dialog, UINT controlId, UINT bitmapId) {
    if (CWnd* picture = dialog.GetDlgItem(static_cast<int>(controlId)))
        picture->SendMessage(
            STM_SETIMAGE, IMAGE_BITMAP,
            reinterpret_cast<LPARAM>(LoadBitmapW(nullptr, MAKEINTRESOURCEW(bitmapId))));
}
