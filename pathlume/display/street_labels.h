// Street names and route shields along roads: which text a road gets, the names
// remembered across frames, and the small helpers of their placement.
#pragma once

#include <cstdint>
#include <string>

#include "platform/gdi/gdi.h"

// Route-shield icons and the colours of their numbers.
inline constexpr UINT kIconShieldFirst = 2001;   // kind 1, white number
inline constexpr UINT kIconShieldZone = 2002;    // the special zone's and kind 3's, black
inline constexpr UINT kIconShieldState = 2003;   // kind 3 "CA-" (white), kind 4 (black)
inline constexpr UINT kIconShieldSecond = 2051;  // kind 2, black number
inline constexpr COLORREF kShieldWhite = 0xFFFFFF;
inline constexpr COLORREF kShieldBlack = 0x000000;

// Moves the first run of decimal digits at or after `start` to the beginning of
// the text and ends the text there: 1 when digits were found, else 0 (text kept).
int ExtractFirstNumber(char* text, int start);

// The arctangent of a / b in degrees, -90 to 90, by a fast approximation; 0 when
// both are 0.
float FastAtanDegrees(float a, float b);

// The angle, in degrees counter-clockwise on the screen, of a label along the
// segment from (x1, y1) to (x2, y2), turned so that the text never reads upside down.
double StreetLabelAngle(float x1, float y1, float x2, float y2);

// The shield icon and number colour of a route of the given kind (1 to 4).
struct ShieldStyle {
    UINT icon;
    COLORREF colour;
};
ShieldStyle ChooseShield(int kind, bool inSpecialZone, const char* text);

// Names already looked up for links, kept for the process: an entry used in a frame
// has bits 31 and 30 set; the renderer ages the flags after every frame (bit 31
// goes), and an entry without bit 31 is free for reuse while it still answers for
// its key until it is reused.
class RoadRecordTable {
  public:
    static constexpr int kEntries = 100;
    static constexpr uint32_t kUsed = 0x80000000;
    static constexpr uint32_t kKeep = 0x40000000;
    static constexpr uint32_t kKindMask = 0x3FFFFFFF;

    struct Entry {
        int32_t nameId = 0;  // the link's key
        int32_t nameNumber = -1;
        std::string text;
        uint32_t flags = 0;
    };

    // The entry of the key (its flags refreshed), or null; the first free entry goes
    // to *freeEntry.
    Entry* Find(int32_t nameId, Entry** freeEntry);
    static void Set(Entry& entry, int32_t nameId, int32_t nameNumber, uint32_t kind,
                    const char* text);
    // After a frame: an entry with bit 30 keeps only bit 30, any other loses bit 31.
    void Age();
    const Entry& At(int i) const { return entries_[i]; }

  private:
    Entry entries_[kEntries];
};
