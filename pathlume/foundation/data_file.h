// The program's one file object. A file is read through an ordinary handle, in
// pieces of at most 2 MiB, or through a memory-mapped view, where a read is a
// copy; a mapped open that cannot be mapped falls back to an ordinary handle, so
// callers never need to know which kind they got. Each object belongs to one
// reader and takes no lock.
#pragma once

#include "platform/kernel/files.h"
#include "platform/kernel/wintypes.h"

// Open flags (the mode word).
inline constexpr DWORD kDataFileRead = 0x1;   // GENERIC_READ, OPEN_EXISTING
inline constexpr DWORD kDataFileWrite = 0x2;  // GENERIC_WRITE, CREATE_ALWAYS (without bit 0)
inline constexpr DWORD kDataFileText = 0x4;   // ReadLine turns CR LF into LF
// With kDataFileRead: read and write, OPEN_ALWAYS; with kDataFileWrite alone: read
// and write, CREATE_ALWAYS.
inline constexpr DWORD kDataFileUpdate = 0x8;
inline constexpr DWORD kDataFileMapped = 0x80000000;
// Set by the object while a mapped file's cursor is invalid after a failed seek.
inline constexpr DWORD kDataFileBadCursor = 0x40000000;

// A file and a view of it.
class CMappedFile {
  public:
    CMappedFile() = default;
    ~CMappedFile();
    CMappedFile(const CMappedFile&) = delete;
    CMappedFile& operator=(const CMappedFile&) = delete;

    // Non-zero on success. terminator: the view gets two zero bytes after the
    // data. named: the mapping is named after the path and the tick count.
    // sizeOverride 0: the file's size.
    BOOL Open(LPCWSTR path, BOOL readOnly, DWORD shareMode, BOOL terminator, BOOL named,
              DWORD viewOffset, DWORD sizeOverride, LPSECURITY_ATTRIBUTES security);
    // Creates the mapping and maps the view; non-zero on success.
    BOOL Map();
    void Close();

    BYTE* ViewBase() const { return viewBase_; }
    HANDLE FileHandle() const { return file_; }
    DWORD MappedSize() const { return mappedSize_; }
    BOOL IsReadOnly() const { return readOnly_; }

  private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
    HANDLE mapping_ = nullptr;
    BOOL readOnly_ = TRUE;
    BOOL terminator_ = FALSE;
    BYTE* viewBase_ = nullptr;
    WCHAR* name_ = nullptr;
    BOOL open_ = FALSE;
    DWORD mappedSize_ = 0;
    DWORD viewOffset_ = 0;
    LPSECURITY_ATTRIBUTES security_ = nullptr;
};

// Results: 0 success, non-zero failure, unless said otherwise.
class CDataFile {
  public:
    CDataFile();
    ~CDataFile();
    CDataFile(const CDataFile&) = delete;
    CDataFile& operator=(const CDataFile&) = delete;

    // Closes whatever was open, then opens the path; 0 or 1.
    int Open(LPCWSTR path, DWORD flags);
    // Finds the file by its short name (FindDataFileOnCards; beside the Maps
    // folder when it is to be written) and opens it; the search's code when it
    // is not found. The full path is copied to fullPath (MAX_PATH) on success.
    int OpenLocated(LPCWSTR name, DWORD flags, LPWSTR fullPath);
    // As OpenLocated; a mapped open that fails is tried again plainly.
    int OpenLocatedWithFallback(LPCWSTR name, DWORD flags, LPWSTR fullPath);
    // The path is folder (with its own trailing backslash) followed by name.
    int OpenInFolder(LPCWSTR folder, LPCWSTR name, DWORD flags, LPWSTR fullPath);
    // Flushes a file opened for writing. The mode and the path stay.
    void Close();

    // The number of bytes copied; 0 when the file is not open.
    int Read(void* buffer, int count);
    // The number of bytes written: all of them or, in a mapped view, none when
    // the view is read-only or the bytes would pass its end.
    int Write(const void* data, int count);
    // origin 0 begin, 1 current, 2 end. A target outside the file (or view) fails
    // and leaves the position where it was.
    int Seek(int offset, int origin);
    // The position, or -1 when the file is not open or after a failed mapped seek.
    int Tell() const;
    // One line into buffer (size bytes, terminated), or null at the end of the
    // file. A line ends after its LF; with the text flag a CR LF ends it too and
    // comes back as a single LF. A line longer than size - 1 comes in pieces.
    char* ReadLine(char* buffer, int size);
    // Opens the stored path again (flags 0: the same flags) and, when the file
    // was open, seeks back to the stored position.
    int Reopen(DWORD flags);

    bool IsOpen() const;
    // The handle the file is read through: the mapped file's in mapped mode, else the
    // plain one; INVALID_HANDLE_VALUE when there is none.
    HANDLE Handle() const { return IsMapped() ? mapped_.FileHandle() : file_; }
    bool IsMapped() const { return (mode_ & kDataFileMapped) != 0; }
    DWORD Mode() const { return mode_; }
    int Size() const { return size_; }
    LPCWSTR Path() const { return path_; }
    // A number of its own for each opening (0 while closed): what was read from one
    // opening is never taken for another file's, nor for the same file opened again.
    uint32_t OpenSerial() const { return serial_; }

  private:
    int OpenPlain();
    void Reset();

    DWORD mode_ = 0;
    WCHAR path_[MAX_PATH];
    CMappedFile mapped_;
    BYTE* viewBase_ = nullptr;
    BYTE* cursor_ = nullptr;
    BYTE* viewEnd_ = nullptr;
    int position_ = 0;
    int size_ = 0;
    uint32_t serial_ = 0;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    DWORD text_ = 0;
};
