// The window classes the system provides. Each control keeps its window procedure in
// a file of its own and contributes its class here, by a function returning its
// WNDCLASSW.
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
    return {
        DesktopClass(),
    };
}

}  // namespace platform::user
