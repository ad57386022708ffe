#include "pathlume/shell/nav_app.h"

#include <gtest/gtest.h>
