// The list of the dialog class and the window system's own windows.
#include "platform/user/user_internal.h"

namespace platform::user {

std::vector<WNDCLASSW> DialogClasses() {
    return {};
}

}  // namespace platform::user
