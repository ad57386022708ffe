#include "pathlume/shell/dialog_parts.h"

#include "platform/gdi/gdi.h"

platform::DialogTemplate FullScreenDialogTemplate(short cx, short cy) {
    platform::DialogTemplate box;
    box.style = WS_POPUP | DS_SETFONT;
    box.cx = cx;
    box.cy = cy;
    return box;
}

platform::DialogItemTemplate PictureItem(WORD id, short x, short y, short cx, short cy) {
    platform::DialogItemTemplate picture;
    picture.className = u"STATIC";
    picture.id = id;
    picture.style = WS_VISIBLE | SS_BITMAP;
    picture.x = x;
    picture.y = y;
    picture.cx = cx;
    picture.cy = cy;
    return picture;
}

void ShowPicture(CDialog& dialog, UINT controlId, UINT bitmapId) {
    if (CWnd* picture = dialog.GetDlgItem(static_cast<int>(controlId)))
        picture->SendMessage(
            STM_SETIMAGE, IMAGE_BITMAP,
            reinterpret_cast<LPARAM>(LoadBitmapW(nullptr, MAKEINTRESOURCEW(bitmapId))));
}
