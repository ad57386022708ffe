#include "mapferry/ui/page_drawing.h"

#include "mapferry/ui/region_page.h"

namespace {

constexpr int kStateImageSize = 16;
constexpr int kStateImageCount = 6;

}  // namespace

// The five state pictures, drawn once into the tree's image list.
void DrawStateImages(CImageList* list, bool subAreaList) {
    list->Create(kStateImageSize, kStateImageSize, ILC_COLOR24 | ILC_MASK, kStateImageCount, 0);
    CClientDC screen(nullptr);
    CDC dc;
    dc.CreateCompatibleDC(&screen);
    for (int image = 0; image < kStateImageCount; ++image) {
        CBitmap bitmap;
        bitmap.CreateCompatibleBitmap(&screen, kStateImageSize, kStateImageSize);
        CBitmap* old = dc.SelectObject(&bitmap);
        dc.FillSolidRect(0, 0, kStateImageSize, kStateImageSize, RGB(255, 255, 255));
        if (image > 0) {
            const COLORREF frame = image == kImageUnavailable ? RGB(170, 170, 170) : RGB(0, 0, 0);
            dc.FillSolidRect(2, 2, 12, 12, frame);
            dc.FillSolidRect(3, 3, 10, 10,
                             image == kImageUnavailable ? RGB(230, 230, 230) : RGB(255, 255, 255));
            if (image == kImagePartly && !subAreaList)
                dc.FillSolidRect(5, 5, 6, 6, RGB(120, 120, 120));
            if (image == kImageWhole || image == kImageSubAreaOn) {
                for (int i = 0; i < 3; ++i) {
                    dc.FillSolidRect(4 + i, 7 + i, 1, 2, RGB(0, 0, 0));
                    dc.FillSolidRect(7 + i, 9 - i, 1, 2, RGB(0, 0, 0));
                    dc.FillSolidRect(10 + i, 6 - i, 1, 2, RGB(0, 0, 0));
                }
            }
        }
        dc.SelectObject(old);
        list->Add(&bitmap, RGB(255, 255, 255));
    }
}

void MakeFont(CFont* font, const char16_t* face, int height, int weight) {
    LOGFONTW logFont{};
    logFont.lfHeight = height;
    logFont.lfWeight = weight;
    logFont.lfQuality = PROOF_QUALITY;
    std::u16string(face).copy(logFont.lfFaceName, LF_FACESIZE - 1);
    font->CreateFontIndirect(&logFont);
}

void FillOutlines(CDC* dc, const PictureOutlines& outlines) {
    for (const std::vector<POINT>& outline : outlines.outlines)
        if (!outline.empty())
            dc->Polygon(outline.data(), static_cast<int>(outline.size()));
}

void DrawCentredText(CDC* dc, const std::u16string& text, POINT at) {
    const SIZE extent = dc->GetTextExtent(text.c_str(), static_cast<int>(text.size()));
    dc->TextOut(at.x - extent.cx / 2, at.y - extent.cy / 2, text.c_str(),
                static_cast<int>(text.size()));
}

HBRUSH FaceColoured(CDC* dc) {
    dc->SetBkColor(GetSysColor(COLOR_BTNFACE));
    dc->SetTextColor(GetSysColor(COLOR_BTNTEXT));
    return GetSysColorBrush(COLOR_BTNFACE);
}
