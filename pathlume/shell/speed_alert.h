// Speed Alert: the automatic alert by road class, or a fixed limit typed on a drawn
// number pad, or none; stored as "SpeedLimitMI", "SpeedLimitKM" and "AutoSpeedLimit"
// and in the globals the main view's speed check reads on every fix.
#pragma once

#include <cstdint>
#include <string>

#include "pathlume/foundation/full_screen_dialog.h"
#include "pathlume/foundation/key_style.h"

inline constexpr UINT kSpeedAlertTemplateId = 1014;

// The fixed limit in both units (negative: the fixed alert off, keeping the limit).
struct SpeedLimits {
    LONG mi = 0;
    LONG km = 0;
};
// A limit typed in the unit of the option word: the other unit's follows (100 mph is
// 160 km/h and 160 km/h 100 mph; otherwise truncated toward zero).
SpeedLimits ConvertSpeedLimit(int typed, bool metric);
// The field's text at set-up: the magnitude of the stored limit of the unit, at most
// the field's three digits.
std::u16string SpeedLimitFieldText(LONG storedMi, LONG storedKm, bool metric);
// What OK stores: the limits from the field (empty, not a number or longer than the
// field's three digits: the stored limits' magnitudes), negated when the fixed alert
// is off, and the automatic alert.
struct SpeedAlertSettingsChosen {
    SpeedLimits limits;
    DWORD autoLimit = 0;
};
SpeedAlertSettingsChosen AcceptSpeedAlert(const std::u16string& field, bool fixedChecked,
                                          bool autoChecked, bool metric, LONG storedMi,
                                          LONG storedKm);

class CSpeedAlertDlg : public CFullScreenDialog {
  public:
    static constexpr UINT kFixedId = 593;
    static constexpr UINT kLimitId = 594;
    static constexpr UINT kAutoId = 596;
    static constexpr int kNoKey = -100;
    // A pen-down sooner than this after the last one taken is ignored with its pen-up.
    static constexpr int32_t kRepeatTapMs = 151;
    static constexpr int kColumns = 8;
    static constexpr int kRows = 5;
    // The pad's cells: 0 none, a digit, -1 backspace.
    static const uint8_t kPadLayout[kColumns * kRows];

    explicit CSpeedAlertDlg(CWnd* parent);
    ~CSpeedAlertDlg() override;

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    // Stores the choice in the registry and the globals, and asks for the map.
    void OnOK() override;

    // The pad in one of the modes: 0 the pen went down at the point, 1 the pen came up
    // (the pressed key acts), 2 drawn whole.
    void DrawKeypad(HDC dc, int mode, POINT point);
    // The rectangle of the pad's cell (a double-width key covers its next cell too).
    RECT KeyRect(int cell) const;

    DWORD m_lastPenDown = 0;
    bool m_penDownSeen = false;
    bool m_ignoreRelease = false;
    HBITMAP m_keyImages[kKeyImageCount] = {};
    int m_pressedKey = kNoKey;
    POINT m_pressPoint{};
    int m_keyWidth, m_keyHeight, m_unitX, m_unitY, m_padLeft, m_padTop;
    CEdit m_limit;
    CButton m_fixed, m_auto;
    CImageButton m_ok, m_cancel;
    HFONT m_fieldFont = nullptr;

  protected:
    void OnFixedClicked();
    void OnAutoClicked();
    // The check-box rule: the fixed alert clears the automatic one and opens the
    // field. The globals change only at OK: Cancel leaves the running alert alone.
    void OnFixedCheck();
    void OnAutoCheck();
    void OnLButtonDown(UINT flags, CPoint point);
    void OnLButtonUp(UINT flags, CPoint point);
    void OnOtherCommand(UINT id);
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
    LPCWSTR ScreenTitle() override;
    void DrawScreen(CDC& dc) override;

    DECLARE_MESSAGE_MAP()

  private:
    std::u16string title_;
};

// The dialog as the main view runs it (OptionDialogs' speedAlert slot).
int RunSpeedAlertDialog(CWnd* parent);
