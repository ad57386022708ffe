#include <gtest/gtest.h>

#include "platform/cards/cards.h"

TEST(CardsModule, Builds) {
    SUCCEED();
}
