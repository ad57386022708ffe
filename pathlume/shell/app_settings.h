// The navigation program's settings and shared drawing objects: what the settings
// loader reads from the registry and opens at start-up, the day and night colour
// switch, and the orderly release of what it made.
#pragma once

#include <atomic>
#include <string>

#include "pathlume/foundation/bitmap_image.h"
#include "pathlume/foundation/screen_background.h"
#include "platform/afx/afx.h"

// Registry defaults of the start-up values.
inline constexpr DWORD kDefaultOptions = 0x5005;
inline constexpr DWORD kOptionsMask = 0x8002F7FF;
inline constexpr DWORD kOptions2StartupChecksOff = 0x80000000;
inline constexpr DWORD kDefaultRecentLimit = 25;

// The map screen's top banner (246 is the close key's face).
inline constexpr UINT kBitmapTopBanner = 244;

// "ColorMode": 0 day, 1 night, 2 by the sun.
inline constexpr DWORD kColorModeAutomatic = 2;

// Read at start-up; the dialogs that change them write them back.
extern std::atomic<LONG> g_speedLimitMi;       // "SpeedLimitMI"; 0 or below: off
extern std::atomic<LONG> g_speedLimitKm;       // "SpeedLimitKM"
extern std::atomic<DWORD> g_autoSpeedLimit;    // "AutoSpeedLimit"
extern std::atomic<DWORD> g_colorModeSetting;  // "ColorMode"
extern std::atomic<DWORD> g_colorTheme;        // "ColorTheme"
extern std::atomic<DWORD> g_poiIconMode;       // "POIIconMode"
extern std::atomic<DWORD> g_sirfFix;           // "SiRFFix"
extern std::atomic<DWORD> g_voiceLanguage;     // always 0: spoken guidance is English

// 0 while the main frame is not the active window; the view then does not draw.
extern std::atomic<DWORD> g_windowActive;
// Set by the main view's first shutdown; nothing that arrives later is handled.
extern std::atomic<DWORD> g_shutDown;

// The program's own folder (with its trailing backslash).
extern WCHAR g_programFolder[MAX_PATH];

// The shared bitmaps of the drawing; null until the settings loader ran.
extern HBITMAP g_statusBoxBitmap;  // 238: the status box's frame
extern HBITMAP g_bannerBitmap;     // kBitmapTopBanner
extern HBITMAP g_bottomBarBitmap;  // 173: the bottom bar
extern HBITMAP g_poiButtonBitmap;  // 169
extern HBITMAP g_panExitBitmap;    // 168
extern HBITMAP g_spareBitmap167;   // loaded, drawn by nothing yet
extern HBITMAP g_spareBitmap245;
extern CBitmapImage g_speakerImage;  // 139: drawn faded

// "XScale"/"YScale": the number when it is finite and in (0, 8], else `fallback`.
float ParseScaleSetting(const WCHAR* text, float fallback);

// The start-up loader: folders, scales, fonts, theme, bitmaps and settings, the map
// data's always-open files. 0 when the map data was found and opened, 1 when it is
// missing. Runs once per start; a second call reloads the settings.
int AppLoadSettings();
// At the main view's shutdown: closes the index files, frees the street types and
// the voice lock. The data mutex stays: GPS threads that outlive the view take it.
void AppShutdown();

// 1 night, anything else day: the theme's colours, the pattern brush and a refresh
// of the main view.
void SetColorMode(int mode);
// By the sun at the fix (day without a fix or while replaying); switches only
// when the result differs from the current mode. Returns 1 night, 0 day.
int UpdateDayNightMode();
// The same decision for a UTC minute of the day and the sun's minutes.
int IsNightAt(int minuteOfDay, int sunrise, int sunset);
// For the almanac: minutes from now to the next sunrise and sunset.
void ComputeSunTimes(int* toSunrise, int* toSunset);
