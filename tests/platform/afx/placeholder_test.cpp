#include <gtest/gtest.h>

#include "platform/afx/afx.h"

TEST(AfxModule, Builds) {
    SUCCEED();
}
