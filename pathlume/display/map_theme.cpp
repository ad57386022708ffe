#include "pathlume/display/map_theme.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "pathlume/display/map_interfaces.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/registry_helpers.h"
#include "platform/kernel/paths.h"

CMapTheme g_mapTheme;

namespace {

constexpr COLORREF Rgb(int red, int green, int blue) {
    return static_cast<COLORREF>(red | (green << 8) | (blue << 16));
}

template <typename T, size_t N>
void CopyRow(T (&to)[N], std::initializer_list<T> from) {
    size_t i = 0;
    for (T value : from)
        if (i < N)
            to[i++] = value;
}

// The blank-separated tokens of a value, in order.
class Tokens {
  public:
    explicit Tokens(const char* value) : at_(value) {}
    // The next token into `out` (at most outSize - 1 characters); false at the end.
    bool Next(char* out, size_t outSize) {
        while (*at_ == ' ' || *at_ == '\t')
            ++at_;
        if (*at_ == 0 || *at_ == '\n' || *at_ == '\r')
            return false;
        size_t n = 0;
        while (*at_ && *at_ != ' ' && *at_ != '\t' && *at_ != '\n' && *at_ != '\r') {
            if (n + 1 < outSize)
                out[n++] = *at_;
            ++at_;
        }
        out[n] = 0;
        return true;
    }

  private:
    const char* at_;
};

bool ParseInt(const char* token, long* out) {
    char* end = nullptr;
    const long value = std::strtol(token, &end, 10);
    if (end == token)
        return false;
    *out = value;
    return true;
}

// Up to `count` integers into `table`, each clamped to [low, high]; an unparsable
// token leaves its entry.
void ReadInts(const char* value, int32_t* table, int count, int32_t low, int32_t high) {
    Tokens tokens(value);
    char token[64];
    for (int i = 0; i < count && tokens.Next(token, sizeof token); ++i) {
        long number = 0;
        if (ParseInt(token, &number))
            table[i] = static_cast<int32_t>(std::clamp<long>(number, low, high));
    }
}

void ReadPenWidths(const char* value, int32_t* table, int count) {
    ReadInts(value, table, count, 1, CMapTheme::kMaxPenWidth);
}

// Zoom widths divide the span: a width that is not a positive finite number is
// ignored, so no view can get a zero or endless span; a large one is held to `high`.
void ReadZoomWidths(const char* value, float* table, int count, float high) {
    Tokens tokens(value);
    char token[64];
    for (int i = 0; i < count && tokens.Next(token, sizeof token); ++i) {
        char* end = nullptr;
        const float number = std::strtof(token, &end);
        if (end != token && std::isfinite(number) && number > 0)
            table[i] = std::clamp(number, 1.0f, high);
    }
}

void ReadColours(const char* value, COLORREF* table, int count) {
    Tokens tokens(value);
    char token[64];
    for (int i = 0; i < count && tokens.Next(token, sizeof token); ++i)
        table[i] = ParseRgbTriplet(token);
}

// The decimal index right after a key; false when there is none or it lies outside
// 0..size-1 (a negative index would write before the table).
bool ReadIndex(const char* afterKey, int size, int* index) {
    if (*afterKey < '0' || *afterKey > '9')
        return false;
    long number = 0;
    if (!ParseInt(afterKey, &number) || number < 0 || number >= size)
        return false;
    *index = static_cast<int>(number);
    return true;
}

bool StartsWith(const std::string& key, const char* prefix) {
    return key.compare(0, std::strlen(prefix), prefix) == 0;
}

}  // namespace

COLORREF ParseRgbTriplet(const char* text) {
    // Each component is held to 0..255, so that no colour spills into the next.
    long components[3] = {0, 0, 0};
    const char* at = text;
    for (long& component : components) {
        char* end = nullptr;
        const long number = std::strtol(at, &end, 10);
        if (end == at)
            break;
        component = std::clamp<long>(number, 0, 255);
        if (*end != ',')
            break;
        at = end + 1;
    }
    return static_cast<COLORREF>(components[0] | (components[1] << 8) | (components[2] << 16));
}

CMapTheme::CMapTheme() {
    std::memset(static_cast<void*>(this), 0, sizeof *this);
    SetDefaults();
}

void CMapTheme::SetDefaults() {
    CopyRow<int32_t>(levelClassLimitA, {320, 320, 320, 320, 192, 128, 128, 128, 128});
    CopyRow<int32_t>(levelClassLimitB, {320, 320, 320, 320, 192, 128, 128, 0, 0});
    zoomLevelCount = kLevels;
    zoomLevelCount2 = kLevels;
    mapSpanRatio = 4.0f;
    colourMode = 0;
    selectedValue = 0;
    selectedWidthRow = roadPenWidths[0];
    selectedColourRow = 0;
    selectedRouteFlag = 0;
    selectedLevel = 0;
    CopyRow<COLORREF>(dayFillColours,
                      {Rgb(0, 0, 0), Rgb(96, 192, 255), Rgb(96, 192, 255), Rgb(96, 192, 255),
                       Rgb(96, 192, 255), kNoColour, Rgb(64, 255, 64), Rgb(64, 255, 64),
                       Rgb(64, 255, 64), Rgb(0, 128, 0), Rgb(188, 143, 143), Rgb(188, 143, 143),
                       Rgb(75, 0, 130), Rgb(152, 223, 129), Rgb(206, 179, 179), Rgb(214, 174, 115),
                       Rgb(255, 255, 155), Rgb(249, 218, 123), Rgb(205, 205, 205)});
    CopyRow<COLORREF>(
        nightFillColours,
        {Rgb(176, 176, 176), Rgb(0, 0, 128), Rgb(0, 0, 128), Rgb(0, 0, 128), Rgb(0, 0, 128),
         kNoColour, Rgb(38, 90, 20), Rgb(38, 90, 20), Rgb(38, 90, 20), Rgb(51, 99, 77),
         Rgb(68, 113, 113), Rgb(68, 113, 113), Rgb(181, 255, 126), Rgb(64, 128, 64),
         Rgb(50, 77, 77), Rgb(11, 34, 77), Rgb(0, 0, 64), Rgb(7, 38, 133), Rgb(51, 51, 51)});
    CopyRow<COLORREF>(dayMapColours,
                      {Rgb(80, 80, 80), Rgb(128, 128, 128), Rgb(96, 96, 96), Rgb(0, 128, 0),
                       Rgb(224, 64, 64), Rgb(192, 32, 32), Rgb(225, 160, 64)});
    CopyRow<COLORREF>(nightMapColours,
                      {Rgb(160, 64, 0), Rgb(128, 128, 128), Rgb(160, 160, 160), Rgb(0, 128, 0),
                       Rgb(224, 64, 64), Rgb(255, 96, 96), Rgb(225, 160, 64)});
    spareColour = Rgb(220, 96, 0);
    CopyRow<COLORREF>(textColours, {Rgb(0, 0, 0), Rgb(0, 0, 255)});
    CopyRow<COLORREF>(dayMarkColours, {Rgb(255, 220, 128), Rgb(192, 192, 192), Rgb(255, 255, 255),
                                       Rgb(255, 128, 255)});
    CopyRow<COLORREF>(nightMarkColours,
                      {Rgb(0, 0, 96), Rgb(64, 64, 64), Rgb(0, 0, 0), Rgb(128, 0, 128)});
    CopyRow<COLORREF>(routeColours,
                      {Rgb(32, 32, 255), Rgb(32, 32, 255), Rgb(0, 255, 0), Rgb(0, 255, 0)});
    CopyRow<COLORREF>(statusColours,
                      {Rgb(0, 0, 0), Rgb(192, 192, 192), Rgb(128, 128, 255), Rgb(0, 0, 128)});
    CopyRow<COLORREF>(backgroundColours, {Rgb(255, 255, 255), Rgb(96, 96, 255)});
    static constexpr int32_t kRoadWidths[kLevels][kClasses] = {
        {7, 7, 5, 5, 5}, {6, 6, 4, 4, 4}, {5, 5, 3, 3, 3}, {5, 5, 3, 3, 3}, {3, 3, 1, 1, 1},
        {2, 2, 1, 1, 1}, {2, 2, 1, 1, 1}, {1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}};
    static constexpr int32_t kRouteRoadWidths[kLevels][kClasses] = {
        {7, 7, 5, 5, 5}, {6, 6, 4, 4, 4}, {5, 5, 3, 3, 3}, {4, 4, 2, 2, 2}, {3, 3, 1, 1, 1},
        {2, 2, 1, 1, 1}, {1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}};
    std::memcpy(roadPenWidths, kRoadWidths, sizeof roadPenWidths);
    std::memcpy(routeRoadPenWidths, kRouteRoadWidths, sizeof routeRoadPenWidths);
    CopyRow<int32_t>(routePenWidths, {7, 6, 5, 4, 4, 4, 4, 4, 4});
    static constexpr int32_t kRoutePenWidths2[kLevels] = {6, 5, 4, 4, 4, 4, 4, 4, 4};
    static constexpr int32_t kDrawClass[kLevels] = {320, 320, 320, 320, 320, 256, 192, 128, 128};
    static constexpr int32_t kDrawClass2[kLevels] = {320, 320, 320, 320, 256, 192, 128, 128, 128};
    static constexpr int32_t kTextSizes[kLevels] = {16, 16, 14, 14, 14, 14, 14, 14, 14};
    static constexpr int32_t kNameThresholds[kLevels] = {0, 0, 0, 0, 0, 0, 25000, 50000, 100000};
    static constexpr int32_t kNameSizes[kLevels] = {16, 16, 14, 14, 12, 12, 12, 12, 12};
    for (int level = 0; level < kLevels; ++level) {
        SetRoutePenWidth2(level, kRoutePenWidths2[level]);
        SetLevelDrawClass(level, kDrawClass[level]);
        SetLevelDrawClass2(level, kDrawClass2[level]);
        SetZoomEntry(level, kTextSizes[level]);
        SetNameThreshold(level, kNameThresholds[level]);
        SetNameTextSize(level, kNameSizes[level]);
    }
    CopyRow<COLORREF>(dayRoadColours, {Rgb(224, 32, 32), Rgb(224, 32, 32), Rgb(255, 160, 0),
                                       Rgb(255, 255, 255), Rgb(255, 255, 255)});
    CopyRow<COLORREF>(nightRoadColours, {Rgb(224, 32, 32), Rgb(224, 32, 32), Rgb(160, 160, 64),
                                         Rgb(128, 128, 128), Rgb(128, 128, 128)});
    CopyRow<COLORREF>(dayRoadBorderColours, {Rgb(160, 32, 32), Rgb(160, 32, 32), Rgb(192, 128, 0),
                                             Rgb(128, 128, 128), Rgb(128, 128, 128)});
    CopyRow<COLORREF>(nightRoadBorderColours, {Rgb(224, 96, 96), Rgb(224, 96, 96), Rgb(255, 192, 0),
                                               Rgb(192, 192, 192), Rgb(192, 192, 192)});
    CopyRow<COLORREF>(dayRouteRoadColours, {Rgb(224, 32, 32), Rgb(224, 32, 32), Rgb(128, 192, 192),
                                            Rgb(192, 192, 192), Rgb(192, 192, 192)});
    CopyRow<COLORREF>(nightRouteRoadColours, {Rgb(224, 32, 32), Rgb(224, 32, 32), Rgb(32, 96, 96),
                                              Rgb(128, 128, 128), Rgb(128, 128, 128)});
    CopyRow<float>(zoomListFeet, {100, 200, 500, 1000, 2500, 5280, 10560, 26400, 52800});
    CopyRow<float>(zoomListMetres, {25, 50, 150, 300, 1000, 2000, 5000, 10000, 20000});
    streetTextWeight = 400;
    nameTextWeight = 700;
}

int CMapTheme::LoadThemeIni(LPCWSTR fileName) {
    std::u16string path = std::u16string(g_installFolder) + u"\\" + fileName;
    std::filesystem::path host;
    std::FILE* file = nullptr;
    if (platform::HostPathFor(path.c_str(), &host))
        file = std::fopen(host.c_str(), "r");
    if (!file) {
        WCHAR found[MAX_PATH];
        const int result = FindDataFileOnCards(fileName, found, FALSE);
        if (result != 0)
            return result;
        if (platform::HostPathFor(found, &host))
            file = std::fopen(host.c_str(), "r");
        if (!file)
            return 0;
    }
    return ReadTheme(file);
}

int CMapTheme::ReadThemeFile(const char* hostPath) {
    std::FILE* file = std::fopen(hostPath, "r");
    return file ? ReadTheme(file) : -1;
}

int CMapTheme::ReadTheme(std::FILE* file) {
    std::string text;
    char buffer[4096];
    size_t n = 0;
    while (text.size() < kMaxThemeBytes &&
           (n = std::fread(buffer, 1, std::min(sizeof buffer, kMaxThemeBytes - text.size()),
                           file)) > 0)
        text.append(buffer, n);
    ParseThemeText(text.data(), text.size());
    return std::fclose(file);
}

void CMapTheme::ParseThemeText(const char* text, size_t length) {
    size_t at = 0;
    while (at < length) {
        size_t end = at;
        while (end < length && text[end] != '\n')
            ++end;
        // An overlong line is cut: its rest is skipped, never read as a line of its own.
        const size_t take = std::min<size_t>(end - at, kMaxLineChars);
        const std::string line(text + at, take);
        ParseLine(line.c_str());
        at = end + 1;
    }
}

void CMapTheme::ParseLine(const char* line) {
    if (line[0] == ';')
        return;
    const char* equals = std::strchr(line, '=');
    if (!equals || equals == line)
        return;
    const std::string key(line, equals);
    const char* value = equals + 1;
    int index = 0;
    if (StartsWith(key, "RPW")) {
        if (ReadIndex(key.c_str() + 3, kLevels, &index))
            ReadPenWidths(value, roadPenWidths[index], kClasses);
    } else if (key == "MDFC") {
        Tokens tokens(value);
        char token[64];
        for (int i = 0; i < kLevels && tokens.Next(token, sizeof token); ++i) {
            long number = 0;
            if (ParseInt(token, &number) && number >= 1 && number <= 5)
                levelDrawClass[i] = static_cast<int32_t>(64 * number);
        }
    } else if (key == "GRPW") {
        ReadPenWidths(value, routePenWidths2, 1);
    } else if (StartsWith(key, "MBC")) {
        if (ReadIndex(key.c_str() + 3, kMarkColours, &index)) {
            COLORREF pair[2] = {dayMarkColours[index], nightMarkColours[index]};
            ReadColours(value, pair, 2);
            dayMarkColours[index] = pair[0];
            nightMarkColours[index] = pair[1];
        }
    } else if (StartsWith(key, "DMRPC")) {
        ReadColours(value, dayRoadColours, kClasses);
    } else if (StartsWith(key, "NMRPC")) {
        ReadColours(value, nightRoadColours, kClasses);
    } else if (StartsWith(key, "DMRBPC")) {
        ReadColours(value, dayRoadBorderColours, kClasses);
    } else if (StartsWith(key, "NMRBPC")) {
        ReadColours(value, nightRoadBorderColours, kClasses);
    } else if (StartsWith(key, "RTC")) {
        ReadColours(value, routeColours, 4);
    } else if (StartsWith(key, "SBC")) {
        ReadColours(value, statusColours, 4);
    } else if (StartsWith(key, "BNCA")) {
        ReadColours(value, backgroundColours, 2);
    } else if (StartsWith(key, "STC")) {
        ReadColours(value, textColours, 2);
    } else if (key == "RTPW") {
        ReadPenWidths(value, routePenWidths, kLevels);
    } else if (key == "GRDPW") {
        int32_t column[kClasses];
        for (int i = 0; i < kClasses; ++i)
            column[i] = routeRoadPenWidths[i][0];
        ReadPenWidths(value, column, kClasses);
        for (int i = 0; i < kClasses; ++i)
            routeRoadPenWidths[i][0] = column[i];
    } else if (key == "DGRDC") {
        ReadColours(value, dayRouteRoadColours, kClasses);
    } else if (key == "NGRDC") {
        ReadColours(value, nightRouteRoadColours, kClasses);
    } else if (key == "AZLC") {
        // The per-level tables have nine entries: a larger count would read past them.
        int32_t count = zoomLevelCount;
        ReadInts(value, &count, 1, 0, kLevels + 1);
        if (count >= 1 && count <= kLevels)
            zoomLevelCount = count;
    } else if (key == "MSR") {
        char* end = nullptr;
        const float ratio = std::strtof(value, &end);
        if (end != value && std::isfinite(ratio))
            mapSpanRatio = std::clamp(ratio, 0.25f, 64.0f);
    } else if (key == "STW") {
        ReadInts(value, &streetTextWeight, 1, 0, kMaxTextWeight);
    } else if (key == "NPW") {
        ReadInts(value, &nameTextWeight, 1, 0, kMaxTextWeight);
    } else if (key == "STS") {
        ReadInts(value, streetTextSizes, kLevels, kMinTextSize, kMaxTextSize);
    } else if (key == "NPT") {
        ReadInts(value, nameThresholds, kLevels, 0, kMaxNameThreshold);
    } else if (StartsWith(key, "DFC")) {
        if (ReadIndex(key.c_str() + 3, kFillColours, &index))
            ReadColours(value, &dayFillColours[index], 1);
    } else if (StartsWith(key, "NFC")) {
        if (ReadIndex(key.c_str() + 3, kFillColours, &index))
            ReadColours(value, &nightFillColours[index], 1);
    } else if (StartsWith(key, "DMRC")) {
        if (ReadIndex(key.c_str() + 4, kMapColours, &index))
            ReadColours(value, &dayMapColours[index], 1);
    } else if (StartsWith(key, "NMRC")) {
        if (ReadIndex(key.c_str() + 4, kMapColours, &index))
            ReadColours(value, &nightMapColours[index], 1);
    } else if (key == "FZL") {
        ReadZoomWidths(value, zoomListFeet, kLevels, kMaxZoomFeet);
    } else if (key == "MZL") {
        ReadZoomWidths(value, zoomListMetres, kLevels, kMaxZoomMetres);
    }
}

void CMapTheme::ScaleForScreen(float scale) {
    auto scaled = [scale](int32_t value, bool reduce) {
        const int result = RoundHalfAway(static_cast<float>(value) * scale);
        return reduce ? result - 1 : result;
    };
    const bool larger = scale > 1.0f;
    for (int level = 0; level < kLevels; ++level) {
        const bool reduceLevel = larger && level >= 5;
        const bool reduceMinor = reduceLevel;
        const bool reduceMajor = larger && (level == 5 || level == 6);
        routePenWidths[level] = scaled(routePenWidths[level], reduceLevel);
        routePenWidths2[level] = scaled(routePenWidths2[level], reduceLevel);
        streetTextSizes[level] = scaled(streetTextSizes[level], reduceLevel);
        nameTextSizes[level] = scaled(nameTextSizes[level], reduceLevel);
        for (int c = 0; c < kClasses; ++c) {
            const bool reduce = c < 2 ? reduceMajor : reduceMinor;
            roadPenWidths[level][c] = scaled(roadPenWidths[level][c], reduce);
            routeRoadPenWidths[level][c] = scaled(routeRoadPenWidths[level][c], reduce);
        }
    }
}

float CMapTheme::GetZoomValue(int level) const {
    if (level < 0 || level >= kLevels)
        level = level < 0 ? 0 : kLevels - 1;
    return (g_options.load() & kOptionMetric) ? zoomListMetres[level] : zoomListFeet[level];
}

int CMapTheme::FindLastLevelBelow() const {
    for (int level = std::min(zoomLevelCount, kLevels) - 1; level >= 0; --level)
        if (levelDrawClass[level] >= 193)
            return level;
    return zoomLevelCount - 1;
}

void CMapTheme::SelectColourSet(int routeView, int level, int value) {
    if (level < 0 || level >= kLevels)
        level = level < 0 ? 0 : kLevels - 1;
    selectedValue = value;
    selectedRouteFlag = routeView;
    selectedLevel = level;
    const bool routed = routeView && (GetMapRoute().GetState() & kRouteStateRouteExists);
    selectedWidthRow = routed ? routeRoadPenWidths[level] : roadPenWidths[level];
    selectedColourRow = ColourMode();
}

int CMapTheme::GetRoutePenWidth() const {
    return selectedRouteFlag ? routePenWidths2[selectedLevel] : routePenWidths[selectedLevel];
}

namespace {
int ClassIndex(int drawClass) {
    return drawClass < 1 ? 0 : (drawClass > 5 ? 4 : drawClass - 1);
}
}  // namespace

int CMapTheme::SelectedWidth(int drawClass) const {
    const int32_t* row = selectedWidthRow ? selectedWidthRow : roadPenWidths[0];
    return row[ClassIndex(drawClass)];
}

COLORREF CMapTheme::RoadColour(int drawClass) const {
    return ClassColour(dayRoadColours, nightRoadColours, drawClass);
}

COLORREF CMapTheme::RoadBorderColour(int drawClass) const {
    return ClassColour(dayRoadBorderColours, nightRoadBorderColours, drawClass);
}

COLORREF CMapTheme::RouteRoadColour(int drawClass) const {
    return ClassColour(dayRouteRoadColours, nightRouteRoadColours, drawClass);
}

COLORREF CMapTheme::ClassColour(const COLORREF* day, const COLORREF* night, int drawClass) const {
    return (selectedColourRow == 1 ? night : day)[ClassIndex(drawClass)];
}

COLORREF CMapTheme::MapColour(int mode, int entry) const {
    if (entry < 0 || entry >= kMapColourRow)
        return kNoColour;
    if (mode == 1)
        return entry < kMapColours ? nightMapColours[entry] : spareColour;
    return entry < kMapColours ? dayMapColours[entry] : nightMapColours[0];
}

COLORREF CMapTheme::FillColour(int mode, int entry) const {
    if (entry < 0 || entry >= kFillColours)
        return kNoColour;
    return mode == 1 ? nightFillColours[entry] : dayFillColours[entry];
}

int CMapTheme::StreetTextSize(int level) const {
    if (level < 0 || level >= kLevels)
        level = level < 0 ? 0 : kLevels - 1;
    return streetTextSizes[level];
}
