// The texts shown for road links: a link's street names in full (direction words,
// street type, house-number range), the route name of a numbered road, the address
// of the vehicle's matched position, and the streets that cross a street. All texts
// are single-byte; every builder writes into a buffer of the size it is given and
// cuts what does not fit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pathlume/foundation/dest_list.h"
#include "pathlume/mapdb/lfo_index_file.h"
#include "pathlume/mapdb/link_info_file.h"

class CMapDatabase;

// Which names of a link a text takes: an item index (0 and up) takes that item
// only; these take several.
inline constexpr int kAllNames = -1;
inline constexpr int kPrimaryNames = -2;  // the items with formats::link_info::kItemPrimary

// The link id of a link without an address record.
inline constexpr int32_t kNoRecordLinkId = -2;

// Room for any street text (seven names with their words and a range).
inline constexpr size_t kStreetTextSize = 640;
// GetLinkStreetName answers at most this many bytes from the string table.
inline constexpr size_t kStreetWordSize = 80;

// A string-table text as single-byte text, at most kStreetWordSize - 1 bytes and
// cut to the buffer; empty when the id is missing. Returns buffer.
char* LoadStringText(UINT id, char* buffer, size_t size);

// The selected names of the link, each as "[lo-hi ][DIR ][TYPE ]NAME[ TYPE][ DIR]",
// joined by "/". The range is written for item 0 only, with withRange, when that
// item carries the house numbers; it runs in the direction of travel that
// positioning reports on the matched link. Empty when the record or its items
// cannot be read or "names.bin" is not open; "UNKNOWN" for kNoRecordLinkId. The id
// of the last name written goes to nameId when given. Returns buffer.
char* FormatHouseRange(LinkInfoFile& reader, int32_t linkId, int selector, char* buffer,
                       size_t size, uint32_t* nameId, bool withRange);

// FormatHouseRange; a link without a name is "RAMP" when its attributes carry the
// ramp bit, else "NO NAME" (string table, at most kStreetWordSize - 1 bytes).
char* GetLinkStreetName(LinkInfoFile& reader, int32_t linkId, uint32_t linkAttributes, int selector,
                        char* buffer, size_t size, bool withRange);

// The route class (1 to 3) of the link's first numbered-route name, with that name
// in the buffer; 0 when it has none, "names.bin" is not open or the link has no
// record.
int GetRouteName(LinkInfoFile& reader, int32_t linkId, char* buffer, size_t size);

// The address of the vehicle's matched position (g_vehicleLocation): "N STREET\nPLACE"
// with the left house number (at least 1) or else, unless leftOnly, the right one
// (at least 0), or "STREET\nPLACE"; the number alone in `number` when given (empty
// without one). `out`, when given, receives the link, its cell word, the side of the
// number (0 without one) and the point. 0, or 1 without a matched link, when the
// record cannot be read or the street or the place text is empty.
int FormatAddressText(AddressHit* out, char* line, size_t lineSize, char* number, size_t numberSize,
                      bool leftOnly);

// One answer of ListCrossStreets.
struct CrossStreet {
    std::string text;
    uint32_t nameId = 0;  // the crossing street's name id
    AddressHit hit{};     // second-street mode: where the two streets meet
};

// The streets that cross street `nameId` in `area` (an entry of "linkinfo.bin" and
// "lfoidx.bin"), on its links in place `city` (-1: any). List mode: the crossing
// streets' names, each once. Second-street mode: one answer per place where street
// `secondNameId` crosses, "STREET\nCROSSING STREET, PLACE" with the crossing link as
// the hit. At most 1,000 answers. Loads layer 3 of the database around the street's
// links; the index reader is closed afterwards.
std::vector<CrossStreet> ListCrossStreets(CMapDatabase& database, LfoIndexFile& reader,
                                          uint32_t area, uint32_t nameId, int32_t city,
                                          bool secondStreet, uint32_t secondNameId);
