// Where the data files lie (storage cards under two folder layouts, or main
// memory), the checks that reject a data file with a wrong magic or version, the
// paths of the user list files, the splitting of a command line, and the fatal
// out-of-memory exit.
#pragma once

#include "platform/kernel/wintypes.h"

class CDataFile;
struct DestRecord;
struct DestPlace;

// Finds a data file by its short name: first on each storage card in
// "\<card>\Zanter Wayscribe\", then on each card in the install folder's layout,
// then in the install folder. With besideMaps, a file found nowhere gets the path
// beside the Maps folder of g_dataFolder (where it is to be created). 0 with the
// path in fullPath (MAX_PATH), or 1 with fullPath empty. Shows nothing.
int FindDataFileOnCards(LPCWSTR name, LPWSTR fullPath, BOOL besideMaps);

// Finishes or undoes a map swap that an installation killed half way left in a
// "Maps" folder where FindDataFileOnCards looks, so that each holds one whole map.
void FinishMapSwaps();

// Reads four bytes from the file's position and compares them with the magic: 0
// equal, 1 not open or short read, 2 different. With a name, 1 and 2 are shown in
// a message box.
int CheckDataFileHeader(CDataFile& file, const char* magic, LPCWSTR name);
// Shows "Invalid or Missing Data file: " and the name: a data file that is there but
// too short, or damaged, for what its head promises.
void ShowInvalidDataFile(LPCWSTR name);
// 0 when the first four bytes are equal; otherwise shows the difference and
// returns 1.
int CheckDataFileVersion(const char* expected, const char* found, LPCWSTR name);

// The size in bytes, or 0xFFFFFFFF when the file cannot be opened.
DWORD GetFileSizeByName(LPCWSTR path);
// 1 when the path (or wildcard pattern) finds an entry, else 0.
int FileExists(LPCWSTR path);

// The user list files by index.
inline constexpr int kListFavorites = 0;
inline constexpr int kListRecent = 1;
inline constexpr int kListItinerary = 2;
// g_userDataFolder followed by the list file's name; buffer holds MAX_PATH.
LPWSTR FormatDataFilePath(int index, LPWSTR buffer);

// Splits a command line (a program path, possibly quoted and with blanks, then
// arguments) by finding the longest leading part that names an existing file.
// Each output (MAX_PATH, or null) is emptied first; the folder keeps its
// trailing backslash. 1 when nothing names a file; 0 otherwise (with the outputs
// empty when what was found is a folder).
int SplitCommandLine(LPCWSTR commandLine, LPWSTR exePath, LPWSTR folder, LPWSTR arguments);

// The out-of-memory exit. While a route search holds g_oomQuietDepth above zero it
// only sets g_outOfMemory and returns; otherwise it tells the user, releases the
// GPS port and ends the process with exit code 1.
void FatalErrorExit(int code);
// What must be released before that exit (the GPS receiver's port); set by
// whoever owns it, null to clear.
void SetFatalErrorCleanup(void (*cleanup)());

// Makes a destination the one of "itinerary.dat": `record`, or when null a record
// built from `place` and the texts (nameText is line 1 and line 2 separated by its
// first LF). While a detour or stopover is active the final destination stays
// behind it. 0 when the file was written.
int RewriteItinerary(const DestRecord* record, const DestPlace* place, const char* nameText,
                     const char* shortName, const char* line3);
