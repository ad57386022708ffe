#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel/kernel.h"
#include "tests/support/temp_root.h"

namespace {

using testing_support::RootsTest;

class FilesTest : public RootsTest {
  protected:
    ~FilesTest() override { platform::ClearWriteFailure(); }

    std::filesystem::path Host(const char* relative) const { return roots_.device() / relative; }

    void Put(const char* relative, const std::string& text) const {
        std::ofstream(Host(relative), std::ios::binary) << text;
    }

    std::string Get(const char* relative) const {
        std::ifstream in(Host(relative), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(FilesTest, DispositionTable) {
    struct Case {
        DWORD disposition;
        bool exists;
        bool opens;
        DWORD error;
        const char* contentAfter;  // null: no file afterwards
    };
    const Case cases[] = {
        {CREATE_NEW, false, true, 0, ""},
        {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
        {CREATE_ALWAYS, false, true, 0, ""},
        {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
        {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
        {OPEN_EXISTING, true, true, 0, "old"},
        {OPEN_ALWAYS, false, true, 0, ""},
        {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
        {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
        {TRUNCATE_EXISTING, true, true, 0, ""},
        {0, true, false, ERROR_INVALID_PARAMETER, "old"},
        {6, true, false, ERROR_INVALID_PARAMETER, "old"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "disposition " << c.disposition << " exists " << c.exists);
        std::filesystem::remove(Host("f.bin"));
        if (c.exists) {
            Put("f.bin", "old");
        }
        SetLastError(12345);
        HANDLE file = CreateFileW(u"\\f.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  c.disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opens);
        EXPECT_EQ(GetLastError(), c.error);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
        if (c.contentAfter) {
            EXPECT_EQ(Get("f.bin"), c.contentAfter);
        } else {
            EXPECT_FALSE(std::filesystem::exists(Host("f.bin")));
        }
    }
    // Not found with a missing folder is a path error; folders do not open.
    EXPECT_EQ(CreateFileW(u"\\No\\f.bin", GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    ASSERT_TRUE(CreateDirectoryW(u"\\Folder", nullptr));
    EXPECT_EQ(CreateFileW(u"\\Folder", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    // Truncation needs write access.
    EXPECT_EQ(CreateFileW(u"\\f.bin", GENERIC_READ, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(FilesTest, SharingFollowsThePlatform) {
    Put("shared.bin", "data");
    struct Case {
        DWORD firstAccess, firstShare, secondAccess, secondShare;
        bool secondOpens;
    };
    const DWORD R = GENERIC_READ, W = GENERIC_WRITE;
    const Case cases[] = {
        {R, FILE_SHARE_READ, R, FILE_SHARE_READ, true},
        {R, FILE_SHARE_READ, W, FILE_SHARE_READ, false},  // first does not share writing
        {R, 0, R, FILE_SHARE_READ, false},
        {W, FILE_SHARE_READ, R, FILE_SHARE_READ, false},  // second does not share writing
        {W, FILE_SHARE_READ, R, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
        {R | W, FILE_SHARE_READ | FILE_SHARE_WRITE, R | W, FILE_SHARE_READ | FILE_SHARE_WRITE,
         true},
        {R | W, 0, 0, FILE_SHARE_READ, true},  // an open for no data never conflicts
        {0, 0, R | W, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        HANDLE first = CreateFileW(u"\\shared.bin", c.firstAccess, c.firstShare, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        HANDLE second = CreateFileW(u"\\SHARED.bin", c.secondAccess, c.secondShare, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.secondOpens);
        if (second == INVALID_HANDLE_VALUE) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        } else {
            CloseHandle(second);
        }
        CloseHandle(first);
    }

    // A refused CREATE_ALWAYS leaves the data alone; an open file is not deleted or
    // moved; both work once the handle is closed.
    HANDLE open =
        CreateFileW(u"\\shared.bin", R, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(open, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileW(u"\\shared.bin", W, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(Get("shared.bin"), "data");
    EXPECT_FALSE(DeleteFileW(u"\\shared.bin"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(MoveFileW(u"\\shared.bin", u"\\moved.bin"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(open);
    EXPECT_TRUE(DeleteFileW(u"\\shared.bin"));
}

TEST_F(FilesTest, ReadWriteSeekAndSize) {
    HANDLE file = CreateFileW(u"\\seek.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "0123456789", 10, &written, nullptr));
    EXPECT_EQ(written, 10u);
    DWORD high = 7;
    EXPECT_EQ(GetFileSize(file, &high), 10u);
    EXPECT_EQ(high, 0u);

    EXPECT_EQ(SetFilePointer(file, -4, nullptr, FILE_END), 6u);
    char buffer[8] = {};
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), "6789");
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(read, 0u);  // the end of the file is not an error

    EXPECT_EQ(SetFilePointer(file, -11, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 10u);  // unmoved
    EXPECT_EQ(SetFilePointer(file, 2, nullptr, FILE_BEGIN), 2u);
    EXPECT_EQ(SetFilePointer(file, 3, nullptr, FILE_CURRENT), 5u);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, 3), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // With the high part, positions beyond 4 GiB; the low part 0xFFFFFFFF of a good
    // position is told from failure by the last error.
    LONG distanceHigh = 1;
    EXPECT_EQ(SetFilePointer(file, 16, &distanceHigh, FILE_BEGIN), 16u);
    EXPECT_EQ(distanceHigh, 1);
    distanceHigh = 0;
    SetLastError(99);
    EXPECT_EQ(SetFilePointer(file, -1, &distanceHigh, FILE_BEGIN), 0xFFFFFFFFu);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
    distanceHigh = -1;
    EXPECT_EQ(SetFilePointer(file, 0, &distanceHigh, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));

    EXPECT_EQ(SetFilePointer(file, 4, nullptr, FILE_BEGIN), 4u);
    ASSERT_TRUE(SetEndOfFile(file));
    EXPECT_EQ(GetFileSize(file, nullptr), 4u);
    EXPECT_TRUE(FlushFileBuffers(file));
    CloseHandle(file);
    EXPECT_EQ(Get("seek.bin"), "0123");

    // Access is checked per handle.
    HANDLE reader = CreateFileW(u"\\seek.bin", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(WriteFile(reader, "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(SetEndOfFile(reader));
    CloseHandle(reader);
    EXPECT_FALSE(ReadFile(reader, buffer, 1, &read, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(FilesTest, WriteFailureHookActsLikeAFullDisk) {
    HANDLE file = CreateFileW(u"\\full.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    platform::FailWritesAfter(10);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "abcdef", 6, &written, nullptr));
    EXPECT_EQ(written, 6u);
    EXPECT_FALSE(WriteFile(file, "ghijkl", 6, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(written, 4u);
    EXPECT_FALSE(WriteFile(file, "m", 1, &written, nullptr));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(Get("full.bin"), "abcdefghij");

    // A copy that runs out leaves no half file behind.
    Put("source.bin", std::string(100, 's'));
    EXPECT_FALSE(CopyFileW(u"\\source.bin", u"\\copy.bin", TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_FALSE(std::filesystem::exists(Host("copy.bin")));

    platform::ClearWriteFailure();
    EXPECT_TRUE(WriteFile(file, "k", 1, &written, nullptr));
    CloseHandle(file);
    EXPECT_EQ(Get("full.bin"), "abcdefghijk");
}

TEST_F(FilesTest, AttributesSurviveRenameAndAreNeverListed) {
    Put("track.gps", "x");
    Put("other.gps", "y");
    EXPECT_EQ(GetFileAttributesW(u"\\track.gps"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(SetFileAttributesW(u"\\TRACK.gps", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(SetFileAttributesW(u"\\other.gps", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesW(u"\\other.gps"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));

    ASSERT_TRUE(CreateDirectoryW(u"\\Saved", nullptr));
    ASSERT_TRUE(MoveFileW(u"\\track.gps", u"\\saved\\Kept.gps"));
    EXPECT_EQ(GetFileAttributesW(u"\\Saved\\kept.gps"),
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    // A new file of the old name does not inherit them.
    Put("track.gps", "z");
    EXPECT_EQ(GetFileAttributesW(u"\\track.gps"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));

    // The sidecars exist on the host, and no search ever shows them.
    EXPECT_TRUE(std::filesystem::exists(roots_.device() / "Saved" / ".pl-attributes"));
    for (const char16_t* pattern : {u"\\*", u"\\Saved\\*", u"\\Saved\\*.*", u"\\.pl*"}) {
        WIN32_FIND_DATAW data;
        HANDLE search = FindFirstFileW(pattern, &data);
        while (search != INVALID_HANDLE_VALUE) {
            EXPECT_NE(std::u16string(data.cFileName).rfind(u".pl-", 0), 0u);
            if (!FindNextFileW(search, &data)) {
                break;
            }
        }
        if (search != INVALID_HANDLE_VALUE) {
            FindClose(search);
        }
    }

    // Deleting drops the entry: a file made later under that name starts plain.
    ASSERT_TRUE(DeleteFileW(u"\\saved\\kept.gps"));
    Put("Saved/Kept.gps", "again");
    EXPECT_EQ(GetFileAttributesW(u"\\Saved\\Kept.gps"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    // A folder holding only the stand-in's files is empty to the platform.
    ASSERT_TRUE(DeleteFileW(u"\\Saved\\Kept.gps"));
    ASSERT_TRUE(SetFileAttributesW(u"\\Saved", FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(RemoveDirectoryW(u"\\Saved"));
    EXPECT_EQ(GetFileAttributesW(u"\\Saved"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FilesTest, ReadOnlyProtectsAndCopiesCarryAttributes) {
    Put("oxloserv.dll", "lib");
    ASSERT_TRUE(SetFileAttributesW(u"\\oxloserv.dll", FILE_ATTRIBUTE_READONLY |
                                                          FILE_ATTRIBUTE_HIDDEN |
                                                          FILE_ATTRIBUTE_SYSTEM));
    EXPECT_EQ(CreateFileW(u"\\oxloserv.dll", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DeleteFileW(u"\\oxloserv.dll"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE reader = CreateFileW(u"\\oxloserv.dll", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    CloseHandle(reader);

    ASSERT_TRUE(CopyFileW(u"\\oxloserv.dll", u"\\copy.dll", FALSE));
    EXPECT_EQ(Get("copy.dll"), "lib");
    EXPECT_EQ(GetFileAttributesW(u"\\copy.dll"),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                 FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_FALSE(CopyFileW(u"\\oxloserv.dll", u"\\copy.dll", FALSE));  // onto read-only
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    ASSERT_TRUE(SetFileAttributesW(u"\\oxloserv.dll", FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileW(u"\\oxloserv.dll"));

    // A file the host protects reads as read-only; clearing it lifts that.
    Put("host.txt", "h");
    std::filesystem::permissions(Host("host.txt"), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_EQ(GetFileAttributesW(u"\\host.txt"),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(SetFileAttributesW(u"\\host.txt", FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(GetFileAttributesW(u"\\host.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
}

TEST_F(FilesTest, SidecarKeepsEveryThreadsChange) {
    constexpr int kThreads = 8;
    constexpr int kFilesEach = 12;
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kFilesEach; ++i) {
            Put(("f" + std::to_string(t) + "_" + std::to_string(i)).c_str(), "x");
        }
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kFilesEach; ++i) {
                std::u16string name =
                    platform::HostPathText("\\f" + std::to_string(t) + "_" + std::to_string(i));
                SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_HIDDEN);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kFilesEach; ++i) {
            std::u16string name =
                platform::HostPathText("\\f" + std::to_string(t) + "_" + std::to_string(i));
            EXPECT_EQ(GetFileAttributesW(name.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
        }
    }
}

TEST_F(FilesTest, MoveCopyAndFolders) {
    Put("a.txt", "alpha");
    Put("b.txt", "beta");
    EXPECT_FALSE(MoveFileW(u"\\a.txt", u"\\B.TXT"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(MoveFileW(u"\\none.txt", u"\\c.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(MoveFileW(u"\\a.txt", u"\\No\\c.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    // A change of case only renames.
    ASSERT_TRUE(MoveFileW(u"\\a.txt", u"\\A.TXT"));
    EXPECT_TRUE(std::filesystem::exists(Host("A.TXT")));
    EXPECT_FALSE(std::filesystem::exists(Host("a.txt")));

    EXPECT_FALSE(CopyFileW(u"\\A.txt", u"\\b.txt", TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(Get("b.txt"), "beta");
    ASSERT_TRUE(CopyFileW(u"\\A.txt", u"\\b.txt", FALSE));
    EXPECT_EQ(Get("b.txt"), "alpha");
    // A program copied can still be run.
    std::filesystem::permissions(Host("A.TXT"), std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    ASSERT_TRUE(CopyFileW(u"\\A.txt", u"\\run.exe", FALSE));
    EXPECT_NE(
        std::filesystem::status(Host("run.exe")).permissions() & std::filesystem::perms::owner_exec,
        std::filesystem::perms::none);
    EXPECT_FALSE(CopyFileW(u"\\none.txt", u"\\c.txt", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    ASSERT_TRUE(CreateDirectoryW(u"\\Maps", nullptr));
    EXPECT_FALSE(CreateDirectoryW(u"\\maps", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryW(u"\\No\\Maps", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    ASSERT_TRUE(MoveFileW(u"\\b.txt", u"\\maps\\b.txt"));
    EXPECT_FALSE(RemoveDirectoryW(u"\\Maps"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_FALSE(RemoveDirectoryW(u"\\A.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
    EXPECT_FALSE(DeleteFileW(u"\\Maps"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(DeleteFileW(u"\\Maps\\B.TXT"));
    EXPECT_TRUE(RemoveDirectoryW(u"\\MAPS"));
    EXPECT_FALSE(DeleteFileW(u"\\b.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesW(u"\\No\\b.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

class Loopback : public platform::StreamObject {
  public:
    BOOL Read(LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead) override {
        DWORD n = std::min<DWORD>(bytesToRead, static_cast<DWORD>(data.size()));
        std::copy_n(data.begin(), n, static_cast<char*>(buffer));
        data.erase(0, n);
        *bytesRead = n;
        return TRUE;
    }
    BOOL Write(LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten) override {
        data.append(static_cast<const char*>(buffer), bytesToWrite);
        *bytesWritten = bytesToWrite;
        return TRUE;
    }
    std::string data;
};

TEST_F(FilesTest, DeviceNamesGoToTheOpener) {
    EXPECT_EQ(CreateFileW(u"COM8:", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    std::vector<std::u16string> asked;
    platform::SetDeviceOpener([&](LPCWSTR name, DWORD, DWORD, DWORD) {
        asked.emplace_back(name);
        return platform::InsertHandle(std::make_shared<Loopback>());
    });
    HANDLE port =
        CreateFileW(u"COM8:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DWORD count = 0;
    EXPECT_TRUE(WriteFile(port, "$GP", 3, &count, nullptr));
    char buffer[8] = {};
    EXPECT_TRUE(ReadFile(port, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(std::string(buffer, count), "$GP");
    EXPECT_EQ(GetFileSize(port, nullptr), INVALID_FILE_SIZE);  // not a file
    CloseHandle(port);
    HANDLE other = CreateFileW(u"\\\\.\\COM8", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    CloseHandle(other);
    platform::SetDeviceOpener(nullptr);
    EXPECT_EQ(asked, (std::vector<std::u16string>{u"COM8:", u"\\\\.\\COM8"}));
}

}  // namespace
