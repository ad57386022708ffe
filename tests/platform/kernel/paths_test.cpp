#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/kernel/kernel.h"
#include "tests/support/temp_root.h"

namespace {

using testing_support::RootsTest;

class PathsTest : public RootsTest {
  protected:
    ~PathsTest() override { platform::SetCurrentSide(platform::Side::Device); }

    static void MakeFile(LPCWSTR path, const std::string& text) {
        HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ASSERT_TRUE(
            WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
        CloseHandle(file);
    }
};

TEST_F(PathsTest, ExistingComponentsMatchWithoutCase) {
    ASSERT_TRUE(CreateDirectoryW(u"\\My Documents", nullptr));
    MakeFile(u"\\My Documents\\test.txt", "hello");

    HANDLE file = CreateFileW(u"\\my documents\\TEST.TXT", GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char buffer[16] = {};
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), "hello");
    CloseHandle(file);

    std::filesystem::path host;
    ASSERT_TRUE(platform::HostPathFor(u"\\MY DOCUMENTS\\Test.Txt", &host));
    EXPECT_EQ(host, roots_.device() / "My Documents" / "test.txt");
    // A new name keeps its case, inside the folder that exists.
    ASSERT_TRUE(platform::HostPathFor(u"\\MY DOCUMENTS/New.gps", &host));
    EXPECT_EQ(host, roots_.device() / "My Documents" / "New.gps");
}

TEST_F(PathsTest, LatinOneLettersFoldAndHostNamesAreUtf8) {
    MakeFile(u"\\Caf\u00e9 \u00c4rger.txt", "x");
    EXPECT_TRUE(std::filesystem::exists(roots_.device() / "Caf\xc3\xa9 \xc3\x84rger.txt"));
    EXPECT_NE(GetFileAttributesW(u"\\CAF\u00c9 \u00e4RGER.TXT"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(PathsTest, DevicePathForms) {
    std::filesystem::create_directories(roots_.device() / "Windows");
    struct Case {
        const char16_t* path;
        const char* host;  // relative to the device root; null when the path must fail
        DWORD error;
    };
    const Case cases[] = {
        {u"\\", "", 0},
        {u"\\windows\\x.dll", "Windows/x.dll", 0},
        {u"windows/x.dll", "Windows/x.dll", 0},  // no leading separator: from the root
        {u"\\a\\.\\b\\..\\c", "a/c", 0},
        {u"\\\\Windows\\\\x", "Windows/x", 0},
        {u"\\..\\x", nullptr, ERROR_PATH_NOT_FOUND},
        {u"\\a\\..\\..\\x", nullptr, ERROR_PATH_NOT_FOUND},
        {u"\\x*.gps", nullptr, ERROR_INVALID_NAME},
        {u"\\a|b", nullptr, ERROR_INVALID_NAME},
        {u"\\.pl-attributes", nullptr, ERROR_ACCESS_DENIED},
        {u"", nullptr, ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        std::filesystem::path host;
        SetLastError(0);
        bool ok = platform::HostPathFor(c.path, &host);
        if (c.host) {
            ASSERT_TRUE(ok);
            EXPECT_EQ(host, *c.host ? roots_.device() / c.host : roots_.device());
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(GetLastError(), c.error);
        }
    }
    std::filesystem::path host;
    // A host folder with a platform name after it: the backslash separates too.
    ASSERT_TRUE(platform::HostPathFor(u"/tmp/Some\\Thing", &host));
    EXPECT_EQ(host, std::filesystem::path("/tmp/Some/Thing"));
}

TEST_F(PathsTest, DesktopDrivesComeFromTheTable) {
    platform::SetCurrentSide(platform::Side::Desktop);
    // No table: C: alone, on <desktop root>/C.
    EXPECT_EQ(GetLogicalDrives(), 1u << 2);
    EXPECT_EQ(GetDriveTypeW(u"C:\\"), static_cast<UINT>(DRIVE_FIXED));
    std::filesystem::path host;
    ASSERT_TRUE(platform::HostPathFor(u"\\Program Files\\x", &host));
    EXPECT_EQ(host, roots_.desktop() / "C" / "Program Files" / "x");

    std::filesystem::path disc = roots_.base() / "disc";
    ASSERT_TRUE(platform::SetDrive('d', platform::DriveType::CdRom, disc));
    ASSERT_TRUE(platform::SetDrive('E', platform::DriveType::Removable, "stick"));
    ASSERT_TRUE(platform::SetDrive('N', platform::DriveType::Remote, roots_.base() / "net"));
    EXPECT_EQ(GetLogicalDrives(), (1u << 2) | (1u << 3) | (1u << 4) | (1u << 13));
    EXPECT_EQ(GetDriveTypeW(u"D:\\"), static_cast<UINT>(DRIVE_CDROM));
    EXPECT_EQ(GetDriveTypeW(u"e:"), static_cast<UINT>(DRIVE_REMOVABLE));
    EXPECT_EQ(GetDriveTypeW(u"N:\\"), static_cast<UINT>(DRIVE_REMOTE));
    EXPECT_EQ(GetDriveTypeW(u"Q:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
    EXPECT_EQ(GetDriveTypeW(u"C:\\Windows"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));

    std::ofstream(disc / "mapid.ini") << "1 2 3 4";
    ASSERT_TRUE(platform::HostPathFor(u"d:\\MAPID.INI", &host));
    EXPECT_EQ(host, disc / "mapid.ini");
    ASSERT_TRUE(platform::HostPathFor(u"E:\\x", &host));
    EXPECT_EQ(host, roots_.desktop() / "stick" / "x");
    EXPECT_FALSE(platform::HostPathFor(u"Q:\\x", &host));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    // A drive path means the desktop even from the device side.
    platform::SetCurrentSide(platform::Side::Device);
    ASSERT_TRUE(platform::HostPathFor(u"D:\\mapid.ini", &host));
    EXPECT_EQ(host, disc / "mapid.ini");

    ASSERT_TRUE(platform::RemoveDrive('E'));
    EXPECT_EQ(GetDriveTypeW(u"E:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
    EXPECT_EQ(platform::Drives().size(), 3u);
}

TEST_F(PathsTest, TemporaryFileNames) {
    platform::SetCurrentSide(platform::Side::Desktop);
    WCHAR small[4];
    DWORD needed = GetTempPathW(4, small);
    EXPECT_EQ(needed, 9u);  // "C:\Temp\" and its terminator
    WCHAR folder[MAX_PATH];
    ASSERT_EQ(GetTempPathW(MAX_PATH, folder), 8u);
    EXPECT_EQ(std::u16string(folder), u"C:\\Temp\\");
    EXPECT_TRUE(std::filesystem::is_directory(roots_.desktop() / "C" / "Temp"));

    WCHAR first[MAX_PATH];
    WCHAR second[MAX_PATH];
    UINT a = GetTempFileNameW(folder, u"tmpXYZ", 0, first);
    UINT b = GetTempFileNameW(folder, u"tmp", 0, second);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(std::u16string(first), std::u16string(second));
    // The name is prefix (three characters at most) + hex number + ".tmp", and
    // the file exists.
    char expected[32];
    snprintf(expected, sizeof expected, "tmp%X.tmp", a);
    EXPECT_EQ(std::u16string(first), u"C:\\Temp\\" + platform::HostPathText(expected));
    EXPECT_NE(GetFileAttributesW(first), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW(second), INVALID_FILE_ATTRIBUTES);

    // With a number given the name is only formed.
    WCHAR given[MAX_PATH];
    EXPECT_EQ(GetTempFileNameW(u"C:\\Temp", u"ab", 0x1A2B, given), 0x1A2Bu);
    EXPECT_EQ(std::u16string(given), u"C:\\Temp\\ab1A2B.tmp");
    EXPECT_EQ(GetFileAttributesW(given), INVALID_FILE_ATTRIBUTES);

    EXPECT_EQ(GetTempFileNameW(u"C:\\NoSuchFolder", u"tmp", 0, given), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(PathsTest, FreeSpaceIsTheHostsUnlessOverridden) {
    ULARGE_INTEGER available;
    ULARGE_INTEGER total;
    ULARGE_INTEGER free;
    ASSERT_TRUE(GetDiskFreeSpaceExW(u"\\", &available, &total, &free));
    EXPECT_GT(total.QuadPart, 0u);
    EXPECT_LE(available.QuadPart, free.QuadPart);
    EXPECT_LE(free.QuadPart, total.QuadPart);

    ASSERT_TRUE(CreateDirectoryW(u"\\Storage Card", nullptr));
    ASSERT_TRUE(CreateDirectoryW(u"\\Storage Card\\Maps", nullptr));
    ASSERT_TRUE(platform::SetDiskFreeSpace(u"\\Storage Card", {5u << 20, 64u << 20, 6u << 20}));
    ASSERT_TRUE(GetDiskFreeSpaceExW(u"\\storage card\\maps", &available, nullptr, &free));
    EXPECT_EQ(available.QuadPart, 5u << 20);
    EXPECT_EQ(free.QuadPart, 6u << 20);
    ASSERT_TRUE(GetDiskFreeSpaceExW(u"\\", nullptr, &total, nullptr));
    EXPECT_NE(total.QuadPart, 64u << 20);
    platform::ClearDiskFreeSpace();
    ASSERT_TRUE(GetDiskFreeSpaceExW(u"\\Storage Card", &available, nullptr, nullptr));
    EXPECT_NE(available.QuadPart, 5u << 20);

    EXPECT_FALSE(GetDiskFreeSpaceExW(u"\\Missing", &available, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

}  // namespace
