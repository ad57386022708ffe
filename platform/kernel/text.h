#pragma once

#include "platform/kernel/wintypes.h"
