// The map theme: every colour, pen width, text size and zoom step the map and the
// screens draw with. Built with fixed defaults, overwritten key by key from
// "theme.ini", then scaled to the screen. The colour mode (day or night) picks one
// of two colour sets, the zoom level the row of the per-level tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/kernel/wintypes.h"

inline constexpr COLORREF kNoColour = 0xFFFFFFFF;

class CMapTheme {
  public:
    static constexpr int kLevels = 9;
    static constexpr int kClasses = 5;  // road draw classes 1 to 5 as 0 to 4
    static constexpr int kFillColours = 19;
    static constexpr int kMapColours = 7;
    static constexpr int kMapColourRow = 8;  // a row read by the drawing set
    static constexpr int kMarkColours = 4;
    static constexpr float kViewFactor = 4.0f;
    // Longest line of "theme.ini" that is read; the rest of a longer line is skipped.
    static constexpr int kMaxLineChars = 255;
    // A theme is a few kilobytes: no more than this is read of a file (a device or
    // a file that never ends must not hold the start).
    static constexpr size_t kMaxThemeBytes = 64 * 1024;
    // The ranges the file's values are clamped to, before the screen scale (at most
    // 8) multiplies the sizes: pixels, font weights and zoom widths.
    static constexpr int32_t kMaxPenWidth = 64;
    static constexpr int32_t kMinTextSize = 4;
    static constexpr int32_t kMaxTextSize = 64;
    static constexpr int32_t kMaxTextWeight = 1000;
    static constexpr int32_t kMaxNameThreshold = 10000000;
    static constexpr float kMaxZoomFeet = 528000.0f;    // 100 miles
    static constexpr float kMaxZoomMetres = 200000.0f;  // 200 km

    CMapTheme();

    void SetDefaults();
    // Reads the file from the program folder, else from a storage card: the close
    // status of the file, the card search's error code, or 0 when no file was found.
    int LoadThemeIni(LPCWSTR fileName);
    // Reads and parses a theme file of the host (at most kMaxThemeBytes of it): the
    // close status, or -1 when the file does not open.
    int ReadThemeFile(const char* hostPath);
    // Parses the text of a theme file (what LoadThemeIni does with the file's bytes).
    void ParseThemeText(const char* text, size_t length);
    void ScaleForScreen(float scale);

    // In metres or feet by the metric option; a level outside the table reads level 0.
    float GetZoomValue(int level) const;
    float GetViewFactor() const { return kViewFactor; }
    int FindLastLevelBelow() const;
    void SelectColourSet(int routeView, int level, int value);
    int GetRoutePenWidth() const;
    // Colour mode 0 (day) or 1 (night); any other value reads as day.
    int ColourMode() const { return colourMode == 1 ? 1 : 0; }

    // The selected rows (SelectColourSet): widths by draw class 1 to 5, class fill
    // colours, casing colours and route-road colours of the colour mode.
    int SelectedWidth(int drawClass) const;
    COLORREF RoadColour(int drawClass) const;
    COLORREF RoadBorderColour(int drawClass) const;
    COLORREF RouteRoadColour(int drawClass) const;
    // Entry 0..7 of the map-colour row of a colour mode: entry 7 of the day row is the
    // first night colour, of the night row the spare colour.
    COLORREF MapColour(int mode, int entry) const;
    COLORREF FillColour(int mode, int entry) const;
    COLORREF BackgroundColour() const { return backgroundColours[ColourMode()]; }
    int StreetTextSize(int level) const;

    // The per-level setters of the defaults; a level outside 0..8 is ignored.
    void SetZoomEntry(int level, int value) { SetLevel(streetTextSizes, level, value); }
    void SetNameThreshold(int level, int value) { SetLevel(nameThresholds, level, value); }
    void SetNameTextSize(int level, int value) { SetLevel(nameTextSizes, level, value); }
    void SetRoutePenWidth2(int level, int value) { SetLevel(routePenWidths2, level, value); }
    void SetLevelDrawClass(int level, int value) { SetLevel(levelDrawClass, level, value); }
    void SetLevelDrawClass2(int level, int value) { SetLevel(levelDrawClass2, level, value); }
    void SetLevelClassLimitA(int level, int value) { SetLevel(levelClassLimitA, level, value); }
    void SetLevelClassLimitB(int level, int value) { SetLevel(levelClassLimitB, level, value); }

    int32_t levelClassLimitA[kLevels];
    int32_t levelClassLimitB[kLevels];
    int32_t zoomLevelCount;
    int32_t zoomLevelCount2;
    float mapSpanRatio;
    int32_t colourMode;
    int32_t selectedValue;
    const int32_t* selectedWidthRow;
    int32_t selectedColourRow;  // 0 day, 1 night
    int32_t selectedRouteFlag;
    int32_t selectedLevel;
    COLORREF dayFillColours[kFillColours];
    COLORREF nightFillColours[kFillColours];
    COLORREF dayMapColours[kMapColours];
    COLORREF nightMapColours[kMapColours];
    COLORREF spareColour;
    COLORREF textColours[2];
    COLORREF dayMarkColours[kMarkColours];
    COLORREF nightMarkColours[kMarkColours];
    COLORREF routeColours[4];
    COLORREF statusColours[4];
    COLORREF backgroundColours[2];
    int32_t roadPenWidths[kLevels][kClasses];
    int32_t routePenWidths[kLevels];
    int32_t routeRoadPenWidths[kLevels][kClasses];
    int32_t routePenWidths2[kLevels];
    COLORREF dayRoadColours[kClasses];
    COLORREF nightRoadColours[kClasses];
    COLORREF dayRoadBorderColours[kClasses];
    COLORREF nightRoadBorderColours[kClasses];
    COLORREF dayRouteRoadColours[kClasses];
    COLORREF nightRouteRoadColours[kClasses];
    float zoomListFeet[kLevels];
    float zoomListMetres[kLevels];
    int32_t levelDrawClass[kLevels];
    int32_t levelDrawClass2[kLevels];
    int32_t streetTextWeight;
    int32_t streetTextSizes[kLevels];
    int32_t nameThresholds[kLevels];
    int32_t nameTextSizes[kLevels];
    int32_t nameTextWeight;

  private:
    // Reads at most kMaxThemeBytes of the open file, parses them, closes the file.
    int ReadTheme(std::FILE* file);
    static void SetLevel(int32_t* table, int level, int value) {
        if (level >= 0 && level < kLevels)
            table[level] = value;
    }
    void ParseLine(const char* line);
    COLORREF ClassColour(const COLORREF* day, const COLORREF* night, int drawClass) const;
};

// "%d,%d,%d" as red | green << 8 | blue << 16; missing components are 0.
COLORREF ParseRgbTriplet(const char* text);

// The program's one theme.
extern CMapTheme g_mapTheme;
