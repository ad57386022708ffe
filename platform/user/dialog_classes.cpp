// The list of the dialog class and the window system's own windows.
#include "platform/user/dialogs_internal.h"

namespace platform::user {

std::vector<WNDCLASSW> DialogClasses() {
    return {DialogClass(), PopupMenuClass(), CommandBarClass()};
}

}  // namespace platform::user
