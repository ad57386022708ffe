// The text field of the keyboard screens with a list: Up and Down go to the screen,
// which moves the list, while the field keeps its text and caret.
#pragma once

#include "platform/afx/afx.h"

class CArrowEdit : public CEdit {
  public:
    CArrowEdit() = default;
    ~CArrowEdit() override = default;

  protected:
    void OnKeyDown(UINT key, UINT repeat, UINT flags);
    void OnKeyUp(UINT key, UINT repeat, UINT flags);

    DECLARE_MESSAGE_MAP()
};
