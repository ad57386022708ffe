#include "platform/kernel/process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel/handles.h"
#include "platform/kernel/roots.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/text.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_child.h"

namespace {

constexpr DWORD kWaitMs = 30000;

TEST_CHILD(exit_with) {
    return std::stoi(args.at(0));
}

TEST_CHILD(sleep_long) {
    std::this_thread::sleep_for(std::chrono::seconds(60));
    return 0;
}

// Writes what the started program sees into <device root>/report.txt: its module
// path, its raw argument text and its split arguments, one per line.
TEST_CHILD(report) {
    WCHAR module[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::ofstream out(platform::DeviceRoot() / "report.txt", std::ios::binary);
    out << platform::WideToUtf8(std::u16string(module, length)) << '\n'
        << platform::WideToUtf8(platform::ProgramCommandLine()) << '\n';
    for (const std::string& arg : args) {
        out << arg << '\n';
    }
    return out ? 0 : 1;
}

// Writes its arguments and the scripts it was given into <device root>/script.txt.
TEST_CHILD(report_script) {
    std::ofstream out(platform::DeviceRoot() / "script.txt", std::ios::binary);
    for (const std::string& arg : args) {
        out << arg << '\n';
    }
    for (const char* name : {"PATHLUME_SCRIPT", "PATHLUME_SCRIPT_TEST"}) {
        const char* value = std::getenv(name);
        out << name << "=" << (value ? value : "(none)") << '\n';
    }
    return out ? 0 : 1;
}

class ProcessTest : public testing_support::RootsTest {
  protected:
    // Installs this test program into the device root under a device path.
    void Install(const std::string& relative) {
        std::filesystem::path target = roots_.device() / relative;
        std::filesystem::create_directories(target.parent_path());
        std::filesystem::copy_file("/proc/self/exe", target,
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::permissions(target, std::filesystem::perms::owner_all);
    }

    static DWORD ExitCode(HANDLE process) {
        DWORD code = 0xDEAD;
        EXPECT_TRUE(GetExitCodeProcess(process, &code));
        return code;
    }

    std::vector<std::string> Report() {
        std::ifstream in(roots_.device() / "report.txt", std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
};

TEST(CommandLineTest, SplitsAsThePlatform) {
    struct Case {
        const char16_t* text;
        std::vector<std::u16string> args;
    };
    const Case cases[] = {
        {u"", {}},
        {u"   \t ", {}},
        {u"one two\tthree", {u"one", u"two", u"three"}},
        {u"  lead  trail  ", {u"lead", u"trail"}},
        {u"\"\\My Documents\\a b.gps\" x", {u"\\My Documents\\a b.gps", u"x"}},
        {u"a\"b c\"d", {u"ab cd"}},
        {u"\"\"", {u""}},
        {u"a\\\\b", {u"a\\\\b"}},
        {u"a\\\"b", {u"a\"b"}},
        {u"a\\\\\"b c\"", {u"a\\b c"}},
        {u"a\\\\\\\"b", {u"a\\\"b"}},
        {u"\"a\"\"b\"", {u"a\"b"}},
        {u"\"unclosed arg", {u"unclosed arg"}},
        {u"trailing\\", {u"trailing\\"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::WideToUtf8(c.text));
        EXPECT_EQ(platform::CommandLineArguments(c.text), c.args);
    }
}

TEST_F(ProcessTest, CreateProcessRunsTheInstalledProgramToItsExitCode) {
    Install("Program Files/test.exe");
    WCHAR commandLine[] = u"--test-child=exit_with 7";
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(u"\\Program Files\\test.exe", commandLine, nullptr, nullptr, FALSE,
                               0, nullptr, nullptr, nullptr, &info))
        << GetLastError();
    EXPECT_NE(info.dwProcessId, 0u);
    EXPECT_NE(info.dwProcessId, GetCurrentProcessId());
    ASSERT_EQ(WaitForSingleObject(info.hProcess, kWaitMs), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCode(info.hProcess), 7u);
    // The thread handle ends with the process.
    EXPECT_EQ(WaitForSingleObject(info.hThread, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(info.hThread));
    EXPECT_TRUE(CloseHandle(info.hProcess));

    // Without an application name the program is the first word, quoted here, and
    // a name without an extension gets ".exe".
    WCHAR quoted[] = u"\"\\program files\\TEST\" --test-child=exit_with 9";
    ASSERT_TRUE(CreateProcessW(nullptr, quoted, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               nullptr, &info));
    ASSERT_EQ(WaitForSingleObject(info.hProcess, kWaitMs), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCode(info.hProcess), 9u);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

TEST_F(ProcessTest, StartedProgramSeesItsPathRootsAndCommandLine) {
    Install("Program Files/Zanter/Wayscribe/test.exe");
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = u"open";
    info.lpFile = u"\\Program Files\\Zanter\\Wayscribe\\test.exe";
    const std::u16string parameters = u"--test-child=report  \"a b\" c\\\"d \u00E9";
    info.lpParameters = parameters.c_str();
    ASSERT_TRUE(ShellExecuteExW(&info)) << GetLastError();
    EXPECT_GT(reinterpret_cast<intptr_t>(info.hInstApp), 32);
    ASSERT_NE(info.hProcess, nullptr);
    ASSERT_EQ(WaitForSingleObject(info.hProcess, kWaitMs), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCode(info.hProcess), 0u);
    CloseHandle(info.hProcess);

    // The child found report.txt's folder through the device root it was given.
    std::vector<std::string> lines = Report();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "\\Program Files\\Zanter\\Wayscribe\\test.exe");
    EXPECT_EQ(lines[1], platform::WideToUtf8(parameters));
    EXPECT_EQ(lines[2], "a b");
    EXPECT_EQ(lines[3], "c\"d");
    EXPECT_EQ(lines[4], "\xC3\xA9");
}

TEST_F(ProcessTest, BareNameIsFoundInWindowsFolder) {
    Install("Windows/helper.exe");
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = u"helper";
    info.lpParameters = u"--test-child=exit_with 3";
    ASSERT_TRUE(ShellExecuteExW(&info)) << GetLastError();
    ASSERT_EQ(WaitForSingleObject(info.hProcess, kWaitMs), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCode(info.hProcess), 3u);
    CloseHandle(info.hProcess);

    // Without SEE_MASK_NOCLOSEPROCESS no handle comes back; the process still runs.
    info.fMask = 0;
    ASSERT_TRUE(ShellExecuteExW(&info));
    EXPECT_EQ(info.hProcess, nullptr);
}

TEST_F(ProcessTest, AShortcutStartsItsTargetWhichGetsNoScriptButItsOwn) {
    Install("Windows/test.exe");
    std::filesystem::create_directories(roots_.device() / "Windows" / "Start Menu");
    std::ofstream(roots_.device() / "Windows" / "Start Menu" / "Test.lnk")
        << "40#\"\\Windows\\test.exe\" --test-child=report_script one\r\n";
    setenv("PATHLUME_SCRIPT", "/parent.script", 1);
    setenv("PATHLUME_SCRIPT_TEST", "/child.script", 1);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = u"\\Windows\\Start Menu\\test.LNK";
    info.lpParameters = u"two";
    const BOOL started = ShellExecuteExW(&info);
    unsetenv("PATHLUME_SCRIPT");
    unsetenv("PATHLUME_SCRIPT_TEST");
    ASSERT_TRUE(started) << GetLastError();
    ASSERT_EQ(WaitForSingleObject(info.hProcess, kWaitMs), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCode(info.hProcess), 0u);
    CloseHandle(info.hProcess);
    std::ifstream in(roots_.device() / "script.txt");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "one\ntwo\nPATHLUME_SCRIPT=(none)\nPATHLUME_SCRIPT_TEST=/child.script\n");

    // A shortcut that names nothing starts nothing.
    std::ofstream(roots_.device() / "Windows" / "Start Menu" / "Bad.lnk") << "not a shortcut";
    info.lpFile = u"\\Windows\\Start Menu\\Bad.lnk";
    EXPECT_FALSE(ShellExecuteExW(&info));
}

TEST_F(ProcessTest, StartFailures) {
    std::filesystem::create_directories(roots_.device() / "My Documents");
    std::ofstream(roots_.device() / "My Documents" / "notes.txt") << "not a program";
    struct Case {
        const char16_t* file;
        const char16_t* verb;
        DWORD error;
        intptr_t instApp;
    };
    const Case cases[] = {
        {u"\\Program Files\\Zanter\\Wayscribe\\pathlumeVGA.exe", u"open", ERROR_FILE_NOT_FOUND,
         SE_ERR_FNF},
        {u"missing.exe", nullptr, ERROR_FILE_NOT_FOUND, SE_ERR_FNF},
        {u"\\My Documents\\notes.txt", nullptr, ERROR_NO_ASSOCIATION, SE_ERR_NOASSOC},
        {u"\\My Documents", nullptr, ERROR_FILE_NOT_FOUND, SE_ERR_FNF},
        {u"\\My Documents\\notes.txt", u"print", ERROR_NO_ASSOCIATION, SE_ERR_NOASSOC},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::WideToUtf8(c.file));
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS;
        info.lpVerb = c.verb;
        info.lpFile = c.file;
        SetLastError(0);
        EXPECT_FALSE(ShellExecuteExW(&info));
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(reinterpret_cast<intptr_t>(info.hInstApp), c.instApp);
        EXPECT_EQ(info.hProcess, nullptr);
    }
    SHELLEXECUTEINFOW unsized{};
    unsized.lpFile = u"\\Windows\\x.exe";
    EXPECT_FALSE(ShellExecuteExW(&unsized));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    PROCESS_INFORMATION info{};
    WCHAR line[] = u"";
    SetLastError(0);
    EXPECT_FALSE(CreateProcessW(u"\\My Documents\\notes.txt", line, nullptr, nullptr, FALSE, 0,
                                nullptr, nullptr, nullptr, &info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                nullptr, &info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(ProcessTest, TerminateProcessEndsARunningChild) {
    Install("Program Files/test.exe");
    WCHAR line[] = u"--test-child=sleep_long";
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(u"\\Program Files\\test.exe", line, nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, nullptr, &info));
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 50), WAIT_TIMEOUT);
    EXPECT_EQ(ExitCode(info.hProcess), STILL_ACTIVE);

    // A second handle by id sees the same process.
    HANDLE opened = OpenProcess(SYNCHRONIZE, FALSE, info.dwProcessId);
    ASSERT_NE(opened, nullptr);

    ASSERT_TRUE(TerminateProcess(info.hProcess, 33));
    ASSERT_EQ(WaitForSingleObject(opened, kWaitMs), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCode(info.hProcess), 33u);
    EXPECT_EQ(ExitCode(opened), 33u);
    // An ended process cannot be terminated again, and keeps its code.
    SetLastError(0);
    EXPECT_FALSE(TerminateProcess(info.hProcess, 5));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ExitCode(info.hProcess), 33u);
    CloseHandle(opened);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

// A process this one did not start (another program's, found through its window).
TEST(OpenProcessTest, WaitsForAndTerminatesAProcessNotStartedHere) {
    pid_t pid = testing_support::StartChild("sleep_long");
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid));
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(WaitForSingleObject(process, 50), WAIT_TIMEOUT);
    ASSERT_TRUE(TerminateProcess(process, 4));
    EXPECT_EQ(testing_support::WaitChild(pid), 128 + 9);
    ASSERT_EQ(WaitForSingleObject(process, kWaitMs), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(process, &code));
    EXPECT_EQ(code, 4u);
    CloseHandle(process);

    // An open process whose handle is closed early is let go.
    pid = testing_support::StartChild("exit_with", {"0"});
    process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    ASSERT_NE(process, nullptr);
    EXPECT_TRUE(CloseHandle(process));
    EXPECT_EQ(testing_support::WaitChild(pid), 0);

    SetLastError(0);
    EXPECT_EQ(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CurrentProcessTest, EndingTheCurrentProcessGoesThroughTheExitHook) {
    try {
        ExitProcess(5);
        FAIL() << "ExitProcess returned";
    } catch (const platform::ProcessExit& exit) {
        EXPECT_EQ(exit.exitCode, 5u);
    }
    try {
        TerminateProcess(GetCurrentProcess(), 1);
        FAIL() << "TerminateProcess returned";
    } catch (const platform::ProcessExit& exit) {
        EXPECT_EQ(exit.exitCode, 1u);
    }
    HANDLE self = OpenProcess(PROCESS_TERMINATE, FALSE, GetCurrentProcessId());
    ASSERT_NE(self, nullptr);
    EXPECT_THROW(TerminateProcess(self, 2), platform::ProcessExit);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(self, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_TRUE(GetExitCodeProcess(GetCurrentProcess(), &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    CloseHandle(self);

    SetLastError(0);
    EXPECT_FALSE(GetExitCodeProcess(reinterpret_cast<HANDLE>(uintptr_t{0x7FFC}), &code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(TerminateProcess(nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(ModuleFileNameTest, HostPathOutsideTheDeviceRootAndTruncation) {
    std::string host = std::filesystem::read_symlink("/proc/self/exe").string();
    std::u16string expected = platform::Utf8ToWide(host);
    WCHAR buffer[1024];
    DWORD length = GetModuleFileNameW(nullptr, buffer, 1024);
    EXPECT_EQ(std::u16string(buffer, length), expected);
    EXPECT_EQ(GetModuleFileNameW(platform::ProgramInstance(), buffer, 1024), length);

    // Too small: cut, terminated, the buffer's size returned.
    WCHAR small[6];
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(nullptr, small, 6), 6u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::u16string(small), expected.substr(0, 5));

    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(uintptr_t{0x5000}), buffer, 1024), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(ProgramCommandLineTest, ShellStartedProgramGetsItsArgumentsJoined) {
    // This test program was started without PATHLUME_CMDLINE matching its
    // arguments; a stale value from an ancestor is not taken.
    setenv("PATHLUME_CMDLINE", "stale text", 1);
    std::u16string line = platform::ProgramCommandLine();
    unsetenv("PATHLUME_CMDLINE");
    EXPECT_NE(line, u"stale text");
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::vector<std::u16string> own;
    for (std::string arg; std::getline(in, arg, '\0');) {
        own.push_back(platform::Utf8ToWide(arg));
    }
    ASSERT_FALSE(own.empty());
    own.erase(own.begin());
    EXPECT_EQ(platform::CommandLineArguments(line), own);
}

}  // namespace
