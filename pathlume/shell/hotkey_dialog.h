// The hotkey dialog ("Hotkey Options"): the seventeen functions with the button bound
// to each; a tapped row takes the next button pressed. The logic of a binding is
// apart from the window (AssignKeyInTable) so that it can be tried on its own.
#pragma once

#include <string>
#include <vector>

#include "pathlume/foundation/owner_draw.h"
#include "pathlume/shell/hotkey_table.h"
#include "platform/afx/afx.h"

inline constexpr UINT kHotkeyDlgTemplateId = 1070;
inline constexpr int kHotkeyListId = 637;
inline constexpr int kHotkeyAllId = 634;
inline constexpr int kHotkeyClearKeyId = 635;
inline constexpr int kHotkeyEnableId = 636;

// "Action", "Left", "Up", "Right", "Down", "Button 1" to "Button 6", else "Button N"
// with the key code in decimal.
std::u16string GetKeyName(uint32_t key);
// The function names of the seventeen codes, in code order.
const char16_t* HotkeyFunctionName(int code);

// Binds `key` to function `command`: the key's old function and the function's old
// key lose their pairing. The rows (function codes) whose button text must be blanked
// go to `blankRows`. False when nothing changed (no entry was free).
bool AssignKeyInTable(CHotkeyTable& table, uint32_t command, uint32_t key,
                      std::vector<int>* blankRows);

class CHotkeyDlg : public CDialog {
  public:
    explicit CHotkeyDlg(CWnd* parent);
    ~CHotkeyDlg() override;

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override;

    // Binds the key to the function of `row`, as a key pressed does.
    void AssignKey(uint32_t key);
    // The button text of a row as shown.
    std::u16string RowKeyText(int row);

    CHotkeyTable table;  // the working copy
    BOOL dirty = FALSE;
    int row = -1;
    BOOL rowChosen = FALSE;
    CFont m_boldFont;
    CImageButton m_okButton;
    CImageButton m_closeButton;
    CImageButton m_enableButton;
    CImageButton m_allButton;
    CImageButton m_clearButton;
    CListCtrl m_list;

  protected:
    void OnActivate(UINT state, CWnd* other, BOOL minimized);
    void OnPaint();
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
    void OnListClick(NMHDR* header, LRESULT* result);
    void OnHotKey(UINT id, UINT modifiers, UINT key);
    void OnKeyDown(UINT key, UINT repeat, UINT flags);
    void OnClearKey();
    void OnClearAll();
    void OnEnable();
    void LayOutButtons();
    void ShowEnableCaption();
    // The row the list shows selected, else -1.
    int SelectedRow() const;

    DECLARE_MESSAGE_MAP()
};

// Registers dialog template 1070 (done by the first CHotkeyDlg; callable again).
void RegisterHotkeyDlgTemplate();
