#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afx_test_support.h"
#include "platform/afx/afx.h"

namespace {

// Paints its client area red with a blue box through the library's DC classes.
class PaintedWnd : public CWnd {
  public:
    int paints = 0;
    void OnPaint() {
        CPaintDC dc(this);
        ++paints;
        CRect client;
        GetClientRect(client);
        dc.FillSolidRect(client, RGB(255, 0, 0));
        CBrush blue(RGB(0, 0, 255));
        CPen none(PS_NULL, 0, 0);
        CBrush* oldBrush = dc.SelectObject(&blue);
        CPen* oldPen = dc.SelectObject(&none);
        dc.Rectangle(10, 10, 20, 20);
        dc.SelectObject(oldBrush);
        dc.SelectObject(oldPen);
        dc.SetBkMode(TRANSPARENT);
        dc.TextOut(30, 2, CString(u"Hi"));
    }
    BOOL OnEraseBkgnd(CDC*) { return TRUE; }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(PaintedWnd, CWnd)
ON_WM_PAINT()
ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

class DcTest : public afx_testing::AfxTest {};

TEST_F(DcTest, APaintHandlerDrawsThroughCPaintDCAndRestoresItsObjects) {
    PaintedWnd wnd;
    ASSERT_TRUE(
        wnd.CreateEx(0, nullptr, u"p", WS_POPUP | WS_VISIBLE, CRect(40, 40, 100, 100), nullptr, 0));
    int objectsBefore = platform::CountGdiObjects();
    platform::PumpUntilIdle();
    EXPECT_EQ(wnd.paints, 1);
    // The wrappers deleted what they made: no object is left behind.
    AfxDeleteTempObjects();
    EXPECT_EQ(platform::CountGdiObjects(), objectsBefore);

    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetPixel(screen, 45, 45), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(screen, 55, 55), RGB(0, 0, 255));
    ReleaseDC(nullptr, screen);
}

TEST_F(DcTest, TemporaryWrappersAreReusedUntilIdleAndNeverOwnTheirHandles) {
    HBRUSH stock = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    CBrush* first = CBrush::FromHandle(stock);
    EXPECT_EQ(CBrush::FromHandle(stock), first);
    EXPECT_EQ(first->m_hObject, stock);
    CGdiObject* generic = CGdiObject::FromHandle(stock);
    EXPECT_EQ(generic, first);

    CDC memory;
    ASSERT_TRUE(memory.CreateCompatibleDC(nullptr));
    CDC* temporary = CDC::FromHandle(memory.m_hDC);
    EXPECT_NE(temporary, &memory);
    EXPECT_EQ(CDC::FromHandle(memory.m_hDC), temporary);

    AfxDeleteTempObjects();
    // The handles outlive their temporary wrappers.
    EXPECT_EQ(GetObjectType(stock), static_cast<DWORD>(OBJ_BRUSH));
    CBitmap bitmap;
    CClientDC screen(nullptr);
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(&screen, 8, 4));
    EXPECT_EQ(bitmap.GetBitmapDimension(), CSize(8, 4));
    CBitmap* old = memory.SelectObject(&bitmap);
    memory.FillSolidRect(0, 0, 8, 4, RGB(0, 255, 0));
    EXPECT_EQ(memory.GetPixel(7, 3), RGB(0, 255, 0));
    memory.SelectObject(old);
}

TEST_F(DcTest, CreatingIntoAWrapperThatHoldsAnObjectKeepsItAndLeaksNothing) {
    const int before = platform::CountGdiObjects();
    {
        CPen pen;
        ASSERT_TRUE(pen.CreatePen(PS_SOLID, 1, RGB(1, 2, 3)));
        HGDIOBJ first = pen.m_hObject;
        CBrush brush;
        ASSERT_TRUE(brush.CreateSolidBrush(RGB(4, 5, 6)));
        CBitmap bitmap;
        CDC memory;
        ASSERT_TRUE(memory.CreateCompatibleDC(nullptr));
        HDC firstDc = memory.m_hDC;
        ASSERT_TRUE(bitmap.CreateCompatibleBitmap(&memory, 2, 2));
        EXPECT_EQ(platform::CountGdiObjects(), before + 4);

        EXPECT_FALSE(pen.CreatePen(PS_SOLID, 2, RGB(7, 8, 9)));
        EXPECT_FALSE(brush.CreateSolidBrush(RGB(7, 8, 9)));
        EXPECT_FALSE(bitmap.CreateCompatibleBitmap(&memory, 3, 3));
        EXPECT_FALSE(memory.CreateCompatibleDC(nullptr));
        EXPECT_EQ(pen.m_hObject, first);
        EXPECT_EQ(memory.m_hDC, firstDc);
        EXPECT_EQ(platform::CountGdiObjects(), before + 4);
    }
    EXPECT_EQ(platform::CountGdiObjects(), before);
}

// An owner-draw button class: the parent's WM_DRAWITEM comes back to it.
class OwnerDrawButton : public CButton {
  public:
    std::vector<UINT> drawn;
    void DrawItem(LPDRAWITEMSTRUCT item) override { drawn.push_back(item->CtlID); }
};

// A parent that colours its controls and counts them.
class ColourParent : public CWnd {
  public:
    int colourRequests = 0;
    UINT lastKind = 99;
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
        ++colourRequests;
        lastKind = kind;
        return CWnd::OnCtlColor(dc, wnd, kind);
    }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(ColourParent, CWnd)
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

TEST_F(DcTest, OwnerDrawReachesTheControlAndColourRequestsTheParent) {
    ColourParent parent;
    ASSERT_TRUE(parent.CreateEx(0, nullptr, u"parent", WS_POPUP | WS_VISIBLE, CRect(0, 0, 200, 200),
                                nullptr, 0));
    OwnerDrawButton button;
    ASSERT_TRUE(button.Create(u"B", WS_VISIBLE | BS_OWNERDRAW, CRect(10, 10, 60, 40), &parent, 77));
    platform::PumpUntilIdle();
    ASSERT_FALSE(button.drawn.empty());
    EXPECT_EQ(button.drawn.back(), 77u);

    // A direct WM_DRAWITEM for an unknown id is simply not answered by a control.
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.CtlID = 78;
    size_t before = button.drawn.size();
    parent.SendMessage(WM_DRAWITEM, 78, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(button.drawn.size(), before);

    // A plain static asks its parent for colours; the parent's map gets every kind.
    CStatic label;
    ASSERT_TRUE(label.Create(u"text", WS_VISIBLE, CRect(10, 50, 100, 70), &parent, 79));
    parent.colourRequests = 0;
    label.Invalidate();
    platform::PumpUntilIdle();
    EXPECT_GE(parent.colourRequests, 1);
    EXPECT_EQ(parent.lastKind, static_cast<UINT>(CTLCOLOR_STATIC));
}

}  // namespace

namespace {

class ScrollParent : public CWnd {
  public:
    UINT code = 99;
    UINT pos = 0;
    CScrollBar* bar = nullptr;
    int barId = 0;
    void OnHScroll(UINT c, UINT p, CScrollBar* b) {
        code = c, pos = p, bar = b;
        barId = b != nullptr ? b->GetDlgCtrlID() : -1;
    }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(ScrollParent, CWnd)
ON_WM_HSCROLL()
END_MESSAGE_MAP()

TEST_F(DcTest, ScrollMessagesNameTheirControl) {
    ScrollParent parent;
    ASSERT_TRUE(parent.CreateEx(0, nullptr, u"parent", WS_POPUP | WS_VISIBLE, CRect(0, 0, 200, 200),
                                nullptr, 0));
    CSliderCtrl slider;
    ASSERT_TRUE(slider.Create(WS_VISIBLE, CRect(10, 10, 150, 40), &parent, 5));
    slider.SetRange(25, 125);
    slider.SetPos(60);
    EXPECT_EQ(slider.GetPos(), 60);
    parent.SendMessage(WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 70),
                       reinterpret_cast<LPARAM>(slider.m_hWnd));
    EXPECT_EQ(parent.code, static_cast<UINT>(SB_THUMBPOSITION));
    EXPECT_EQ(parent.pos, 70u);
    EXPECT_EQ(reinterpret_cast<CWnd*>(parent.bar), &slider);
    EXPECT_EQ(parent.barId, 5);

    // A control without a CWnd of its own comes as a temporary scroll bar object.
    HWND bare = CreateWindowExW(0, TRACKBAR_CLASS, u"", WS_CHILD | WS_VISIBLE, 10, 50, 100, 30,
                                parent.m_hWnd, reinterpret_cast<HMENU>(6), nullptr, nullptr);
    parent.SendMessage(WM_HSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), reinterpret_cast<LPARAM>(bare));
    ASSERT_NE(parent.bar, nullptr);
    EXPECT_EQ(parent.bar->m_hWnd, bare);
    EXPECT_EQ(parent.barId, 6);
}

}  // namespace
