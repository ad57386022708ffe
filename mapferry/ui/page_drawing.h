// Drawing shared by the installer's pictures: colours, state images, fonts.
#pragma once

#include <string>

#include "mapferry/convert/region_record.h"
#include "platform/afx/afx.h"

inline constexpr COLORREF kPictureGround = RGB(214, 228, 240);
inline constexpr COLORREF kPictureLand = RGB(244, 238, 214);
inline constexpr COLORREF kPictureBorder = RGB(150, 140, 120);

// The tree's state images 1 to 5 (image 0 is never shown): with subAreaList, image 1
// is the empty check box of the sub-area dialog's list, else the part-chosen mark.
void DrawStateImages(CImageList* list, bool subAreaList = false);
void MakeFont(CFont* font, const char16_t* face, int height, int weight);
void FillOutlines(CDC* dc, const PictureOutlines& outlines);
void DrawCentredText(CDC* dc, const std::u16string& text, POINT at);

// Texts on a page or dialog drawn on its own face rather than on white.
HBRUSH FaceColoured(CDC* dc);
