// A library the kernel's tests load at run time. It links no platform: its calls go
// to the loading test program's.
#include "platform/kernel/kernel.h"

PLATFORM_EXPORT int ProbeAnswer() {
    return 42;
}

// Writes HKCU "Software\Probe" "Written" = value through the loader's registry.
PLATFORM_EXPORT LONG ProbeWriteRegistry(DWORD value) {
    HKEY key = nullptr;
    LONG result = RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Probe", 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    result = RegSetValueExW(key, u"Written", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value);
    RegCloseKey(key);
    return result;
}

// The loader's last error, set here and read there.
PLATFORM_EXPORT void ProbeSetLastError(DWORD error) {
    SetLastError(error);
}
