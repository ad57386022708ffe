// Driving a chain of modal screens from inside their loops: each step waits until the
// screen in front is of its kind, then acts on it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/afx/afx.h"
#include "platform/user/user.h"

namespace shell_test {

class ScreenChain {
  public:
    // Steps in order; the chain starts acting once Start is called and the thread idles.
    template <class Screen>
    void Then(std::function<void(Screen&)> act) {
        steps_.push_back([act](CWnd* front) {
            auto* screen = dynamic_cast<Screen*>(front);
            if (!screen)
                return false;
            act(*screen);
            return true;
        });
    }
    // Watches the thread's idle moments through the window.
    void Start(HWND anchor) {
        anchor_ = anchor;
        Arm();
    }
    bool Done() const { return next_ >= steps_.size(); }
    size_t StepsTaken() const { return next_; }

  private:
    void Arm() {
        if (!::IsWindow(anchor_) || Done())
            return;
        platform::CallWhenIdle(anchor_, [this] {
            CWnd* front = CWnd::FromHandlePermanent(::GetActiveWindow());
            if (front && !Done() && steps_[next_](front))
                ++next_;
            Arm();
        });
    }

    HWND anchor_ = nullptr;
    std::vector<std::function<bool(CWnd*)>> steps_;
    size_t next_ = 0;
};

}  // namespace shell_test
