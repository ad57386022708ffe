// The standard and common controls: their styles, messages and notifications.
#pragma once
