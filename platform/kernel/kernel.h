// The kernel stand-in: the platform's core services other than drawing and
// windows. Product code includes this one header.
#pragma once

#include "platform/kernel/clock.h"
#include "platform/kernel/files.h"
#include "platform/kernel/handles.h"
#include "platform/kernel/memory.h"
#include "platform/kernel/modules.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/msgqueue.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/process.h"
#include "platform/kernel/registry.h"
#include "platform/kernel/roots.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/text.h"
#include "platform/kernel/threads.h"
#include "platform/kernel/wintypes.h"
