// The package installer's hooks, which it calls by name in the package's "setup.dll"
// while it installs or removes the navigation package. 0 is continue (the *_Init
// hooks) or done (the *_Exit hooks).
#pragma once

#include "platform/kernel/wintypes.h"

inline constexpr int kInstallContinue = 0;  // codeINSTALL_INIT_CONTINUE
inline constexpr int kInstallDone = 0;      // codeINSTALL_EXIT_DONE
inline constexpr int kUninstallContinue = 0;
inline constexpr int kUninstallDone = 0;

typedef int (*PFN_Install_Init)(HWND parent, BOOL firstCall, BOOL previouslyInstalled,
                                LPCWSTR installFolder);
typedef int (*PFN_Install_Exit)(HWND parent, LPCWSTR installFolder, WORD failedFolders,
                                WORD failedFiles, WORD failedRegistryKeys,
                                WORD failedRegistryValues, WORD failedShortcuts);
typedef int (*PFN_Uninstall_Init)(HWND parent, LPCWSTR installFolder);
typedef int (*PFN_Uninstall_Exit)(HWND parent);

// What the package puts on the handheld besides its files.
inline constexpr const WCHAR* kServiceLibraryPath = u"\\windows\\oxloserv.dll";
inline constexpr const WCHAR* kStartMenuShortcut = u"\\Windows\\Start Menu\\Wayscribe.lnk";
inline constexpr const WCHAR* kStartItemsKey = u"Software\\Microsoft\\Shell\\Start Items";
inline constexpr const WCHAR* kStartItemsValue = u"Wayscribe.lnk";
