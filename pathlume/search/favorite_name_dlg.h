// The favourite-name keyboard screen: the name under which a destination is kept.
#pragma once

#include <string>

#include "pathlume/search/keyboard_entry_dlg.h"

struct DestRecord;

inline constexpr int kFavoriteNameChars = 40;
// RunFavoriteNameScreen's answer when Home ended the screen.
inline constexpr int kNameScreenHome = -1;

class CFavoriteNameDlg : public KeyboardEntryDlg {
  public:
    // The name to edit may be null; the lines are the destination's (not shown).
    CFavoriteNameDlg(CWnd* parent, const char* name, const char* line1, const char* line2);

    BOOL OnInitDialog() override;
    // The typed name (at most 40 characters, empty when the field was emptied).
    void OnOK() override;

    std::u16string m_name;

  protected:
    RECT FieldRect() const override;
};

// The name screen as the favourites prompt runs it: IDOK with the name as single-byte
// text, IDCANCEL, or kNameScreenHome when Home ended it.
int RunFavoriteNameScreen(CWnd* parent, const DestRecord& record, std::string* name);
