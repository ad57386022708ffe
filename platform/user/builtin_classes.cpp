// The window classes the system provides: the desktop here, the controls and the
// dialog family from their own lists.
#include "platform/user/user_internal.h"

namespace platform::user {
namespace {

// The desktop window's class. The desktop belongs to no thread and is never sent
// messages; the window system fills the bare screen itself.
WNDCLASSW DesktopClass() {
    WNDCLASSW info{};
    info.lpfnWndProc = DefWindowProcW;
    info.lpszClassName = u"#32769";
    return info;
}

}  // namespace

std::vector<WNDCLASSW> BuiltInClasses() {
    std::vector<WNDCLASSW> classes{DesktopClass()};
    for (const auto& family : {ControlClasses(), DialogClasses()}) {
        classes.insert(classes.end(), family.begin(), family.end());
    }
    return classes;
}

}  // namespace platform::user
