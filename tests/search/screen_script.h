// Driving a modal screen from inside its own loop: steps run one after another, each
// once the screen has handled (and painted) what the step before posted.
#pragma once

#include <functional>
#include <vector>

#include "platform/user/user.h"
#include "tests/foundation/screen_test_support.h"

namespace search_test {

template <class Dialog>
class Scripted : public Dialog {
  public:
    using Dialog::Dialog;
    using Step = std::function<void(Scripted&)>;

    // Runs the dialog with the steps; the dialog's result.
    INT_PTR Run(std::vector<Step> steps) {
        steps_ = std::move(steps);
        return this->DoModal();
    }

    BOOL OnInitDialog() override {
        const BOOL result = Dialog::OnInitDialog();
        NextWhenIdle();
        return result;
    }

  private:
    void NextWhenIdle() {
        const HWND window = this->m_hWnd;
        if (::IsWindow(window)) {
            platform::CallWhenIdle(window, [this, window] {
                if (::IsWindow(window))
                    Next();
            });
        }
    }
    void Next() {
        if (next_ >= steps_.size())
            return;
        const Step step = steps_[next_++];
        step(*this);
        NextWhenIdle();
    }

    std::vector<Step> steps_;
    size_t next_ = 0;
};

// A tap at a point of the (full-screen) dialog.
inline void TapAt(POINT point) {
    platform::PostTap(point);
}
inline void TapAt(const RECT& rect) {
    platform::PostTap(POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
}
inline void TapOn(CWnd& control) {
    CRect rect;
    control.GetWindowRect(&rect);
    platform::PostTap(rect.CenterPoint());
}

}  // namespace search_test
