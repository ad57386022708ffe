// The small services under the converters and the copy threads: copying a file to
// a desktop folder with progress, making folder paths, deleting the temporary
// folder, the reports that end a generation, the check of a source file's magic,
// and the length-prefixed records the converters share.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "mapferry/convert/installer_services.h"
#include "platform/afx/afx_file.h"
#include "platform/kernel/kernel.h"

// ---- Copying ---------------------------------------------------------------------

// Results of a copy, shared with CDeviceLink::CopyFileToDevice.
inline constexpr int kCopyDone = 0;
inline constexpr int kCopyCancelled = 1;
inline constexpr int kCopySourceNotOpened = 2;
inline constexpr int kCopyDestinationNotOpened = 3;
inline constexpr int kCopyWriteFailed = 4;
inline constexpr int kCopyWriteShort = 5;  // a write stored fewer bytes than asked
inline constexpr int kCopyNoBuffer = 6;
inline constexpr int kCopyReadFailed = 7;

// Copies sourcePath to destinationFolder + "\" + destinationName (the source's own
// name when destinationName is null), creating missing parent folders, in pieces
// of the transfer buffer's size. The dialog's per-file bar gets the percentage
// whenever it grows; its cancel-requested flag stops the copy after a piece.
// Whatever the result other than kCopyDone, no destination file is left behind.
int CopyFileWithProgress(CTransferBuffer* buffer, LPCWSTR sourcePath, LPCWSTR destinationFolder,
                         LPCWSTR destinationName, CGeneratingDlg* dialog);
// The same for the copy-only dialog.
int CopyFileWithProgress2(CTransferBuffer* buffer, LPCWSTR sourcePath, LPCWSTR destinationFolder,
                          LPCWSTR destinationName, CCopyingMapsDlg* dialog);

// The copy loop under both, and under the PC-drive device link: copies to the full
// destination path (whose folder must exist). progress may be empty; cancelled is
// asked after each piece and may be empty.
int CopyFileInPieces(CTransferBuffer* buffer, LPCWSTR sourcePath, LPCWSTR destinationPath,
                     const std::function<void(int percent)>& progress,
                     const std::function<bool()>& cancelled);

// The percentage of a copy: done x 100 / size in 64 bits (a file over 42 MB
// overflows 32), at most 100; 0 for a size of 0.
int CopyPercent(ULONGLONG bytesDone, ULONGLONG size);

// ---- Folders ---------------------------------------------------------------------

// 1 when the path exists and is a folder, else 0.
int LocalFileExists(LPCWSTR path);

// Creates the folder and any missing folders above it; depth is 0 for the caller's
// own path. At most kMaxNewFolders folders are made in one call: a path that needs
// more is not created at all. 1 when the folder itself was created.
inline constexpr int kMaxNewFolders = 30;
int CreateFolderPath(LPCWSTR path, int depth);

// Creates the folders above a file path when they are missing.
void CreateLocalParentFolder(LPCWSTR filePath);

// Reads a whole file of at most `limit` bytes. false when it cannot be opened or
// read, or is larger than the limit.
bool ReadLocalFile(LPCWSTR path, size_t limit, std::vector<uint8_t>* bytes);

// Deletes everything in the folder, sub-folders included, then the folder itself.
// 0 when the folder was removed, 1 otherwise.
int DeleteFolderTree(LPCWSTR folder);

// ---- Program-wide generation state -----------------------------------------------

// Set by every internal-error report; cleared when a generation thread starts.
extern std::atomic<int> g_internalErrorFlag;

// The generation's temporary folder; empty until a run has made it.
void SetTemporaryFolder(std::u16string_view folder);
std::u16string GetTemporaryFolder();
// Set to 1 to stop the converters (each checks it between records and returns
// without harm); cleared when a generation thread starts.
extern std::atomic<int> g_cancelFlag;
// The data disc in use (1 to 3), its first split column and split-column count,
// and its "mapdata" folder, where the converters read their sources.
struct DiscInUse {
    int disc = 0;
    int firstSplitColumn = 0;
    int splitColumnCount = 0;
    std::u16string sourceFolder;
};
void SetDiscInUse(const DiscInUse& disc);
DiscInUse GetDiscInUse();

// ---- Reports ---------------------------------------------------------------------

// The error class bit of a failed write to a temporary file.
inline constexpr DWORD kErrorClassWrite = 0x200;
// The line ReportLowDiskSpace shows when the disk is not the cause.
inline constexpr int kLowDiskSpaceLine = 205;
// Free space below which a failed temporary write is put down to a full disk.
inline constexpr double kLowDiskSpaceMegabytes = 30.0;
// The process's exit code after a report (the host sees 255).
inline constexpr UINT kReportExitCode = static_cast<UINT>(-1);

// Each report sets g_internalErrorFlag, shows its message (stop icon, OK and
// Cancel, system-modal), deletes the temporary folder when one is set and ends the
// process with kReportExitCode through ExitProcess.
[[noreturn]] void ReportInternalError(DWORD errorClass, int line);
// "%s Internal error line %d ..." with the text; without a text as above.
[[noreturn]] void ReportInternalErrorFile(DWORD errorClass, LPCWSTR text, int line);
// For a write failure (kErrorClassWrite) on a disk with less than 30 MB free, or
// whose free space cannot be taken, the low-disk-space text; otherwise the
// internal-error text with line 205. folder is where the failed file lies.
[[noreturn]] void ReportLowDiskSpace(DWORD errorClass, LPCWSTR folder);

// The dialogs' texts name no file ("Corrupted file: AZE2", "Internal error line
// 4282"): before a report, the converter that found the fault notes the file and
// what is wrong with it, for a headless run to print. Cleared when a generation
// thread starts.
void NoteFileFault(std::u16string_view path, std::u16string_view fault);
// "path: fault" of the last note, or empty.
std::u16string NotedFileFault();
void ClearFileFault();

// Reads the next 4 bytes of the stream: 0 when they are the magic, else 1 after
// noting the stream's file and "Corrupted file: %s" with the expected magic.
int ReportCorruptedFile(CFile& stream, const char* magic);

// ---- Length-prefixed records -----------------------------------------------------

// A text: u8 length, then that many bytes.
inline constexpr size_t kMaxTextLength = 71;
// 0, or 1 for a length above kMaxTextLength or a short or failed read.
int ReadLengthPrefixedText(CFile& stream, std::string* text);
// 0, or 1 for a text longer than kMaxTextLength (no reader would take it) or a
// failed write.
int WriteLengthPrefixedText(CFile& stream, std::string_view text);

// A place record: one byte (bits 0-5 the text length, bit 6 parent -2, bit 7 a u32
// parent follows), the u32 parent when bit 7 is set, then the text.
inline constexpr BYTE kPlaceLengthMask = 0x3F;
inline constexpr BYTE kPlaceParentMinus2 = 0x40;
inline constexpr BYTE kPlaceParentFollows = 0x80;
inline constexpr uint32_t kPlaceNoParent = 0xFFFFFFFFu;        // -1
inline constexpr uint32_t kPlaceNoParentMinus2 = 0xFFFFFFFEu;  // -2
inline constexpr size_t kMaxPlaceTextLength = kPlaceLengthMask;

struct PlaceRecord {
    uint32_t parent = kPlaceNoParent;
    std::string text;
};
// 0, or 1 for a short or failed read.
int ReadPlaceRecord(CFile& stream, PlaceRecord* record);
// 0, or 1 for a text longer than 63 bytes (its length would not fit the byte) or a
// failed write.
int WritePlaceRecord(CFile& stream, const PlaceRecord& record);
