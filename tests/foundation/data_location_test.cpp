// Finding data files on the storage cards and in main memory, the header checks
// with their messages, the list file paths, the command-line split and the
// out-of-memory exit.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_file.h"
#include "pathlume/foundation/data_location.h"
#include "platform/kernel/files.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/process.h"
#include "screen_test_support.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_files.h"

namespace {

using testing_support::ReadTestFile;
using testing_support::WriteTestFile;

constexpr const char16_t* kInstall = u"\\Program Files\\Zanter\\Wayscribe";

void SetFolder(WCHAR* target, const std::u16string& value) {
    std::copy(value.c_str(), value.c_str() + value.size() + 1, target);
}

// A storage card is a root folder marked FILE_ATTRIBUTE_TEMPORARY.
void MakeCard(const std::u16string& name) {
    std::u16string path = u"\\" + name;
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_TEMPORARY));
}

class DataLocationTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        SetFolder(g_installFolder, kInstall);
        SetFolder(g_dataFolder, u"");
        SetFolder(g_userDataFolder, u"\\My Documents\\");
        platform::ClearMessageBoxes();
        // Two cards, in the enumeration's (name) order, and a folder that is none.
        MakeCard(u"CF Card");
        MakeCard(u"Storage Card");
        ASSERT_TRUE(CreateDirectoryW(u"\\My Documents", nullptr));
    }
    void TearDown() override {
        SetFolder(g_installFolder, u"");
        SetFolder(g_dataFolder, u"");
        SetFolder(g_userDataFolder, u"");
        platform::ClearMessageBoxes();
    }
};

struct SearchCase {
    const char* label;
    std::vector<std::u16string> present;  // files that exist
    std::u16string name;
    BOOL besideMaps;
    std::u16string dataFolder;
    int result;
    std::u16string found;
};

TEST_F(DataLocationTest, SearchFollowsCardsThenInstallFolderThenBesideMaps) {
    const std::u16string a = u"\\CF Card\\Zanter Wayscribe\\poi.bin";
    const std::u16string b = u"\\Storage Card\\Zanter Wayscribe\\poi.bin";
    const std::u16string aInstall = u"\\CF Card\\Program Files\\Zanter\\Wayscribe\\poi.bin";
    const std::u16string bInstall = u"\\Storage Card\\Program Files\\Zanter\\Wayscribe\\poi.bin";
    const std::u16string memory = u"\\Program Files\\Zanter\\Wayscribe\\poi.bin";
    const std::u16string maps = u"\\Storage Card\\Zanter Wayscribe\\Maps\\";
    const std::vector<SearchCase> cases = {
        {"FirstCardFirst", {a, b, memory}, u"poi.bin", 0, u"", 0, a},
        {"BothCardsBeforeInstallLayout", {b, aInstall, memory}, u"poi.bin", 0, u"", 0, b},
        {"CardInstallLayoutInOrder", {bInstall, aInstall, memory}, u"poi.bin", 0, u"", 0, aInstall},
        {"CardBeforeMainMemory", {bInstall, memory}, u"poi.bin", 0, u"", 0, bInstall},
        {"MainMemory", {memory}, u"poi.bin", 0, u"", 0, memory},
        {"DotBackslashDropped", {b}, u".\\poi.bin", 0, u"", 0, b},
        {"InstallPrefixDropped", {a}, std::u16string(kInstall) + u"\\poi.bin", 0, u"", 0, a},
        {"CaseOfNamesIgnored",
         {b},
         u"POI.BIN",
         0,
         u"",
         0,
         u"\\Storage Card\\Zanter Wayscribe\\POI.BIN"},
        {"NotFound", {}, u"poi.bin", 0, maps, 1, u""},
        {"BesideMapsFolder",
         {},
         u"recent.dat",
         1,
         maps,
         0,
         u"\\Storage Card\\Zanter Wayscribe\\recent.dat"},
        {"BesideMapsNeedsAMapsFolder", {}, u"recent.dat", 1, u"\\Storage Card\\data\\", 1, u""},
        {"BesideMapsNeedsADataFolder", {}, u"recent.dat", 1, u"", 1, u""},
    };
    for (const SearchCase& c : cases) {
        SCOPED_TRACE(c.label);
        testing_support::TempRoots roots;
        MakeCard(u"CF Card");
        MakeCard(u"Storage Card");
        for (const std::u16string& path : c.present) {
            ASSERT_TRUE(WriteTestFile(path, "x"));
        }
        SetFolder(g_dataFolder, c.dataFolder);
        WCHAR found[MAX_PATH] = u"stale";
        EXPECT_EQ(FindDataFileOnCards(c.name.c_str(), found, c.besideMaps), c.result);
        EXPECT_EQ(std::u16string(found), c.found);
    }
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
}

TEST_F(DataLocationTest, LocatedOpensReportTheFullPath) {
    ASSERT_TRUE(WriteTestFile(u"\\Storage Card\\Zanter Wayscribe\\Maps\\poi.bin", "POI0"));
    SetFolder(g_dataFolder, u"\\Storage Card\\Zanter Wayscribe\\Maps\\");
    CDataFile file;
    WCHAR full[MAX_PATH] = {};
    EXPECT_EQ(file.OpenLocatedWithFallback(u"Maps\\poi.bin", kDataFileRead | kDataFileMapped, full),
              0);
    EXPECT_EQ(std::u16string(full), u"\\Storage Card\\Zanter Wayscribe\\Maps\\poi.bin");
    EXPECT_TRUE(file.IsMapped());
    EXPECT_EQ(file.OpenLocated(u"absent.bin", kDataFileRead, full), 1);
    EXPECT_FALSE(file.IsOpen());
    // A file to be written that exists nowhere is created beside the Maps folder.
    ASSERT_EQ(file.OpenLocated(u"favorites.dat", kDataFileWrite, full), 0);
    EXPECT_EQ(std::u16string(full), u"\\Storage Card\\Zanter Wayscribe\\favorites.dat");
    EXPECT_EQ(file.Write("FI03", 4), 4);
    file.Close();
    EXPECT_EQ(FileExists(u"\\Storage Card\\Zanter Wayscribe\\*.dat"), 1);
}

struct HeaderCase {
    const char* label;
    std::string content;  // null-free
    bool open;
    const char16_t* name;
    int result;
    std::u16string message;  // empty: no box
};

TEST_F(DataLocationTest, HeaderCheckReportsMissingAndWrongFiles) {
    const std::vector<HeaderCase> cases = {
        {"Match", "NM02rest", true, u"names.bin", 0, u""},
        {"WrongMagic", "XY12rest", true, u"names.bin", 2,
         u"Wrong File Version Data file: names.bin: XY12 != NM02"},
        {"WrongMagicSilent", "XY12rest", true, nullptr, 2, u""},
        {"TwoBytes", "NM", true, u"names.bin", 1, u"Invalid or Missing Data file: names.bin"},
        {"NotOpen", "NM02", false, u"names.bin", 1, u"Invalid or Missing Data file: names.bin"},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.label);
        platform::ClearMessageBoxes();
        ASSERT_TRUE(WriteTestFile(u"\\names.bin", c.content));
        CDataFile file;
        if (c.open) {
            ASSERT_EQ(file.Open(u"\\names.bin", kDataFileRead), 0);
        }
        EXPECT_EQ(CheckDataFileHeader(file, "NM02", c.name), c.result);
        auto boxes = platform::ShownMessageBoxes();
        if (c.message.empty()) {
            EXPECT_TRUE(boxes.empty());
            continue;
        }
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.message);
        EXPECT_EQ(boxes[0].caption, u"Error");
        EXPECT_EQ(boxes[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONHAND));
    }
}

TEST_F(DataLocationTest, VersionCheckComparesFourBytes) {
    EXPECT_EQ(CheckDataFileVersion("LI07", "LI07xxxx", u"linkinfo.bin"), 0);
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
    EXPECT_EQ(CheckDataFileVersion("LI07", "LI06", u"linkinfo.bin"), 1);
    auto boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"Wrong File Version Data file: linkinfo.bin: LI06 != LI07");
    EXPECT_EQ(boxes[0].caption, u"Error");
}

TEST_F(DataLocationTest, FileProbesAndListPaths) {
    ASSERT_TRUE(WriteTestFile(u"\\My Documents\\a.gps", std::string(1234, 'g')));
    EXPECT_EQ(GetFileSizeByName(u"\\My Documents\\a.gps"), 1234u);
    EXPECT_EQ(GetFileSizeByName(u"\\My Documents\\b.gps"), 0xFFFFFFFFu);
    EXPECT_EQ(FileExists(u"\\My Documents\\*.gps"), 1);
    EXPECT_EQ(FileExists(u"\\My Documents\\*.txt"), 0);

    WCHAR path[MAX_PATH];
    struct {
        int index;
        const char16_t* expect;
    } lists[] = {{0, u"\\My Documents\\favorites.dat"},
                 {1, u"\\My Documents\\recent.dat"},
                 {2, u"\\My Documents\\itinerary.dat"},
                 {7, u"\\My Documents\\favorites.dat"}};
    for (const auto& list : lists) {
        EXPECT_EQ(std::u16string(FormatDataFilePath(list.index, path)), list.expect);
    }
}

// The start undoes what an uncommitted map swap left, whatever the case of its names,
// finishes a committed one, and leaves a map folder without either as it was.
TEST_F(DataLocationTest, TheStartFinishesOrUndoesTheMapSwapsItFinds) {
    const std::u16string card = u"\\Storage Card\\Zanter Wayscribe\\Maps\\";
    const std::u16string main = std::u16string(kInstall) + u"\\Maps\\";
    const std::u16string other = u"\\CF Card\\Zanter Wayscribe\\Maps\\";
    ASSERT_TRUE(WriteTestFile(card + u"mapdata1.biz", "installed"));
    ASSERT_TRUE(WriteTestFile(card + u"MAPDATA1.BIZ.NEW", "staged"));
    const std::u16string aside = u"\\CF Card" + std::u16string(kInstall) + u"\\Maps\\";
    ASSERT_TRUE(WriteTestFile(aside + u"poi.bin.old", "set aside"));
    ASSERT_TRUE(WriteTestFile(main + u"names.bin", "old names"));
    ASSERT_TRUE(WriteTestFile(main + u"names.bin.swap", "new names"));
    ASSERT_TRUE(WriteTestFile(main + u"poi.bin", "old poi"));
    ASSERT_TRUE(WriteTestFile(main + u"poi.bin.new", "new poi"));
    ASSERT_TRUE(WriteTestFile(other + u"poi.bin", "kept"));

    FinishMapSwaps();
    EXPECT_EQ(ReadTestFile(card + u"mapdata1.biz"), "installed");
    EXPECT_EQ(FileExists((card + u"*.new").c_str()), 0);
    EXPECT_EQ(FileExists((aside + u"*.old").c_str()), 0);
    EXPECT_EQ(ReadTestFile(main + u"names.bin"), "new names");
    EXPECT_EQ(ReadTestFile(main + u"poi.bin"), "new poi");
    EXPECT_EQ(FileExists((main + u"*.swap").c_str()), 0);
    EXPECT_EQ(FileExists((main + u"*.new").c_str()), 0);
    EXPECT_EQ(FileExists((main + u"*.old").c_str()), 0);
    EXPECT_EQ(ReadTestFile(other + u"poi.bin"), "kept");
}

TEST_F(DataLocationTest, CommandLineSplitsAtTheExistingProgram) {
    const std::u16string exe = std::u16string(kInstall) + u"\\pathlume.exe";
    const std::u16string folder = std::u16string(kInstall) + u"\\";
    ASSERT_TRUE(WriteTestFile(exe, "ELF"));
    struct Case {
        const char* label;
        std::u16string line;
        int result;
        std::u16string exe, folder, arguments;
    };
    const std::vector<Case> cases = {
        {"QuotedWithBlanks", u"\"" + exe + u"\" search", 0, exe, folder, u"search"},
        {"Unquoted", exe + u" nowarning  search", 0, exe, folder, u"nowarning  search"},
        {"TabsAndRuns", exe + u" \t x", 0, exe, folder, u"x"},
        {"ProgramAlone", exe, 0, exe, folder, u""},
        {"Folder", std::u16string(kInstall) + u" x", 0, u"", u"", u""},
        {"NoProgram", u"\\nothing.exe search", 1, u"", u"", u""},
        {"NoBlankLeft", u"nothing", 1, u"", u"", u""},
        {"Empty", u"", 1, u"", u"", u""},
        {"OnlyQuote", u"\"", 1, u"", u"", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        WCHAR e[MAX_PATH] = u"stale", f[MAX_PATH] = u"stale", a[MAX_PATH] = u"stale";
        EXPECT_EQ(SplitCommandLine(c.line.c_str(), e, f, a), c.result);
        EXPECT_EQ(std::u16string(e), c.exe);
        EXPECT_EQ(std::u16string(f), c.folder);
        EXPECT_EQ(std::u16string(a), c.arguments);
    }
    // Any output may be left out; arguments longer than a path are cut, not overrun.
    std::u16string longLine = exe + u" " + std::u16string(1000, u'a');
    WCHAR a[MAX_PATH];
    EXPECT_EQ(SplitCommandLine(longLine.c_str(), nullptr, nullptr, a), 0);
    EXPECT_EQ(std::u16string(a), std::u16string(MAX_PATH - 1, u'a'));
}

std::atomic<int> g_cleanups{0};
CWnd* g_testMainWindow = nullptr;

// String 6172 of the program's table, which writes its line breaks as "\n".
constexpr const char16_t* kOutOfMemoryText =
    u"You do not have enough memory allocated for this program.\n\nPlease check "
    u"your memory availability in Settings\\Memory.  ";

// The out-of-memory exit with the process end caught: true when it ended with 1.
bool EndsWithCodeOne(int code) {
    try {
        FatalErrorExit(code);
    } catch (const platform::ProcessExit& exit) {
        return exit.exitCode == 1u;
    }
    return false;
}

class OutOfMemoryExitTest : public screen_testing::ScreenTest {
  protected:
    void SetUp() override {
        ScreenTest::SetUp();
        screen_testing::DrawOwnBoxes(true);
        platform::ClearMessageBoxes();
        g_outOfMemory.store(0);
        g_cleanups = 0;
        SetFatalErrorCleanup([] { ++g_cleanups; });
    }
    void TearDown() override {
        screen_testing::DrawOwnBoxes(false);
        SetAppMainWindowSource(nullptr);
        SetFatalErrorCleanup(nullptr);
        if (main_.GetSafeHwnd() != nullptr) {
            main_.DestroyWindow();
        }
        g_testMainWindow = nullptr;
        g_outOfMemory.store(0);
        g_oomQuietDepth.store(0);
        platform::ClearMessageBoxes();
        ScreenTest::TearDown();
    }

    void MakeMainWindow() {
        ASSERT_TRUE(main_.CreateEx(0, nullptr, u"Main", WS_POPUP | WS_VISIBLE,
                                   CRect(0, 0, 240, 320), nullptr, 0));
        g_testMainWindow = &main_;
        SetAppMainWindowSource([] { return g_testMainWindow; });
        platform::PumpUntilIdle();
    }

    CWnd main_;
};

TEST_F(OutOfMemoryExitTest, InsideARouteSearchOnlyTheFlagIsSet) {
    g_oomQuietDepth.store(1);
    FatalErrorExit(0);
    EXPECT_EQ(g_outOfMemory.load(), 1u);
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
    EXPECT_EQ(g_cleanups, 0);
}

// What the box showed, read once it is up and painted, before Escape answers it.
struct SeenBox {
    bool shown = false;
    bool mainDisabled = false;
    std::u16string message;
};
SeenBox g_seenBox;

void CALLBACK ReadBoxAndEscape(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    for (HWND w = GetWindow(GetDesktopWindow(), GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        WCHAR title[32] = {};
        GetWindowTextW(w, title, 32);
        if (std::u16string(title) != u"Travona") {
            continue;
        }
        g_seenBox.shown = true;
        g_seenBox.mainDisabled = !IsWindowEnabled(g_testMainWindow->GetSafeHwnd());
        for (HWND child = GetWindow(w, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            WCHAR className[16] = {};
            GetClassNameW(child, className, 16);
            if (std::u16string(className) == u"Edit") {
                WCHAR text[260] = {};
                GetWindowTextW(child, text, 260);
                g_seenBox.message = text;
            }
        }
    }
    platform::PostKeyPress(VK_ESCAPE);
}

TEST_F(OutOfMemoryExitTest, OnTheMainWindowsThreadTheProgramsBoxTellsTheUser) {
    MakeMainWindow();
    g_seenBox = SeenBox{};
    platform::TextRecording recording;
    UINT_PTR timer = SetTimer(nullptr, 0, 10, ReadBoxAndEscape);
    EXPECT_TRUE(EndsWithCodeOne(9));  // whichever way the box was left
    KillTimer(nullptr, timer);
    EXPECT_TRUE(g_seenBox.shown);
    EXPECT_TRUE(g_seenBox.mainDisabled);  // modal over the main window
    EXPECT_EQ(g_seenBox.message, kOutOfMemoryText);
    bool captionDrawn = false;
    for (const auto& text : recording.Texts()) {
        captionDrawn = captionDrawn || text.text == u"Out of Memory";
    }
    EXPECT_TRUE(captionDrawn);
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
    EXPECT_EQ(g_outOfMemory.load(), 1u);
    EXPECT_EQ(g_cleanups, 1);
}

// Frees a box that waits for an answer, so that the test fails instead of hanging.
std::atomic<bool> g_boxWaited{false};
void CALLBACK EscapeAWaitingBox(HWND, UINT, UINT_PTR, DWORD) {
    g_boxWaited = true;
    platform::PostKeyPress(VK_ESCAPE);
}

TEST_F(OutOfMemoryExitTest, ElsewhereTheSystemBoxTellsTheUserWithoutWaiting) {
    struct Case {
        const char* label;
        bool mainWindow;
        bool onWorkerThread;
    };
    const Case cases[] = {
        {"before the main window exists", false, false},
        {"on a worker thread", true, true},
    };
    for (const Case& c : cases) {
        platform::ClearMessageBoxes();
        g_outOfMemory.store(0);
        g_cleanups = 0;
        if (c.mainWindow && main_.GetSafeHwnd() == nullptr) {
            MakeMainWindow();
        }
        platform::ScriptMessageBoxAnswers({IDCANCEL});  // whichever button: the end
        bool ended = false;
        if (c.onWorkerThread) {
            std::atomic<bool> done{false};
            std::thread worker([&] {
                ended = EndsWithCodeOne(9);
                done = true;
            });
            // Pumped, so that a box on the worker could not hold it up through the
            // main window; Escape frees a box that waits all the same.
            auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!done && std::chrono::steady_clock::now() < deadline) {
                platform::PumpUntilIdle();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            EXPECT_TRUE(done) << c.label << ": the exit waits on a box";
            while (!done) {
                platform::PostKeyPress(VK_ESCAPE);
                platform::PumpUntilIdle();
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            worker.join();
        } else {
            g_boxWaited = false;
            UINT_PTR rescue = SetTimer(nullptr, 0, 2000, EscapeAWaitingBox);
            ended = EndsWithCodeOne(9);
            KillTimer(nullptr, rescue);
            EXPECT_FALSE(g_boxWaited) << c.label << ": the exit waits on a box";
        }
        EXPECT_TRUE(ended) << c.label;
        auto boxes = platform::ShownMessageBoxes();
        ASSERT_EQ(boxes.size(), 1u) << c.label;
        EXPECT_EQ(boxes[0].caption, u"Out of Memory") << c.label;
        EXPECT_EQ(boxes[0].text, kOutOfMemoryText) << c.label;
        EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OKCANCEL | MB_ICONHAND)) << c.label;
        EXPECT_EQ(boxes[0].owner, main_.GetSafeHwnd()) << c.label;
        EXPECT_EQ(g_outOfMemory.load(), 1u) << c.label;
        EXPECT_EQ(g_cleanups, 1) << c.label;
    }
}

}  // namespace
