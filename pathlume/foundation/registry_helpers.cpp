#include "pathlume/foundation/registry_helpers.h"

#include "platform/kernel/msgqueue.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/kernel/registry.h"

std::atomic<int> g_screenWidth{0};
std::atomic<int> g_screenHeight{0};
std::atomic<float> g_screenAspect{0.0f};

namespace {

constexpr const WCHAR* kErrorLoadingString = u"Error loading string %d";
constexpr const WCHAR* kErrorCaption = u"ERROR";

LONG OpenForWrite(HKEY root, LPCWSTR subKey, HKEY* key) {
    DWORD disposition = 0;
    return RegCreateKeyExW(root, subKey, 0, u"", 0, KEY_ALL_ACCESS, nullptr, key, &disposition);
}

int WriteValue(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD type, const BYTE* data,
               DWORD size) {
    HKEY key = nullptr;
    if (OpenForWrite(root, subKey, &key) != ERROR_SUCCESS) {
        return 1;
    }
    LONG result = RegSetValueExW(key, valueName, 0, type, data, size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? 0 : 1;
}

// Reads at most *size bytes of a value of the given type; *size becomes the number
// read. A value of another type is as good as missing.
LONG ReadValue(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD type, LPBYTE data,
               LPDWORD size) {
    HKEY key = nullptr;
    LONG result = RegOpenKeyExW(root, subKey, 0, 0, &key);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    DWORD stored = REG_NONE;
    result = RegQueryValueExW(key, valueName, nullptr, &stored, data, size);
    RegCloseKey(key);
    if (result == ERROR_SUCCESS && stored != type) {
        return ERROR_INVALID_DATA;
    }
    return result;
}

// The ranges of the program's DWORD settings: a value outside is held to the range.
// Values not listed are bit sets, or are checked where they are used (the last
// position's floats).
struct SettingRange {
    const char16_t* name;
    int64_t lowest;
    int64_t highest;
    bool isSigned;
};
constexpr SettingRange kSettingRanges[] = {
    {u"RecentLimit", 1, 100, false},
    {u"SpeedLimitMI", -200, 200, true},
    {u"SpeedLimitKM", -320, 320, true},
    {u"AutoSpeedLimit", 0, 1, false},
    {u"ColorMode", 0, 2, false},
    {u"ColorTheme", 0, 2, false},
    {u"3DMode", 0, 3, false},
    {u"POIIconMode", 0, 2, false},
    {u"SiRFFix", 0, 1, false},
    {u"CommPort", 0, 99, false},
    {u"NMEABaud", 300, 921600, false},
    {u"VoiceOutDelay", 0, 60, false},
    {u"ShowWarning", 0, 1, false},
    {u"StatBoxMode", 0, 3, false},
    {u"AutoPanTimeout", 1000, 600000, false},
    {u"Hotkey Count", 0, 17, false},
    {u"PlaybackDelay", 0, 60000, false},
    {u"RouteAlgo", 0, 3, false},
    {u"Recalc", 0, 1, false},
    {u"ZoomIndex", 0, 8, false},
    {u"TrackSimIncrement", 1, 5280, false},
    {u"AngleWeight", 0, 1000, false},
    {u"AngleInstWeight", 0, 1000, false},
    {u"NumDist", 1, 10, false},
    {u"ErrNormNumerator", 0, 1000, false},
    {u"ErrNormDenominator", 0, 1000, false},  // 0 takes the matcher's default
    {u"ErrBetaAdjPct", 0, 1000, false},
    {u"RouteAllowance", 0, 10000, false},
    {u"NumPathsCheckedforRoute", 1, 100, false},
    {u"MaxRouteAdjDist", 0, 10000, false},
    {u"RouteAdjOnlyHwy", 0, 1, false},
};

bool SameName(const char16_t* a, const char16_t* b) {
    for (; *a && *b; ++a, ++b) {
        const char16_t x = *a < 128 ? static_cast<char16_t>(std::tolower(*a)) : *a;
        const char16_t y = *b < 128 ? static_cast<char16_t>(std::tolower(*b)) : *b;
        if (x != y) {
            return false;
        }
    }
    return *a == *b;
}

DWORD HeldToRange(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD value) {
    if (root != HKEY_CURRENT_USER || !subKey || !valueName || !SameName(subKey, kSettingsKey)) {
        return value;
    }
    for (const SettingRange& range : kSettingRanges) {
        if (SameName(valueName, range.name)) {
            const int64_t number =
                range.isSigned ? int64_t{static_cast<int32_t>(value)} : int64_t{value};
            return static_cast<DWORD>(std::clamp(number, range.lowest, range.highest));
        }
    }
    return value;
}

}  // namespace

DWORD RegGetDword(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD defaultValue) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    LONG result =
        ReadValue(root, subKey, valueName, REG_DWORD, reinterpret_cast<LPBYTE>(&value), &size);
    // A value of another type, or a shorter one that would leave part of the word
    // unread, is no value: the default stands.
    if (result != ERROR_SUCCESS || size != sizeof(value)) {
        return defaultValue;
    }
    return HeldToRange(root, subKey, valueName, value);
}

int RegSetDword(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD value) {
    return WriteValue(root, subKey, valueName, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                      sizeof(value));
}

int RegSetDwords(HKEY root, LPCWSTR subKey,
                 std::initializer_list<std::pair<LPCWSTR, DWORD>> values) {
    std::vector<platform::RegValueWrite> writes;
    for (const auto& [name, value] : values) {
        const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
        writes.push_back({name, REG_DWORD, std::vector<BYTE>(bytes, bytes + sizeof value)});
    }
    HKEY key = nullptr;
    if (OpenForWrite(root, subKey, &key) != ERROR_SUCCESS) {
        return 1;
    }
    const LONG result = platform::RegSetValuesW(key, writes);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? 0 : 1;
}

int RegGetString(HKEY root, LPCWSTR subKey, LPCWSTR valueName, LPWSTR buffer, DWORD sizeChars) {
    if (buffer == nullptr || sizeChars == 0) {
        return 1;
    }
    buffer[0] = 0;
    DWORD size = sizeChars * sizeof(WCHAR);
    if (ReadValue(root, subKey, valueName, REG_SZ, reinterpret_cast<LPBYTE>(buffer), &size) !=
        ERROR_SUCCESS) {
        buffer[0] = 0;
        return 1;
    }
    // A text that fills the buffer exactly comes without its terminator: cut the last
    // character rather than leave the text open.
    DWORD chars = size / sizeof(WCHAR);
    buffer[chars < sizeChars ? chars : sizeChars - 1] = 0;
    return 0;
}

int RegGetBinary(HKEY root, LPCWSTR subKey, LPCWSTR valueName, LPBYTE buffer, LPDWORD sizeBytes) {
    return ReadValue(root, subKey, valueName, REG_BINARY, buffer, sizeBytes) == ERROR_SUCCESS ? 0
                                                                                              : 1;
}

int RegSetBinary(HKEY root, LPCWSTR subKey, LPCWSTR valueName, const BYTE* data, DWORD sizeBytes) {
    return WriteValue(root, subKey, valueName, REG_BINARY, data, sizeBytes);
}

int ToggleOptionFlag(DWORD mask) {
    DWORD options = g_options.load();
    options = (options & mask) ? (options & ~mask) : (options | mask);
    g_options.store(options);
    return RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"Options", options);
}

LPWSTR LoadResString(UINT id, LPWSTR buffer, int sizeChars, BOOL showError) {
    if (buffer == nullptr || sizeChars <= 0) {
        return nullptr;
    }
    buffer[0] = 0;
    if (LoadStringW(AfxGetResourceHandle(), id, buffer, sizeChars) > 0 && buffer[0] != 0) {
        return buffer;
    }
    buffer[0] = 0;
    if (showError) {
        WCHAR text[64];
        wsprintfW(text, kErrorLoadingString, static_cast<int>(id));
        CWnd* main = GetAppMainWindow();
        MessageBoxW(main ? main->GetSafeHwnd() : nullptr, text, kErrorCaption, MB_OK);
    }
    return nullptr;
}

LPWSTR LoadResStringTo(UINT id, LPWSTR buffer, int sizeBytes, BOOL showError) {
    return LoadResString(id, buffer, sizeBytes / static_cast<int>(sizeof(WCHAR)), showError);
}

std::u16string LoadResStringOr(UINT id, LPCWSTR fallback) {
    WCHAR buffer[1024];
    LPCWSTR text = LoadResString(id, buffer, 1024, FALSE);
    return text ? text : fallback;
}

HICON LoadAppIcon(UINT id) {
    return LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id));
}

HANDLE LoadScaledImage(UINT id, UINT type, int width, int height, UINT flags) {
    return LoadImageW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id), type, width, height, flags);
}

int RoundHalfAway(float value) {
    double rounded = static_cast<double>(value);
    rounded += rounded >= 0.0 ? 0.5 : -0.5;
    return static_cast<int>(rounded);
}

int ScaleSize(int pixels, float scale) {
    // The product is a 32-bit float, as on the device.
    return RoundHalfAway(static_cast<float>(pixels) * scale);
}

BOOL CreateScaledFont(CFont* font, int heightPixels, int weight, LPCWSTR faceName) {
    if (font == nullptr) {
        return FALSE;
    }
    LOGFONTW logFont{};
    logFont.lfHeight = ScaleY(heightPixels);
    logFont.lfWeight = weight;
    LPCWSTR face = faceName ? faceName : u"Tahoma";
    size_t length = std::char_traits<WCHAR>::length(face);
    if (length >= LF_FACESIZE) {
        length = LF_FACESIZE - 1;
    }
    std::memcpy(logFont.lfFaceName, face, length * sizeof(WCHAR));
    return font->CreateFontIndirect(&logFont);
}

float StoreScreenMetrics(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    if (client.right - client.left == 0) {
        GetClientRect(GetDesktopWindow(), &client);
    }
    int width = client.right - client.left;
    int height = client.bottom - client.top;
    // A window of no height would give an aspect of infinity; keep the old one.
    float aspect =
        height > 0 ? static_cast<float>(width) / static_cast<float>(height) : g_screenAspect.load();
    g_screenWidth.store(width);
    g_screenHeight.store(height);
    g_screenAspect.store(aspect);
    return aspect;
}

bool IsLandscapeScreen() {
    return GetSystemMetrics(SM_CYSCREEN) < GetSystemMetrics(SM_CXSCREEN);
}

void SetMap3DMode(DWORD mode) {
    g_map3DMode.store(mode);
}

void CheckMenuCommand(HMENU menu, UINT commandId, int, BOOL check) {
    CheckMenuItem(menu, commandId, MF_BYCOMMAND | (check ? MF_CHECKED : MF_UNCHECKED));
}

void KeepDeviceAwake() {
    // Only while the program is in front: another program in front decides itself.
    // Called from the GPS threads, so the main window is found through the view.
    IMainView* view = g_mainView.load();
    HWND window = view ? view->GetViewWindow() : nullptr;
    while (window && GetParent(window))
        window = GetParent(window);
    if (window && GetForegroundWindow() == window)
        SystemIdleTimerReset();
}

int GetDlgItemRect(HWND dialog, int controlId, LPRECT rect) {
    HWND control = GetDlgItem(dialog, controlId);
    if (control == nullptr || (GetWindowLongW(control, GWL_STYLE) & WS_DISABLED)) {
        return 1;
    }
    GetWindowRect(control, rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<LPPOINT>(rect), 2);
    return 0;
}
