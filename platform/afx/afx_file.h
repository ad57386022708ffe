// The class library's file: a binary file over the kernel's file calls, and the
// exception it throws.
#pragma once

#include <string>

#include "platform/afx/afx.h"

class CFileException : public CException {
  public:
    enum {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile
    };

    explicit CFileException(int cause = none, LONG osError = -1, LPCWSTR fileName = nullptr);

    // The cause for an error code of GetLastError.
    static int OsErrorToException(LONG osError);
    // Throws a new CFileException for an error code of GetLastError.
    [[noreturn]] static void ThrowOsError(LONG osError, LPCWSTR fileName = nullptr);

    int m_cause;
    LONG m_lOsError;
    std::u16string m_strFileName;
};

// Throws a new CFileException; the catcher calls Delete() on it.
[[noreturn]] void AfxThrowFileException(int cause, LONG osError = -1, LPCWSTR fileName = nullptr);

// Text mode (typeText) is not supported: every file is binary. Read returns the
// count read (0 at the end of the file); Read, Write, Seek, SetLength and Flush
// failures throw CFileException*, as does the constructor that opens. Open
// reports failure by its result and, when given one, fills the exception.
class CFile {
  public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };
    enum SeekPosition : UINT { begin = 0x0, current = 0x1, end = 0x2 };

    static const HANDLE hFileNull;

    CFile();
    // Takes over an open handle; it is closed with the CFile.
    explicit CFile(HANDLE file);
    // Opens or throws CFileException*.
    CFile(LPCWSTR fileName, UINT openFlags);
    // Closes an open file; errors on the way are dropped.
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    virtual BOOL Open(LPCWSTR fileName, UINT openFlags, CFileException* error = nullptr);

    virtual UINT Read(void* buffer, UINT count);
    virtual void Write(const void* buffer, UINT count);

    // Returns the new position from the start of the file. Seeking before the
    // start throws badSeek.
    virtual ULONGLONG Seek(LONGLONG offset, UINT from);
    void SeekToBegin() { Seek(0, begin); }
    ULONGLONG SeekToEnd() { return Seek(0, end); }
    virtual ULONGLONG GetPosition() const;
    virtual ULONGLONG GetLength() const;
    virtual void SetLength(ULONGLONG newLength);

    virtual void Flush();
    // Closes the file; a failure to close throws.
    virtual void Close();
    // Closes the file and drops every error (for clean-up after a failure).
    virtual void Abort();

    // The path as given to Open, and its last component.
    const std::u16string& GetFilePath() const { return m_strFileName; }
    std::u16string GetFileName() const;

    HANDLE m_hFile;

  protected:
    std::u16string m_strFileName;
    BOOL m_bCloseOnDelete;
};
