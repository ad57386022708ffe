#include "tests/shell/app_fixture.h"

#include <chrono>
#include <fstream>
#include <thread>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/heap.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/position/gps_ports.h"
#include "pathlume/voice/voice_prompt.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/process.h"
#include "platform/kernel/roots.h"
#include "platform/user/dialogs.h"
#include "platform/user/user.h"
#include "tests/route/route_test_maps.h"
#include "tests/support/device_maps.h"
#include "tests/support/shared_data.h"
#include "tools/discmaker/osm.h"

namespace shell_test {

namespace fs = std::filesystem;

fs::path InstallFolder() {
    return platform::DeviceRoot() / "Program Files" / "Zanter" / "Wayscribe";
}

void InstallTownMaps() {
    const fs::path maps = InstallFolder() / "Maps";
    fs::create_directories(maps);
    for (const fs::directory_entry& entry : fs::directory_iterator(route_test::RouteTownMaps()))
        fs::copy_file(entry.path(), maps / entry.path().filename(),
                      fs::copy_options::overwrite_existing);
}

const fs::path& AndorraMaps() {
    static const fs::path folder = []() -> fs::path {
        const fs::path extract = testing_support::SharedOsmFolder() / "andorra.osm.pbf";
        if (testing_support::SharedOsmFolder().empty() || !fs::exists(extract))
            return {};
        static const testing_support::GeneratedDeviceMaps maps(discmaker::ReadOsm(extract), {},
                                                               "shell-andorra");
        return maps.folder();
    }();
    return folder;
}

size_t HeapBytesInUse() {
    size_t used = 0;
    // Each chunk's header and end marker are the heap's own.
    for (const auto& [start, size] : g_heap.Chunks())
        used += size - sizeof(HeapChunk) - CHeap::kWord;
    for (int bin = 0; bin < 96; ++bin)
        for (BYTE* block : g_heap.BinBlocks(bin))
            used -= CHeap::BlockSize(block + CHeap::kWord);
    return used;
}

void InstallVoiceFiles() {
    const fs::path sounds = InstallFolder() / "Snd";
    fs::create_directories(sounds);
    for (const char* name : {"0.spx", "wait4gps.spx"})
        std::ofstream(sounds / name) << "stand-in";
}

namespace {

constexpr auto kDialogWait = std::chrono::seconds(30);
constexpr auto kVoiceWait = std::chrono::seconds(30);
constexpr auto kPoll = std::chrono::milliseconds(5);

HWND ShownDialog() {
    HWND dialog = FindWindowW(u"#32770", nullptr);
    return dialog && IsWindowVisible(dialog) ? dialog : nullptr;
}

}  // namespace

void WaitForVoiceToEnd() {
    if (!platform::IsManualClock())
        return;
    // Real time: a platform Sleep here would move the clock itself.
    const auto giveUp = std::chrono::steady_clock::now() + kVoiceWait;
    while (g_playingPrompt.load()) {
        if (std::chrono::steady_clock::now() >= giveUp) {
            ADD_FAILURE() << "the voice still speaks after " << kVoiceWait.count() << " s";
            return;
        }
        std::this_thread::sleep_for(kPoll);
    }
}

DialogAnswerer::DialogAnswerer(std::vector<UINT> keys) {
    thread_ = std::thread([this, keys = std::move(keys)] {
        for (UINT key : keys) {
            HWND dialog = nullptr;
            const auto giveUp = std::chrono::steady_clock::now() + kDialogWait;
            while (!stop_ && !(dialog = ShownDialog()) && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(kPoll);
            if (!dialog)
                return;
            platform::PostKeyPress(key);
            ++answered_;
            while (!stop_ && IsWindow(dialog) && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(kPoll);
        }
    });
}

DialogAnswerer::~DialogAnswerer() {
    stop_ = true;
    thread_.join();
}

TownMapsBuilt::TownMapsBuilt() {
    route_test::RouteTownMaps();
}

AppTest::AppTest() {
    // A serial port that is not there: the Bluetooth radio would take 10 s to fail.
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"CommPort", 1);
    // The port is chosen once per process; each test is a fresh start.
    g_gpsBaud.store(0);
    g_gpsPortName.Set(u"");
}

AppTest::~AppTest() {
    if (app_)
        Finish();
    platform::DiscardPendingInput();
}

bool AppTest::InstallAndorraMaps() {
    const fs::path& source = AndorraMaps();
    // The generation ran in roots of its own: this test's come back.
    platform::SetDeviceRoot(roots_.device());
    platform::SetDesktopRoot(roots_.desktop());
    if (source.empty())
        return false;
    const fs::path maps = InstallFolder() / "Maps";
    fs::remove_all(maps);
    fs::create_directories(maps);
    for (const fs::directory_entry& entry : fs::directory_iterator(source))
        fs::copy_file(entry.path(), maps / entry.path().filename());
    return true;
}

BOOL AppTest::Start(const std::u16string& commandLine, std::vector<UINT> dialogKeys) {
    commandLine_ = commandLine;
    app_ = std::make_unique<CNavApp>();
    app_->m_lpCmdLine = commandLine_.data();
    // The program's own boxes are drawn, for the keys to answer them; system message
    // boxes stay headless (answered at once, on stderr), so none waits for a key.
    platform::UseDrawnMessageBox(true);
    platform::SetMessageBoxHandler(nullptr);
    DialogAnswerer answerer(std::move(dialogKeys));
    const BOOL started = app_->InitInstance();
    dialogsAnswered_ = answerer.Answered();
    return started;
}

void AppTest::Pump() {
    platform::PumpUntilIdle();
    if (platform::IsManualClock() && g_playingPrompt.load()) {
        WaitForVoiceToEnd();
        platform::PumpUntilIdle();  // what the phrase's pause made due
    }
}

void AppTest::Close() {
    if (app_ && app_->m_pMainWnd && app_->m_pMainWnd->GetSafeHwnd()) {
        ::PostMessageW(app_->m_pMainWnd->GetSafeHwnd(), WM_CLOSE, 0, 0);
        Pump();
    }
    Finish();
}

void AppTest::Finish() {
    platform::UseDrawnMessageBox(false);
    exitStatus_ = app_->ExitInstance();
    app_.reset();
    // The quit the frame's end posted must not end the next test's loops.
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

}  // namespace shell_test
