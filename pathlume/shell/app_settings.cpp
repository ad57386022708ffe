#include "pathlume/shell/app_settings.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "pathlume/display/map_theme.h"
#include "pathlume/display/sun_clock.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_file.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_background.h"
#include "pathlume/foundation/screen_draw.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/map_index_files.h"
#include "pathlume/mapdb/name_codes.h"
#include "pathlume/mapdb/poi_file.h"
#include "pathlume/position/fix_delivery.h"
#include "pathlume/position/gps_ports.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/route/router.h"
#include "pathlume/voice/voice_prompt.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/process.h"
#include "platform/kernel/registry.h"
#include "platform/kernel/text.h"
#include "platform/shell/shell.h"

std::atomic<LONG> g_speedLimitMi{-55};
std::atomic<LONG> g_speedLimitKm{-90};
std::atomic<DWORD> g_autoSpeedLimit{0};
std::atomic<DWORD> g_colorModeSetting{kColorModeAutomatic};
std::atomic<DWORD> g_colorTheme{0};
std::atomic<DWORD> g_poiIconMode{0};
std::atomic<DWORD> g_sirfFix{1};
std::atomic<DWORD> g_voiceLanguage{0};
std::atomic<DWORD> g_windowActive{0};
std::atomic<DWORD> g_shutDown{0};

WCHAR g_programFolder[MAX_PATH];

HBITMAP g_statusBoxBitmap;
HBITMAP g_bannerBitmap;
HBITMAP g_bottomBarBitmap;
HBITMAP g_poiButtonBitmap;
HBITMAP g_panExitBitmap;
HBITMAP g_spareBitmap167;
HBITMAP g_spareBitmap245;
CBitmapImage g_speakerImage;

namespace {

constexpr const WCHAR* kDefaultProgramFolder = u"\\Program Files\\Zanter\\Wayscribe\\";
constexpr float kDotsToScale = 0.010416667f;  // 1 / 96
constexpr float kLargestScale = 8.0f;
constexpr int kCsidlProgramFiles = 0x26;
constexpr BYTE kSpeakerOpacity = 128;
constexpr size_t kDataRootSuffix = 14;    // "Maps\" and "names.bin"
constexpr size_t kPoiFileNameLength = 7;  // "poi.bin"
constexpr DWORD kMappedRead = kDataFileRead | kDataFileMapped;

std::atomic<DWORD> g_colorState{0};

DWORD ReadSetting(LPCWSTR name, DWORD fallback) {
    return RegGetDword(HKEY_CURRENT_USER, kSettingsKey, name, fallback);
}

void CopyText(LPWSTR destination, const std::u16string& text) {
    const size_t length = std::min(text.size(), static_cast<size_t>(MAX_PATH - 1));
    std::copy_n(text.begin(), length, destination);
    destination[length] = 0;
}

// Folder part of the module path, with its backslash.
void SetProgramFolder() {
    WCHAR path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::u16string folder(path, length);
    const size_t slash = folder.find_last_of(u"\\/");
    if (length == 0 || slash == std::u16string::npos) {
        CopyText(g_programFolder, kDefaultProgramFolder);
        return;
    }
    CopyText(g_programFolder, folder.substr(0, slash + 1));
}

// "%s\Zanter\Wayscribe\%s" of the programs folder and "", less its last backslash.
void SetInstallFolder() {
    WCHAR programs[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, programs, kCsidlProgramFiles, FALSE) || !programs[0]) {
        if (RegGetString(HKEY_LOCAL_MACHINE, u"Explorer\\Shell Folders", u"Program Files", programs,
                         MAX_PATH) != 0 ||
            !programs[0])
            CopyText(programs, u"\\Program Files");
    }
    CopyText(g_installFolder, std::u16string(programs) + u"\\Zanter\\Wayscribe");
}

float ReadScale(LPCWSTR name, float fallback) {
    WCHAR text[64] = {};
    if (RegGetString(HKEY_CURRENT_USER, kSettingsKey, name, text, 64) != 0)
        return fallback;
    return ParseScaleSetting(text, fallback);
}

void ApplyScreenScales() {
    int dpiX = 96, dpiY = 96;
    if (HDC screen = GetDC(nullptr)) {
        dpiX = GetDeviceCaps(screen, LOGPIXELSX);
        dpiY = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    g_screenScaleX.store(ReadScale(u"XScale", static_cast<float>(dpiX) * kDotsToScale));
    g_screenScaleY.store(ReadScale(u"YScale", static_cast<float>(dpiY) * kDotsToScale));
}

void CreateFonts() {
    struct FontSpec {
        CFont* font;
        int height;
        int weight;
    };
    const FontSpec fonts[] = {{&g_fontBold21, 21, FW_BOLD},      {&g_fontBold14, 14, FW_BOLD},
                              {&g_fontRegular14, 14, FW_NORMAL}, {&g_fontBold12, 12, FW_BOLD},
                              {&g_fontRegular12, 12, FW_NORMAL}, {&g_fontBold18, 18, FW_BOLD}};
    for (const FontSpec& spec : fonts) {
        spec.font->DeleteObject();
        CreateScaledFont(spec.font, spec.height, spec.weight, nullptr);
    }
}

void ReplaceBitmap(HBITMAP& slot, UINT id) {
    if (slot)
        DeleteObject(slot);
    slot = LoadBitmapW(nullptr, MAKEINTRESOURCEW(id));
}

void LoadSharedBitmaps() {
    ReplaceBitmap(g_statusBoxBitmap, 238);
    ReplaceBitmap(g_bannerBitmap, kBitmapTopBanner);
    ReplaceBitmap(g_bottomBarBitmap, 173);
    ReplaceBitmap(g_spareBitmap167, 167);
    ReplaceBitmap(g_poiButtonBitmap, 169);
    ReplaceBitmap(g_panExitBitmap, 168);
    ReplaceBitmap(g_spareBitmap245, 245);
    g_speakerImage.Release();
    if (g_speakerImage.LoadFromResource(139, nullptr) == 0)
        g_speakerImage.SetAlpha(kSpeakerOpacity);
}

void ReadStartupWords() {
    g_recentLimit.store(ReadSetting(u"RecentLimit", kDefaultRecentLimit));
    g_windowActive.store(1);
    g_options.store(ReadSetting(u"Options", kDefaultOptions) & kOptionsMask);
    g_options2.store(ReadSetting(u"Options2", 0));
    g_speedLimitMi.store(static_cast<LONG>(ReadSetting(u"SpeedLimitMI", static_cast<DWORD>(-55))));
    g_speedLimitKm.store(static_cast<LONG>(ReadSetting(u"SpeedLimitKM", static_cast<DWORD>(-90))));
    g_autoSpeedLimit.store(ReadSetting(u"AutoSpeedLimit", 0));
    g_colorModeSetting.store(ReadSetting(u"ColorMode", kColorModeAutomatic));
    g_colorTheme.store(ReadSetting(u"ColorTheme", 0));
    g_voiceLanguage.store(0);
    // "TimeZone" and "DST" are not read: local times are the host's zone.
    g_map3DMode.store(ReadSetting(u"3DMode", 0));
    g_poiIconMode.store(ReadSetting(u"POIIconMode", 0));
    g_sirfFix.store(ReadSetting(u"SiRFFix", 1));
}

// "names.bin" in the map folder, else in "Maps\" found on the cards; the data root
// is the path less "Maps\names.bin". One with a wrong magic is reported once and
// kept closed: the program goes on without street names.
bool OpenNamesFile() {
    WCHAR path[MAX_PATH] = {};
    if (!g_namesFile.IsOpen() && !NamesFileRefused()) {
        if (g_namesFile.OpenInFolder(g_dataFolder, u"names.bin", kMappedRead, path) != 0 &&
            g_namesFile.OpenLocatedWithFallback(u"Maps\\names.bin", kMappedRead, path) != 0)
            return false;
        // One found on a card is checked as the map folder's is: cut short, it is refused.
        if (AcceptNamesFile() && CheckNamesFile(g_namesFile) != 0) {
            g_namesFile.Close();
            return false;
        }
    }
    std::u16string root = path[0] ? std::u16string(path) : std::u16string(g_namesFile.Path());
    root = root.size() > kDataRootSuffix ? root.substr(0, root.size() - kDataRootSuffix) : u"";
    CopyText(g_userDataFolder, root.empty() ? u".\\" : root);
    return true;
}

}  // namespace

float ParseScaleSetting(const WCHAR* text, float fallback) {
    if (!text || !text[0])
        return fallback;
    const std::string narrow = platform::WideToUtf8(text);
    char* end = nullptr;
    const float value = std::strtof(narrow.c_str(), &end);
    if (end == narrow.c_str() || !std::isfinite(value) || value <= 0 || value > kLargestScale)
        return fallback;
    return value;
}

int AppLoadSettings() {
    // Nothing of an earlier load may stand for map data this load does not find.
    g_dataFolder[0] = 0;
    g_userDataFolder[0] = 0;
    SetProgramFolder();
    SetInstallFolder();
    FindSoundFolder();
    g_volumeOverride.store(ReadSetting(u"VolOvr", 0xFFFFFFFF));
    CreateDataMutex();
    ApplyScreenScales();
    StoreScreenMetrics(GetDesktopWindow());
    CreateFonts();
    // A second load starts again from the defaults: the screen scale is applied once.
    g_mapTheme.SetDefaults();
    g_mapTheme.LoadThemeIni(u"theme.ini");
    g_mapTheme.ScaleForScreen(g_screenScaleY.load());
    SetBackgroundColorSource([] { return g_mapTheme.BackgroundColour(); });

    FinishMapSwaps();
    // "poi.bin" stays open for the point-of-interest layer and the search.
    WCHAR poiPath[MAX_PATH] = {};
    if (g_poiFile.OpenLocatedWithFallback(u"Maps\\poi.bin", kMappedRead, poiPath) != 0 ||
        !g_poiFile.IsOpen())
        return 1;
    const std::u16string found(poiPath);
    CopyText(g_dataFolder,
             found.substr(0, found.size() - std::min(found.size(), kPoiFileNameLength)));

    ReadStartupWords();
    LoadSharedBitmaps();
    InitGpsPort();
    InitVoiceLock();
    if (OpenMapIndexFiles() != 0 || !g_linkInfo.IsOpen())
        return 1;
    if (!OpenNamesFile())
        return 1;
    g_homeKeyPressed.store(0);
    if (g_router)
        g_router->ReadVoiceOutDelay();
    return 0;
}

void AppShutdown() {
    CloseMapIndexFiles();
    ClosePoiFile();
    DeleteVoiceLock();
}

void SetColorMode(int mode) {
    const DWORD state = mode == 1 ? 1 : 0;
    g_colorState.store(state);
    g_colorMode.store(state);
    g_mapTheme.colourMode = static_cast<int32_t>(state);
    ResetBackgroundBrush();
    GetBackgroundBrush();
    if (IMainView* view = g_mainView.load())
        view->Refresh();
}

int IsNightAt(int minute, int sunrise, int sunset) {
    if (minute < sunrise && minute < sunset)
        minute += 1440;
    else if (minute > sunrise && minute > sunset)
        minute -= 1440;
    return (minute < sunrise || minute >= sunset) ? 1 : 0;
}

namespace {

// UTC minute of the day and the sun's minutes at the fix; false without a fix or
// while a log replays, unless the receiver's stored position will do.
bool SunMinutes(int* minute, int* sunrise, int* sunset, bool storedPosition) {
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    IMainView* view = g_mainView.load();
    if (!receiver || (!storedPosition && view && view->GetReplayFlag()))
        return false;
    const GpsFix fix = receiver->GetFix();
    if (!fix.valid && !storedPosition)
        return false;
    SYSTEMTIME now{};
    GetSystemTime(&now);
    *minute = now.wHour * 60 + now.wMinute + now.wSecond / 60;
    CSunClock clock;
    clock.Compute(fix.latitude, fix.longitude, now);
    *sunrise = static_cast<int>(clock.GetSunrise(nullptr));
    *sunset = static_cast<int>(clock.GetSunset(nullptr));
    return true;
}

}  // namespace

int UpdateDayNightMode() {
    int minute = 0, sunrise = 0, sunset = 0;
    const int night =
        SunMinutes(&minute, &sunrise, &sunset, false) ? IsNightAt(minute, sunrise, sunset) : 0;
    if (static_cast<DWORD>(night) != g_colorState.load())
        SetColorMode(night);
    return night;
}

void ComputeSunTimes(int* toSunrise, int* toSunset) {
    int minute = 0, sunrise = 0, sunset = 0;
    // The almanac shows the sun at the last known position when there is no fix.
    if (!SunMinutes(&minute, &sunrise, &sunset, true)) {
        *toSunrise = 0;
        *toSunset = 0;
        return;
    }
    *toSunrise = sunrise - minute;
    if (sunset >= 1440)
        *toSunset = sunset - 1440 - minute;
    else if (sunrise < 0 && sunset < sunrise)
        *toSunset = sunset + 1440 - minute;
    else
        *toSunset = sunset - minute;
}
