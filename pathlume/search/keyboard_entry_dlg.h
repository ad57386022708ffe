// The keyboard screens: a title band, a one-line text field, a list that follows the
// typed text with two scroll buttons beside it, and an 8 x 6 grid of drawn keys that
// types into the field. The city, region, street, house-number, favourite-name and
// contact screens (and the point-of-interest ones) are members; each says its title,
// its keys and what its list holds and its OK does.
#pragma once

#include <string>

#include "pathlume/foundation/key_style.h"
#include "pathlume/foundation/text_list_wnd.h"
#include "pathlume/search/arrow_edit.h"
#include "pathlume/search/key_grid.h"
#include "pathlume/search/search_screen.h"

inline constexpr UINT kKeyboardFieldId = 585;
inline constexpr UINT kKeyboardListId = 584;
inline constexpr UINT_PTR kScrollTimer = 1;
// A pen-down sooner than this after the last accepted one is ignored with its pen-up.
inline constexpr DWORD kPenDebounceMs = 151;
inline constexpr UINT kFirstScrollStepMs = 500;
inline constexpr UINT kScrollStepMs = 50;
inline constexpr int kScrollRowsPerStep = 3;
inline constexpr int kNoKeyPressed = -100;

// What a member makes different.
struct KeyboardSetup {
    UINT titleId = 0;
    const KeyLayout* letters = &kLettersWithSearch;
    const KeyStyleTable* styles = &kKeyboardKeyStyles;
    bool hasList = true;
    // The name screen's grid starts 2 pixels in.
    int gridLeft = 0;
    UINT firstScrollStepMs = kFirstScrollStepMs;
    bool debounce = true;
    // The screen takes Enter, Escape, Home and the arrows before the dialog manager.
    bool takesKeys = true;
    bool homeCancels = true;
    bool listKeys = true;
    // The list reaches down to 188 scaled pixels with the driver's own keyboard (else
    // 188 unscaled).
    bool scaledShortList = false;
};

class KeyboardEntryDlg : public CDialog {
  public:
    enum Action { kPress = 0, kRelease = 1, kPaint = 2 };

    KeyboardEntryDlg(CWnd* parent, const KeyboardSetup& setup);
    ~KeyboardEntryDlg() override;

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;

    // The one routine that draws keys, hit-tests and acts on them.
    void HandleKeyAction(HDC dc, Action action, POINT point);
    // The page shown: the minimal page with the driver's own keyboard, else the
    // symbols or the letters page.
    const KeyLayout& CurrentLayout() const;

    // The selected row when it is shown (it holds the typed text), else null.
    const char* SelectedRow() const;
    // The field's text (at most 256 characters).
    std::u16string FieldText() const;

    CEdit& Field() { return setup_.hasList ? static_cast<CEdit&>(m_arrowField) : m_plainField; }
    CTextListWnd* List() const { return m_list; }

    // State, in the order the screens use it.
    DWORD m_lastPenDown = 0;
    bool m_anyPenDown = false;
    bool m_ignoreRelease = false;
    bool m_suppressChange = false;
    bool m_symbolsPage = false;
    int m_pressedKey = kNoKeyPressed;
    POINT m_pressPoint{};
    int m_scrollDirection = 0;
    UINT m_repeatPeriod = kFirstScrollStepMs;
    KeyGridGeometry m_grid;
    int m_listBottom = 0;
    int m_fieldRight = 0;
    int m_listRight = 0;
    int m_fieldTop = 0;
    int m_fieldBottom = 0;

  protected:
    // The member's own part of the set-up, after the common start: its list.
    virtual void FillList() {}
    // The title's string id (a member may choose by its mode).
    virtual UINT TitleId() const { return setup_.titleId; }
    // What a member paints besides the keys (the house number's range and street).
    virtual void PaintExtras(HDC) {}
    // Where the text field lies.
    virtual RECT FieldRect() const;
    // The list follows the typed text.
    virtual void OnTextChanged();

    void OnPaint();
    void OnLButtonDown(UINT flags, CPoint point);
    void OnLButtonDblClk(UINT flags, CPoint point) { OnLButtonDown(flags, point); }
    void OnLButtonUp(UINT flags, CPoint point);
    void OnEditChange();
    void OnTimer(UINT_PTR id);
    void OnKeyDown(UINT key, UINT repeat, UINT flags);
    void OnListSelChange() {}
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);

    KeyboardSetup setup_;
    CArrowEdit m_arrowField;
    CEdit m_plainField;
    CTextListWnd* m_list = nullptr;
    CFont m_fieldFont;
    CBitmap m_images[kKeyImageCount];

    DECLARE_MESSAGE_MAP()

  private:
    // The scroll buttons' part of HandleKeyAction: true when the point hit one.
    bool HandleScrollButtons(HDC dc, Action action, POINT point);
    void DrawScrollButton(HDC dc, const RECT& rect, bool up, int state);
    void DrawKey(HDC dc, const KeyLayout& layout, int cell, int state);
};
