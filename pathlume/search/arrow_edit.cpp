#include "pathlume/search/arrow_edit.h"

namespace {

// Sends Up and Down on to the parent; true when the key was one of them.
bool SendArrowToParent(CWnd& edit, UINT message, UINT key, UINT repeat, UINT flags) {
    if (key != VK_UP && key != VK_DOWN)
        return false;
    if (CWnd* parent = edit.GetParent())
        parent->SendMessage(message, key, static_cast<LPARAM>(repeat | (flags << 16)));
    return true;
}

}  // namespace

BEGIN_MESSAGE_MAP(CArrowEdit, CEdit)
ON_WM_KEYDOWN()
ON_WM_KEYUP()
END_MESSAGE_MAP()

void CArrowEdit::OnKeyDown(UINT key, UINT repeat, UINT flags) {
    if (!SendArrowToParent(*this, WM_KEYDOWN, key, repeat, flags))
        Default();
}

void CArrowEdit::OnKeyUp(UINT key, UINT repeat, UINT flags) {
    if (!SendArrowToParent(*this, WM_KEYUP, key, repeat, flags))
        Default();
}
