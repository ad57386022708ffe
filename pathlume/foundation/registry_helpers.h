// Settings in the registry, texts from the string table, fonts scaled to the
// screen, the screen metrics and a few window helpers every screen uses.
#pragma once

#include <atomic>
#include <initializer_list>
#include <string>
#include <utility>

#include "pathlume/foundation/app_services.h"
#include "platform/afx/afx.h"

// Where the program keeps its settings, under HKEY_CURRENT_USER.
inline constexpr const WCHAR* kSettingsKey = u"Software\\Zanterhoff\\Wayscribe";

// Screen metrics, set by StoreScreenMetrics.
extern std::atomic<int> g_screenWidth;
extern std::atomic<int> g_screenHeight;
extern std::atomic<float> g_screenAspect;  // width / height

// Registry values. The setters and the string and binary readers answer 0 on success
// and 1 on failure.
DWORD RegGetDword(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD defaultValue);
int RegSetDword(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD value);
// Several DWORDs of one key in one write: all of them are saved, or none.
int RegSetDwords(HKEY root, LPCWSTR subKey,
                 std::initializer_list<std::pair<LPCWSTR, DWORD>> values);
// The buffer is always terminated; empty after a failure.
int RegGetString(HKEY root, LPCWSTR subKey, LPCWSTR valueName, LPWSTR buffer, DWORD sizeChars);
int RegGetBinary(HKEY root, LPCWSTR subKey, LPCWSTR valueName, LPBYTE buffer, LPDWORD sizeBytes);
int RegSetBinary(HKEY root, LPCWSTR subKey, LPCWSTR valueName, const BYTE* data, DWORD sizeBytes);
// Clears every bit of the mask in g_options when any of them is set, otherwise sets
// them all, and saves "Options".
int ToggleOptionFlag(DWORD mask);

// The string id from the program's resources, or null (with an empty buffer) when
// the table has no text for it; showError then shows "Error loading string %d".
LPWSTR LoadResString(UINT id, LPWSTR buffer, int sizeChars, BOOL showError);
LPWSTR LoadResStringTo(UINT id, LPWSTR buffer, int sizeBytes, BOOL showError);
// The string id from the program's resources, or `fallback` in a program that carries
// no string table (the data tools open maps too, and must still say what went wrong).
std::u16string LoadResStringOr(UINT id, LPCWSTR fallback);
HICON LoadAppIcon(UINT id);
HANDLE LoadScaledImage(UINT id, UINT type, int width, int height, UINT flags);

// Half away from zero (15.5 becomes 16, -15.5 -16): the rounding of every scaled
// size and screen position.
int RoundHalfAway(float value);
// pixels x scale, rounded half away from zero.
int ScaleSize(int pixels, float scale);
inline int ScaleX(int pixels) {
    return ScaleSize(pixels, g_screenScaleX.load());
}
inline int ScaleY(int pixels) {
    return ScaleSize(pixels, g_screenScaleY.load());
}

// A font of heightPixels x g_screenScaleY in the face given ("Tahoma" for null).
BOOL CreateScaledFont(CFont* font, int heightPixels, int weight, LPCWSTR faceName);

float StoreScreenMetrics(HWND window);
bool IsLandscapeScreen();
void SetMap3DMode(DWORD mode);
void CheckMenuCommand(HMENU menu, UINT commandId, int unused, BOOL check);
void KeepDeviceAwake();
// 1 when the control is missing or disabled; otherwise 0 and its rectangle in the
// dialog's client coordinates.
int GetDlgItemRect(HWND dialog, int controlId, LPRECT rect);
