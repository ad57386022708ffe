#include "pathlume/foundation/data_file.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>

#include "pathlume/foundation/data_location.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/handles.h"

namespace {

// Plain reads go to the system in pieces of at most this many bytes.
constexpr int kReadPiece = 0x200000;

bool CopyPath(LPCWSTR source, WCHAR* target) {
    size_t length = std::char_traits<char16_t>::length(source);
    if (length >= MAX_PATH) {
        return false;
    }
    std::copy(source, source + length + 1, target);
    return true;
}

// The length of the line at the start of `bytes` (its LF included), with the
// bytes it used in *consumed; -1 when no line end lies in the `count` bytes. With
// `text`, a CR LF ends the line and is rewritten as a single LF.
int ScanLine(char* bytes, int count, bool text, int* consumed) {
    for (int i = 0; i < count; ++i) {
        if (bytes[i] == '\n') {
            *consumed = i + 1;
            return i + 1;
        }
        if (text && bytes[i] == '\r' && i + 1 < count && bytes[i + 1] == '\n') {
            bytes[i] = '\n';
            *consumed = i + 2;
            return i + 1;
        }
    }
    return -1;
}

}  // namespace

CMappedFile::~CMappedFile() {
    Close();
}

BOOL CMappedFile::Open(LPCWSTR path, BOOL readOnly, DWORD shareMode, BOOL terminator, BOOL named,
                       DWORD viewOffset, DWORD sizeOverride, LPSECURITY_ATTRIBUTES security) {
    Close();
    readOnly_ = readOnly;
    terminator_ = terminator;
    viewOffset_ = viewOffset;
    security_ = security;
    DWORD access = readOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    file_ = CreateFileForMappingW(path, access, shareMode, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
        Close();
        return FALSE;
    }
    DWORD high = 0;
    DWORD size = GetFileSize(file_, &high);
    // An empty file cannot be mapped, nor one of 4 GiB or more.
    if ((size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0 || size == 0) {
        Close();
        return FALSE;
    }
    mappedSize_ = sizeOverride ? sizeOverride : size;
    if (named) {
        // The path with its backslashes made underscores and the tick count, so
        // that two opens of one file at different times get different names.
        std::u16string name(path);
        std::replace(name.begin(), name.end(), u'\\', u'_');
        char tick[16];
        snprintf(tick, sizeof tick, "%x", GetTickCount());
        for (const char* c = tick; *c; ++c) {
            name.push_back(static_cast<char16_t>(*c));
        }
        name_ = new WCHAR[name.size() + 1];
        std::copy(name.c_str(), name.c_str() + name.size() + 1, name_);
    }
    if (!Map()) {
        Close();
        return FALSE;
    }
    open_ = TRUE;
    return TRUE;
}

BOOL CMappedFile::Map() {
    ULONGLONG size = ULONGLONG{mappedSize_} + (terminator_ ? 2 : 0);
    DWORD protect = readOnly_ ? PAGE_READONLY : PAGE_READWRITE;
    LPCWSTR name = (name_ && *name_) ? name_ : nullptr;
    mapping_ = CreateFileMappingW(file_, security_, protect, static_cast<DWORD>(size >> 32),
                                  static_cast<DWORD>(size), name);
    if (!mapping_ || mapping_ == INVALID_HANDLE_VALUE) {
        mapping_ = nullptr;
        return FALSE;
    }
    viewBase_ =
        static_cast<BYTE*>(MapViewOfFile(mapping_, readOnly_ ? FILE_MAP_READ : FILE_MAP_WRITE, 0,
                                         viewOffset_, static_cast<SIZE_T>(size)));
    if (!viewBase_) {
        return FALSE;
    }
    if (terminator_) {
        viewBase_[mappedSize_] = 0;
        viewBase_[mappedSize_ + 1] = 0;
    }
    return TRUE;
}

void CMappedFile::Close() {
    if (viewBase_) {
        UnmapViewOfFile(viewBase_);
        viewBase_ = nullptr;
    }
    if (mapping_) {
        CloseHandle(mapping_);
        mapping_ = nullptr;
    }
    delete[] name_;
    name_ = nullptr;
    if (file_ != INVALID_HANDLE_VALUE) {
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }
    readOnly_ = TRUE;
    terminator_ = FALSE;
    open_ = FALSE;
    mappedSize_ = 0;
}

CDataFile::CDataFile() {
    path_[0] = 0;
}

CDataFile::~CDataFile() {
    Close();
    mapped_.Close();
}

bool CDataFile::IsOpen() const {
    if (IsMapped()) {
        return mapped_.FileHandle() != INVALID_HANDLE_VALUE;
    }
    return file_ != INVALID_HANDLE_VALUE;
}

namespace {
std::atomic<uint32_t> g_openSerial{0};
}  // namespace

void CDataFile::Reset() {
    serial_ = 0;
    viewBase_ = nullptr;
    cursor_ = nullptr;
    viewEnd_ = nullptr;
    position_ = 0;
    size_ = 0;
    file_ = INVALID_HANDLE_VALUE;
    text_ = 0;
}

void CDataFile::Close() {
    if (file_ != INVALID_HANDLE_VALUE) {
        if (mode_ & kDataFileWrite) {
            FlushFileBuffers(file_);
        }
        CloseHandle(file_);
    }
    mapped_.Close();
    Reset();
}

int CDataFile::Open(LPCWSTR path, DWORD flags) {
    Close();
    // Reopen passes the stored path itself.
    std::u16string target(path ? path : u"");
    if (target.empty() || target.size() >= MAX_PATH) {
        return 1;
    }
    mode_ = flags & ~kDataFileBadCursor;
    if (mode_ & kDataFileMapped) {
        BOOL readOnly = (mode_ & kDataFileWrite) ? FALSE : TRUE;
        if (mapped_.Open(target.c_str(), readOnly, FILE_SHARE_READ, FALSE, TRUE, 0, 0, nullptr)) {
            viewBase_ = mapped_.ViewBase();
            cursor_ = viewBase_;
            viewEnd_ = viewBase_ + mapped_.MappedSize();
            size_ = static_cast<int>(mapped_.MappedSize());
            position_ = 0;
            text_ = (mode_ & kDataFileText) ? 1 : 0;
            CopyPath(target.c_str(), path_);
            serial_ = ++g_openSerial;
            return 0;
        }
        mode_ &= ~kDataFileMapped;
    }
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    if (mode_ & kDataFileRead) {
        if (mode_ & kDataFileUpdate) {
            access = GENERIC_READ | GENERIC_WRITE;
            disposition = OPEN_ALWAYS;
        }
    } else if (mode_ & kDataFileWrite) {
        access = (mode_ & kDataFileUpdate) ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
    }
    text_ = (mode_ & kDataFileText) ? 1 : 0;
    file_ = CreateFileW(target.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
        Reset();
        return 1;
    }
    size_ = static_cast<int>(GetFileSize(file_, nullptr));
    position_ = 0;
    CopyPath(target.c_str(), path_);
    serial_ = ++g_openSerial;
    return 0;
}

int CDataFile::OpenLocated(LPCWSTR name, DWORD flags, LPWSTR fullPath) {
    Close();
    WCHAR found[MAX_PATH];
    BOOL besideMaps = (flags & (kDataFileWrite | kDataFileUpdate)) ? TRUE : FALSE;
    int result = FindDataFileOnCards(name, found, besideMaps);
    if (result != 0) {
        return result;
    }
    result = Open(found, flags);
    if (result == 0 && fullPath) {
        CopyPath(found, fullPath);
    }
    return result;
}

int CDataFile::OpenLocatedWithFallback(LPCWSTR name, DWORD flags, LPWSTR fullPath) {
    Close();
    if ((flags & kDataFileMapped) && OpenLocated(name, flags, fullPath) == 0) {
        return 0;
    }
    return OpenLocated(name, flags & ~kDataFileMapped, fullPath);
}

int CDataFile::OpenInFolder(LPCWSTR folder, LPCWSTR name, DWORD flags, LPWSTR fullPath) {
    Close();
    if (fullPath) {
        fullPath[0] = 0;
    }
    std::u16string path = std::u16string(folder ? folder : u"") + (name ? name : u"");
    int result = Open(path.c_str(), flags);
    if (result != 0 && (flags & kDataFileMapped)) {
        result = Open(path.c_str(), flags & ~kDataFileMapped);
    }
    if (result == 0 && fullPath) {
        CopyPath(path.c_str(), fullPath);
    }
    return result;
}

int CDataFile::Read(void* buffer, int count) {
    if (!IsOpen() || count <= 0) {
        return 0;
    }
    auto* out = static_cast<BYTE*>(buffer);
    if (IsMapped()) {
        if (mode_ & kDataFileBadCursor) {
            return 0;
        }
        int n = static_cast<int>(std::min<ptrdiff_t>(count, viewEnd_ - cursor_));
        std::memcpy(out, cursor_, static_cast<size_t>(n));
        cursor_ += n;
        return n;
    }
    int total = 0;
    while (total < count) {
        DWORD piece = static_cast<DWORD>(std::min(count - total, kReadPiece));
        DWORD got = 0;
        if (!ReadFile(file_, out + total, piece, &got, nullptr)) {
            got = 0;
        }
        total += static_cast<int>(got);
        if (got < piece) {
            break;
        }
    }
    position_ += total;
    return total;
}

int CDataFile::Write(const void* data, int count) {
    if (!IsOpen() || count <= 0) {
        return 0;
    }
    if (IsMapped()) {
        // A view cannot grow, and a read-only view cannot be written at all.
        if ((mode_ & kDataFileBadCursor) || mapped_.IsReadOnly() || count > viewEnd_ - cursor_) {
            return 0;
        }
        std::memcpy(cursor_, data, static_cast<size_t>(count));
        cursor_ += count;
        return count;
    }
    // A full disk writes what fits before it fails; the count tells the caller.
    DWORD written = 0;
    WriteFile(file_, data, static_cast<DWORD>(count), &written, nullptr);
    position_ += static_cast<int>(written);
    size_ = std::max(size_, position_);
    return static_cast<int>(written);
}

int CDataFile::Seek(int offset, int origin) {
    if (!IsOpen()) {
        return 1;
    }
    if (IsMapped()) {
        LONGLONG extent = viewEnd_ - viewBase_;
        LONGLONG from = origin == 0 ? 0 : origin == 1 ? cursor_ - viewBase_ : extent;
        LONGLONG target = from + offset;
        if (target < 0 || target > extent) {
            mode_ |= kDataFileBadCursor;
            return 1;
        }
        cursor_ = viewBase_ + target;
        mode_ &= ~kDataFileBadCursor;
        position_ = static_cast<int>(target);
        return 0;
    }
    if (origin < 0 || origin > 2) {
        return 1;
    }
    LONGLONG from = origin == 0 ? 0 : origin == 1 ? position_ : size_;
    LONGLONG target = from + offset;
    if (target < 0 || target > size_) {
        return 1;
    }
    DWORD result = SetFilePointer(file_, static_cast<LONG>(target), nullptr, FILE_BEGIN);
    if (result == INVALID_SET_FILE_POINTER) {
        return 1;
    }
    position_ = static_cast<int>(result);
    return 0;
}

int CDataFile::Tell() const {
    if (!IsOpen()) {
        return -1;
    }
    if (IsMapped()) {
        if (mode_ & kDataFileBadCursor) {
            return -1;
        }
        return static_cast<int>(cursor_ - viewBase_);
    }
    return position_;
}

char* CDataFile::ReadLine(char* buffer, int size) {
    if (!IsOpen() || size < 2) {
        return nullptr;
    }
    bool text = text_ != 0;
    int consumed = 0;
    if (IsMapped()) {
        if ((mode_ & kDataFileBadCursor) || cursor_ == viewEnd_) {
            return nullptr;
        }
        int got = static_cast<int>(std::min<ptrdiff_t>(size - 1, viewEnd_ - cursor_));
        std::memcpy(buffer, cursor_, static_cast<size_t>(got));
        int length = ScanLine(buffer, got, text, &consumed);
        if (length < 0) {
            length = got;
            consumed = got;
        }
        buffer[length] = 0;
        cursor_ += consumed;
        return buffer;
    }
    if (position_ >= size_) {
        return nullptr;
    }
    std::memset(buffer, 0, static_cast<size_t>(size));
    int got = Read(buffer, size - 1);
    if (got <= 0) {
        return nullptr;
    }
    int length = ScanLine(buffer, got, text, &consumed);
    if (length >= 0) {
        buffer[length] = 0;
        if (consumed < got) {
            DWORD back = SetFilePointer(file_, consumed - got, nullptr, FILE_CURRENT);
            if (back != INVALID_SET_FILE_POINTER) {
                position_ = static_cast<int>(back);
            }
        }
    }
    return buffer;
}

int CDataFile::Reopen(DWORD flags) {
    if (flags == 0) {
        flags = mode_ & ~kDataFileBadCursor;
    }
    std::u16string path(path_);
    if (!IsOpen()) {
        return Open(path.c_str(), flags);
    }
    // A mapped file comes back at its cursor, so reading goes on where it was.
    int position = IsMapped() ? static_cast<int>(cursor_ - viewBase_) : position_;
    int result = Open(path.c_str(), flags);
    if (result != 0) {
        return result;
    }
    return Seek(position, 0);
}
