// The food type keyboard screen: the restaurant kinds in a fixed order, which typing
// narrows. OK answers the chosen kind's code with bit 31 set (0x800000FF for
// "<ALL>"); the close key, Escape and Home answer 2.
#pragma once

#include <cstdint>

#include "pathlume/search/keyboard_entry_dlg.h"

struct FoodType {
    uint32_t code;
    const char* name;
};
inline constexpr int kFoodTypeCount = 57;
extern const FoodType kFoodTypes[kFoodTypeCount];

class CFoodTypeDlg : public KeyboardEntryDlg {
  public:
    explicit CFoodTypeDlg(CWnd* parent);

    void OnOK() override;

  protected:
    void FillList() override;
};
