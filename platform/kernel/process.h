// Processes: starting installed programs, waiting for them, and ending the
// current one. ExitProcess and TerminateProcess of the current process go through
// one hook, so that tests can catch the end of a program as an exception.
//
// An installed program is a host executable under a root ("\Windows\x.exe" is
// <device root>/Windows/x.exe). It is started with this process's environment,
// PATHLUME_DEVICE and MAPFERRY_ROOT naming this process's roots, its arguments split
// as the platform splits a command line, and the raw argument text in
// PATHLUME_CMDLINE (read it with platform::ProgramCommandLine). Process handles are
// waitable and signalled when the process ends. Exit codes are the host's: 0 to 255,
// a process killed by a signal other than TerminateProcess's ends with 128 + signal,
// and a process opened by OpenProcess that is not our child ends with 0 (or the
// code given to TerminateProcess).
#pragma once

#include <functional>

#include <string>
#include <string_view>
#include <vector>

#include "platform/kernel/wintypes.h"

namespace platform {

enum class ExitMode {
    Exit,   // a program: the process ends
    Throw,  // a test: ProcessExit is thrown to the caller
};

struct ProcessExit {
    UINT exitCode;
};

void SetExitMode(ExitMode mode);
ExitMode GetExitMode();

// Runs, most recent first, when ExitProcess ends a program (not in tests): for
// work that must happen even though static destructors are skipped, such as
// writing the screenshot of the screen.
void AddExitHandler(void (*handler)());

// The argument text the program was started with (without the program's name), as
// the platform hands it to WinMain. A program started from a host shell gets its
// arguments joined back into one text.
std::u16string ProgramCommandLine();
// Splits an argument text as the platform's C runtime does: blanks and tabs separate,
// double quotes group, and backslashes escape only before a quote.
std::vector<std::u16string> CommandLineArguments(std::u16string_view text);

// The instance handle of the running program (its image base on the handheld):
// WinMain's hInstance and GetModuleHandleW(NULL). GetModuleFileNameW takes it or
// null for the program itself.
HINSTANCE ProgramInstance();

}  // namespace platform

[[noreturn]] void ExitProcess(UINT exitCode);

#define STILL_ACTIVE 259u

#define PROCESS_TERMINATE 0x0001
#define PROCESS_QUERY_INFORMATION 0x0400
#define PROCESS_ALL_ACCESS 0x001F0FFF
#ifndef SYNCHRONIZE
#define SYNCHRONIZE 0x00100000L
#endif

struct STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};
typedef STARTUPINFOW* LPSTARTUPINFOW;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;  // waitable too; signalled when the process ends
    DWORD dwProcessId;
    DWORD dwThreadId;
};
typedef PROCESS_INFORMATION* LPPROCESS_INFORMATION;

// The program is applicationName when given, else the first word of commandLine.
// With applicationName, commandLine holds only the arguments on the device side,
// and begins with the program's name (skipped) on the desktop side, as on each
// platform. Creation flags, environment, folder and start-up information are not
// used.
BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine,
                    LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, LPVOID environment,
                    LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                    LPPROCESS_INFORMATION processInformation);

// A pseudo handle for the calling process; it needs no CloseHandle.
HANDLE GetCurrentProcess();
DWORD GetCurrentProcessId();
HANDLE OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId);
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
// Another process is killed and ends with exitCode; the current process ends
// through ExitProcess.
BOOL TerminateProcess(HANDLE process, UINT exitCode);

// The running program's path: inside the device root as a device path
// ("\Program Files\x.exe"), elsewhere the host path.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);

#define SEE_MASK_NOCLOSEPROCESS 0x00000040
#define SEE_MASK_FLAG_NO_UI 0x00000400

// hInstApp results of ShellExecuteEx (above 32 on success).
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_NOASSOC 31

struct SHELLEXECUTEINFOW {
    DWORD cbSize;
    ULONG fMask;
    HWND hwnd;
    LPCWSTR lpVerb;
    LPCWSTR lpFile;
    LPCWSTR lpParameters;
    LPCWSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    LPVOID lpIDList;
    LPCWSTR lpClass;
    HKEY hkeyClass;
    DWORD dwHotKey;
    HANDLE hIcon;
    HANDLE hProcess;
};
typedef SHELLEXECUTEINFOW* LPSHELLEXECUTEINFOW;
typedef SHELLEXECUTEINFOW SHELLEXECUTEINFO;
typedef LPSHELLEXECUTEINFOW LPSHELLEXECUTEINFO;

// Starts the program lpFile with the argument text lpParameters (verb null, empty or
// "open"); with SEE_MASK_NOCLOSEPROCESS, hProcess receives the process handle. A
// shortcut (".lnk") starts its target, with the target's arguments before
// lpParameters. Failures show nothing.
BOOL ShellExecuteExW(LPSHELLEXECUTEINFOW info);
inline BOOL ShellExecuteEx(LPSHELLEXECUTEINFO info) {
    return ShellExecuteExW(info);
}

namespace platform {

// The target text of a shortcut file ("<count>#<target>", the handheld's form: the
// count is a hint only, the target runs to the line's end, quotes kept as written);
// false when the file cannot be read or is not a shortcut (the last error says why).
bool ReadShortcutTarget(LPCWSTR shortcut, std::u16string* target);

// Programs of outside makers that the system starts (a Bluetooth stack's tray
// program) are stand-ins inside the calling process: ShellExecuteExW runs the
// stand-in installed for the program's path (compared without case) instead of
// starting a process; it answers whether the program started. An empty function
// removes it.
using ProgramStandIn = std::function<bool(const SHELLEXECUTEINFOW& info)>;
void SetProgramStandIn(const std::u16string& programPath, ProgramStandIn standIn);

}  // namespace platform
