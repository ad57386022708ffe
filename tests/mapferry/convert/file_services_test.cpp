#include "mapferry/convert/file_services.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/kernel/kernel.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_child.h"
#include "tests/support/test_files.h"

namespace {

using testing_support::ReadTestFile;
using testing_support::WriteTestFile;

constexpr ULONGLONG kMiB = 1048576;

bool Exists(const std::u16string& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class RecordingDialog : public CGeneratingDlg {
  public:
    void SetFileProgress(int percent) override {
        CGeneratingDlg::SetFileProgress(percent);
        percents.push_back(percent);
        if (cancelAfter > 0 && static_cast<int>(percents.size()) == cancelAfter) {
            m_cancelRequested.store(1);
        }
    }
    std::vector<int> percents;
    int cancelAfter = 0;
};

class FileServicesTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        platform::SetCurrentSide(platform::Side::Desktop);
        platform::ClearMessageBoxes();
        SetTemporaryFolder(u"");
        g_internalErrorFlag.store(0);
    }
    void TearDown() override {
        platform::ClearWriteFailure();
        platform::ClearDiskFreeSpace();
        platform::SetDeviceOpener({});
        SetTemporaryFolder(u"");
        platform::SetCurrentSide(platform::Side::Device);
    }
    CTransferBuffer buffer_;
};

// ---- Copy ------------------------------------------------------------------------

TEST(CopyPercentTest, ComputedWithoutOverflow) {
    struct Case {
        ULONGLONG done;
        ULONGLONG size;
        int percent;
    };
    const Case cases[] = {
        {0, 0, 0},                            // nothing to show for an empty file
        {5, 0, 0},                            //
        {45000000, 50000000, 90},             // 45,000,000 x 100 does not fit 32 bits
        {50000000, 50000000, 100},            //
        {5000000000ull, 10000000000ull, 50},  // beyond 4 GB
        {60, 50, 100},                        // a file that grew while copying
        {1, 3, 33},                           // rounds down
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CopyPercent(c.done, c.size), c.percent) << c.done << " of " << c.size;
    }
}

TEST_F(FileServicesTest, LargeFileCopiesExactlyWithSteadyProgress) {
    // 50 MiB: each 1 MiB piece is exactly 2 percent, and bytes x 100 passes 2^32
    // after the 40th piece.
    std::string data(50 * kMiB, '\0');
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 7 + i / 4096);
    }
    WriteTestFile(u"C:\\Temp\\tmp1\\mapdata2.bin", data);
    RecordingDialog dialog;
    ASSERT_EQ(CopyFileWithProgress(&buffer_, u"C:\\Temp\\tmp1\\mapdata2.bin",
                                   u"C:\\Zanter Wayscribe\\Maps", u"mapdata2.biz", &dialog),
              kCopyDone);
    std::vector<int> expected;
    for (int p = 2; p <= 100; p += 2) {
        expected.push_back(p);
    }
    EXPECT_EQ(dialog.percents, expected);
    EXPECT_EQ(dialog.GetFilePercent(), 100);
    EXPECT_TRUE(ReadTestFile(u"C:\\Zanter Wayscribe\\Maps\\mapdata2.biz") == data);
}

TEST_F(FileServicesTest, EmptySourceGivesEmptyDestinationAndNoProgress) {
    WriteTestFile(u"C:\\Temp\\empty.bin", "");
    RecordingDialog dialog;
    // No name: the destination takes the source's; the folders are made.
    EXPECT_EQ(
        CopyFileWithProgress(&buffer_, u"C:\\Temp\\empty.bin", u"C:\\A\\B\\C", nullptr, &dialog),
        kCopyDone);
    EXPECT_TRUE(Exists(u"C:\\A\\B\\C\\empty.bin"));
    EXPECT_EQ(ReadTestFile(u"C:\\A\\B\\C\\empty.bin"), "");
    EXPECT_TRUE(dialog.percents.empty());
}

TEST_F(FileServicesTest, OpenFailuresHaveTheirCodes) {
    EXPECT_EQ(
        CopyFileWithProgress(&buffer_, u"C:\\Temp\\missing.bin", u"C:\\Out", nullptr, nullptr),
        kCopySourceNotOpened);
    WriteTestFile(u"C:\\Temp\\a.bin", "abc");
    WriteTestFile(u"C:\\Blocked", "a file where the folder should be");
    EXPECT_EQ(CopyFileWithProgress(&buffer_, u"C:\\Temp\\a.bin", u"C:\\Blocked", nullptr, nullptr),
              kCopyDestinationNotOpened);
    EXPECT_EQ(CopyFileWithProgress(&buffer_, u"C:\\Temp\\a.bin", u"E:\\Maps", nullptr, nullptr),
              kCopyDestinationNotOpened)
        << "no drive E:";
    CTransferBuffer* none = nullptr;
    EXPECT_EQ(CopyFileWithProgress(none, u"C:\\Temp\\a.bin", u"C:\\Out2", nullptr, nullptr),
              kCopyNoBuffer);
    EXPECT_FALSE(Exists(u"C:\\Out2\\a.bin"));
}

TEST_F(FileServicesTest, FailedWriteIsReportedAndLeavesNoDestination) {
    WriteTestFile(u"C:\\Temp\\big.bin", std::string(3 * kMiB, 'w'));
    platform::FailWritesAfter(kMiB + 10);  // the second piece hits a full disk
    RecordingDialog dialog;
    EXPECT_EQ(CopyFileWithProgress(&buffer_, u"C:\\Temp\\big.bin", u"C:\\Out", nullptr, &dialog),
              kCopyWriteFailed);
    platform::ClearWriteFailure();
    EXPECT_FALSE(Exists(u"C:\\Out\\big.bin"));
}

// A source that hands out one piece and then fails to read.
class FailingSource : public platform::StreamObject {
  public:
    BOOL Read(LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead) override {
        if (left_ == 0) {
            *bytesRead = 0;
            SetLastError(ERROR_READ_FAULT);
            return FALSE;
        }
        DWORD count = std::min(bytesToRead, left_);
        std::memset(buffer, 's', count);
        left_ -= count;
        *bytesRead = count;
        return TRUE;
    }
    BOOL Write(LPCVOID, DWORD, LPDWORD) override {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }

  private:
    DWORD left_ = CTransferBuffer::kSize;
};

TEST_F(FileServicesTest, FailedReadMidCopyLeavesNoTruncatedDestination) {
    platform::SetDeviceOpener([](LPCWSTR, DWORD, DWORD, DWORD) {
        return platform::InsertHandle(std::make_shared<FailingSource>());
    });
    EXPECT_EQ(CopyFileWithProgress(&buffer_, u"\\\\.\\SRC1", u"C:\\Out", u"names.bin", nullptr),
              kCopyReadFailed);
    EXPECT_FALSE(Exists(u"C:\\Out\\names.bin"));
}

TEST_F(FileServicesTest, CancelStopsAfterAPieceAndRemovesThePart) {
    WriteTestFile(u"C:\\Temp\\big.bin", std::string(4 * kMiB, 'c'));
    RecordingDialog dialog;
    dialog.cancelAfter = 1;
    EXPECT_EQ(CopyFileWithProgress(&buffer_, u"C:\\Temp\\big.bin", u"C:\\Out", nullptr, &dialog),
              kCopyCancelled);
    EXPECT_EQ(dialog.percents, std::vector<int>{25});
    EXPECT_FALSE(Exists(u"C:\\Out\\big.bin"));

    // The copy-only dialog has its own bar and cancel flag.
    CCopyingMapsDlg copying;
    EXPECT_EQ(CopyFileWithProgress2(&buffer_, u"C:\\Temp\\big.bin", u"C:\\Out", u"x.bin", &copying),
              kCopyDone);
    EXPECT_EQ(copying.GetFilePercent(), 100);
    copying.m_cancelRequested.store(1);
    EXPECT_EQ(CopyFileWithProgress2(&buffer_, u"C:\\Temp\\big.bin", u"C:\\Out", u"y.bin", &copying),
              kCopyCancelled);
    EXPECT_TRUE(Exists(u"C:\\Out\\x.bin"));
    EXPECT_FALSE(Exists(u"C:\\Out\\y.bin"));
}

// ---- Folders ---------------------------------------------------------------------

std::u16string Levels(const std::u16string& base, int count) {
    std::u16string path = base;
    for (int i = 0; i < count; ++i) {
        path += u"\\d";
    }
    return path;
}

TEST_F(FileServicesTest, CreateFolderPathMakesAtMostThirtyFolders) {
    ASSERT_EQ(CreateFolderPath(u"C:\\Base", 0), 1);
    EXPECT_EQ(CreateFolderPath(Levels(u"C:\\Base", 30).c_str(), 0), 1);
    EXPECT_EQ(LocalFileExists(Levels(u"C:\\Base", 30).c_str()), 1);

    ASSERT_EQ(CreateFolderPath(u"C:\\Deep", 0), 1);
    EXPECT_EQ(CreateFolderPath(Levels(u"C:\\Deep", 31).c_str(), 0), 0);
    EXPECT_EQ(LocalFileExists(u"C:\\Deep\\d"), 0) << "nothing of a refused path is made";

    EXPECT_EQ(CreateFolderPath(u"", 0), 0);
    EXPECT_EQ(CreateFolderPath(u"C:\\Base", 0), 0) << "already there: not created";
}

TEST_F(FileServicesTest, LocalFileExistsOnlyForFolders) {
    WriteTestFile(u"C:\\F\\file.txt", "x");
    EXPECT_EQ(LocalFileExists(u"C:\\F"), 1);
    EXPECT_EQ(LocalFileExists(u"C:\\F\\file.txt"), 0);
    EXPECT_EQ(LocalFileExists(u"C:\\F\\none"), 0);
    EXPECT_EQ(LocalFileExists(nullptr), 0);
}

TEST_F(FileServicesTest, DeleteFolderTreeRemovesEverything) {
    WriteTestFile(u"C:\\Temp\\tmpA\\names.bin", "n");
    WriteTestFile(u"C:\\Temp\\tmpA\\.hidden", "h");
    WriteTestFile(u"C:\\Temp\\tmpA\\sub\\deeper\\poi.tmp", "p");
    SetFileAttributesW(u"C:\\Temp\\tmpA\\sub\\deeper\\poi.tmp", FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(DeleteFolderTree(u"C:\\Temp\\tmpA\\"), 0);
    EXPECT_FALSE(Exists(u"C:\\Temp\\tmpA"));
    EXPECT_TRUE(Exists(u"C:\\Temp"));
    EXPECT_EQ(DeleteFolderTree(u"C:\\Temp\\tmpA"), 1);
}

// ---- Reports ---------------------------------------------------------------------

UINT ExitCodeOf(const std::function<void()>& report) {
    try {
        report();
    } catch (const platform::ProcessExit& exit) {
        return exit.exitCode;
    }
    ADD_FAILURE() << "the report returned";
    return 0;
}

constexpr UINT kReportBox = MB_ICONSTOP | MB_OKCANCEL | MB_SYSTEMMODAL;

TEST_F(FileServicesTest, InternalErrorDeletesTheTemporaryFolderAndEnds) {
    WriteTestFile(u"C:\\Temp\\tmpB\\az.tmp", "a");
    WriteTestFile(u"C:\\Temp\\tmpB\\inner\\x", "x");
    SetTemporaryFolder(u"C:\\Temp\\tmpB");
    EXPECT_EQ(ExitCodeOf([] { ReportInternalError(0, 4282); }), kReportExitCode);
    EXPECT_FALSE(Exists(u"C:\\Temp\\tmpB"));
    EXPECT_EQ(g_internalErrorFlag.load(), 1);
    auto boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"Internal error line 4282 Please contact technical support");
    EXPECT_EQ(boxes[0].type, kReportBox);

    platform::ClearMessageBoxes();
    EXPECT_EQ(ExitCodeOf([] { ReportInternalErrorFile(0, u"Error opening az.raw.", 2281); }),
              kReportExitCode);
    boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              u"Error opening az.raw. Internal error line 2281 Please contact technical support");
}

TEST_F(FileServicesTest, LowDiskSpaceReportTellsFullDiskFromOtherFaults) {
    ASSERT_EQ(CreateFolderPath(u"C:\\Temp\\tmpC", 0), 1);
    struct Case {
        DWORD errorClass;
        const char16_t* folder;
        ULONGLONG freeBytes;
        const char16_t* text;
    };
    const Case cases[] = {
        {kErrorClassWrite, u"C:\\Temp\\tmpC", 10 * kMiB,
         u"Error writing temporary file - low on disk space 10.00 MB."},
        {kErrorClassWrite, u"C:\\Temp\\tmpC", 29 * kMiB + kMiB / 2,
         u"Error writing temporary file - low on disk space 29.50 MB."},
        {kErrorClassWrite, u"C:\\Temp\\tmpC", 100 * kMiB,
         u"Internal error line 205 Please contact technical support"},
        {0, u"C:\\Temp\\tmpC", 10 * kMiB,
         u"Internal error line 205 Please contact technical support"},
        {kErrorClassWrite, u"C:\\NoSuchFolder", 100 * kMiB,
         u"Error writing temporary file - low on disk space 0.00 MB."},
    };
    for (const Case& c : cases) {
        platform::ClearMessageBoxes();
        platform::ClearDiskFreeSpace();
        ASSERT_TRUE(
            platform::SetDiskFreeSpace(u"C:\\Temp", {c.freeBytes, 1000 * kMiB, c.freeBytes}));
        EXPECT_EQ(ExitCodeOf([&] { ReportLowDiskSpace(c.errorClass, c.folder); }), kReportExitCode);
        auto boxes = platform::ShownMessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(boxes[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONSTOP));
    }
}

TEST_CHILD(internal_error_report) {
    platform::SetCurrentSide(platform::Side::Desktop);
    SetTemporaryFolder(u"C:\\Temp\\tmpChild");
    ReportInternalError(0, 7);
}

TEST_F(FileServicesTest, ReportEndsARealProcessWithCode255) {
    WriteTestFile(u"C:\\Temp\\tmpChild\\f.bin", "f");
    EXPECT_EQ(testing_support::RunChild("internal_error_report"), 255);
    EXPECT_FALSE(Exists(u"C:\\Temp\\tmpChild"));
}

// ---- Magic and records ------------------------------------------------------------

class StreamTest : public FileServicesTest {
  protected:
    // A file holding the bytes, open for reading.
    void OpenWith(const std::string& bytes) {
        file_.Abort();
        WriteTestFile(u"C:\\Temp\\stream.bin", bytes);
        ASSERT_TRUE(file_.Open(u"C:\\Temp\\stream.bin", CFile::modeRead | CFile::typeBinary));
    }
    // A new empty file open for writing; Written() gives what was written.
    void OpenForWriting() {
        file_.Abort();
        CreateFolderPath(u"C:\\Temp", 0);
        ASSERT_TRUE(file_.Open(u"C:\\Temp\\out.bin", CFile::modeCreate | CFile::modeReadWrite));
    }
    std::string Written() {
        file_.Close();
        return ReadTestFile(u"C:\\Temp\\out.bin");
    }
    CFile file_;
};

TEST_F(StreamTest, CorruptedFileChecksTheMagic) {
    OpenWith("NM00rest");
    EXPECT_EQ(ReportCorruptedFile(file_, "NM00"), 0);
    EXPECT_EQ(file_.GetPosition(), 4u);
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());

    for (const std::string& bytes : {std::string("AZE2...."), std::string("NM")}) {
        platform::ClearMessageBoxes();
        OpenWith(bytes);
        EXPECT_EQ(ReportCorruptedFile(file_, "NM00"), 1);
        auto boxes = platform::ShownMessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, u"Corrupted file: NM00");
        EXPECT_EQ(boxes[0].caption, u"ERROR");
        EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONSTOP | MB_SYSTEMMODAL));
    }
}

TEST_F(StreamTest, LengthPrefixedTextStopsAt71Bytes) {
    std::string text71(71, 'a');
    std::string text72(72, 'b');
    OpenWith(std::string(1, 71) + text71 + std::string(1, 72) + text72);
    std::string read;
    EXPECT_EQ(ReadLengthPrefixedText(file_, &read), 0);
    EXPECT_EQ(read, text71);
    EXPECT_EQ(ReadLengthPrefixedText(file_, &read), 1) << "72 bytes is one too many";

    OpenWith(std::string(1, 5) + "abc");
    EXPECT_EQ(ReadLengthPrefixedText(file_, &read), 1) << "short read";
    OpenWith("");
    EXPECT_EQ(ReadLengthPrefixedText(file_, &read), 1);

    OpenForWriting();
    EXPECT_EQ(WriteLengthPrefixedText(file_, "MAIN ST"), 0);
    EXPECT_EQ(WriteLengthPrefixedText(file_, ""), 0);
    EXPECT_EQ(WriteLengthPrefixedText(file_, text72), 1) << "no reader would take it";
    EXPECT_EQ(Written(), std::string("\x07MAIN ST") + std::string(1, '\0'));
}

TEST_F(StreamTest, PlaceRecordsEncodeTheirParent) {
    struct Case {
        uint32_t parent;
        std::string bytes;
    };
    const Case cases[] = {
        {kPlaceNoParent, std::string("\x04") + "CITY"},
        {kPlaceNoParentMinus2, std::string("\x44") + "CITY"},  // bit 6, no parent word
        {0x80001234u, std::string("\x84\x34\x12\x00\x80", 5) + "CITY"},
        {0u, std::string("\x84\x00\x00\x00\x00", 5) + "CITY"},
    };
    for (const Case& c : cases) {
        OpenForWriting();
        ASSERT_EQ(WritePlaceRecord(file_, PlaceRecord{c.parent, "CITY"}), 0);
        std::string written = Written();
        EXPECT_EQ(written, c.bytes) << std::hex << c.parent;

        OpenWith(written);
        PlaceRecord read;
        ASSERT_EQ(ReadPlaceRecord(file_, &read), 0);
        EXPECT_EQ(read.parent, c.parent);
        EXPECT_EQ(read.text, "CITY");
    }

    OpenForWriting();
    EXPECT_EQ(WritePlaceRecord(file_, PlaceRecord{kPlaceNoParent, std::string(64, 'x')}), 1);
    PlaceRecord read;
    OpenWith(std::string("\x84\x01\x02", 3));
    EXPECT_EQ(ReadPlaceRecord(file_, &read), 1) << "parent word cut short";
    OpenWith(std::string("\x05") + "AB");
    EXPECT_EQ(ReadPlaceRecord(file_, &read), 1) << "text cut short";
}

}  // namespace
