#include "platform/kernel/kernel.h"
