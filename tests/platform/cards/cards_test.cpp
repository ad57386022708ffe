#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/cards/cards.h"
#include "tests/support/temp_root.h"

namespace {

using testing_support::RootsTest;

std::vector<std::u16string> Cards() {
    std::vector<std::u16string> names;
    WIN32_FIND_DATA data;
    HANDLE search = FindFirstFlashCard(&data);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        names.emplace_back(data.cFileName);
    } while (FindNextFlashCard(search, &data));
    EXPECT_TRUE(FindClose(search));
    return names;
}

TEST_F(RootsTest, CardsAreTheMarkedFoldersOfTheDeviceRoot) {
    WIN32_FIND_DATA data;
    EXPECT_EQ(FindFirstFlashCard(&data), INVALID_HANDLE_VALUE);

    ASSERT_TRUE(CreateDirectoryW(u"\\My Documents", nullptr));
    ASSERT_TRUE(CreateDirectoryW(u"\\Windows", nullptr));
    ASSERT_TRUE(SetFileAttributesW(u"\\Windows", FILE_ATTRIBUTE_SYSTEM));
    HANDLE file = CreateFileW(u"\\loose.tmp", GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY, nullptr);  // a file, not a card
    CloseHandle(file);
    EXPECT_TRUE(Cards().empty());

    ASSERT_TRUE(platform::MakeStorageCard(u"Storage Card"));
    ASSERT_TRUE(platform::MakeStorageCard(u"SD Card"));
    EXPECT_EQ(Cards(), (std::vector<std::u16string>{u"SD Card", u"Storage Card"}));
    EXPECT_EQ(GetFileAttributesW(u"\\storage card"),
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY));

    // The desktop side sees the device's cards too.
    platform::SetCurrentSide(platform::Side::Desktop);
    EXPECT_EQ(Cards().size(), 2u);
    platform::SetCurrentSide(platform::Side::Device);
}

}  // namespace
