// "setup.dll": the installer hooks of the navigation package. At the end of an
// installation it opens the service library to the desktop's remote API and protects
// its file; at the start of a removal it lifts the protection so that the installer
// can delete the file; at the end of a removal it removes the Start-menu shortcut.
// Every hook answers continue or done whatever happens inside.
#include "setup/setup_hooks.h"

#include "platform/kernel/kernel.h"
#include "platform/shell/shell.h"

namespace {

constexpr DWORD kProtection =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

constexpr WCHAR kAccessPolicy[] =
    u"<wap-provisioningdoc> <characteristic type=\"Metabase\"><characteristic "
    u"type=\"RAPI\\Windows\\oxloserv.dll\\*\"><parm name=\"rw-access\" value=\"3\" /><parm "
    u"name=\"access-role\" value=\"16\" /></characteristic></characteristic>"
    u"</wap-provisioningdoc>";

HRESULT ApplyServiceAccessPolicy() {
    LPWSTR result = nullptr;
    const HRESULT applied = DMProcessConfigXML(kAccessPolicy, CFGFLAG_PROCESS, &result);
    delete[] result;
    return applied;
}

void SetServiceFileProtection(BOOL set) {
    const DWORD attributes = GetFileAttributesW(kServiceLibraryPath);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesW(kServiceLibraryPath,
                       set ? attributes | kProtection : attributes & ~kProtection);
}

}  // namespace

PLATFORM_EXPORT int Install_Init(HWND, BOOL, BOOL, LPCWSTR) {
    return kInstallContinue;
}

PLATFORM_EXPORT int Install_Exit(HWND, LPCWSTR, WORD, WORD, WORD, WORD, WORD) {
    ApplyServiceAccessPolicy();
    SetServiceFileProtection(TRUE);
    return kInstallDone;
}

PLATFORM_EXPORT int Uninstall_Init(HWND, LPCWSTR) {
    SetServiceFileProtection(FALSE);
    return kUninstallContinue;
}

PLATFORM_EXPORT int Uninstall_Exit(HWND) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kStartItemsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return kUninstallDone;
    // The shortcut goes only when the Start menu still lists it.
    BYTE value[1040];
    DWORD size = sizeof value, type = 0;
    if (RegQueryValueExW(key, kStartItemsValue, nullptr, &type, value, &size) == ERROR_SUCCESS) {
        DeleteFileW(kStartMenuShortcut);
        RegDeleteValueW(key, kStartItemsValue);
    }
    RegCloseKey(key);
    return kUninstallDone;
}
