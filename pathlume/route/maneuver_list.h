// The maneuver list: one record for every junction of the route at which the driver
// is told something, and a closing arrival record (CRouter::BuildManeuverList). The
// kinds are those of maneuver_texts.h.
#pragma once

#include <cstdint>

#include "platform/kernel/wintypes.h"

// The turn angle of the last maneuver recorded, in degrees (right positive); the
// phrase composer reads it.
extern FLOAT g_lastManeuverAngle;

// The kind of a turn by its angle in degrees: exits (exitFlag), keeps (keepFlag),
// straight, bear, sharp or turn, right or left by the angle's sign. 0 for an exit of
// exactly 0 degrees.
uint32_t ManeuverKindFromAngle(FLOAT angle, bool exitFlag, bool keepFlag);

// The prompt word of a kind (an index of the prompt-word table), -1 for none.
int ManeuverPhraseId(uint32_t kind);
