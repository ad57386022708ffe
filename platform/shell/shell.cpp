#include "platform/shell/shell.h"
