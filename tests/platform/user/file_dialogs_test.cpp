// The file dialogs, answered headlessly: what they offer, the checks of a chosen
// name, Cancel, and a buffer too small.
#include <gtest/gtest.h>

#include "platform/kernel/files.h"
#include "tests/platform/user/test_window.h"
#include "tests/support/test_files.h"

namespace {

using namespace user_testing;

class FileDialogsTest : public UserTest {
  protected:
    void SetUp() override {
        UserTest::SetUp();
        for (const char16_t* name : {u"\\Logs\\b.gps", u"\\Logs\\a.GPS", u"\\Logs\\notes.txt"})
            ASSERT_TRUE(testing_support::WriteTestFile(name, "x"));
        ofn_.lStructSize = sizeof(ofn_);
        ofn_.lpstrFilter = u"GPS Log Files (*.gps)\0*.gps\0All Files (*.*)\0*.*\0";
        ofn_.nFilterIndex = 1;
        ofn_.lpstrFile = file_;
        ofn_.nMaxFile = MAX_PATH;
        ofn_.lpstrInitialDir = u"\\Logs";
        ofn_.lpstrTitle = u"Play GPS Log";
        ofn_.lpstrDefExt = u"gps";
    }
    void TearDown() override {
        platform::ClearFileDialogs();
        platform::ClearMessageBoxes();
        UserTest::TearDown();
    }
    OPENFILENAMEW ofn_{};
    WCHAR file_[MAX_PATH] = {};
};

TEST_F(FileDialogsTest, AQueuedAnswerTakesTheNextDialogEvenADrawnOne) {
    platform::UseDrawnFileDialog(true);
    platform::QueueFileDialogAnswer(u"\\Logs\\a.GPS");
    platform::QueueFileDialogAnswer(std::nullopt);
    ASSERT_TRUE(GetOpenFileNameW(&ofn_));
    EXPECT_EQ(std::u16string(file_), u"\\Logs\\a.GPS");
    EXPECT_FALSE(GetOpenFileNameW(&ofn_));  // Cancel
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    platform::UseDrawnFileDialog(false);
}

TEST_F(FileDialogsTest, AnOpenDialogOffersTheFilteredFilesAndAnswersAnExistingOne) {
    platform::ScriptFileDialogAnswers({u"b.gps", u"\\Logs\\missing.gps", std::nullopt});
    ofn_.Flags = OFN_FILEMUSTEXIST;
    ASSERT_TRUE(GetOpenFileNameW(&ofn_));
    EXPECT_EQ(std::u16string(file_), u"\\Logs\\b.gps");
    EXPECT_EQ(ofn_.nFileOffset, 6);
    EXPECT_EQ(ofn_.nFileExtension, 8);
    const auto shown = platform::ShownFileDialogs();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_FALSE(shown[0].save);
    EXPECT_EQ(shown[0].title, u"Play GPS Log");
    EXPECT_EQ(shown[0].offered, (std::vector<std::u16string>{u"a.GPS", u"b.gps"}));

    EXPECT_FALSE(GetOpenFileNameW(&ofn_));  // no such file
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_INVALIDFILENAME));
    EXPECT_FALSE(GetOpenFileNameW(&ofn_));  // Cancel
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    EXPECT_FALSE(GetOpenFileNameW(&ofn_));  // no answer left: Cancel
}

TEST_F(FileDialogsTest, ASaveDialogAddsTheExtensionAndAsksBeforeReplacing) {
    platform::ScriptFileDialogAnswers({u"new", u"b", u"b"});
    ofn_.Flags = OFN_OVERWRITEPROMPT;
    ASSERT_TRUE(GetSaveFileNameW(&ofn_));
    EXPECT_EQ(std::u16string(file_), u"\\Logs\\new.gps");

    platform::ScriptMessageBoxAnswers({IDNO, IDYES});
    EXPECT_FALSE(GetSaveFileNameW(&ofn_));
    ASSERT_TRUE(GetSaveFileNameW(&ofn_));
    EXPECT_EQ(std::u16string(file_), u"\\Logs\\b.gps");
    ASSERT_EQ(platform::ShownMessageBoxes().size(), 2u);
    EXPECT_EQ(platform::ShownMessageBoxes()[0].text,
              u"b.gps already exists.\nDo you want to replace it?");
}

TEST_F(FileDialogsTest, BadRecordsAndSmallBuffersFail) {
    platform::ScriptFileDialogAnswers({u"\\Logs\\b.gps", u"\\Logs\\b.gps"});
    ofn_.lStructSize = 76;
    EXPECT_FALSE(GetOpenFileNameW(&ofn_));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_STRUCTSIZE));
    ofn_.lStructSize = sizeof(ofn_);
    ofn_.nMaxFile = 5;
    EXPECT_FALSE(GetOpenFileNameW(&ofn_));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_BUFFERTOOSMALL));
    EXPECT_EQ(file_[0], 12);  // the size the path needs
}

}  // namespace

namespace {

using namespace user_testing;

class DrawnFileDialogTest : public FileDialogsTest {
  protected:
    void TearDown() override {
        platform::UseDrawnFileDialog(false);
        platform::DiscardPendingInput();
        FileDialogsTest::TearDown();
    }
};

// In "\Logs": "[..]", "[Old]", "a.GPS", "b.gps". Down to "[Old]" and Enter opens it
// ("[..]", "c.gps"); down to "c.gps" and Enter answers it.
TEST_F(DrawnFileDialogTest, KeysWalkIntoAFolderAndChooseAFile) {
    ASSERT_TRUE(testing_support::WriteTestFile(u"\\Logs\\Old\\c.gps", "x"));
    platform::UseDrawnFileDialog(true);
    for (UINT key : {VK_DOWN, VK_RETURN, VK_DOWN, VK_RETURN})
        platform::PostKeyPress(key);
    ASSERT_TRUE(GetOpenFileNameW(&ofn_));
    EXPECT_EQ(std::u16string(file_), u"\\Logs\\Old\\c.gps");
    EXPECT_EQ(FindWindowW(u"#32770", nullptr), nullptr);

    platform::PostKeyPress(VK_ESCAPE);
    EXPECT_FALSE(GetOpenFileNameW(&ofn_));
    EXPECT_EQ(CommDlgExtendedError(), 0u);
}

}  // namespace
