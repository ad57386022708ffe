#include "pathlume/foundation/screen_draw.h"

#include <cmath>
#include <string>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"

// Kept on the heap on purpose: a font destroyed during static destruction could
// outlive the drawing objects' own tables.
CFont& g_fontBold21 = *new CFont;
CFont& g_fontBold18 = *new CFont;
CFont& g_fontBold14 = *new CFont;
CFont& g_fontRegular14 = *new CFont;
CFont& g_fontBold12 = *new CFont;
CFont& g_fontRegular12 = *new CFont;

namespace {

int TextLength(LPCWSTR text) {
    return text ? static_cast<int>(std::char_traits<WCHAR>::length(text)) : 0;
}

SIZE MeasureText(HDC dc, LPCWSTR text, int length) {
    SIZE size{};
    GetTextExtentPoint32W(dc, text, length, &size);
    return size;
}

// Dark when at most one of the three bytes is above 0x80.
bool IsDark(COLORREF colour) {
    int bright =
        (GetRValue(colour) > 0x80) + (GetGValue(colour) > 0x80) + (GetBValue(colour) > 0x80);
    return bright <= 1;
}

void CopyBitmap(HDC dc, HBITMAP bitmap, int width, int height) {
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
}

}  // namespace

void PaintScreenBackground(HDC dc, UINT bitmapId, COLORREF) {
    int width = g_screenWidth.load();
    IMainView* view = g_mainView.load();
    int height =
        (view && view->IsFullScreen()) ? GetSystemMetrics(SM_CYSCREEN) : g_screenHeight.load();
    UINT id = bitmapId >= 1
                  ? bitmapId
                  : (IsLandscapeScreen() ? kBitmapBackgroundLandscape : kBitmapBackgroundPortrait);
    HBITMAP bitmap = LoadBitmapW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id));
    if (bitmap == nullptr) {
        return;
    }
    CopyBitmap(dc, bitmap, width, height);
    DeleteObject(bitmap);
}

void DrawTitleBar(HDC dc, HWND window, LPCWSTR title) {
    RECT client{};
    GetClientRect(window, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;

    HBITMAP strip = LoadBitmapW(AfxGetResourceHandle(), MAKEINTRESOURCEW(kBitmapTitleBar));
    if (strip != nullptr) {
        CopyBitmap(dc, strip, width, height);
        DeleteObject(strip);
    }

    // A given title may be two lines (as on the buttons); the window text is taken as it is.
    std::u16string text;
    if (title != nullptr) {
        text = title;
        ReplaceMarkerWithSpace(text.data());
    } else {
        WCHAR buffer[257] = {};
        GetWindowTextW(window, buffer, 257);
        text = buffer;
    }
    const int length = static_cast<int>(text.size());

    CFont font;
    CreateScaledFont(&font, 16, FW_BOLD, nullptr);
    HGDIOBJ oldFont = SelectObject(dc, static_cast<HFONT>(font));
    int y = ScaleY(2);
    SIZE size = MeasureText(dc, text.c_str(), length);
    if (size.cx > ScaleY(220)) {
        SelectObject(dc, static_cast<HFONT>(g_fontBold12));
        y = ScaleY(4);
        size = MeasureText(dc, text.c_str(), length);
    }

    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF oldBack = GetBkColor(dc);
    COLORREF sample = GetPixel(dc, width / 2, ScaleY(10));
    COLORREF oldText = SetTextColor(dc, IsDark(sample) ? RGB(255, 255, 255) : RGB(0, 0, 0));
    ExtTextOutW(dc, (width - size.cx) / 2, y, 0, nullptr, text.c_str(), static_cast<UINT>(length),
                nullptr);
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBack);
    SelectObject(dc, oldFont);
    SetBkMode(dc, oldMode);
}

HGDIOBJ DrawFittedLine(LPCWSTR text, HDC dc, int x, int y, int width, int height, BOOL centre,
                       BOOL erase) {
    if (erase) {
        RECT area{x, y, x + width, y + height};
        HBRUSH brush = CreateSolidBrush(GetBkColor(dc));
        FillRect(dc, &area, brush);
        DeleteObject(brush);
    }
    const int length = TextLength(text);
    HGDIOBJ previous = SelectObject(dc, static_cast<HFONT>(g_fontBold21));
    SIZE size = MeasureText(dc, text, length);
    if (size.cx > width) {
        SelectObject(dc, static_cast<HFONT>(g_fontBold14));
        size = MeasureText(dc, text, length);
        if (size.cx > width) {
            SelectObject(dc, static_cast<HFONT>(g_fontBold12));
            size = MeasureText(dc, text, length);
        }
    }
    if (height > size.cy) {
        y += (height - size.cy) / 2;
    }
    if (centre && width > size.cx) {
        x += (width - size.cx) / 2;
    }
    ExtTextOutW(dc, x, y, 0, nullptr, text, static_cast<UINT>(length), nullptr);
    SelectObject(dc, previous);
    return previous;
}

int DrawScaledIcon(int index, HDC dc, const HICON* icons, int count, int rowHeight, UINT row) {
    const int x = ScaleX(23);
    const int free = ScaleY(268) - (count - 1) * rowHeight;
    const int top = free / 2;
    // An index outside the table has no icon to draw.
    if (dc == nullptr || icons == nullptr || index < 0 || index >= count) {
        return top;
    }
    const int slot = row == 0xFFFFFFFFu ? index : static_cast<int>(row);
    const int y = top + rowHeight * slot + 9;
    const int side = g_screenScaleY.load() > 1.0f ? 32 : 16;
    DrawIconEx(dc, x, y, icons[index], side, side, 0, nullptr, DI_NORMAL);
    return top;
}

void ReplaceMarkerWithSpace(LPWSTR text) {
    if (text == nullptr) {
        return;
    }
    for (; *text != 0; ++text) {
        if (*text == u'\n') {
            *text = u' ';
            return;
        }
    }
}

void DrawFilledPolygon(HDC dc, const POINT* points, int count, COLORREF outline, COLORREF fill) {
    HPEN pen = CreatePen(PS_SOLID, 1, outline);
    HBRUSH brush = CreateSolidBrush(fill);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    Polygon(dc, points, count);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
}

void RotateBitmap(HDC source, int width, int height, HBITMAP sourceBitmap, HDC destination,
                  HBITMAP destinationBitmap, float angle) {
    HGDIOBJ oldSource = SelectObject(source, sourceBitmap);
    HGDIOBJ oldDestination = SelectObject(destination, destinationBitmap);

    RECT whole{0, 0, width, height};
    HBRUSH fill = CreateSolidBrush(GetPixel(source, 0, 0));
    FillRect(destination, &whole, fill);
    DeleteObject(fill);

    const float cx = static_cast<float>(width / 2);
    const float cy = static_cast<float>(height / 2);
    const float sine = std::sin(angle);
    const float cosine = std::cos(angle);
    const bool flat = g_map3DMode.load() == 0;
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y) {
            if (!flat && (y & 1) != 0) {
                continue;
            }
            const float dx = static_cast<float>(x) - cx;
            const float dy = static_cast<float>(y) - cy;
            int sx = RoundHalfAway(dy * sine + dx * cosine + cx);
            int sy = RoundHalfAway(dy * cosine - dx * sine + cy);
            COLORREF colour = GetPixel(source, sx, sy);
            if (colour == CLR_INVALID) {
                continue;
            }
            if (flat) {
                SetPixel(destination, x, y, colour);
            } else {
                SetPixel(destination, x, y / 2 + height / 4, colour);
            }
        }
    }
    SelectObject(source, oldSource);
    SelectObject(destination, oldDestination);
}
