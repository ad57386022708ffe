// The list of the standard and common control classes.
#include "platform/user/user_internal.h"

namespace platform::user {

std::vector<WNDCLASSW> ControlClasses() {
    return {};
}

}  // namespace platform::user
