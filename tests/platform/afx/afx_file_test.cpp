#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/afx/afx.h"
#include "platform/afx/afx_file.h"
#include "tests/support/temp_root.h"

namespace {

class AfxFileTest : public testing_support::RootsTest {
  protected:
    ~AfxFileTest() override { platform::ClearWriteFailure(); }

    void Make(LPCWSTR path, const std::string& content) {
        CFile file(path, CFile::modeCreate | CFile::modeWrite);
        file.Write(content.data(), static_cast<UINT>(content.size()));
    }

    std::string Content(LPCWSTR path) {
        CFile file(path, CFile::modeRead);
        std::string content(static_cast<size_t>(file.GetLength()), '\0');
        EXPECT_EQ(file.Read(content.data(), static_cast<UINT>(content.size())), content.size());
        return content;
    }
};

// Runs `operation` and returns the cause of the CFileException it throws, or -1
// when it throws none.
template <typename Operation>
int CauseOf(Operation operation) {
    try {
        operation();
    } catch (CFileException* error) {
        int cause = error->m_cause;
        error->Delete();
        return cause;
    }
    return -1;
}

TEST_F(AfxFileTest, OpenModesCreateTruncateOrKeep) {
    struct Case {
        UINT flags;
        bool exists;  // whether "\f.bin" holds "old" before the open
        BOOL opens;
        const char* after;  // content after writing "N" at the start, when writable
    };
    const Case kCases[] = {
        {CFile::modeRead, false, FALSE, nullptr},
        {CFile::modeRead, true, TRUE, "old"},
        {CFile::modeWrite, false, FALSE, nullptr},
        {CFile::modeWrite, true, TRUE, "Nld"},
        {CFile::modeCreate | CFile::modeWrite, false, TRUE, "N"},
        {CFile::modeCreate | CFile::modeWrite, true, TRUE, "N"},
        {CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite, false, TRUE, "N"},
        {CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite, true, TRUE, "Nld"},
        {CFile::modeCreate | CFile::modeReadWrite | CFile::typeBinary, true, TRUE, "N"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.flags << " exists " << c.exists);
        DeleteFileW(u"\\f.bin");
        if (c.exists) {
            Make(u"\\f.bin", "old");
        }
        CFile file;
        CFileException error;
        ASSERT_EQ(file.Open(u"\\f.bin", c.flags, &error), c.opens);
        if (!c.opens) {
            EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
            EXPECT_EQ(error.m_lOsError, ERROR_FILE_NOT_FOUND);
            EXPECT_EQ(error.m_strFileName, u"\\f.bin");
            EXPECT_EQ(file.m_hFile, CFile::hFileNull);
            continue;
        }
        if ((c.flags & 3) != CFile::modeRead) {
            file.Write("N", 1);
        }
        file.Close();
        EXPECT_EQ(Content(u"\\f.bin"), c.after);
    }
}

TEST_F(AfxFileTest, ShareModesDecideASecondOpen) {
    Make(u"\\s.bin", "data");
    struct Case {
        UINT first;
        UINT second;
        BOOL opens;
    };
    const UINT R = CFile::modeRead;
    const UINT W = CFile::modeWrite;
    const Case kCases[] = {
        {R | CFile::shareDenyNone, W | CFile::shareDenyNone, TRUE},
        {R | CFile::shareDenyWrite, R | CFile::shareDenyWrite, TRUE},
        {R | CFile::shareDenyWrite, W | CFile::shareDenyNone, FALSE},
        {R | CFile::shareExclusive, R | CFile::shareDenyNone, FALSE},
        {R, R, FALSE},  // the compatibility mode is exclusive
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.first << " then " << c.second);
        CFile first;
        ASSERT_TRUE(first.Open(u"\\s.bin", c.first));
        CFile second;
        CFileException error;
        EXPECT_EQ(second.Open(u"\\s.bin", c.second, &error), c.opens);
        if (!c.opens) {
            EXPECT_EQ(error.m_cause, CFileException::sharingViolation);
        }
    }
    // Closed by the destructors: an exclusive open works again.
    CFile again;
    EXPECT_TRUE(again.Open(u"\\s.bin", CFile::modeReadWrite | CFile::shareExclusive));
}

TEST_F(AfxFileTest, ReadWriteSeekAndLength) {
    CFile file(u"\\rw.bin", CFile::modeCreate | CFile::modeReadWrite);
    file.Write("0123456789", 10);
    EXPECT_EQ(file.GetPosition(), 10u);
    EXPECT_EQ(file.GetLength(), 10u);

    char buffer[16] = {};
    file.SeekToBegin();
    EXPECT_EQ(file.Read(buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(file.Seek(-2, CFile::current), 2u);
    EXPECT_EQ(file.Seek(-3, CFile::end), 7u);
    EXPECT_EQ(file.Read(buffer, 16), 3u);  // the count read, short at the end
    EXPECT_EQ(std::string(buffer, 3), "789");
    EXPECT_EQ(file.Read(buffer, 16), 0u);
    EXPECT_EQ(file.Read(buffer, 0), 0u);

    // Before the start: refused, the position stays.
    EXPECT_EQ(CauseOf([&] { file.Seek(-11, CFile::end); }), CFileException::badSeek);
    EXPECT_EQ(file.GetPosition(), 10u);

    // Past the end: the gap reads as zeros once written beyond.
    EXPECT_EQ(file.Seek(12, CFile::begin), 12u);
    file.Write("X", 1);
    EXPECT_EQ(file.SeekToEnd(), 13u);
    file.Seek(10, CFile::begin);
    EXPECT_EQ(file.Read(buffer, 3), 3u);
    EXPECT_EQ(std::memcmp(buffer, "\0\0X", 3), 0);

    file.SetLength(5);
    EXPECT_EQ(file.GetLength(), 5u);
    file.SetLength(8);
    EXPECT_EQ(file.GetLength(), 8u);
    file.SeekToBegin();
    EXPECT_EQ(file.Read(buffer, 16), 8u);
    EXPECT_EQ(std::memcmp(buffer, "01234\0\0\0", 8), 0);
    file.Flush();
}

TEST_F(AfxFileTest, PositionsBeyondFourGigabytes) {
    CFile file(u"\\big.bin", CFile::modeCreate | CFile::modeReadWrite);
    const ULONGLONG kFar = 5ull * 1024 * 1024 * 1024 + 3;
    EXPECT_EQ(file.Seek(static_cast<LONGLONG>(kFar), CFile::begin), kFar);
    file.Write("Z", 1);
    EXPECT_EQ(file.GetPosition(), kFar + 1);
    EXPECT_EQ(file.GetLength(), kFar + 1);
    EXPECT_EQ(file.Seek(-1, CFile::current), kFar);
    char byte = 0;
    EXPECT_EQ(file.Read(&byte, 1), 1u);
    EXPECT_EQ(byte, 'Z');
    file.SetLength(0);
}

TEST_F(AfxFileTest, FailuresThrowFileExceptions) {
    Make(u"\\ro.bin", "abc");
    {
        CFile reading(u"\\ro.bin", CFile::modeRead);
        EXPECT_EQ(CauseOf([&] { reading.Write("x", 1); }), CFileException::accessDenied);
        EXPECT_EQ(CauseOf([&] { reading.SetLength(1); }), CFileException::accessDenied);
    }
    {
        CFile writing(u"\\ro.bin", CFile::modeWrite);
        char buffer[4];
        EXPECT_EQ(CauseOf([&] { writing.Read(buffer, 3); }), CFileException::accessDenied);
    }
    {
        // A full disk takes what fits, then throws.
        CFile out(u"\\full.bin", CFile::modeCreate | CFile::modeWrite);
        platform::FailWritesAfter(5);
        EXPECT_EQ(CauseOf([&] { out.Write("0123456789", 10); }), CFileException::diskFull);
        EXPECT_EQ(CauseOf([&] { out.Write("0", 1); }), CFileException::diskFull);
        platform::ClearWriteFailure();
        EXPECT_EQ(out.GetLength(), 5u);
    }
    // The constructor that opens throws; its exception names the file.
    try {
        CFile missing(u"\\No Folder\\m.bin", CFile::modeRead);
        ADD_FAILURE() << "no exception";
    } catch (CFileException* error) {
        EXPECT_EQ(error->m_cause, CFileException::badPath);
        EXPECT_EQ(error->m_lOsError, ERROR_PATH_NOT_FOUND);
        EXPECT_EQ(error->m_strFileName, u"\\No Folder\\m.bin");
        error->Delete();
    }
    // A closed file has no handle: every call fails.
    CFile closed;
    char buffer[1];
    EXPECT_EQ(CauseOf([&] { closed.Read(buffer, 1); }), CFileException::fileNotFound);
    EXPECT_EQ(CauseOf([&] { closed.Seek(0, CFile::begin); }), CFileException::fileNotFound);
    EXPECT_EQ(CauseOf([&] { closed.Close(); }), -1);
}

TEST_F(AfxFileTest, CloseAbortAndHandles) {
    ASSERT_TRUE(CreateDirectoryW(u"\\Maps", nullptr));
    CFile file(u"\\Maps\\c.bin", CFile::modeCreate | CFile::modeWrite);
    EXPECT_EQ(file.GetFileName(), u"c.bin");
    EXPECT_EQ(file.GetFilePath(), u"\\Maps\\c.bin");
    HANDLE handle = file.m_hFile;
    file.Close();
    EXPECT_EQ(file.m_hFile, CFile::hFileNull);
    EXPECT_FALSE(CloseHandle(handle));  // really closed
    EXPECT_TRUE(file.GetFilePath().empty());

    // Abort closes and drops the error of a handle already gone.
    CFile aborted(
        CreateFileW(u"\\Maps\\c.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(aborted.m_hFile, CFile::hFileNull);
    CloseHandle(aborted.m_hFile);
    EXPECT_EQ(CauseOf([&] { aborted.Abort(); }), -1);
    EXPECT_EQ(aborted.m_hFile, CFile::hFileNull);

    // An open file cannot be opened again over itself.
    CFile twice(u"\\Maps\\c.bin", CFile::modeRead | CFile::shareDenyNone);
    EXPECT_FALSE(twice.Open(u"\\Maps\\c.bin", CFile::modeRead | CFile::shareDenyNone));
    EXPECT_NE(twice.m_hFile, CFile::hFileNull);
}

}  // namespace
