#include "platform/afx/afx_file.h"

#include <limits>

// ---- CFileException -------------------------------------------------------------

CFileException::CFileException(int cause, LONG osError, LPCWSTR fileName)
    : m_cause(cause), m_lOsError(osError), m_strFileName(fileName ? fileName : u"") {}

int CFileException::OsErrorToException(LONG osError) {
    switch (osError) {
        case NO_ERROR:
            return none;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_INVALID_HANDLE:
        case ERROR_NO_MORE_FILES:
            return fileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_NOT_SAME_DEVICE:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_DIRECTORY:
            return badPath;
        case ERROR_TOO_MANY_OPEN_FILES:
            return tooManyOpenFiles;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
        case ERROR_CANNOT_MAKE:
            return accessDenied;
        case ERROR_CURRENT_DIRECTORY:
            return removeCurrentDir;
        case ERROR_SEEK:
        case ERROR_NEGATIVE_SEEK:
            return badSeek;
        case ERROR_NOT_READY:
        case ERROR_WRITE_FAULT:
        case ERROR_READ_FAULT:
        case ERROR_GEN_FAILURE:
            return hardIO;
        case ERROR_SHARING_VIOLATION:
            return sharingViolation;
        case ERROR_LOCK_VIOLATION:
            return lockViolation;
        case ERROR_HANDLE_EOF:
            return endOfFile;
        case ERROR_HANDLE_DISK_FULL:
        case ERROR_DISK_FULL:
            return diskFull;
        default:
            return genericException;
    }
}

void CFileException::ThrowOsError(LONG osError, LPCWSTR fileName) {
    AfxThrowFileException(OsErrorToException(osError), osError, fileName);
}

void AfxThrowFileException(int cause, LONG osError, LPCWSTR fileName) {
    throw new CFileException(cause, osError, fileName);
}

// ---- CFile ----------------------------------------------------------------------

const HANDLE CFile::hFileNull = INVALID_HANDLE_VALUE;

namespace {

// The last error of a failed call; a call that failed without one still counts
// as a failure.
LONG LastErrorOr(LONG fallback) {
    DWORD error = GetLastError();
    return error != NO_ERROR ? static_cast<LONG>(error) : fallback;
}

}  // namespace

CFile::CFile() : m_hFile(hFileNull), m_bCloseOnDelete(FALSE) {}

CFile::CFile(HANDLE file) : m_hFile(file), m_bCloseOnDelete(TRUE) {}

CFile::CFile(LPCWSTR fileName, UINT openFlags) : CFile() {
    CFileException error;
    if (!Open(fileName, openFlags, &error)) {
        AfxThrowFileException(error.m_cause, error.m_lOsError, error.m_strFileName.c_str());
    }
}

CFile::~CFile() {
    if (m_hFile != hFileNull && m_bCloseOnDelete) {
        Abort();
    }
}

BOOL CFile::Open(LPCWSTR fileName, UINT openFlags, CFileException* error) {
    auto fail = [&](LONG osError) {
        if (error) {
            error->m_cause = CFileException::OsErrorToException(osError);
            error->m_lOsError = osError;
            error->m_strFileName = fileName ? fileName : u"";
        }
        return FALSE;
    };
    if (m_hFile != hFileNull || !fileName) {
        return fail(ERROR_INVALID_PARAMETER);
    }

    DWORD access = 0;
    switch (openFlags & 3) {
        case modeRead:
            access = GENERIC_READ;
            break;
        case modeWrite:
            access = GENERIC_WRITE;
            break;
        case modeReadWrite:
            access = GENERIC_READ | GENERIC_WRITE;
            break;
        default:
            return fail(ERROR_INVALID_PARAMETER);
    }

    // The compatibility mode is taken as exclusive, as the library does.
    DWORD share = 0;
    switch (openFlags & 0x70) {
        case shareCompat:
        case shareExclusive:
            share = 0;
            break;
        case shareDenyWrite:
            share = FILE_SHARE_READ;
            break;
        case shareDenyRead:
            share = FILE_SHARE_WRITE;
            break;
        case shareDenyNone:
            share = FILE_SHARE_READ | FILE_SHARE_WRITE;
            break;
        default:
            return fail(ERROR_INVALID_PARAMETER);
    }

    DWORD disposition = OPEN_EXISTING;
    if (openFlags & modeCreate) {
        disposition = (openFlags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
    }

    HANDLE file =
        CreateFileW(fileName, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return fail(LastErrorOr(ERROR_OPEN_FAILED));
    }
    m_hFile = file;
    m_bCloseOnDelete = TRUE;
    m_strFileName = fileName;
    return TRUE;
}

UINT CFile::Read(void* buffer, UINT count) {
    if (count == 0) {
        return 0;
    }
    DWORD read = 0;
    if (!ReadFile(m_hFile, buffer, count, &read, nullptr)) {
        CFileException::ThrowOsError(LastErrorOr(ERROR_READ_FAULT), m_strFileName.c_str());
    }
    return read;
}

void CFile::Write(const void* buffer, UINT count) {
    if (count == 0) {
        return;
    }
    DWORD written = 0;
    if (!WriteFile(m_hFile, buffer, count, &written, nullptr)) {
        CFileException::ThrowOsError(LastErrorOr(ERROR_WRITE_FAULT), m_strFileName.c_str());
    }
    if (written != count) {
        AfxThrowFileException(CFileException::diskFull, ERROR_DISK_FULL, m_strFileName.c_str());
    }
}

ULONGLONG CFile::Seek(LONGLONG offset, UINT from) {
    DWORD method = FILE_BEGIN;
    switch (from) {
        case begin:
            method = FILE_BEGIN;
            break;
        case current:
            method = FILE_CURRENT;
            break;
        case end:
            method = FILE_END;
            break;
        default:
            AfxThrowFileException(CFileException::badSeek, ERROR_INVALID_PARAMETER,
                                  m_strFileName.c_str());
    }
    LONG high = static_cast<LONG>(static_cast<ULONGLONG>(offset) >> 32);
    DWORD low = SetFilePointer(m_hFile, static_cast<LONG>(offset & 0xFFFFFFFF), &high, method);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
        CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), m_strFileName.c_str());
    }
    return (static_cast<ULONGLONG>(static_cast<DWORD>(high)) << 32) | low;
}

ULONGLONG CFile::GetPosition() const {
    LONG high = 0;
    DWORD low = SetFilePointer(m_hFile, 0, &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
        CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), m_strFileName.c_str());
    }
    return (static_cast<ULONGLONG>(static_cast<DWORD>(high)) << 32) | low;
}

ULONGLONG CFile::GetLength() const {
    DWORD high = 0;
    DWORD low = GetFileSize(m_hFile, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), m_strFileName.c_str());
    }
    return (static_cast<ULONGLONG>(high) << 32) | low;
}

void CFile::SetLength(ULONGLONG newLength) {
    if (newLength > static_cast<ULONGLONG>(std::numeric_limits<LONGLONG>::max())) {
        AfxThrowFileException(CFileException::badSeek, ERROR_INVALID_PARAMETER,
                              m_strFileName.c_str());
    }
    Seek(static_cast<LONGLONG>(newLength), begin);
    if (!SetEndOfFile(m_hFile)) {
        CFileException::ThrowOsError(LastErrorOr(ERROR_WRITE_FAULT), m_strFileName.c_str());
    }
}

void CFile::Flush() {
    if (m_hFile == hFileNull) {
        return;
    }
    if (!FlushFileBuffers(m_hFile)) {
        CFileException::ThrowOsError(LastErrorOr(ERROR_WRITE_FAULT), m_strFileName.c_str());
    }
}

void CFile::Close() {
    BOOL closed = TRUE;
    LONG error = NO_ERROR;
    if (m_hFile != hFileNull) {
        closed = CloseHandle(m_hFile);
        if (!closed) {
            error = LastErrorOr(ERROR_INVALID_HANDLE);
        }
    }
    m_hFile = hFileNull;
    m_bCloseOnDelete = FALSE;
    std::u16string name;
    name.swap(m_strFileName);
    if (!closed) {
        CFileException::ThrowOsError(error, name.c_str());
    }
}

void CFile::Abort() {
    if (m_hFile != hFileNull) {
        CloseHandle(m_hFile);
        m_hFile = hFileNull;
    }
    m_bCloseOnDelete = FALSE;
    m_strFileName.clear();
}

std::u16string CFile::GetFileName() const {
    size_t slash = m_strFileName.find_last_of(u"\\/:");
    return slash == std::u16string::npos ? m_strFileName : m_strFileName.substr(slash + 1);
}
