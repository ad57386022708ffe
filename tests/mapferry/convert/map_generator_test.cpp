#include "mapferry/convert/map_generator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "formats/map_set.h"
#include "mapferry/convert/file_services.h"
#include "mapferry/convert/region_names.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/kernel.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_files.h"
#include "tests/support/wait_helpers.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/town.h"

namespace {

namespace fs = std::filesystem;
using testing_support::WriteTestFile;

std::u16string Host(const fs::path& path) {
    return platform::Utf8ToWide(path.string());
}
void WriteHostFile(const fs::path& path, const std::string& bytes) {
    WriteTestFile(Host(path), bytes);
}
std::string ReadHostFile(const fs::path& path) {
    return testing_support::ReadTestFile(Host(path));
}

constexpr int kTargetDrive = 'T' - 'A';

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<uint8_t>(v));
    return out;
}

void AppendText(std::vector<uint8_t>* out, const std::string& text) {
    uint32_t n = static_cast<uint32_t>(text.size());
    for (int i = 0; i < 4; ++i)
        out->push_back(static_cast<uint8_t>(n >> (8 * i)));
    out->insert(out->end(), text.begin(), text.end());
}

// ---- "namdict.bin" ---------------------------------------------------------------

TEST(NameDictionaryTest, RegionModeListsChosenSubAreasElseChosenRegions) {
    RegionTable table = ProgramRegionTable();
    // California by its north half, Nevada whole, and Nevada's choice word listed
    // first: the names follow the table's order, the words the caller's.
    std::vector<DWORD> words = {(28u << 16) | 1u, (4u << 16) | 1u};
    ChooseRegions(&table, words);
    std::vector<uint8_t> expected =
        Bytes({'M', 'D', 'R', '1', 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 28, 0, 1, 0, 4, 0});
    AppendText(&expected, "North");
    AppendText(&expected, "Nevada");
    EXPECT_EQ(RegionNameDictionary(words, table), expected);

    std::vector<uint8_t> empty = Bytes({'M', 'D', 'R', '1', 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(RegionNameDictionary({}, ProgramRegionTable()), empty);
}

TEST(NameDictionaryTest, CityModeKeepsTheWholeRadiusText) {
    std::vector<uint8_t> expected = Bytes({'M', 'D', 'C', '1'});
    AppendText(&expected, "California");
    AppendText(&expected, "Cedar Falls");
    AppendText(&expected, "150 (241)");
    EXPECT_EQ(CityNameDictionary({u"California", u"Cedar Falls", u"150 (241)"}), expected);
}

// ---- The copy thread -------------------------------------------------------------

// A generating dialog that records what the copy thread shows and can ask for a
// cancel in the middle of a copy.
class RecordingDialog : public CGeneratingDlg {
  public:
    void SetOverallProgress(LPCWSTR caption, LPCWSTR fileName, int index, int stepFlag) override {
        CGeneratingDlg::SetOverallProgress(caption, fileName, index, stepFlag);
        std::lock_guard<std::mutex> guard(m_lock);
        if (stepFlag == 1 && fileName)
            m_copying.push_back(fileName);
        m_current = fileName ? fileName : u"";
    }
    void SetFileProgress(int percent) override {
        CGeneratingDlg::SetFileProgress(percent);
        std::lock_guard<std::mutex> guard(m_lock);
        if (percent > 0 && m_current == m_cancelDuring) {
            m_cancelRequested = 1;
            SetEvent(m_hAbortEvent);
        }
    }
    std::vector<std::u16string> Copying() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_copying;
    }
    std::u16string m_cancelDuring;

  private:
    std::mutex m_lock;
    std::vector<std::u16string> m_copying;
    std::u16string m_current;
};

class CopyThreadTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        platform::SetCurrentSide(platform::Side::Desktop);
        platform::ClearMessageBoxes();
        ASSERT_TRUE(platform::SetDrive('C', platform::DriveType::Fixed, roots_.base() / "c"));
        ASSERT_TRUE(platform::SetDrive('T', platform::DriveType::Fixed, roots_.base() / "t"));
        fs::create_directories(roots_.base() / "c" / "gen");
        SetTemporaryFolder(u"");
        g_cancelFlag = 0;
        for (int slot = 0; slot < CMapGenerator::kSlotCount; ++slot) {
            m_generator.m_deviceNames[slot] = kDeviceFileNames[slot];
            m_generator.m_tempPaths[slot] = std::u16string(u"C:\\gen\\") + kDeviceFileNames[slot];
        }
        m_dialog.m_pGenerator = &m_generator;
        m_dialog.m_targetKind = kTargetPcDrive;
        m_dialog.m_targetIndex = kTargetDrive;
        m_generator.m_hAbortEvent = m_dialog.m_hAbortEvent;
        m_generator.m_hReadyEvent = m_dialog.m_hReadyEvent;
        m_generator.m_hMutex = m_dialog.m_hMutex;
    }
    void TearDown() override {
        platform::ClearWriteFailure();
        platform::ClearDiskFreeSpace();
        if (m_thread) {
            WaitForSingleObject(m_thread, INFINITE);
            CloseHandle(m_thread);
        }
        platform::UseManualClock(false);
        g_cancelFlag = 0;
        platform::SetCurrentSide(platform::Side::Device);
    }

    // Plays the generation's part: the files of slots [0, count) lie complete.
    void MakeReady(int count) {
        for (int slot = 0; slot < count; ++slot) {
            WriteHostFile(roots_.base() / "c" / "gen" / fs::path(kDeviceFileNames[slot]),
                          "file " + std::to_string(slot));
        }
        m_generator.SetFileReady(count);
    }
    void StartCopying() {
        m_thread = CreateThread(nullptr, 0, CopyAsGeneratedThreadProc, &m_dialog, 0, nullptr);
        ASSERT_NE(m_thread, nullptr);
    }
    void FinishCopying() {
        ASSERT_EQ(WaitForSingleObject(m_thread, 20000), WAIT_OBJECT_0);
        CloseHandle(m_thread);
        m_thread = nullptr;
    }
    fs::path Target(int slot) {
        return roots_.base() / "t" / "Zanter Wayscribe" / "Maps" / fs::path(kDeviceFileNames[slot]);
    }
    int CopiedCount() {
        WaitForSingleObject(m_generator.m_hMutex, INFINITE);
        int copied = m_generator.m_copiedCount;
        ReleaseMutex(m_generator.m_hMutex);
        return copied;
    }
    // Polls in real time: the copy thread runs on its own.
    bool CopiedCountReaches(int count) {
        for (int i = 0; i < 2000; ++i) {
            if (CopiedCount() >= count)
                return CopiedCount() == count;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // Where a file waits until the whole set has arrived.
    fs::path Staged(int slot) {
        return Target(slot).parent_path() /
               platform::WideToUtf8(StagingName(kDeviceFileNames[slot]));
    }
    int TargetFiles() {
        int n = 0;
        for (int slot = 0; slot < CMapGenerator::kSlotCount; ++slot)
            n += fs::exists(Target(slot)) ? 1 : 0;
        return n;
    }
    int StagedFiles() {
        int n = 0;
        for (int slot = 0; slot < CMapGenerator::kSlotCount; ++slot)
            n += fs::exists(Staged(slot)) ? 1 : 0;
        return n;
    }
    // A map installed by an earlier run: sixteen files with bytes of their own.
    void InstallOldMap() {
        for (int slot = 0; slot < CMapGenerator::kSlotCount; ++slot)
            WriteHostFile(Target(slot), "old " + std::to_string(slot));
    }
    // The installed map byte for byte, and nothing of the run left beside it.
    void ExpectOldMap() {
        for (int slot = 0; slot < CMapGenerator::kSlotCount; ++slot) {
            ASSERT_TRUE(fs::exists(Target(slot))) << slot;
            EXPECT_EQ(ReadHostFile(Target(slot)), "old " + std::to_string(slot));
        }
        EXPECT_EQ(StagedFiles(), 0);
    }
    bool Shown(std::u16string_view text) {
        for (const auto& box : platform::ShownMessageBoxes()) {
            if (box.text == text)
                return true;
        }
        return false;
    }

    CMapGenerator m_generator;
    RecordingDialog m_dialog;
    HANDLE m_thread = nullptr;
};

TEST_F(CopyThreadTest, CopiesEveryFileInOrderAndReportsCompletion) {
    MakeReady(CMapGenerator::kSlotCount);
    StartCopying();
    FinishCopying();
    EXPECT_EQ(TargetFiles(), CMapGenerator::kSlotCount);
    EXPECT_EQ(ReadHostFile(Target(9)), "file 9");
    std::vector<std::u16string> order(kDeviceFileNames.begin(), kDeviceFileNames.end());
    EXPECT_EQ(m_dialog.Copying(), order);
    EXPECT_TRUE(Shown(u"Map Installation Completed."));
    EXPECT_EQ(m_dialog.m_completed.load(), 1);
    EXPECT_FALSE(fs::exists(roots_.base() / "c" / "gen" / "names.bin"));
}

TEST_F(CopyThreadTest, NoFilesIsCompleteAtOnce) {
    m_dialog.m_fileCount = 0;
    StartCopying();
    FinishCopying();
    EXPECT_TRUE(Shown(u"Map Installation Completed."));
}

// The ready event is set whenever the next file becomes ready, also while the copy
// thread is busy; that old signal must not count for a later file.
TEST_F(CopyThreadTest, AStaleReadySignalSkipsNoFile) {
    platform::UseManualClock(true);
    MakeReady(1);  // signals: the copy thread has not started waiting yet
    StartCopying();
    ASSERT_TRUE(testing_support::WaitUntilBlocked(1));
    EXPECT_EQ(CopiedCount(), 1);
    EXPECT_TRUE(fs::exists(Staged(0)));
    EXPECT_FALSE(fs::exists(Staged(1)));
    EXPECT_EQ(TargetFiles(), 0);
    MakeReady(CMapGenerator::kSlotCount);
    FinishCopying();
    EXPECT_EQ(TargetFiles(), CMapGenerator::kSlotCount);
    EXPECT_TRUE(Shown(u"Map Installation Completed."));
}

TEST_F(CopyThreadTest, AJumpOfTheReadyCountWakesTheWaitingThread) {
    platform::UseManualClock(true);
    MakeReady(6);
    StartCopying();
    ASSERT_TRUE(testing_support::WaitUntilBlocked(1));
    EXPECT_EQ(CopiedCount(), 6);
    MakeReady(8);  // "lsr.bin" and "lsrs.bin" come together
    EXPECT_TRUE(CopiedCountReaches(8));
    MakeReady(CMapGenerator::kSlotCount);
    FinishCopying();
    EXPECT_EQ(m_dialog.m_completed.load(), 1);
}

// A file made ready without a signal the copy thread sees (the thread took the
// events before the generation had them) is copied at the next time-out.
TEST_F(CopyThreadTest, AFileReadyWithoutASignalIsCopiedAfterTheWait) {
    platform::UseManualClock(true);
    StartCopying();
    ASSERT_TRUE(testing_support::WaitUntilBlocked(1));
    for (int slot = 0; slot < CMapGenerator::kSlotCount; ++slot) {
        WriteHostFile(roots_.base() / "c" / "gen" / fs::path(kDeviceFileNames[slot]),
                      "file " + std::to_string(slot));
    }
    WaitForSingleObject(m_generator.m_hMutex, INFINITE);
    m_generator.m_readyCount = CMapGenerator::kSlotCount;
    ReleaseMutex(m_generator.m_hMutex);
    platform::AdvanceClock(2000);
    FinishCopying();
    EXPECT_EQ(TargetFiles(), CMapGenerator::kSlotCount);
    EXPECT_EQ(m_dialog.m_completed.load(), 1);
}

// The generation stopped before the last file: a time-out while waiting for it
// must end the copying without a success and without a half map on the target.
TEST_F(CopyThreadTest, ATimeOutAfterTheGenerationEndedIsNoSuccess) {
    platform::UseManualClock(true);
    MakeReady(CMapGenerator::kSlotCount - 1);
    StartCopying();
    ASSERT_TRUE(testing_support::WaitUntilBlocked(1));
    EXPECT_EQ(CopiedCount(), CMapGenerator::kSlotCount - 1);
    m_dialog.m_generationEnded = 1;
    platform::AdvanceClock(2000);
    FinishCopying();
    EXPECT_FALSE(Shown(u"Map Installation Completed."));
    EXPECT_EQ(m_dialog.m_completed.load(), 0);
    EXPECT_EQ(TargetFiles(), 0);
    EXPECT_EQ(StagedFiles(), 0);
    EXPECT_FALSE(fs::exists(roots_.base() / "c" / "gen" / "names.bin"));
}

TEST_F(CopyThreadTest, CancelAtAnyMomentErasesTheTarget) {
    enum class When { BeforeTheFirstFile, WhileWaiting, WhileCopying };
    for (When when : {When::BeforeTheFirstFile, When::WhileWaiting, When::WhileCopying}) {
        SCOPED_TRACE(static_cast<int>(when));
        platform::ClearMessageBoxes();
        ResetEvent(m_dialog.m_hAbortEvent);
        ResetEvent(m_dialog.m_hReadyEvent);
        m_generator.m_readyCount = 0;
        m_dialog.m_cancelDuring.clear();
        platform::UseManualClock(true);
        if (when == When::BeforeTheFirstFile) {
            MakeReady(3);
            m_dialog.m_cancelRequested = 1;
            SetEvent(m_dialog.m_hAbortEvent);
            StartCopying();
        } else if (when == When::WhileWaiting) {
            MakeReady(3);
            StartCopying();
            ASSERT_TRUE(testing_support::WaitUntilBlocked(1));
            EXPECT_EQ(StagedFiles(), 3);
            m_dialog.m_cancelRequested = 1;
            SetEvent(m_dialog.m_hAbortEvent);
        } else {
            m_dialog.m_cancelDuring = u"az.bin";
            MakeReady(CMapGenerator::kSlotCount);
            StartCopying();
        }
        FinishCopying();
        EXPECT_TRUE(Shown(u"Incomplete map data will be erased on the target device."));
        EXPECT_FALSE(Shown(u"Map Installation Completed."));
        EXPECT_EQ(m_dialog.m_completed.load(), 0);
        EXPECT_EQ(TargetFiles(), 0);
        EXPECT_EQ(StagedFiles(), 0);
        EXPECT_EQ(m_dialog.m_cancelRequested.load(), 0);
    }
}

TEST_F(CopyThreadTest, AnIgnoredCopyFailureIsNoSuccess) {
    MakeReady(CMapGenerator::kSlotCount);
    // "az.bin" cannot be read: its temporary file is gone.
    fs::remove(roots_.base() / "c" / "gen" / "az.bin");
    platform::ScriptMessageBoxAnswers({IDRETRY, IDIGNORE});
    StartCopying();
    FinishCopying();
    auto boxes = platform::ShownMessageBoxes();
    ASSERT_GE(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, u"Error opening source file C:\\gen\\az.bin.");
    EXPECT_EQ(boxes[1].text, boxes[0].text);
    EXPECT_FALSE(Shown(u"Map Installation Completed."));
    EXPECT_EQ(TargetFiles(), 0);
    EXPECT_EQ(StagedFiles(), 0);
}

// The target fills up while the new map arrives: the installed map stays.
TEST_F(CopyThreadTest, AFullTargetKeepsTheInstalledMap) {
    InstallOldMap();
    MakeReady(CMapGenerator::kSlotCount);
    m_dialog.m_estimatedBytes = 1 << 20;
    ASSERT_TRUE(platform::SetDiskFreeSpace(u"T:\\", {100u << 20, 1000u << 20, 100u << 20}));
    platform::FailWritesAfter(20);  // three files of "file n"
    platform::ScriptMessageBoxAnswers({IDABORT});
    StartCopying();
    FinishCopying();
    EXPECT_TRUE(Shown(u"Error writing destination file az.bin.  "));
    EXPECT_FALSE(Shown(u"Map Installation Completed."));
    ExpectOldMap();
}

// Staging files that a killed run left are removed by the next run once it has
// its first file, also when that run fails; before that the target is untouched.
TEST_F(CopyThreadTest, AKilledRunsStagingFilesAreRemoved) {
    InstallOldMap();
    WriteHostFile(Staged(12), "stale");
    m_dialog.m_generationEnded = 1;  // the generation failed before its first file
    StartCopying();
    FinishCopying();
    EXPECT_EQ(ReadHostFile(Staged(12)), "stale");

    platform::UseManualClock(true);
    m_dialog.m_generationEnded = 0;
    MakeReady(3);
    StartCopying();
    ASSERT_TRUE(testing_support::WaitUntilBlocked(1));
    m_dialog.m_generationEnded = 1;  // now after its third file
    platform::AdvanceClock(2000);
    FinishCopying();
    EXPECT_FALSE(fs::exists(Staged(12)));
    ExpectOldMap();
}

// A storage card: the files arrive through the device link and are renamed into
// place by it; a failed copy leaves the card's map as it was.
TEST_F(CopyThreadTest, AStorageCardKeepsItsMapUntilTheNewOneIsWhole) {
    fs::path handheld = roots_.base() / "t" / "Handheld";
    fs::create_directories(handheld / "Storage Card");
    CTestDeviceLink link(u"T:\\Handheld");
    m_dialog.m_pDeviceLink = &link;
    m_dialog.m_targetKind = kTargetStorageCard;
    m_dialog.m_targetIndex = 0;
    fs::path maps = handheld / "Storage Card" / "Zanter Wayscribe" / "Maps";
    auto onCard = [&](int slot) { return maps / fs::path(kDeviceFileNames[slot]); };
    for (int slot = 0; slot < CMapGenerator::kSlotCount; ++slot)
        WriteHostFile(onCard(slot), "old " + std::to_string(slot));
    MakeReady(CMapGenerator::kSlotCount);

    link.ScriptCopyResults({kCopyDone, kCopyDone, kCopyDone, kCopyWriteFailed});
    platform::ScriptMessageBoxAnswers({IDABORT});
    StartCopying();
    FinishCopying();
    EXPECT_TRUE(Shown(u"Error writing destination file az.bin.  "));
    for (int slot = 0; slot < CMapGenerator::kSlotCount; ++slot) {
        EXPECT_EQ(ReadHostFile(onCard(slot)), "old " + std::to_string(slot));
        EXPECT_FALSE(fs::exists(maps / platform::WideToUtf8(StagingName(kDeviceFileNames[slot]))));
    }

    platform::ClearMessageBoxes();
    m_generator.m_readyCount = 0;
    MakeReady(CMapGenerator::kSlotCount);
    StartCopying();
    FinishCopying();
    EXPECT_TRUE(Shown(u"Map Installation Completed."));
    for (int slot = 0; slot < CMapGenerator::kSlotCount; ++slot)
        EXPECT_EQ(ReadHostFile(onCard(slot)), "file " + std::to_string(slot));
    int renames = 0;
    for (const std::string& call : link.Calls())
        renames += call.rfind("RenameDeviceFile ", 0) == 0 ? 1 : 0;
    // The commit, then each installed file set aside and each new one moved in.
    EXPECT_EQ(renames, 1 + 2 * CMapGenerator::kSlotCount);
}

// A write that failed says the target is full only when its free space was measured
// below 2 MB: a link that cannot tell (-1.0, as after a drop) is no full card.
TEST_F(CopyThreadTest, TheRoomMessageComesOnlyWithAMeasuredShortage) {
    fs::create_directories(roots_.base() / "t" / "Handheld" / "Storage Card");
    CTestDeviceLink link(u"T:\\Handheld");
    m_dialog.m_pDeviceLink = &link;
    m_dialog.m_targetKind = kTargetStorageCard;
    const std::u16string error = u"Error writing destination file names.bin.  ";
    for (const double free : {-1.0, 1.5}) {
        SCOPED_TRACE(free);
        platform::ClearMessageBoxes();
        link.SetFreeSpace(free, free, 0.0);
        m_generator.m_readyCount = 0;
        MakeReady(CMapGenerator::kSlotCount);
        link.ScriptCopyResults({kCopyWriteFailed});
        platform::ScriptMessageBoxAnswers({IDABORT});
        StartCopying();
        FinishCopying();
        EXPECT_EQ(Shown(error + MSG_NO_ROOM.Get()), free >= 0.0);
        EXPECT_EQ(Shown(error), free < 0.0);
    }
}

// A device link that drops at a given rename: that one and every later call that
// changes the card fail, as over a cable pulled out; or only that one, when the
// link comes back at once.
class DroppingLink : public CTestDeviceLink {
  public:
    DroppingLink(std::u16string root, int dropAt, bool comesBack)
        : CTestDeviceLink(std::move(root)), m_dropAt(dropAt), m_comesBack(comesBack) {}
    int RenameDeviceFile(const char* existingPath, const char* newPath) override {
        if (m_renames++ == m_dropAt || (m_renames > m_dropAt && !m_comesBack))
            return 0;
        return CTestDeviceLink::RenameDeviceFile(existingPath, newPath);
    }
    void DeleteDeviceFile(const char* path) override {
        if (m_renames <= m_dropAt || m_comesBack)
            CTestDeviceLink::DeleteDeviceFile(path);
    }

  private:
    int m_dropAt;
    bool m_comesBack;
    int m_renames = 0;
};

// The link drops at each rename of the swap: the card then holds the old map or,
// once the new set is committed, what the next start finishes into the new map; a
// link that comes back lets Retry complete the installation.
TEST_F(CopyThreadTest, ALinkDroppedAtAnyRenameOfTheSwapLeavesOneWholeMap) {
    fs::path maps = roots_.base() / "t" / "Handheld" / "Storage Card" / "Zanter Wayscribe" / "Maps";
    const std::u16string cardMaps = u"T:\\Handheld\\Storage Card\\Zanter Wayscribe\\Maps";
    auto onCard = [&](int slot) { return maps / fs::path(kDeviceFileNames[slot]); };
    auto wholeMap = [&](const std::string& kind) {
        for (int slot = 0; slot < CMapGenerator::kSlotCount; ++slot) {
            if (!fs::exists(onCard(slot)) ||
                ReadHostFile(onCard(slot)) != kind + " " + std::to_string(slot))
                return false;
        }
        return std::distance(fs::directory_iterator(maps), fs::directory_iterator()) ==
               CMapGenerator::kSlotCount;
    };
    // The commit, the first file set aside and moved in, the middle, "names.bin"
    // set aside and moved in last (formats/map_set_test drops at every one).
    const int last = 2 * CMapGenerator::kSlotCount;
    for (bool comesBack : {false, true}) {
        for (int dropAt : {0, 1, 2, 17, last - 1, last}) {
            if (comesBack && dropAt != 17)
                continue;
            SCOPED_TRACE((comesBack ? "retried after rename " : "dropped at rename ") +
                         std::to_string(dropAt));
            fs::remove_all(roots_.base() / "t" / "Handheld");
            fs::create_directories(maps);
            for (int slot = 0; slot < CMapGenerator::kSlotCount; ++slot)
                WriteHostFile(onCard(slot), "old " + std::to_string(slot));
            DroppingLink link(u"T:\\Handheld", dropAt, comesBack);
            m_dialog.m_pDeviceLink = &link;
            m_dialog.m_targetKind = kTargetStorageCard;
            m_dialog.m_targetIndex = 0;
            m_dialog.m_completed = 0;
            platform::ClearMessageBoxes();
            platform::ScriptMessageBoxAnswers({comesBack ? IDRETRY : IDCANCEL});
            m_generator.m_readyCount = 0;
            MakeReady(CMapGenerator::kSlotCount);
            StartCopying();
            FinishCopying();
            m_dialog.m_pDeviceLink = nullptr;
            const auto boxes = platform::ShownMessageBoxes();
            ASSERT_FALSE(boxes.empty());
            EXPECT_EQ(boxes[0].text.rfind(u"Error Copying File ", 0), 0u);
            if (comesBack) {
                EXPECT_EQ(m_dialog.m_completed.load(), 1);
                EXPECT_TRUE(wholeMap("file"));
                continue;
            }
            EXPECT_EQ(m_dialog.m_completed.load(), 0);
            // The next start on the handheld settles the card.
            formats::map_set::PlatformSwapFolder card(cardMaps);
            EXPECT_TRUE(formats::map_set::RecoverMapSwap(card));
            EXPECT_TRUE(wholeMap(dropAt == 0 ? "old" : "file"));
        }
    }
}

// ---- The whole run ---------------------------------------------------------------

// Converters that write a small file per slot; one step can be made to fail.
class FakeSteps : public CGenerationSteps {
  public:
    int Open(CMapGenerator&) override { return 0; }
    int Run(CMapGenerator& generator, GenerationStep step) override {
        if (m_onStep)
            m_onStep(step);
        if (step == m_failAt)
            return 1;
        for (int slot : Slots(step))
            WriteTestFile(generator.TempPath(slot), "made");
        return 0;
    }
    void Free(bool releaseCut) override { m_freedWithCut = releaseCut; }

    static std::vector<int> Slots(GenerationStep step) {
        switch (step) {
            case GenerationStep::Names:
                return {0};
            case GenerationStep::StreetTypes:
                return {1};
            case GenerationStep::LinkInfo:
                return {2};
            case GenerationStep::Areas:
                return {3};
            case GenerationStep::LinkIndex:
                return {4};
            case GenerationStep::AreaBoundaries:
                return {5};
            case GenerationStep::NamePairs:
                return {6, 7};
            case GenerationStep::StreetNameList:
                return {8};
            case GenerationStep::OverviewMaps:
                return {9, 10};
            case GenerationStep::DetailedMaps:
                return {11};
            case GenerationStep::Polygons:
                return {12};
            case GenerationStep::PointsOfInterest:
                return {13};
        }
        return {};
    }
    GenerationStep m_failAt = static_cast<GenerationStep>(-1);
    std::function<void(GenerationStep)> m_onStep;
    bool m_freedWithCut = false;
};

class GenerationTest : public CopyThreadTest {
  protected:
    static void SetUpTestSuite() {
        s_disc = new testing_support::TempRoots();
        discmaker::Network town = discmaker::BuildTown(1, 300);
        discmaker::BuildDiscs(town, s_disc->base() / "disc");
    }
    static void TearDownTestSuite() {
        delete s_disc;
        s_disc = nullptr;
    }
    void SetUp() override {
        CopyThreadTest::SetUp();
        fs::copy(s_disc->base() / "disc", roots_.base() / "disc", fs::copy_options::recursive);
        ASSERT_TRUE(platform::SetDrive('D', platform::DriveType::CdRom, roots_.base() / "disc"));
        std::u16string program = platform::Utf8ToWide((roots_.base() / "disc").string());
        ASSERT_NE(LoadDiscInformation(program.c_str()).dataVersion, 0);
        SetTemporaryFolder(u"C:\\gen");
        m_generator.SetSteps(&m_steps);
        m_generator.m_deviceNames = {};
        m_generator.m_tempPaths = {};
        RegionTable table = ProgramRegionTable();
        ChooseRegions(&table, m_regions);
        m_generator.SetRegionTable(table);
        m_dialog.m_regionList = m_regions;
        m_dialog.m_regionCount = static_cast<int>(m_regions.size());
    }

    // What the generating dialog does: both threads, and the generation-ended flag
    // once the generation thread has returned.
    void RunBothThreads() {
        HANDLE generation =
            CreateThread(nullptr, 0, GenerateRegionsThreadProc, &m_dialog, 0, nullptr);
        StartCopying();
        ASSERT_EQ(WaitForSingleObject(generation, 20000), WAIT_OBJECT_0);
        CloseHandle(generation);
        m_dialog.m_generationEnded = 1;
        FinishCopying();
    }

    static testing_support::TempRoots* s_disc;
    std::vector<DWORD> m_regions = {(4u << 16) | 3u, (28u << 16) | 1u};
    FakeSteps m_steps;
};

testing_support::TempRoots* GenerationTest::s_disc = nullptr;

TEST_F(GenerationTest, MakesAndCopiesTheSixteenFiles) {
    RunBothThreads();
    EXPECT_EQ(m_generator.m_success.load(), 1);
    EXPECT_EQ(m_generator.m_stepCount.load(), 16);
    EXPECT_TRUE(m_steps.m_freedWithCut);
    EXPECT_EQ(TargetFiles(), CMapGenerator::kSlotCount);
    EXPECT_EQ(ReadHostFile(Target(15)),
              ReadHostFile(roots_.base() / "disc" / "CD3" / "mapdata" / "strabbr.bin"));
    RegionTable table = ProgramRegionTable();
    ChooseRegions(&table, m_regions);
    std::vector<uint8_t> namdict = RegionNameDictionary(m_regions, table);
    EXPECT_EQ(ReadHostFile(Target(14)), std::string(namdict.begin(), namdict.end()));
    EXPECT_TRUE(Shown(u"Map Installation Completed."));
}

TEST_F(GenerationTest, AFailedStepIsNeverReportedAsCompleted) {
    struct Case {
        const char* what;
        GenerationStep failAt;
        bool strabbrIsAFolder;
        int readyFiles;
    };
    const Case cases[] = {
        {"polygons", GenerationStep::Polygons, false, 12},
        {"strabbr.bin copy", static_cast<GenerationStep>(-1), true, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::ClearMessageBoxes();
        m_steps.m_failAt = c.failAt;
        fs::path strabbr = roots_.base() / "disc" / "CD3" / "mapdata" / "strabbr.bin";
        if (c.strabbrIsAFolder) {
            fs::remove(strabbr);
            fs::create_directory(strabbr);
        }
        m_dialog.m_generationEnded = 0;
        m_generator.m_readyCount = 0;
        RunBothThreads();
        EXPECT_EQ(m_generator.m_success.load(), 0);
        EXPECT_EQ(m_generator.m_readyCount, c.readyFiles);
        EXPECT_FALSE(Shown(u"Map Installation Completed."));
        EXPECT_EQ(TargetFiles(), 0);
        EXPECT_EQ(StagedFiles(), 0);
    }
}

TEST_F(GenerationTest, CancelStopsTheConvertersAndTheCopy) {
    m_steps.m_onStep = [this](GenerationStep step) {
        if (step == GenerationStep::LinkIndex) {
            m_dialog.m_cancelRequested = 1;
            g_cancelFlag = 1;
            SetEvent(m_dialog.m_hAbortEvent);
        }
    };
    RunBothThreads();
    EXPECT_EQ(m_generator.m_success.load(), 0);
    EXPECT_EQ(m_generator.m_readyCount, 4);
    EXPECT_TRUE(Shown(u"Incomplete map data will be erased on the target device."));
    EXPECT_FALSE(Shown(u"Map Installation Completed."));
    EXPECT_EQ(TargetFiles(), 0);
    EXPECT_EQ(StagedFiles(), 0);
}

// A run that fails or is cancelled anywhere leaves the installed map byte for byte.
struct KeptMapCase {
    const char* what;
    std::function<void(GenerationTest&)> arrange;
    std::u16string shown;  // the box that shows the run took this path, if any
};

void PrintTo(const KeptMapCase& c, std::ostream* out) {
    *out << c.what;
}

class KeptMapTest : public GenerationTest, public testing::WithParamInterface<KeptMapCase> {
  public:
    void WrongDiscVersion() {
        fs::path mapid = roots_.base() / "disc" / "CD1" / "mapid.ini";
        std::string text = ReadHostFile(mapid);
        WriteHostFile(mapid, text.substr(0, text.rfind(' ')) + " 99");
    }
    void NoDisc() {
        ASSERT_TRUE(platform::RemoveDrive('D'));
        platform::ScriptMessageBoxAnswers({IDCANCEL});
    }
    void FailAt(GenerationStep step) { m_steps.m_failAt = step; }
    void CancelWhileCopying(const char16_t* file) { m_dialog.m_cancelDuring = file; }
};

TEST_P(KeptMapTest, TheInstalledMapStays) {
    InstallOldMap();
    GetParam().arrange(*this);
    RunBothThreads();
    EXPECT_EQ(m_dialog.m_completed.load(), 0);
    EXPECT_FALSE(Shown(u"Map Installation Completed."));
    if (!GetParam().shown.empty()) {
        EXPECT_TRUE(Shown(GetParam().shown));
    }
    ExpectOldMap();
}

INSTANTIATE_TEST_SUITE_P(
    FailedRuns, KeptMapTest,
    testing::Values(KeptMapCase{"WrongDiscVersion",
                                [](GenerationTest& t) {
                                    static_cast<KeptMapTest&>(t).WrongDiscVersion();
                                },
                                u"Wrong version of Map Data CD found: 99"},
                    KeptMapCase{"CancelAtTheDiscPrompt",
                                [](GenerationTest& t) { static_cast<KeptMapTest&>(t).NoDisc(); },
                                u"Please insert Wayscribe Installation/Data Disc 1, then click OK"},
                    KeptMapCase{"ThirdFileFails",
                                [](GenerationTest& t) {
                                    static_cast<KeptMapTest&>(t).FailAt(GenerationStep::LinkInfo);
                                },
                                u""},
                    KeptMapCase{"CancelWhileCopying",
                                [](GenerationTest& t) {
                                    static_cast<KeptMapTest&>(t).CancelWhileCopying(u"az.bin");
                                },
                                u"Incomplete map data will be erased on the target device."}),
    [](const testing::TestParamInfo<KeptMapCase>& info) { return std::string(info.param.what); });

// Only a target without room for both maps loses the installed one, before the
// first copy; a run that then fails says so.
TEST_F(GenerationTest, ATargetWithoutRoomForBothMapsLosesTheInstalledOneFirst) {
    struct Case {
        const char* what;
        ULONGLONG freeBytes;
        GenerationStep failAt;
        bool completed;
    };
    const ULONGLONG estimate = 10u << 20;
    const Case cases[] = {
        {"room for both", 11u << 20, static_cast<GenerationStep>(-1), true},
        {"no room", 10u << 20, static_cast<GenerationStep>(-1), true},
        {"no room, polygons fail", 10u << 20, GenerationStep::Polygons, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::ClearMessageBoxes();
        InstallOldMap();
        m_dialog.m_estimatedBytes = estimate;
        platform::ClearDiskFreeSpace();
        ASSERT_TRUE(platform::SetDiskFreeSpace(u"T:\\", {c.freeBytes, 100u << 20, c.freeBytes}));
        m_steps.m_failAt = c.failAt;
        m_steps.m_onStep = [&](GenerationStep step) {
            // The installed map is gone only when there is no room for both, and
            // never before the first file is ready.
            if (step == GenerationStep::Names) {
                EXPECT_EQ(TargetFiles(), CMapGenerator::kSlotCount);
            }
        };
        m_dialog.m_generationEnded = 0;
        m_dialog.m_completed = 0;
        m_generator.m_readyCount = 0;
        RunBothThreads();
        const bool roomForBoth = c.freeBytes >= estimate + estimate / 10;
        EXPECT_EQ(m_dialog.m_completed.load(), c.completed ? 1 : 0);
        EXPECT_EQ(StagedFiles(), 0);
        if (c.completed) {
            EXPECT_TRUE(Shown(u"Map Installation Completed."));
            EXPECT_EQ(ReadHostFile(Target(0)), "made");
            EXPECT_EQ(TargetFiles(), CMapGenerator::kSlotCount);
        } else {
            EXPECT_EQ(TargetFiles(), roomForBoth ? CMapGenerator::kSlotCount : 0);
        }
        EXPECT_EQ(Shown(u"The map data installed before was removed to make room for the new "
                        u"map data."),
                  !roomForBoth && !c.completed);
    }
}

// ---- Finding the disc ------------------------------------------------------------

TEST_F(GenerationTest, FindDataDiscFindsTheDiscOrAsks) {
    WCHAR buffer[MAX_PATH];
    EXPECT_EQ(FindDataDisc(0, 1, buffer, 0), 0);
    EXPECT_EQ(std::u16string(buffer), u"D:\\CD1\\mapdata");
    EXPECT_EQ(GetDiscInUse().disc, 1);
    int total = CurrentDiscInformation().totalColumns;
    EXPECT_EQ(FindDataDisc(total - 2, 1, buffer, 0), 0);
    EXPECT_EQ(GetDiscInUse().disc, 3);

    // Without the disc: the prompt comes again after OK, and Cancel ends the search.
    ASSERT_TRUE(platform::RemoveDrive('D'));
    platform::ScriptMessageBoxAnswers({IDOK, IDCANCEL});
    EXPECT_EQ(FindDataDisc(0, 1, buffer, 0), 2);
    EXPECT_EQ(buffer[0], 0);
    auto boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, u"Please insert Wayscribe Installation/Data Disc 1, then click OK");
}

TEST_F(GenerationTest, FindDataDiscRejectsAnotherVersionAndMissingFiles) {
    fs::path mapid = roots_.base() / "disc" / "CD1" / "mapid.ini";
    std::string text = ReadHostFile(mapid);
    WriteHostFile(mapid, text.substr(0, text.rfind(' ')) + " 77");
    WCHAR buffer[MAX_PATH];
    EXPECT_EQ(FindDataDisc(0, 1, buffer, 0), 1);
    EXPECT_TRUE(Shown(u"Wrong version of Map Data CD found: 77"));

    WriteHostFile(mapid, text);
    fs::remove(roots_.base() / "disc" / "CD1" / "mapdata" / "lsrs.raw");
    platform::ClearMessageBoxes();
    EXPECT_EQ(FindDataDisc(0, 1, buffer, 0), 1);
    EXPECT_TRUE(Shown(u"Map data file D:\\CD1\\mapdata\\lsrs.raw not found"));
}

// Numbers near the int range in "mapid.ini" make no disc hold the columns asked
// for; nothing overflows on the way (the sanitizer build would say).
TEST_F(GenerationTest, FindDataDiscTakesNoDiscWithColumnsBeyondItsTotal) {
    const DiscInformation info = CurrentDiscInformation();
    const std::string tail =
        " " + std::to_string(info.totalColumns) + " " + std::to_string(info.dataVersion);
    for (int disc = 1; disc <= 3; ++disc) {
        WriteHostFile(roots_.base() / "disc" / ("CD" + std::to_string(disc)) / "mapid.ini",
                      std::to_string(disc * 2) + " 2147483647" + tail);
    }
    platform::ScriptMessageBoxAnswers({IDCANCEL, IDCANCEL});
    WCHAR buffer[MAX_PATH];
    EXPECT_EQ(FindDataDisc(2, 1, buffer, 0), 2);
    EXPECT_EQ(FindDataDisc(2147483647, 1, buffer, 1), 2);
}

}  // namespace
