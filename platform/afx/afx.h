#pragma once

#include "platform/kernel/kernel.h"
