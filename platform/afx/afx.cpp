#include "platform/afx/afx.h"
