#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/kernel/kernel.h"
#include "tests/support/temp_root.h"

namespace {

using testing_support::RootsTest;

std::vector<std::u16string> FindAll(LPCWSTR pattern, DWORD* error = nullptr) {
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(pattern, &data);
    if (search == INVALID_HANDLE_VALUE) {
        if (error) {
            *error = GetLastError();
        }
        return names;
    }
    do {
        names.emplace_back(data.cFileName);
    } while (FindNextFileW(search, &data));
    if (error) {
        *error = GetLastError();
    }
    EXPECT_TRUE(FindClose(search));
    return names;
}

class FindTest : public RootsTest {
  protected:
    FindTest() {
        std::filesystem::path logs = roots_.device() / "My Documents" / "Logs";
        std::filesystem::create_directories(logs / "Sub.dir");
        for (const char* name : {"Track1.GPS", "track22.gps", "notes", "a.b.c", "x.gpsx"}) {
            std::ofstream(logs / name) << name;
        }
    }
};

TEST_F(FindTest, WildcardsFollowThePlatform) {
    struct Case {
        const char16_t* pattern;
        std::vector<std::u16string> names;  // in find order
    };
    const Case cases[] = {
        {u"\\My Documents\\Logs\\*",
         {u"a.b.c", u"notes", u"Sub.dir", u"Track1.GPS", u"track22.gps", u"x.gpsx"}},
        {u"\\my documents\\logs\\*.*",
         {u"a.b.c", u"notes", u"Sub.dir", u"Track1.GPS", u"track22.gps", u"x.gpsx"}},
        {u"\\My Documents\\Logs\\*.gps", {u"Track1.GPS", u"track22.gps"}},
        {u"\\My Documents\\Logs\\track?.gps", {u"Track1.GPS"}},
        {u"\\My Documents\\Logs\\*.c", {u"a.b.c"}},
        {u"\\My Documents\\Logs\\notes.*", {u"notes"}},
        {u"\\My Documents\\Logs\\TRACK1.gps", {u"Track1.GPS"}},  // no wildcard: real case
        {u"/My Documents/Logs/*s", {u"notes", u"Track1.GPS", u"track22.gps"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        if (c.pattern[0] == u'/') {
            // Host absolute paths pass through.
            std::u16string host = platform::HostPathText(platform::DeviceRoot()) + c.pattern;
            EXPECT_EQ(FindAll(host.c_str()), c.names);
        } else {
            EXPECT_EQ(FindAll(c.pattern), c.names);
        }
    }
}

TEST_F(FindTest, RecordsAndErrors) {
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(u"\\My Documents\\Logs\\track22.*", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::u16string(data.cFileName), u"track22.gps");
    EXPECT_EQ(data.nFileSizeLow, 11u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_NE(data.ftLastWriteTime.dwHighDateTime, 0u);
    EXPECT_FALSE(FindNextFileW(search, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(search));
    EXPECT_FALSE(FindClose(search));

    search = FindFirstFileW(u"\\My Documents\\Logs\\sub.DIR", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::u16string(data.cFileName), u"Sub.dir");
    EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    FindClose(search);

    DWORD error = 0;
    EXPECT_TRUE(FindAll(u"\\My Documents\\Logs\\*.wav", &error).empty());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(FindAll(u"\\Nowhere\\*", &error).empty());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(FindAll(u"\\My Documents\\Logs\\", &error).empty());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // The device root lists its folders, and never "." or "..".
    EXPECT_EQ(FindAll(u"\\*"), std::vector<std::u16string>{u"My Documents"});
}

}  // namespace
