#include <gtest/gtest.h>

TEST(FoundationModule, Builds) {
    SUCCEED();
}
