// The remote API end to end: the desktop's "rapi.dll" loaded into this test, the
// cradle program as a child serving a device root of the test's own.
#include "platform/rapi/rapi.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/kernel/kernel.h"
#include "platform/rapi/protocol.h"
#include "tests/support/cradle_child.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;
using namespace platform::rapi;
using testing_support::CradleChild;

template <class F>
F Entry(HMODULE module, const char* name) {
    return reinterpret_cast<F>(GetProcAddress(module, name));
}

// The library's entry points, as the desktop program looks them up.
struct Rapi {
    HMODULE module = LoadLibraryW(u"rapi.dll");
    PFN_CeRapiInitEx InitEx = Entry<PFN_CeRapiInitEx>(module, "CeRapiInitEx");
    PFN_CeRapiUninit Uninit = Entry<PFN_CeRapiUninit>(module, "CeRapiUninit");
    PFN_CeRapiInvoke Invoke = Entry<PFN_CeRapiInvoke>(module, "CeRapiInvoke");
    PFN_CeGetFileAttributes GetFileAttributes =
        Entry<PFN_CeGetFileAttributes>(module, "CeGetFileAttributes");
    PFN_CeCreateDirectory CreateDirectory =
        Entry<PFN_CeCreateDirectory>(module, "CeCreateDirectory");
    PFN_CeCopyFile CopyFile = Entry<PFN_CeCopyFile>(module, "CeCopyFile");
    PFN_CeDeleteFile DeleteFile = Entry<PFN_CeDeleteFile>(module, "CeDeleteFile");
    PFN_CeMoveFile MoveFile = Entry<PFN_CeMoveFile>(module, "CeMoveFile");
    PFN_CeGetFileSize GetFileSize = Entry<PFN_CeGetFileSize>(module, "CeGetFileSize");
    PFN_CeCreateFile CreateFile = Entry<PFN_CeCreateFile>(module, "CeCreateFile");
    PFN_CeReadFile ReadFile = Entry<PFN_CeReadFile>(module, "CeReadFile");
    PFN_CeWriteFile WriteFile = Entry<PFN_CeWriteFile>(module, "CeWriteFile");
    PFN_CeCloseHandle CloseHandle = Entry<PFN_CeCloseHandle>(module, "CeCloseHandle");
    PFN_CeFindFirstFile FindFirstFile = Entry<PFN_CeFindFirstFile>(module, "CeFindFirstFile");
    PFN_CeFindNextFile FindNextFile = Entry<PFN_CeFindNextFile>(module, "CeFindNextFile");
    PFN_CeFindClose FindClose = Entry<PFN_CeFindClose>(module, "CeFindClose");
    PFN_CeRegCreateKeyEx RegCreateKeyEx = Entry<PFN_CeRegCreateKeyEx>(module, "CeRegCreateKeyEx");
    PFN_CeRegOpenKeyEx RegOpenKeyEx = Entry<PFN_CeRegOpenKeyEx>(module, "CeRegOpenKeyEx");
    PFN_CeRegSetValueEx RegSetValueEx = Entry<PFN_CeRegSetValueEx>(module, "CeRegSetValueEx");
    PFN_CeRegQueryValueEx RegQueryValueEx =
        Entry<PFN_CeRegQueryValueEx>(module, "CeRegQueryValueEx");
    PFN_CeRegCloseKey RegCloseKey = Entry<PFN_CeRegCloseKey>(module, "CeRegCloseKey");
    PFN_CeGetSystemInfo GetSystemInfo = Entry<PFN_CeGetSystemInfo>(module, "CeGetSystemInfo");
    PFN_CeGetVersionEx GetVersionEx = Entry<PFN_CeGetVersionEx>(module, "CeGetVersionEx");
    PFN_CeGlobalMemoryStatus GlobalMemoryStatus =
        Entry<PFN_CeGlobalMemoryStatus>(module, "CeGlobalMemoryStatus");
    PFN_CeSHCreateShortcut CreateShortcut =
        Entry<PFN_CeSHCreateShortcut>(module, "CeSHCreateShortcut");

    ~Rapi() {
        if (Uninit)
            Uninit();
        if (module)
            FreeLibrary(module);
    }

    // CeRapiInitEx and the wait on its event, as the desktop's connect does once.
    HRESULT Connect(DWORD waitMs = 3000) {
        RAPIINIT init{sizeof(RAPIINIT), nullptr, 0};
        const HRESULT started = InitEx(&init);
        if (FAILED(started))
            return started;
        if (WaitForSingleObject(init.heRapiInit, waitMs) != WAIT_OBJECT_0)
            return HRESULT_FROM_WIN32(WAIT_TIMEOUT_ERROR);
        return init.hrRapiInit;
    }
};

class RapiTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        device_ = roots_.base() / "handheld";
        fs::create_directories(device_ / "Windows");
        fs::create_directories(device_ / "My Documents");
    }
    void TearDown() override { unsetenv("MAPFERRY_CRADLE"); }

    std::string DeviceText(const fs::path& relative) {
        std::ifstream in(device_ / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path device_;
};

TEST_F(RapiTest, TheLibraryHasEveryEntryPoint) {
    Rapi rapi;
    ASSERT_NE(rapi.module, nullptr);
    for (const char* name :
         {"CeRapiInvoke",      "CeRapiInitEx",       "CeRapiUninit",         "CeGetFileAttributes",
          "CeCreateDirectory", "CeCopyFile",         "CeDeleteFile",         "CeGetFileSize",
          "CeRegOpenKeyEx",    "CeRegCreateKeyEx",   "CeRegCloseKey",        "CeRegSetValueEx",
          "CeRegQueryValueEx", "CeFindFirstFile",    "CeFindNextFile",       "CeFindClose",
          "CeCreateFile",      "CeReadFile",         "CeWriteFile",          "CeCloseHandle",
          "CeGetSystemInfo",   "CeSHCreateShortcut", "CeGlobalMemoryStatus", "CeGetVersionEx",
          "CeMoveFile"})
        EXPECT_NE(GetProcAddress(rapi.module, name), nullptr) << name;
}

TEST_F(RapiTest, WithoutACradleTheConnectionFailsAtOnce) {
    Rapi rapi;
    for (const char* dock : {"missing.dock", "bad.dock", "refused.dock"}) {
        SCOPED_TRACE(dock);
        std::ofstream(roots_.base() / "bad.dock") << "127.0.0.1 notaport 00";
        // Nobody listens on port 1.
        std::ofstream(roots_.base() / "refused.dock")
            << "127.0.0.1 1 0123456789abcdef0123456789abcdef\n";
        setenv("MAPFERRY_CRADLE", (roots_.base() / dock).c_str(), 1);
        const auto started = std::chrono::steady_clock::now();
        RAPIINIT init{sizeof(RAPIINIT), nullptr, 0};
        EXPECT_TRUE(FAILED(rapi.InitEx(&init)));
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
        EXPECT_EQ(rapi.GetFileAttributes(u"\\Windows"), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_CONNECTED));
    }
}

TEST_F(RapiTest, FilesFoldersAndTheRegistryOfTheHandheld) {
    CradleChild cradle(device_, {"--processor", "4000", "--os", "4.2"});
    ASSERT_TRUE(cradle.Ready()) << cradle.Errors();
    cradle.UseForDesktop();
    Rapi rapi;
    ASSERT_EQ(rapi.Connect(), S_OK);

    SYSTEM_INFO info{};
    rapi.GetSystemInfo(&info);
    EXPECT_EQ(info.dwProcessorType, 4000u);
    CEOSVERSIONINFO version{};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(rapi.GetVersionEx(&version));
    EXPECT_EQ(version.dwMajorVersion, 4u);
    EXPECT_EQ(version.dwMinorVersion, 2u);
    MEMORYSTATUS memory{};
    memory.dwLength = sizeof memory;
    rapi.GlobalMemoryStatus(&memory);
    EXPECT_GT(memory.dwTotalPhys, 0u);

    // A file of two pieces and more written, read back, measured and found.
    EXPECT_TRUE(rapi.CreateDirectory(u"\\My Documents\\Maps", nullptr));
    EXPECT_EQ(rapi.GetFileAttributes(u"\\my documents\\maps") & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    std::string bytes(kMaxData + 12345, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    HANDLE file = rapi.CreateFile(u"\\My Documents\\Maps\\a.bin", GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(
        rapi.WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    EXPECT_EQ(written, bytes.size());
    EXPECT_TRUE(rapi.CloseHandle(file));
    EXPECT_FALSE(rapi.CloseHandle(file));
    EXPECT_EQ(DeviceText("My Documents/Maps/a.bin"), bytes);

    file = rapi.CreateFile(u"\\My Documents\\Maps\\a.bin", GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 99;
    EXPECT_EQ(rapi.GetFileSize(file, &high), bytes.size());
    EXPECT_EQ(high, 0u);
    std::string back(bytes.size() + 10, '\0');
    DWORD read = 0;
    EXPECT_TRUE(rapi.ReadFile(file, back.data(), static_cast<DWORD>(back.size()), &read, nullptr));
    EXPECT_EQ(read, bytes.size());
    back.resize(read);
    EXPECT_EQ(back, bytes);
    EXPECT_TRUE(rapi.CloseHandle(file));

    EXPECT_TRUE(rapi.CopyFile(u"\\My Documents\\Maps\\a.bin", u"\\My Documents\\b.bin", TRUE));
    EXPECT_FALSE(rapi.CopyFile(u"\\My Documents\\Maps\\a.bin", u"\\My Documents\\b.bin", TRUE));
    EXPECT_TRUE(rapi.MoveFile(u"\\My Documents\\b.bin", u"\\My Documents\\Maps\\c.bin"));
    CE_FIND_DATA found{};
    HANDLE search = rapi.FindFirstFile(u"\\My Documents\\Maps\\*", &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    std::vector<std::string> names{platform::WideToUtf8(found.cFileName)};
    while (rapi.FindNextFile(search, &found))
        names.push_back(platform::WideToUtf8(found.cFileName));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(rapi.FindClose(search));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.bin", "c.bin"}));
    EXPECT_EQ(found.nFileSizeLow, bytes.size());
    EXPECT_TRUE(rapi.DeleteFile(u"\\My Documents\\Maps\\c.bin"));
    EXPECT_FALSE(fs::exists(device_ / "My Documents/Maps/c.bin"));

    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(rapi.RegCreateKeyEx(HKEY_CURRENT_USER, u"Software\\Test", 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    const DWORD port = 8;
    EXPECT_EQ(rapi.RegSetValueEx(key, u"CommPort", 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&port), sizeof port),
              ERROR_SUCCESS);
    EXPECT_EQ(rapi.RegCloseKey(key), ERROR_SUCCESS);
    ASSERT_EQ(rapi.RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Test", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD type = 0, value = 0, size = 0;
    EXPECT_EQ(rapi.RegQueryValueEx(key, u"CommPort", nullptr, &type, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(rapi.RegQueryValueEx(key, u"CommPort", nullptr, &type,
                                   reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(value, 8u);
    EXPECT_EQ(rapi.RegCloseKey(key), ERROR_SUCCESS);

    WCHAR shortcut[] = u"\\Windows\\x.lnk";
    WCHAR target[] = u"\\Windows\\x.exe";
    EXPECT_TRUE(rapi.CreateShortcut(shortcut, target));
    EXPECT_EQ(DeviceText("Windows/x.lnk"), "14#\\Windows\\x.exe");
}

TEST_F(RapiTest, TheCradleRefusesWhatIsNotTheHandhelds) {
    CradleChild cradle(device_);
    ASSERT_TRUE(cradle.Ready()) << cradle.Errors();
    cradle.UseForDesktop();
    std::ofstream(roots_.base() / "outside.txt") << "the desktop's own";
    Rapi rapi;
    ASSERT_EQ(rapi.Connect(), S_OK);
    const std::u16string outside = platform::Utf8ToWide((roots_.base() / "outside.txt").string());
    for (const std::u16string& path :
         {outside, std::u16string(u"\\..\\outside.txt"), std::u16string(u"C:\\outside.txt"),
          std::u16string(u"\\.pl-registry"), std::u16string(u"My Documents"),
          std::u16string(u"\\\\.\\COM1"), std::u16string(u"\\My Documents\\..\\..\\x")}) {
        SCOPED_TRACE(platform::WideToUtf8(path));
        EXPECT_EQ(
            rapi.CreateFile(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(rapi.GetFileAttributes(path.c_str()), INVALID_FILE_ATTRIBUTES);
    }
    for (const char16_t* library : {u"..\\oxloserv", u"/tmp/x", u"C:oxloserv", u"sub\\x.dll"}) {
        BYTE input[2] = {};
        DWORD outputSize = 0;
        BYTE* output = nullptr;
        EXPECT_TRUE(FAILED(rapi.Invoke(library, u"FnGetFreeSpaceSize", 2, input, &outputSize,
                                       &output, nullptr, 0)));
    }
    // A handle of this connection's form that the cradle never gave out.
    HANDLE file = rapi.CreateFile(u"\\Windows\\new.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE foreign = reinterpret_cast<HANDLE>(reinterpret_cast<uintptr_t>(file) + 1000);
    EXPECT_FALSE(rapi.CloseHandle(foreign));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    // It serves on.
    EXPECT_TRUE(rapi.CloseHandle(file));
    EXPECT_NE(rapi.GetFileAttributes(u"\\Windows\\new.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(fs::exists(device_ / "outside.txt"));
    const std::string said = cradle.Errors();
    EXPECT_NE(said.find("refused the path"), std::string::npos) << said;
    EXPECT_NE(said.find("refused the library"), std::string::npos) << said;
    EXPECT_NE(said.find("not one this desktop opened"), std::string::npos) << said;
}

// Raw frames on a connection of their own: each ends with the connection closed and
// a line on stderr, and the cradle serves the next desktop.
TEST_F(RapiTest, BadFramesCloseTheirConnectionAndTheCradleServesOn) {
    CradleChild cradle(device_);
    ASSERT_TRUE(cradle.Ready()) << cradle.Errors();
    cradle.UseForDesktop();
    const DockAddress dock = *ReadDockFile(cradle.dock());
    auto closedAfter = [&](const std::vector<uint8_t>& bytes) {
        const int fd = ConnectLoopback(dock.port, 1000);
        EXPECT_GE(fd, 0);
        SendAll(fd, bytes, 1000);
        std::vector<uint8_t> body;
        Received got = ReceiveFrame(fd, 5000, 0, &body);
        // A refusal may come first; the connection ends either way.
        if (got == Received::Frame)
            got = ReceiveFrame(fd, 5000, 0, &body);
        close(fd);
        return got == Received::Closed;
    };
    std::vector<uint8_t> tooLong{0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0};
    std::vector<uint8_t> tooShort{1, 0, 0, 0, 1};
    Writer wrong;
    wrong.U32(kProtocolVersion).Text(u"00000000000000000000000000000000");
    Writer early;
    early.Text(u"\\Windows");
    EXPECT_TRUE(closedAfter(tooLong));
    EXPECT_TRUE(closedAfter(tooShort));
    EXPECT_TRUE(closedAfter(EncodeRequest(Op::Hello, wrong)));
    EXPECT_TRUE(closedAfter(EncodeRequest(Op::GetFileAttributes, early)));

    // An unknown operation after a good greeting is refused and the connection stays.
    const int fd = ConnectLoopback(dock.port, 1000);
    Writer hello;
    hello.U32(kProtocolVersion).Text(platform::Utf8ToWide(dock.token));
    std::vector<uint8_t> body;
    ASSERT_TRUE(SendAll(fd, EncodeRequest(Op::Hello, hello), 1000));
    ASSERT_EQ(ReceiveFrame(fd, 5000, kReplyHead, &body), Received::Frame);
    ASSERT_TRUE(SendAll(fd, EncodeRequest(static_cast<Op>(999), Writer()), 1000));
    ASSERT_EQ(ReceiveFrame(fd, 5000, kReplyHead, &body), Received::Frame);
    Reader reader(body);
    uint16_t op = 0, flags = 0;
    uint32_t result = 1, error = 0;
    ASSERT_TRUE(reader.U16(&op) && reader.U16(&flags) && reader.U32(&result) && reader.U32(&error));
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(error, static_cast<uint32_t>(ERROR_CALL_NOT_IMPLEMENTED));
    close(fd);

    Rapi rapi;
    ASSERT_EQ(rapi.Connect(), S_OK);
    EXPECT_NE(rapi.GetFileAttributes(u"\\Windows"), INVALID_FILE_ATTRIBUTES);
    const std::string said = cradle.Errors();
    for (const char* line :
         {"longer than", "too short", "wrong token", "not a greeting", "unknown operation"})
        EXPECT_NE(said.find(line), std::string::npos) << line << " in:\n" << said;
}

TEST_F(RapiTest, ALostLinkFailsItsCallAndARestartedCradleServesTheNext) {
    std::optional<CradleChild> cradle;
    cradle.emplace(device_, std::vector<std::string>{"--drop-after-writes", "2"});
    ASSERT_TRUE(cradle->Ready()) << cradle->Errors();
    cradle->UseForDesktop();
    Rapi rapi;
    ASSERT_EQ(rapi.Connect(), S_OK);
    HANDLE file =
        rapi.CreateFile(u"\\Windows\\a.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(rapi.WriteFile(file, "one", 3, &written, nullptr));
    // The second write drops the link: it fails, and the handle with it, at once.
    EXPECT_FALSE(rapi.WriteFile(file, "two", 3, &written, nullptr));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(rapi.WriteFile(file, "two", 3, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(rapi.CloseHandle(file));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    // The next call reconnects to the same cradle, which closed the old file.
    file =
        rapi.CreateFile(u"\\Windows\\a.bin", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(rapi.CloseHandle(file));

    // A cradle that went away and came back on another port serves the next call.
    file =
        rapi.CreateFile(u"\\Windows\\b.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const fs::path dock = cradle->dock();
    cradle->Stop(SIGKILL);
    EXPECT_EQ(rapi.GetFileAttributes(u"\\Windows"), INVALID_FILE_ATTRIBUTES);
    cradle.emplace(device_, std::vector<std::string>{}, dock);
    ASSERT_TRUE(cradle->Ready()) << cradle->Errors();
    EXPECT_NE(rapi.GetFileAttributes(u"\\Windows\\a.bin"), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(rapi.WriteFile(file, "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// A cradle stand-in that greets and then answers the first request with `reply`.
class FakeCradle {
  public:
    explicit FakeCradle(const fs::path& dock, std::vector<uint8_t> reply) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 4);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        const std::string token = "0123456789abcdef0123456789abcdef";
        std::ofstream(dock) << FormatDock({ntohs(address.sin_port), token});
        thread_ = std::thread([this, reply] {
            const int fd = accept(listener_, nullptr, nullptr);
            std::vector<uint8_t> body;
            ReceiveFrame(fd, 5000, 0, &body);
            SendAll(fd, EncodeReply(static_cast<uint16_t>(Op::Hello), S_OK, 0, Writer()), 1000);
            ReceiveFrame(fd, 5000, 0, &body);
            SendAll(fd, reply, 1000);
            ReceiveFrame(fd, 5000, 0, &body);  // until the desktop hangs up
            close(fd);
        });
    }
    ~FakeCradle() {
        thread_.join();
        close(listener_);
    }

  private:
    int listener_ = -1;
    std::thread thread_;
};

TEST_F(RapiTest, AMalformedOrOverlongReplyIsALostLink) {
    const fs::path dock = roots_.base() / "fake.dock";
    setenv("MAPFERRY_CRADLE", dock.c_str(), 1);
    std::vector<uint8_t> overlong{0xFF, 0xFF, 0xFF, 0x00};
    Writer shortValues;
    shortValues.U16(1);  // a find reply without its find data
    const std::vector<std::vector<uint8_t>> replies{
        overlong,
        EncodeReply(static_cast<uint16_t>(Op::FindFirstFile), 1, 0, shortValues),
        EncodeReply(static_cast<uint16_t>(Op::GetFileAttributes), 0x10, 0, Writer()),
    };
    for (const std::vector<uint8_t>& reply : replies) {
        Rapi rapi;
        {
            FakeCradle fake(dock, reply);
            ASSERT_EQ(rapi.Connect(), S_OK);
            CE_FIND_DATA found{};
            EXPECT_EQ(rapi.FindFirstFile(u"\\*", &found), INVALID_HANDLE_VALUE);
            rapi.Uninit();
        }
    }
}

}  // namespace
