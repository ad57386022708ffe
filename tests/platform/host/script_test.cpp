// Scripted runs: the script's language and a run on the manual clock.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/host/host.h"
#include "platform/host/script.h"
#include "platform/user/tab_control.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;
using platform::host::ScriptAction;
using platform::host::ScriptLine;

class ScriptTest : public testing_support::RootsTest {
  protected:
    fs::path Write(const std::string& text) {
        fs::path file = roots_.base() / "run.script";
        std::ofstream(file) << text;
        return file;
    }
    std::optional<std::vector<ScriptLine>> Read(const std::string& text, std::string* error) {
        return platform::host::ReadScript(Write(text), 240, 320, error);
    }
};

TEST_F(ScriptTest, EveryFormReadsAndAPlainAnswerWaitsFromTheStart) {
    std::string error;
    auto lines = Read(
        "# a drive\n"
        "file \\My Documents\\drive.gps\n"
        "\n"
        "at 1000 command 3021\n"
        "idle tap 12 300\n"
        "at 0x10 key escape\n"
        "every 1000 shots out dir\n"
        "answer 6\n"
        "file cancel\n"
        "at 5000 shot last one.png\n"
        "at 6000 resume\n"
        "at 7000 close\n"
        "press 3017\n"
        "hold 12 40 750\n"
        "when \"Set Destination\" key escape\n"
        "when Route press 1\n",
        &error);
    ASSERT_TRUE(lines) << error;
    ASSERT_EQ(lines->size(), 14u);
    const ScriptLine& file = (*lines)[0];
    EXPECT_EQ(file.when, ScriptLine::When::Start);
    EXPECT_EQ(file.action.kind, ScriptAction::Kind::File);
    EXPECT_EQ(file.action.file, std::u16string(u"\\My Documents\\drive.gps"));
    EXPECT_EQ(file.number, 2);
    EXPECT_EQ((*lines)[1].at, 1000u);
    EXPECT_EQ((*lines)[1].action.value, 3021u);
    EXPECT_EQ((*lines)[2].when, ScriptLine::When::Idle);
    EXPECT_EQ((*lines)[2].action.point.y, 300);
    EXPECT_EQ((*lines)[3].at, 16u);
    EXPECT_EQ((*lines)[3].action.value, static_cast<UINT>(VK_ESCAPE));
    EXPECT_EQ((*lines)[4].action.period, 1000u);
    EXPECT_EQ((*lines)[4].action.path, fs::path("out dir"));
    EXPECT_EQ((*lines)[5].action.value, 6u);
    EXPECT_FALSE((*lines)[6].action.file.has_value());
    EXPECT_EQ((*lines)[7].action.path, fs::path("last one.png"));
    EXPECT_EQ((*lines)[8].action.kind, ScriptAction::Kind::Resume);
    EXPECT_EQ((*lines)[9].action.kind, ScriptAction::Kind::Close);
    EXPECT_EQ((*lines)[10].action.kind, ScriptAction::Kind::Press);
    EXPECT_EQ((*lines)[10].action.value, 3017u);
    EXPECT_EQ((*lines)[11].action.kind, ScriptAction::Kind::Hold);
    EXPECT_EQ((*lines)[11].action.point.x, 12);
    EXPECT_EQ((*lines)[11].action.period, 750u);
    EXPECT_EQ((*lines)[12].when, ScriptLine::When::Text);
    EXPECT_EQ((*lines)[12].text, u"Set Destination");
    EXPECT_EQ((*lines)[12].action.value, static_cast<UINT>(VK_ESCAPE));
    EXPECT_EQ((*lines)[13].text, u"Route");
    EXPECT_EQ((*lines)[13].action.kind, ScriptAction::Kind::Press);
    EXPECT_EQ((*lines)[13].index, 13);
}

TEST_F(ScriptTest, ABadLineIsNamedWithItsNumber) {
    const char* bad[] = {
        "at soon close",
        "at 100",
        "at -5 close",
        "tap 240 10",
        "tap 10",
        "key NOSUCHKEY",
        "key F13",
        "command 0",
        "answer 70000",
        "close now",
        "every 0 shots d",
        "every 10 shot d",
        "every 10 shots",
        "shot",
        "file",
        "frobnicate 1 2 3",
        "press 0",
        "hold 10 20",
        "hold 10 20 0",
        "hold 300 20 5",
        "when",
        "when \"\" close",
        "when \"open",
        "when word",
    };
    for (const char* line : bad) {
        std::string error;
        EXPECT_FALSE(Read(std::string("close\n") + line + "\n", &error)) << line;
        EXPECT_NE(error.find(":2: "), std::string::npos) << line << " -> " << error;
    }
    std::string error;
    EXPECT_FALSE(platform::host::ReadScript(roots_.base() / "missing", 240, 320, &error));
    EXPECT_NE(error.find("cannot be read"), std::string::npos);
}

TEST(ScriptKeys, NamesLettersDigitsAndCodes) {
    struct Case {
        const char* name;
        UINT key;
    };
    const Case cases[] = {
        {"RETURN", VK_RETURN},
        {"return", VK_RETURN},
        {"LEFT", VK_LEFT},
        {"UP", VK_UP},
        {"F1", VK_F1},
        {"f12", VK_F12},
        {"APP3", VK_APP3},
        {"A", 'A'},
        {"z", 'Z'},
        {"7", '7'},
        {"13", 13},
        {"0x26", VK_UP},
        {"F0", 0},
        {"F13", 0},
        {"255", 0},
        {"", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::host::VirtualKeyNamed(c.name), c.key) << c.name;
    }
}

// --- A run --------------------------------------------------------------------------

struct Seen {
    UINT message;
    WPARAM wParam;
    uint64_t at;
};
std::vector<Seen> g_seen;

LRESULT CALLBACK MainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            // Command 1 draws the window again.
            if (LOWORD(wParam) == 1) {
                InvalidateRect(hwnd, nullptr, FALSE);
            }
            g_seen.push_back({message, wParam, platform::ClockMilliseconds()});
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_KEYDOWN:
            g_seen.push_back({message, wParam, platform::ClockMilliseconds()});
            return 0;
        case WM_NOTIFY:
            g_seen.push_back({message, reinterpret_cast<const NMHDR*>(lParam)->code,
                              platform::ClockMilliseconds()});
            return 0;
        case WM_CLOSE:
            g_seen.push_back({message, wParam, platform::ClockMilliseconds()});
            DestroyWindow(hwnd);
            return 0;
        case WM_PAINT: {
            // As the map view does: into a buffer, then the buffer onto the window.
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(hwnd, &paint);
            HDC buffer = CreateCompatibleDC(dc);
            HBITMAP bitmap = CreateCompatibleBitmap(dc, 100, 40);
            HGDIOBJ old = SelectObject(buffer, bitmap);
            const std::u16string text = u"ETA 12:30";
            ExtTextOutW(buffer, 5, 6, 0, nullptr, text.data(), static_cast<UINT>(text.size()),
                        nullptr);
            BitBlt(dc, 20, 30, 100, 40, buffer, 0, 0, SRCCOPY);
            SelectObject(buffer, old);
            DeleteObject(bitmap);
            DeleteDC(buffer);
            EndPaint(hwnd, &paint);
            return 0;
        }
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

const Seen* Find(UINT message) {
    for (const Seen& seen : g_seen) {
        if (seen.message == message) {
            return &seen;
        }
    }
    return nullptr;
}

std::string ReadText(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ScriptRunTest : public ScriptTest {
  protected:
    void TearDown() override {
        platform::StopHost();
        unsetenv("PATHLUME_SCRIPT");
        platform::UseManualClock(false);
        platform::ClearMessageBoxes();
        platform::ClearFileDialogs();
    }
};

TEST_F(ScriptRunTest, ActionsComeOnTimeShotsListTheTextsAndAnswersWait) {
    const fs::path shots = roots_.base() / "shots";
    setenv("PATHLUME_SCRIPT",
           Write("answer 7\n"
                 "file \\My Documents\\drive.gps\n"
                 "idle command 3021\n"
                 "at 1000 tap 10 20\n"
                 "at 2000 key RETURN\n"
                 "every 500 shots " +
                 shots.string() +
                 "\n"
                 "at 2600 close\n")
               .c_str(),
           1);
    platform::UseManualClock(true);
    platform::StartHost({240, 320, 96, platform::HostBackend::Headless});
    g_seen.clear();

    // The answers wait for their box and dialog, which come before any window.
    EXPECT_EQ(MessageBoxW(nullptr, u"Continue?", u"Route", MB_YESNO), IDNO);
    WCHAR path[MAX_PATH] = {};
    OPENFILENAMEW open{};
    open.lStructSize = sizeof open;
    open.lpstrFile = path;
    open.nMaxFile = MAX_PATH;
    EXPECT_TRUE(GetOpenFileNameW(&open));
    EXPECT_EQ(std::u16string(path), u"\\My Documents\\drive.gps");

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = MainProc;
    windowClass.lpszClassName = u"ScriptedMain";
    RegisterClassW(&windowClass);
    const uint64_t shown = platform::ClockMilliseconds();
    HWND main = CreateWindowExW(0, u"ScriptedMain", u"", WS_POPUP | WS_VISIBLE, 0, 0, 240, 320,
                                nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(main);
    for (int step = 0; step < 40 && IsWindow(main); ++step) {
        platform::AdvanceClockAndPump(100);
    }
    EXPECT_FALSE(IsWindow(main));

    const Seen* command = Find(WM_COMMAND);
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(command->wParam, 3021u);
    EXPECT_EQ(command->at, shown);  // nothing else to do at once
    ASSERT_NE(Find(WM_LBUTTONDOWN), nullptr);
    EXPECT_EQ(Find(WM_LBUTTONDOWN)->at - shown, 1000u);
    ASSERT_NE(Find(WM_KEYDOWN), nullptr);
    EXPECT_EQ(Find(WM_KEYDOWN)->wParam, static_cast<WPARAM>(VK_RETURN));
    EXPECT_EQ(Find(WM_KEYDOWN)->at - shown, 2000u);
    ASSERT_NE(Find(WM_CLOSE), nullptr);
    EXPECT_EQ(Find(WM_CLOSE)->at - shown, 2600u);

    // A shot every 500 ms; the first lists the text painted before it, in screen pixels.
    for (const char* name : {"000001", "000002", "000003", "000004", "000005"}) {
        EXPECT_TRUE(fs::exists(shots / (std::string(name) + ".png"))) << name;
        EXPECT_TRUE(fs::exists(shots / (std::string(name) + ".txt"))) << name;
    }
    EXPECT_FALSE(fs::exists(shots / "000006.png"));
    EXPECT_EQ(ReadText(shots / "000001.txt"), "25 36 ETA 12:30\n");
    EXPECT_EQ(ReadText(shots / "000002.txt"), "");
}

std::vector<Seen> All(UINT message) {
    std::vector<Seen> all;
    for (const Seen& seen : g_seen) {
        if (seen.message == message) {
            all.push_back(seen);
        }
    }
    return all;
}

HWND ShowScriptedMain() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = MainProc;
    windowClass.lpszClassName = u"ScriptedMain";
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, u"ScriptedMain", u"", WS_POPUP | WS_VISIBLE, 0, 0, 240, 320, nullptr,
                           nullptr, nullptr, nullptr);
}

TEST_F(ScriptRunTest, WhenWaitsForItsTextAfterTheLineBeforeAndHoldReleasesLater) {
    // The window shows "ETA 12:30" at once, but the first `when` watches only from the
    // command on (at 1000), which has the window drawn again; the second waits for a
    // text that comes only when the key (which the first runs) is pressed.
    setenv("PATHLUME_SCRIPT",
           Write("at 1000 command 1\n"
                 "when \"ETA 12\" key RETURN\n"
                 "when ETA press 42\n"
                 "at 3000 hold 15 25 400\n"
                 "at 4000 close\n")
               .c_str(),
           1);
    platform::UseManualClock(true);
    platform::StartHost({240, 320, 96, platform::HostBackend::Headless});
    g_seen.clear();
    const uint64_t shown = platform::ClockMilliseconds();
    HWND main = ShowScriptedMain();
    ASSERT_TRUE(main);
    for (int step = 0; step < 60 && IsWindow(main); ++step) {
        platform::AdvanceClockAndPump(100);
    }
    EXPECT_FALSE(IsWindow(main));

    ASSERT_NE(Find(WM_KEYDOWN), nullptr);
    const uint64_t key = Find(WM_KEYDOWN)->at - shown;
    EXPECT_GE(key, 1000u);
    EXPECT_LE(key, 1200u);
    // No text came after the key: the press waits, and the run went on without it.
    const std::vector<Seen> commands = All(WM_COMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].wParam, 1u);
    ASSERT_NE(Find(WM_LBUTTONDOWN), nullptr);
    ASSERT_NE(Find(WM_LBUTTONUP), nullptr);
    EXPECT_EQ(Find(WM_LBUTTONDOWN)->at - shown, 3000u);
    EXPECT_EQ(Find(WM_LBUTTONUP)->at - shown, 3400u);
}

TEST_F(ScriptRunTest, PressClicksTheControlOfTheWindowInFront) {
    setenv("PATHLUME_SCRIPT", Write("when ETA press 42\nat 2000 close\n").c_str(), 1);
    platform::UseManualClock(true);
    platform::StartHost({240, 320, 96, platform::HostBackend::Headless});
    g_seen.clear();
    HWND main = ShowScriptedMain();
    ASSERT_TRUE(main);
    for (int step = 0; step < 30 && IsWindow(main); ++step) {
        platform::AdvanceClockAndPump(100);
    }
    ASSERT_NE(Find(WM_COMMAND), nullptr);
    EXPECT_EQ(LOWORD(Find(WM_COMMAND)->wParam), 42u);
    EXPECT_EQ(HIWORD(Find(WM_COMMAND)->wParam), static_cast<WORD>(BN_CLICKED));
}

TEST_F(ScriptRunTest, PickTapsTheTabWhoseTextBeginsWithTheChoice) {
    setenv("PATHLUME_SCRIPT", Write("when ETA pick 12320 City\nat 2000 close\n").c_str(), 1);
    platform::UseManualClock(true);
    platform::StartHost({240, 320, 96, platform::HostBackend::Headless});
    g_seen.clear();
    HWND main = ShowScriptedMain();
    ASSERT_TRUE(main);
    HWND tabs = CreateWindowExW(0, WC_TABCONTROL, nullptr, WS_CHILD | WS_VISIBLE, 0, 200, 240, 20,
                                main, reinterpret_cast<HMENU>(12320), nullptr, nullptr);
    for (const char16_t* text : {u"   Regions   ", u"   City/Radius   "}) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<LPWSTR>(text);
        SendMessageW(tabs, TCM_INSERTITEMW, 2, reinterpret_cast<LPARAM>(&item));
    }
    SendMessageW(tabs, TCM_SETCURSEL, 0, 0);
    bool chosen = false;
    for (int step = 0; step < 30 && IsWindow(main); ++step) {
        chosen = chosen || SendMessageW(tabs, TCM_GETCURSEL, 0, 0) == 1;
        platform::AdvanceClockAndPump(100);
    }
    EXPECT_TRUE(chosen);
    std::vector<WPARAM> codes;
    for (const Seen& seen : g_seen)
        if (seen.message == WM_NOTIFY)
            codes.push_back(seen.wParam);
    EXPECT_EQ(codes, (std::vector<WPARAM>{TCN_SELCHANGING, TCN_SELCHANGE}));
}

TEST_F(ScriptRunTest, ATextThatNeverComesEndsTheRunWithStatus2After60Seconds) {
    setenv("PATHLUME_SCRIPT", Write("when \"Never shown\" close\n").c_str(), 1);
    platform::UseManualClock(true);
    platform::StartHost({240, 320, 96, platform::HostBackend::Headless});
    HWND main = ShowScriptedMain();
    ASSERT_TRUE(main);
    const uint64_t shown = platform::ClockMilliseconds();
    try {
        for (int step = 0; step < 700; ++step) {
            platform::AdvanceClockAndPump(100);
        }
        ADD_FAILURE() << "the run went on";
    } catch (const platform::ProcessExit& exit) {
        EXPECT_EQ(exit.exitCode, 2u);
        EXPECT_GE(platform::ClockMilliseconds() - shown, 60000u);
        EXPECT_LE(platform::ClockMilliseconds() - shown, 60200u);
    }
    DestroyWindow(main);
}

TEST_F(ScriptRunTest, AProgramsOwnScriptComesBeforeTheCommonOne) {
    // This program is host_tests: its own script is PATHLUME_SCRIPT_HOST_TESTS.
    setenv("PATHLUME_SCRIPT", Write("idle close\n").c_str(), 1);
    setenv("PATHLUME_SCRIPT_HOST_TESTS", Write("at 10 jump\n").c_str(), 1);
    try {
        platform::StartHost({240, 320, 96, platform::HostBackend::Headless});
        ADD_FAILURE() << "the host started with the common script";
    } catch (const platform::ProcessExit& exit) {
        EXPECT_EQ(exit.exitCode, 2u);
    }
    unsetenv("PATHLUME_SCRIPT_HOST_TESTS");
}

TEST_F(ScriptRunTest, ABadScriptEndsTheStartWithStatus2) {
    setenv("PATHLUME_SCRIPT", Write("at 10 jump\n").c_str(), 1);
    try {
        platform::StartHost({240, 320, 96, platform::HostBackend::Headless});
        ADD_FAILURE() << "the host started";
    } catch (const platform::ProcessExit& exit) {
        EXPECT_EQ(exit.exitCode, 2u);
    }
}

}  // namespace
