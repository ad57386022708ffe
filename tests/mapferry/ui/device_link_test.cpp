// The device link as the desktop program uses it: rapi.dll loaded into the test, the
// cradle program serving a handheld root of the test's own.
#include "mapferry/ui/device_link.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "mapferry/convert/file_services.h"
#include "platform/cards/cards.h"
#include "platform/kernel/kernel.h"
#include "tests/support/cradle_child.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;
using testing_support::CradleChild;
using testing_support::ProgramsFolder;
using Clock = std::chrono::steady_clock;

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class Progress : public ICopyProgress {
  public:
    void SetFileProgress(int value) override { percent = value; }
    bool CopyCancelled() const override { return cancel; }
    int percent = -1;
    bool cancel = false;
};

class DeviceLinkTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        platform::SetCurrentSide(platform::Side::Desktop);
        handheld_ = roots_.base() / "handheld";
        fs::create_directories(handheld_ / "Windows");
        fs::create_directories(handheld_ / "My Documents");
        dock_ = roots_.base() / "cradle.dock";
        setenv("MAPFERRY_CRADLE", dock_.c_str(), 1);
        SetRapiLibraryName(u"rapi.dll");
        ASSERT_EQ(LoadRapiLibrary(), 0);
        platform::ClearMessageBoxes();
    }
    void TearDown() override {
        link_.reset();
        cradle_.reset();
        UnloadRapiLibrary();
        SetRapiLibraryName(u"rapi.dll");
        unsetenv("MAPFERRY_CRADLE");
        platform::SetCurrentSide(platform::Side::Device);
    }

    void StartCradle(std::vector<std::string> extra = {}) {
        cradle_.reset();
        cradle_.emplace(handheld_, std::move(extra), dock_);
        ASSERT_TRUE(cradle_->Ready()) << cradle_->Errors();
    }
    CDeviceLink& Link() {
        if (!link_)
            link_.emplace();
        return *link_;
    }
    // A handheld with the service library already in place and a storage card.
    void PrepareHandheld() {
        fs::copy_file(ProgramsFolder() / "oxloserv.dll", handheld_ / "Windows" / "oxloserv.dll");
        platform::SetCurrentSide(platform::Side::Device);
        platform::SetDeviceRoot(handheld_);
        ASSERT_TRUE(platform::MakeStorageCard(u"SD Card"));
        platform::SetDeviceRoot(roots_.device());
        platform::SetCurrentSide(platform::Side::Desktop);
    }
    bool Shown(std::u16string_view text) {
        for (const auto& box : platform::ShownMessageBoxes())
            if (box.text == text)
                return true;
        return false;
    }

    fs::path handheld_;
    fs::path dock_;
    std::optional<CradleChild> cradle_;
    std::optional<CDeviceLink> link_;
};

TEST_F(DeviceLinkTest, TheLibraryMustBeThereWithEveryEntryPoint) {
    UnloadRapiLibrary();
    SetRapiLibraryName(u"absent.dll");
    EXPECT_EQ(LoadRapiLibrary(), 1);
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
    SetRapiLibraryName(u"rapi_lacking.dll");
    EXPECT_EQ(LoadRapiLibrary(), 1);
    EXPECT_TRUE(Shown(u"Fail to load all Rapi.dll functions."));
    EXPECT_EQ(CurrentRapi().module, nullptr);
    EXPECT_EQ(CurrentRapi().CeRapiInitEx, nullptr);
    // Without the library nothing is asked: the not-connected answers.
    EXPECT_EQ(Link().Connect(), kConnectTimedOut);
    EXPECT_EQ(Link().GetStorageCardCount(), -1);
    EXPECT_EQ(Link().GetStorageCardFree(0), -1.0);
    EXPECT_EQ(Link().CloseDeviceProgram(), 1);
}

TEST_F(DeviceLinkTest, TheServiceLibraryIsInstalledOnlyWhenMissing) {
    StartCradle();
    ASSERT_EQ(Link().Connect(), kConnectDone);
    EXPECT_TRUE(Link().IsConnected());
    EXPECT_TRUE(Link().IsServiceReady());
    EXPECT_EQ(Link().GetProcessorFolder(), "arm");
    EXPECT_EQ(Slurp(handheld_ / "Windows" / "oxloserv.dll"),
              Slurp(ProgramsFolder() / "arm" / "oxloserv.dll"));
    EXPECT_EQ(Link().GetStorageCardCount(), 0);

    // Present: marked ready without a copy, the processor still read.
    link_.reset();
    std::ofstream(handheld_ / "Windows" / "oxloserv.dll", std::ios::trunc) << "present";
    ASSERT_EQ(Link().Connect(), kConnectDone);
    EXPECT_TRUE(Link().IsServiceReady());
    EXPECT_EQ(Link().GetProcessorType(), 2577u);
    EXPECT_EQ(Slurp(handheld_ / "Windows" / "oxloserv.dll"), "present");
}

TEST_F(DeviceLinkTest, OtherProcessorsWantTheirOwnLibraryOrAreRefused) {
    // A MIPS handheld takes the library from the "mips" folder, which the build has
    // not: nothing is put on the handheld.
    StartCradle({"--processor", "4000"});
    EXPECT_EQ(Link().Connect(), kConnectNoServiceCopy);
    EXPECT_EQ(Link().GetProcessorFolder(), "mips");
    EXPECT_FALSE(Link().IsServiceReady());
    EXPECT_FALSE(fs::exists(handheld_ / "Windows" / "oxloserv.dll"));
    link_.reset();
    StartCradle({"--processor", "9999"});
    EXPECT_EQ(Link().Connect(), kConnectUnsupportedProcessor);
    EXPECT_TRUE(Shown(u"Unsupported Pocket PC proccessor type."));
}

TEST_F(DeviceLinkTest, NoCradleFailsAtOnceAndASilentOneAfterThreeWaits) {
    auto started = Clock::now();
    EXPECT_EQ(Link().Connect(), kConnectTimedOut);
    EXPECT_FALSE(Link().IsConnected());
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(1));

    StartCradle();
    cradle_->Pause();
    started = Clock::now();
    EXPECT_EQ(Link().Connect(), kConnectTimedOut);
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(9000));
    cradle_->Resume();
    // Once it answers again the next connection is made.
    EXPECT_EQ(Link().Connect(), kConnectDone);
}

TEST_F(DeviceLinkTest, CardsMemoryAndFilesOfTheHandheld) {
    PrepareHandheld();
    StartCradle();
    ASSERT_EQ(Link().Connect(), kConnectDone);
    EXPECT_EQ(Link().GetStorageCardCount(), 1);
    EXPECT_EQ(Link().GetStorageCardName(0), u"\\SD Card");
    EXPECT_EQ(Link().GetStorageCardName(7), u"\\SD Card");  // outside 1-4: the first
    EXPECT_EQ(Link().GetStorageCardName(1), u"");
    EXPECT_GT(Link().GetStorageCardFree(0), 0.0);
    EXPECT_EQ(Link().GetStorageCardFree(2), 0.0);
    const platform::HandheldMemory memory = platform::GetHandheldMemory();
    EXPECT_DOUBLE_EQ(Link().GetMainMemoryFree(), memory.storeFree / 1048576.0);
    EXPECT_DOUBLE_EQ(Link().GetProgramMemoryFree(), memory.availPhys / 1048576.0);
    EXPECT_EQ(Link().GetMemoryStatusValue(2), memory.totalPhys);
    EXPECT_EQ(Link().CloseDeviceProgram(), 0);  // nothing running

    // Folders made level by level, measured, files read back (4 KB at most), renamed,
    // deleted.
    EXPECT_EQ(Link().CreateDeviceFolder("\\SD Card\\Zanter Wayscribe\\Maps"), 1);
    EXPECT_EQ(Link().DeviceFolderExists("\\SD Card\\Zanter Wayscribe\\Maps"), 1);
    EXPECT_EQ(Link().DeviceFolderExists("\\Windows\\oxloserv.dll"), 0);
    EXPECT_EQ(Link().DeviceFileExists("\\Windows\\oxloserv.dll"), 1);
    const fs::path maps = handheld_ / "SD Card" / "Zanter Wayscribe" / "Maps";
    std::string big(10000, 'x');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>('a' + i % 26);
    std::ofstream(maps / "namdict.bin", std::ios::binary) << big;
    fs::create_directories(maps / "sub");
    std::ofstream(maps / "sub" / "x.bin", std::ios::binary) << "12345";
    EXPECT_EQ(Link().GetDeviceFolderSize("\\SD Card\\Zanter Wayscribe"), 10005u);
    std::vector<BYTE> read;
    EXPECT_EQ(Link().ReadDeviceFile("\\SD Card\\Zanter Wayscribe\\Maps\\namdict.bin", &read),
              4096u);
    EXPECT_EQ(std::string(read.begin(), read.end()), big.substr(0, 4096));
    EXPECT_EQ(Link().ReadDeviceFile("\\SD Card\\none.bin", &read), 0u);
    EXPECT_TRUE(read.empty());
    EXPECT_EQ(Link().RenameDeviceFile("\\SD Card\\Zanter Wayscribe\\Maps\\namdict.bin",
                                      "\\SD Card\\Zanter Wayscribe\\Maps\\namdict.old"),
              1);
    EXPECT_EQ(Link().RenameDeviceFile("\\SD Card\\Zanter Wayscribe\\Maps\\sub\\x.bin",
                                      "\\SD Card\\Zanter Wayscribe\\Maps\\namdict.old"),
              0);  // the name is taken
    Link().DeleteDeviceFile("\\SD Card\\Zanter Wayscribe\\Maps\\namdict.old");
    EXPECT_FALSE(fs::exists(maps / "namdict.old"));

    // Without a link: the not-connected answers.
    Link().Disconnect();
    EXPECT_EQ(Link().GetStorageCardCount(), -1);
    EXPECT_EQ(Link().GetMainMemoryFree(), -1.0);
    EXPECT_EQ(Link().GetProgramMemoryFree(), -1.0);
}

TEST_F(DeviceLinkTest, CopiesReportTheirOutcome) {
    PrepareHandheld();
    const fs::path source = roots_.base() / "source.bin";
    std::string bytes(3 * CDeviceLink::kTransferSize + 777, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 13);
    std::ofstream(source, std::ios::binary) << bytes;
    const std::u16string sourceText = platform::HostPathText(source);
    std::ofstream(handheld_ / "My Documents" / "blocked") << "a file, no folder";

    StartCradle({"--drop-after-writes", "5"});
    ASSERT_EQ(Link().Connect(), kConnectDone);
    Progress progress;
    EXPECT_EQ(
        Link().CopyFileToDevice(sourceText.c_str(), "\\SD Card\\Maps", "a.bin.new", 0, &progress),
        kCopyDone);
    EXPECT_EQ(progress.percent, 100);
    EXPECT_EQ(Slurp(handheld_ / "SD Card" / "Maps" / "a.bin.new"), bytes);
    // The source's own name, and an empty source.
    std::ofstream(roots_.base() / "empty.bin");
    EXPECT_EQ(Link().CopyFileToDevice(platform::HostPathText(roots_.base() / "empty.bin").c_str(),
                                      "\\SD Card", nullptr, 0, &progress),
              kCopyDone);
    EXPECT_EQ(progress.percent, 0);
    EXPECT_TRUE(fs::exists(handheld_ / "SD Card" / "empty.bin"));

    struct Case {
        const char* what;
        std::u16string source;
        const char* folder;
        int result;
    };
    for (const Case& c : {
             Case{"no source", sourceText + u".missing", "\\SD Card", kCopySourceNotOpened},
             Case{"no destination", sourceText, "\\My Documents\\blocked",
                  kCopyDestinationNotOpened},
             Case{"a source that cannot be read", u"/proc/self/mem", "\\SD Card", kCopyReadFailed},
             // The cradle drops the link at its fifth write.
             Case{"a dropped link", sourceText, "\\SD Card", kCopyWriteFailed},
         }) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Link().CopyFileToDevice(c.source.c_str(), c.folder, "x.bin", 0, &progress),
                  c.result);
    }
    // Cancelled after its first piece: the file stays as far as written.
    progress.cancel = true;
    EXPECT_EQ(Link().CopyFileToDevice(sourceText.c_str(), "\\SD Card", "c.bin", 0, &progress),
              kCopyCancelled);
    EXPECT_EQ(fs::file_size(handheld_ / "SD Card" / "c.bin"), CDeviceLink::kTransferSize);

    // A write that stores less than it was given is no whole copy.
    link_.reset();
    UnloadRapiLibrary();
    SetRapiLibraryName(u"rapi_short.dll");
    ASSERT_EQ(LoadRapiLibrary(), 0);
    ASSERT_EQ(Link().Connect(), kConnectDone);
    progress.cancel = false;
    EXPECT_EQ(Link().CopyFileToDevice(sourceText.c_str(), "\\SD Card", "d.bin", 0, &progress),
              kCopyWriteShort);

    // Installing the service library goes on after a short write, but not after ten in
    // one piece; what was written then goes, so it never passes for a library.
    link_.reset();
    fs::remove(handheld_ / "Windows" / "oxloserv.dll");
    ASSERT_GT(fs::file_size(ProgramsFolder() / "arm" / "oxloserv.dll"), 4096u);
    EXPECT_EQ(Link().Connect(), kConnectServiceWriteFailed);
    EXPECT_FALSE(Link().IsServiceReady());
    EXPECT_FALSE(fs::exists(handheld_ / "Windows" / "oxloserv.dll"));
}

}  // namespace
