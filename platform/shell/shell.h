// The shell library: dialog and full-screen set-up, the input panel, special folders.
#pragma once

#include "platform/user/user.h"
