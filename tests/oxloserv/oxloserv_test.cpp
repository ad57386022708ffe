// The service library's exports, called as the device's remote API service calls
// them, on a device root of the test's own.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/cards/cards.h"
#include "platform/kernel/kernel.h"
#include "platform/rapi/rapi.h"
#include "platform/user/user.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_child.h"

namespace {

namespace fs = std::filesystem;

// The reply of one call: its result and its bytes as text (nothing for no block).
struct Answer {
    HRESULT result = E_FAIL;
    DWORD size = 0;
    std::optional<std::u16string> text;
};

class OxloservTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        platform::SetCurrentSide(platform::Side::Device);
        module_ = LoadLibraryW(u"oxloserv.dll");
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override {
        platform::ClearDiskFreeSpace();
        FreeLibrary(module_);
    }

    RAPIEXT Export(const char* name) {
        return reinterpret_cast<RAPIEXT>(GetProcAddress(module_, name));
    }

    Answer CallBytes(const char* name, std::vector<BYTE> input) {
        Answer answer;
        BYTE* output = nullptr;
        answer.result =
            Export(name)(static_cast<DWORD>(input.size()), input.empty() ? nullptr : input.data(),
                         &answer.size, &output, nullptr);
        if (output) {
            EXPECT_EQ(LocalSize(output), answer.size);
            std::u16string text(answer.size / 2, u'\0');
            std::memcpy(text.data(), output, text.size() * 2);
            if (!text.empty() && text.back() == 0)
                text.pop_back();
            answer.text = text;
            LocalFree(output);
        }
        return answer;
    }

    // The command as the desktop sends it: its text and its terminator.
    static std::vector<BYTE> Command(std::u16string_view text, bool terminated = true) {
        std::vector<BYTE> bytes;
        for (char16_t c : text) {
            bytes.push_back(static_cast<BYTE>(c));
            bytes.push_back(static_cast<BYTE>(c >> 8));
        }
        if (terminated)
            bytes.insert(bytes.end(), {0, 0});
        return bytes;
    }

    Answer Call(const char* name, std::u16string_view command) {
        return CallBytes(name, Command(command));
    }

    HMODULE module_ = nullptr;
};

TEST_F(OxloservTest, CardsAreCountedNamedAndMeasuredInSearchOrder) {
    // Cards: marked root folders, except hidden ones; "network" is one.
    for (const char16_t* card :
         {u"Storage Card", u"network", u".hidden", u"SD Card", u"CF", u"Six", u"Seven"})
        ASSERT_TRUE(platform::MakeStorageCard(card));
    fs::create_directories(roots_.device() / "My Documents");
    std::vector<std::u16string> cards;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(u"\\*", &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        const std::u16string name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_TEMPORARY) && name[0] != u'.')
            cards.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    ASSERT_EQ(cards.size(), 6u);

    // The first card has 4.2 GB free: the 32-bit reply says as much as it can hold.
    const ULONGLONG big = 4200ull << 20;
    platform::SetDiskFreeSpace((u"\\" + cards[0]).c_str(), {big, big, big});
    platform::SetDiskFreeSpace((u"\\" + cards[1]).c_str(), {123456, 200000, 123456});

    EXPECT_EQ(*Call("FnGetFreeSpaceSize", u"GetNumStorageCard").text, u"6");
    EXPECT_EQ(*Call("FnGetFreeSpaceSize", u"GetFreeStorageCard").text, u"4294967295");
    EXPECT_EQ(*Call("FnGetFreeSpaceSize", u"GetFreeStorageCard2").text, u"123456");
    const char16_t* names[] = {u"GetStorageCardName", u"GetStorageCard2Name",
                               u"GetStorageCard3Name", u"GetStorageCard4Name",
                               u"GetStorageCard5Name"};
    for (int i = 0; i < 5; ++i) {
        const Answer name = Call("FnGetFilePath", names[i]);
        EXPECT_EQ(name.result, S_OK);
        EXPECT_EQ(*name.text, u"\\" + cards[i]);
        EXPECT_EQ(name.size, (cards[i].size() + 2) * 2);
    }

    STORE_INFORMATION store{};
    GetStoreInformation(&store);
    EXPECT_EQ(*Call("FnGetFreeSpaceSize", u"GetFreeObjectStore").text,
              platform::Utf8ToWide(std::to_string(store.dwStoreSize) + ":" +
                                   std::to_string(store.dwFreeSize)));
}

TEST_F(OxloservTest, MissingCardsAndNamesTooLongAnswerEmpty) {
    ASSERT_TRUE(platform::MakeStorageCard(u"Network"));  // the network's folder is no card
    EXPECT_EQ(*Call("FnGetFreeSpaceSize", u"GetNumStorageCard").text, u"0");
    EXPECT_EQ(*Call("FnGetFreeSpaceSize", u"GetFreeStorageCard3").text, u"0");
    const Answer none = Call("FnGetFilePath", u"GetStorageCardName");
    EXPECT_EQ(none.result, S_OK);
    EXPECT_EQ(none.size, 0u);
    EXPECT_FALSE(none.text);

    // A card whose name leaves no room in the reply for "\" and the terminator.
    const std::u16string longName(255, u'x');
    ASSERT_TRUE(platform::MakeStorageCard(longName.c_str()));
    EXPECT_EQ(*Call("FnGetFreeSpaceSize", u"GetNumStorageCard").text, u"1");
    EXPECT_EQ(Call("FnGetFilePath", u"GetStorageCardName").size, 0u);
    EXPECT_EQ(*Call("FnGetFreeSpaceSize", u"GetFreeStorageCard").text, u"0");
}

TEST_F(OxloservTest, InputIsReadWithinItsOwnSize) {
    struct Case {
        const char* what;
        std::vector<BYTE> input;
        const char16_t* reply;
        DWORD size;
    };
    std::vector<BYTE> odd = Command(u"GetNumStorageCard");
    odd.push_back(0x41);
    std::vector<BYTE> huge = Command(std::u16string(600000, u'A'));
    std::vector<BYTE> prefix = Command(u"GetNumStorageCardX");
    std::vector<BYTE> cut = Command(u"GetNumStorageCard");
    cut.resize(cut.size() - 1);
    for (const Case& c : std::vector<Case>{
             {"empty", {}, u"Empty Input buffer passed in.", 58},
             {"no terminator", Command(u"GetNumStorageCard", false),
              u"Unknown Command String passed in.", 68},
             {"half a terminator", cut, u"Unknown Command String passed in.", 68},
             {"odd size", odd, u"0", 4},
             {"a longer word", prefix, u"Unknown Command String passed in.", 68},
             {"other case", Command(u"getnumstoragecard"), u"Unknown Command String passed in.",
              68},
             {"huge", huge, u"Unknown Command String passed in.", 68},
         }) {
        SCOPED_TRACE(c.what);
        const Answer answer = CallBytes("FnGetFreeSpaceSize", c.input);
        EXPECT_EQ(answer.result, S_OK);
        EXPECT_EQ(*answer.text, c.reply);
        EXPECT_EQ(answer.size, c.size);
        EXPECT_EQ(*CallBytes("FnGetFilePath", c.input).text,
                  c.size == 4 ? u"Unknown Command String passed in." : c.reply);
    }
}

class RecordingStream : public IRAPIStream {
  public:
    HRESULT Write(const void* data, ULONG size, ULONG* written) override {
        const auto* bytes = static_cast<const BYTE*>(data);
        record.insert(record.end(), bytes, bytes + size);
        *written = size;
        return S_OK;
    }
    ULONG Release() override { return ++released; }
    std::vector<BYTE> record;
    int released = 0;
};

TEST_F(OxloservTest, TheSelectedMapGoesToAStreamOnly) {
    RecordingStream stream;
    DWORD size = 99;
    BYTE* output = reinterpret_cast<BYTE*>(&size);
    EXPECT_EQ(Export("FnGetSelectedMap")(0, nullptr, &size, &output, &stream), S_OK);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(output, nullptr);
    EXPECT_EQ(stream.released, 1);
    const std::vector<BYTE> text = Command(u"FnGetSelectedMap: Ouput to a stream");
    ASSERT_EQ(text.size(), 72u);
    ASSERT_EQ(stream.record.size(), 52u * 76u);
    for (size_t pair = 0; pair < 52; ++pair) {
        const BYTE* at = stream.record.data() + pair * 76;
        EXPECT_EQ(at[0] | at[1] << 8 | at[2] << 16 | at[3] << 24, 72);
        EXPECT_TRUE(std::equal(text.begin(), text.end(), at + 4));
    }
    // Without a stream it writes nothing and says so.
    EXPECT_EQ(Export("FnGetSelectedMap")(0, nullptr, &size, &output, nullptr), E_INVALIDARG);
}

// The navigation program's main window in another process: it ends on the Exit
// command, or (with "ignore") keeps running.
LRESULT CALLBACK NavigationProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    static bool ignore = false;
    if (message == WM_USER)
        ignore = wParam != 0;
    if (message == WM_COMMAND && LOWORD(wParam) == 0xE141 && !ignore) {
        DestroyWindow(hwnd);
        return 0;
    }
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST_CHILD(navigation_window) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = NavigationProc;
    windowClass.lpszClassName = u"WCE_TravonaWCls";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, u"WCE_TravonaWCls", u"Wayscribe", WS_POPUP | WS_VISIBLE, 0, 0,
                                  100, 100, nullptr, nullptr, nullptr, nullptr);
    if (!window)
        return 3;
    SendMessageW(window, WM_USER, args.at(0) == "ignore" ? 1 : 0, 0);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0))
        DispatchMessageW(&msg);
    return 0;
}

TEST_F(OxloservTest, TheNavigationProgramIsAskedToCloseAndWaitedFor) {
    auto close = [&] {
        DWORD size = 7;
        BYTE* output = nullptr;
        const HRESULT result = Export("FnCloseTravona")(0, nullptr, &size, &output, nullptr);
        EXPECT_EQ(size, 0u);
        EXPECT_EQ(output, nullptr);
        return result;
    };
    auto running = [](pid_t child) {
        for (int i = 0; i < 1000; ++i) {
            if (FindWindowW(u"WCE_TravonaWCls", nullptr))
                return true;
            if (kill(child, 0) != 0)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    };
    EXPECT_EQ(close(), S_OK);  // nothing running

    pid_t child = testing_support::StartChild("navigation_window", {"close"});
    ASSERT_TRUE(running(child));
    EXPECT_EQ(close(), S_OK);
    EXPECT_EQ(testing_support::WaitChild(child), 0);

    child = testing_support::StartChild("navigation_window", {"ignore"});
    ASSERT_TRUE(running(child));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(close(), E_FAIL);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(4900));
    EXPECT_EQ(kill(child, 0), 0) << "it keeps running";
    kill(child, SIGKILL);
    testing_support::WaitChild(child);
}

}  // namespace
