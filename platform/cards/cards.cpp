#include "platform/cards/cards.h"
