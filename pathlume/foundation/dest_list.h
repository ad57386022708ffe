// Destination records and the list files that keep them ("favorites.dat",
// "recent.dat", "itinerary.dat"): the magic "FI03", an i32 count and the records.
// A record in a file is its 36-byte fixed part and three texts, each a length
// byte (0 absent, 1 to 127) and its bytes. Every rewrite of a list file goes
// through a temporary file and a rename, and a file that cannot be read is kept
// under a new name rather than overwritten. User-interface thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/kernel/wintypes.h"

class CDataFile;
struct MapLink;

inline constexpr char kDestListMagic[4] = {'F', 'I', '0', '3'};
inline constexpr int kDestRecordFixedSize = 36;
// The longest text a length byte holds; longer texts are stored cut to it.
inline constexpr int kDestTextMax = 127;
// The latitude of a record without a position.
inline constexpr FLOAT kNoPosition = -500.0f;

// Where a destination lies, as the map database hands it over.
struct DestPlace {
    DWORD linkId;
    DWORD linkRef;
    DWORD areaCode;
    FLOAT lat;
    FLOAT lon;
};

// A place the map database found (an address, a position on a street, an
// intersection), as it hands it to the destination lists. 20 bytes of values.
struct AddressHit {
    int32_t linkId;     // the link's record offset in "linkinfo.bin"
    uint32_t cellWord;  // the link's grid cell; bit 31: the detailed grid; 0 when unknown
    int32_t side;       // 1 left, -1 right, 0 either
    FLOAT lat;
    FLOAT lon;

    // The side goes where a destination keeps the side's area code.
    DestPlace ToDestPlace() const {
        return {static_cast<DWORD>(linkId), cellWord, static_cast<DWORD>(side), lat, lon};
    }
};
static_assert(sizeof(AddressHit) == 20, "an address hit is five 4-byte values");

struct DestRecord {
    // The fixed part, in file order.
    char shortName[16];  // the house-number text; byte 14 is always 0
    DWORD linkId;
    DWORD linkRef;   // bit 31: the link is in map layer 3, else layer 0
    DWORD areaCode;  // 0: any
    FLOAT lat;       // kNoPosition: none
    FLOAT lon;
    // Owned single-byte texts or null. A line 1 that begins with 0x01 is shown and
    // compared without it.
    char* line1;
    char* line2;
    char* line3;  // the name the driver gave; the record's title when present

    // Zeroes the fixed part, then Init.
    DestRecord();
    ~DestRecord() { FreeStrings(); }
    DestRecord(const DestRecord&) = delete;
    DestRecord& operator=(const DestRecord&) = delete;

    // Records live on the program heap. Allocation failure answers null.
    static void* operator new(size_t size) noexcept;
    static void operator delete(void* p) noexcept;

    // Texts null and no position; the other fields stay.
    void Init();
    // Zeroes the fixed part.
    void Clear();
    void FreeStrings();
    // Fills the record. shortName keeps at most 14 characters; a null text leaves
    // that text as it was. Non-zero on success, 0 when a copy could not be made.
    BOOL Set(FLOAT latitude, FLOAT longitude, DWORD linkId, DWORD linkRef, DWORD areaCode,
             const char* shortName, const char* line1, const char* line2, const char* line3);

    // 0 written; 3 fixed part or line 3 short, 1 or 2 line 1 or line 2 short.
    int Write(CDataFile& file) const;
    // 0 read; 6 fixed part short, 3, 4 or 5 length byte of line 1, 2 or 3
    // missing, 7 a text's bytes short or not allocated.
    int Read(CDataFile& file);
    // Same line 1 and line 2, or both have a line 3 and those are the same
    // (as names compare: CompareNoCase). Name, link and position take no part.
    bool Equals(const DestRecord& other) const;
    // The row text of a list: line 3, or line 1 and line 2 on two lines.
    void GetDisplayText(char* buffer, size_t size) const;
    // Starts navigation to the record: 0 when a route was requested, 1 when no
    // road was found (or no router is there).
    int RouteTo();
};

// The destination the router takes.
struct RouteTarget {
    MapLink* link;
    DWORD segment;  // the link's shape segment nearest to the position
    FLOAT lat;
    FLOAT lon;
    char shortName[16];
    DWORD areaCode;

    void Clear();
};

// What the destination records need of the router and the map database; the
// router installs it.
class IDestinationRouter {
  public:
    // The detour or stopover state of the router.
    virtual BOOL IsDetourActive() = 0;
    // Looks the record's road up, fills g_destinationText and a RouteTarget, adds
    // the record to "recent.dat", makes it the itinerary's destination and
    // requests the route: 0, or 1 when no road was found.
    virtual int RouteTo(DestRecord& record) = 0;

  protected:
    ~IDestinationRouter() = default;
};
// Null until the router exists; read on the user-interface thread only.
void SetDestinationRouter(IDestinationRouter* router);
IDestinationRouter* GetDestinationRouter();

// The text of the current destination: a title line and the address lines.
inline constexpr size_t kDestinationTextSize = 257;
extern char g_destinationText[kDestinationTextSize];

// The sort order of the lists: by title (line 3, or line 1 without the house
// number in front), then by line 2; compared as names are (CompareNoCase).
int CompareDestRecords(const DestRecord& a, const DestRecord& b);

class CDestList {
  public:
    std::u16string path;
    std::vector<DestRecord*> records;  // owned

    CDestList() = default;
    ~CDestList() { Clear(); }
    CDestList(const CDestList&) = delete;
    CDestList& operator=(const CDestList&) = delete;

    // Reads `path` (max 0: no limit; sort: by CompareDestRecords). 0 when every
    // counted record was read, 1 when fewer were, -1 when the list is empty.
    int Load(int sort, int max);
    // Writes `path` anew with every record; 0, or non-zero with the old file
    // left as it was.
    int Save();
    void Clear();

    // Puts one record into a list file: at the front (replacing an equal record
    // further down with replaceDuplicate) or at the end. 0 when the file was
    // rewritten, 1 when it was left as it was.
    static int Add(const DestRecord& record, const std::u16string& path, BOOL atEnd,
                   BOOL replaceDuplicate);
    // 2 when the file holds a record equal to `record`, else 0.
    static int Find(const DestRecord& record, const std::u16string& path);
    // Keeps only the first `limit` records of the file; 0.
    static int Truncate(const std::u16string& path, int limit);
    // Writes the records as a new list file at `path` through a temporary file and
    // a rename; true when the file was replaced. A file there that reads whole is
    // deleted afterwards; one that does not is kept as "<path>.bad" (or .bad2,
    // .bad3, ...). On failure the old file stays as it was.
    static bool WriteListFile(const std::u16string& path,
                              const std::vector<const DestRecord*>& records);
};
