#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "platform/kernel/kernel.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_child.h"

namespace {

using testing_support::RootsTest;

class MappingTest : public RootsTest {
  protected:
    void Put(const char* relative, const std::string& text) const {
        std::ofstream(roots_.device() / relative, std::ios::binary) << text;
    }
};

TEST_F(MappingTest, AMappedFileShowsWhatWasWritten) {
    std::string text(70000, '.');
    text.replace(0, 5, "START");
    text.replace(65536, 6, "SECOND");
    HANDLE writer = CreateFileW(u"\\Maps\\..\\data.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(writer, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    CloseHandle(writer);

    HANDLE file = CreateFileForMappingW(u"\\DATA.BIN", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    auto* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(std::string(view, text.size()), text);
    // A view at an offset must start on the allocation granularity.
    auto* second = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 65536, 6));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(std::string(second, 6), "SECOND");
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 4096, 6), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MAPPED_ALIGNMENT));
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 65536, 10000), nullptr);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    // The mapping keeps the file open after its handle is closed.
    CloseHandle(file);
    EXPECT_FALSE(DeleteFileW(u"\\data.bin"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(UnmapViewOfFile(second));
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_FALSE(UnmapViewOfFile(view));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
    CloseHandle(mapping);
    EXPECT_TRUE(DeleteFileW(u"\\data.bin"));
}

TEST_F(MappingTest, WritesThroughAViewReachTheFile) {
    Put("list.bin", "abcdef");
    HANDLE file =
        CreateFileForMappingW(u"\\list.bin", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    // A writable mapping larger than the file grows it.
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 8, nullptr);
    ASSERT_NE(mapping, nullptr);
    auto* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 8));
    ASSERT_NE(view, nullptr);
    std::memcpy(view, "ABC", 3);
    view[6] = 'g';
    EXPECT_TRUE(UnmapViewOfFile(view));
    CloseHandle(mapping);
    EXPECT_EQ(GetFileSize(file, nullptr), 8u);
    char buffer[8];
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(file, buffer, 8, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), std::string("ABCdefg\0", 8));
    CloseHandle(file);

    // A read-only mapping cannot outgrow its file; an empty file cannot be mapped.
    file = CreateFileForMappingW(u"\\list.bin", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 10, nullptr), nullptr);
    EXPECT_EQ(CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(file);
    Put("empty.bin", "");
    file = CreateFileForMappingW(u"\\empty.bin", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_INVALID));
    CloseHandle(file);
}

TEST_F(MappingTest, NamedMappingsAreSharedInProcess) {
    HANDLE first = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 284,
                                      u"InProcessShMem");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE second = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 284,
                                       u"InProcessShMem");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    auto* a = static_cast<char*>(MapViewOfFile(first, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    auto* b = static_cast<char*>(MapViewOfFile(second, FILE_MAP_READ, 0, 0, 284));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    std::strcpy(a, "fix");
    EXPECT_STREQ(b, "fix");
    UnmapViewOfFile(a);
    UnmapViewOfFile(b);

    // An unnamed one is private; a page-file mapping needs a size.
    HANDLE unnamed =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 16, nullptr);
    ASSERT_NE(unnamed, nullptr);
    auto* c = static_cast<char*>(MapViewOfFile(unnamed, FILE_MAP_WRITE, 0, 0, 0));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c[0], 0);
    UnmapViewOfFile(c);
    CloseHandle(unnamed);
    EXPECT_EQ(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    CloseHandle(first);
    CloseHandle(second);
    // Once every handle is gone the name is free and the memory new.
    HANDLE again = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 284,
                                      u"InProcessShMem");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    auto* d = static_cast<char*>(MapViewOfFile(again, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d[0], 0);
    UnmapViewOfFile(d);
    CloseHandle(again);
}

constexpr const char16_t* kSharedName = u"OxloGpsInfoShMem";

// Opens the shared record another process made, checks it and answers in it.
TEST_CHILD(ReadSharedFix) {
    HANDLE mapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 284, kSharedName);
    if (!mapping) {
        return 2;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
        return 3;
    }
    auto* record = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!record || std::strcmp(record, "fix 51.5N") != 0) {
        return 4;
    }
    std::strcpy(record + 100, "seen");
    UnmapViewOfFile(record);
    CloseHandle(mapping);
    return 0;
}

// Makes the record and dies holding it, as a crashed program would.
TEST_CHILD(MakeSharedFixAndDie) {
    HANDLE mapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 284, kSharedName);
    auto* record = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!record) {
        return 2;
    }
    std::strcpy(record, "stale");
    _exit(0);
}

TEST_F(MappingTest, NamedPageFileMappingIsSeenFromAnotherProcess) {
    HANDLE mapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 284, kSharedName);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    auto* record = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(record, nullptr);
    std::strcpy(record, "fix 51.5N");
    EXPECT_EQ(testing_support::RunChild("ReadSharedFix"), 0);
    EXPECT_STREQ(record + 100, "seen");
    UnmapViewOfFile(record);
    CloseHandle(mapping);

    // What a dead process left behind is not handed to the next creator.
    ASSERT_EQ(testing_support::RunChild("MakeSharedFixAndDie"), 0);
    mapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 284, kSharedName);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    record = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record[0], 0);
    UnmapViewOfFile(record);
    CloseHandle(mapping);
}

}  // namespace
