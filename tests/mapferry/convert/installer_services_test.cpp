#include "mapferry/convert/installer_services.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mapferry/convert/file_services.h"
#include "platform/kernel/kernel.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_files.h"

namespace {

using testing_support::ReadTestFile;
using testing_support::WriteTestFile;

class InstallerServicesTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        platform::SetCurrentSide(platform::Side::Desktop);
        platform::ClearMessageBoxes();
    }
    void TearDown() override { platform::SetCurrentSide(platform::Side::Device); }

    std::vector<std::u16string> BoxTexts() {
        std::vector<std::u16string> texts;
        for (const auto& box : platform::ShownMessageBoxes()) {
            texts.push_back(box.text);
        }
        return texts;
    }
};

TEST(MessageTableTest, CopyThreadTextsAreExact) {
    struct Case {
        const CMessageTable& message;
        const char16_t* text;
    };
    const Case cases[] = {
        {MSG_WAITING_TO_COPY, u"Waiting to copy file"},
        {MSG_COPYING_FILE, u"Copying File"},
        {MSG_ERR_COPY_FILE, u"Error Copying File %s"},
        {MSG_ERR_READ_SOURCE, u"Error reading source %s"},
        {MSG_ERR_ALLOC, u"Error allocating memory"},
        {MSG_WRITE_FUNCTION_ERROR, u"Write function error."},
        {MSG_NO_ROOM,
         u"Not enough room on storage device for map data.\n\nPlease check available storage "
         u"space or load smaller amount of map data."},
        {MSG_ERR_WRITE_DEST, u"Error writing destination file %s.  "},
        {MSG_ERR_OPEN_DEST, u"Error opening destination file %s."},
        {MSG_ERR_OPEN_SOURCE, u"Error opening source file %s."},
        {MSG_INSTALL_COMPLETED, u"Map Installation Completed."},
        {MSG_CANCEL, u"Cancel"},
        {MSG_INCOMPLETE_ERASED, u"Incomplete map data will be erased on the target device."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(std::u16string(c.message.Get(0)), c.text);
        EXPECT_EQ(std::u16string(c.message.Get()), c.text);
    }
}

TEST(MessageTableTest, FallsBackToDefaultThenUnknown) {
    CMessageTable message(u"English");
    EXPECT_EQ(std::u16string(message.Get(5)), u"English") << "no such language: the default";
    message.Set(1, u"ignored");
    EXPECT_EQ(std::u16string(message.Get(0)), u"English");
    message.Set(0, u"Other");
    EXPECT_EQ(std::u16string(message.Get(-1)), u"Other");
    message.SetDefault(u"");
    EXPECT_EQ(std::u16string(message.Get(0)), u"unknown");
    CMessageTable empty;
    EXPECT_EQ(std::u16string(empty.Get(0)), u"unknown");
}

TEST(GeneratingDlgTest, OverallProgressStepsAndTexts) {
    CGeneratingDlg dialog;
    EXPECT_NE(dialog.m_hAbortEvent, nullptr);
    EXPECT_EQ(WaitForSingleObject(dialog.m_hAbortEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    dialog.SetOverallProgress(u"Waiting to copy file", u"names.bin", 1, 0);
    EXPECT_EQ(dialog.GetOverallCount(), 0);
    EXPECT_EQ(dialog.GetCountText(), u"1 of 16");
    dialog.SetOverallProgress(u"Copying File", u"names.bin", 1, 1);
    dialog.SetOverallProgress(nullptr, u"sttypes.bin", 2, 1);
    EXPECT_EQ(dialog.GetOverallCount(), 2);
    EXPECT_EQ(dialog.GetCaptionText(), u"");
    EXPECT_EQ(dialog.GetFileText(), u"sttypes.bin");
    EXPECT_EQ(dialog.GetCountText(), u"2 of 16");
    dialog.SetOverallProgress(u"Copying File", nullptr, 3, 0);
    EXPECT_EQ(dialog.GetFileText(), u"");
    EXPECT_EQ(dialog.GetCountText(), u"");
    EXPECT_EQ(dialog.GetOverallCount(), 2);

    dialog.SetTargetFolder(std::u16string(300, u'x'));
    EXPECT_EQ(dialog.GetTargetFolder().size(), static_cast<size_t>(MAX_PATH - 1));
}

TEST_F(InstallerServicesTest, RegistryFunctions) {
    // The string needs the key; the DWORD makes it.
    EXPECT_EQ(WriteRegistryString(HKEY_CURRENT_USER, kMapferryRegistryKey, kMapDataDirValue,
                                  u"E:\\Zanter Wayscribe\\"),
              1);
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kMapferryRegistryKey, 0, KEY_READ, &key),
              ERROR_SUCCESS)
        << "a failed string write creates nothing";
    EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kMapferryRegistryKey, u"HelpOptions", 7), 7u);
    ASSERT_EQ(WriteRegistryDword(HKEY_CURRENT_USER, kMapferryRegistryKey, u"HelpOptions", 1), 0);
    EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kMapferryRegistryKey, u"HelpOptions", 7), 1u);

    ASSERT_EQ(WriteRegistryString(HKEY_CURRENT_USER, kMapferryRegistryKey, kMapDataDirValue,
                                  u"E:\\Zanter Wayscribe\\"),
              0);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kMapferryRegistryKey, 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    WCHAR text[64] = {};
    DWORD type = 0;
    DWORD size = sizeof(text);
    ASSERT_EQ(RegQueryValueExW(key, kMapDataDirValue, nullptr, &type,
                               reinterpret_cast<LPBYTE>(text), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(std::u16string(text), u"E:\\Zanter Wayscribe\\");
    EXPECT_EQ(size, sizeof(u"E:\\Zanter Wayscribe\\")) << "the terminator is stored";

    // A DWORD read takes any type in four bytes at most; a longer value is the default.
    const BYTE two[2] = {5, 0};
    RegSetValueExW(key, u"Short", 0, REG_BINARY, two, sizeof(two));
    RegSetValueExW(key, u"Long", 0, REG_BINARY, reinterpret_cast<const BYTE*>("12345"), 5);
    RegCloseKey(key);
    EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kMapferryRegistryKey, u"Short", 9), 5u);
    EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kMapferryRegistryKey, u"Long", 9), 9u);
    EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kMapferryRegistryKey, kMapDataDirValue, 9), 9u);
}

TEST_F(InstallerServicesTest, DiscInformationReportsBadFiles) {
    const std::string headers(72, '\x11');
    struct Case {
        const char* name;
        const char* cdinfo;  // null: no file
        std::string mh;      // "-": no file
        int version;
        std::vector<std::u16string> boxes;
    };
    const std::u16string badCdinfo = u"Bad or missing cdinfo.ini";
    const std::u16string badMh = u"Bad or missing mh.ini";
    const Case cases[] = {
        {"good", "7 40 80 120\r\n", headers, 7, {}},
        {"no cdinfo", nullptr, headers, 0, {badCdinfo, badMh}},
        {"three numbers", "7 40 80", headers, 0, {badCdinfo, badMh}},
        {"version 0", "0 40 80 120", headers, 0, {badCdinfo, badMh}},
        {"columns out of order", "7 80 40 120", headers, 0, {badCdinfo, badMh}},
        {"last disc too narrow", "7 40 119 120", headers, 0, {badCdinfo, badMh}},
        {"no mh", "7 40 80 120", "-", 0, {badMh}},
        {"short mh", "7 40 80 120", std::string(71, '\x11'), 0, {badMh}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::ClearMessageBoxes();
        DeleteFileW(u"C:\\mapferry\\cdinfo.ini");
        DeleteFileW(u"C:\\mapferry\\mh.ini");
        if (c.cdinfo) {
            WriteTestFile(u"C:\\mapferry\\cdinfo.ini", c.cdinfo);
        }
        if (c.mh != "-") {
            WriteTestFile(u"C:\\mapferry\\mh.ini", c.mh);
        }
        DiscInformation information = LoadDiscInformation(u"C:\\mapferry");
        EXPECT_EQ(information.dataVersion, c.version);
        EXPECT_EQ(BoxTexts(), c.boxes);
        EXPECT_EQ(CurrentDiscInformation().dataVersion, c.version);
        if (c.version != 0) {
            EXPECT_EQ(information.disc2FirstColumn, 40);
            EXPECT_EQ(information.disc3FirstColumn, 80);
            EXPECT_EQ(information.totalColumns, 120);
            EXPECT_EQ(information.mapHeaders[1][35], 0x11);
        }
    }
}

TEST_F(InstallerServicesTest, PcDriveLinkWorksBelowItsFolder) {
    ASSERT_EQ(CreateFolderPath(u"C:\\Handheld\\Storage Card", 0), 1);
    WriteTestFile(u"C:\\Temp\\names.bin", "names");
    CTestDeviceLink link(u"C:\\Handheld");
    EXPECT_EQ(link.GetStorageCardName(0), u"\\Storage Card");
    EXPECT_EQ(link.GetStorageCardName(1), u"");

    link.CreateDeviceFolder("\\Storage Card\\Zanter Wayscribe\\Maps");
    EXPECT_EQ(link.DeviceFileExists("\\Storage Card\\Zanter Wayscribe\\Maps"), 1);
    CGeneratingDlg dialog;
    EXPECT_EQ(
        link.CopyFileToDevice(u"C:\\Temp\\names.bin", "\\Storage Card\\Zanter Wayscribe\\Maps",
                              "names.bin", 0, &dialog),
        kCopyDone);
    EXPECT_EQ(dialog.GetFilePercent(), 100);
    EXPECT_EQ(ReadTestFile(u"C:\\Handheld\\Storage Card\\Zanter Wayscribe\\Maps\\names.bin"),
              "names");

    // Scripted failures come back without a copy; a 0 copies for real.
    link.ScriptCopyResults({kCopyWriteFailed, kCopyDone});
    EXPECT_EQ(link.CopyFileToDevice(u"C:\\Temp\\names.bin", "\\Maps", "a.bin", 0, nullptr),
              kCopyWriteFailed);
    EXPECT_EQ(link.DeviceFileExists("\\Maps\\a.bin"), 0);
    link.CreateDeviceFolder("\\Maps");
    EXPECT_EQ(link.CopyFileToDevice(u"C:\\Temp\\names.bin", "\\Maps", "a.bin", 0, nullptr),
              kCopyDone);
    EXPECT_EQ(link.DeviceFileExists("\\Maps\\a.bin"), 1);
    link.DeleteDeviceFile("\\Maps\\a.bin");
    EXPECT_EQ(link.DeviceFileExists("\\Maps\\a.bin"), 0);

    link.SetFreeSpace(1.5, 20.0, 3.0);
    EXPECT_EQ(link.GetStorageCardFree(0), 1.5);
    EXPECT_EQ(link.GetMainMemoryFree() + link.GetProgramMemoryFree(), 23.0);
    EXPECT_EQ(link.Calls().size(), 6u);

    // A link whose folder is gone is not ready.
    CPcDriveLink gone(u"C:\\NoHandheld");
    EXPECT_EQ(gone.CopyFileToDevice(u"C:\\Temp\\names.bin", "\\Maps", "a.bin", 0, nullptr),
              kCopyDestinationNotOpened);
    EXPECT_EQ(gone.GetStorageCardName(0), u"");
}

}  // namespace
