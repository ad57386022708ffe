#include "mapferry/convert/file_services.h"

#include <cstring>
#include <mutex>

namespace {

// Platform paths use backslashes; a host path (tools, tests) uses slashes.
bool IsHostPath(std::u16string_view path) {
    return !path.empty() && path.front() == u'/';
}

size_t LastSeparator(std::u16string_view path) {
    return IsHostPath(path) ? path.rfind(u'/') : path.find_last_of(u"\\/");
}

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
    std::u16string path(folder);
    char16_t separator = IsHostPath(folder) ? u'/' : u'\\';
    if (!path.empty() && path.back() != u'\\' && path.back() != u'/') {
        path += separator;
    }
    path += name;
    return path;
}

std::u16string WithoutTrailingSeparators(std::u16string_view path) {
    std::u16string text(path);
    while (text.size() > 1 && (text.back() == u'\\' || text.back() == u'/') &&
           !(text.size() == 3 && text[1] == u':')) {
        text.pop_back();
    }
    return text;
}

std::u16string ParentOf(std::u16string_view path) {
    size_t cut = LastSeparator(path);
    return cut == std::u16string_view::npos ? std::u16string()
                                            : std::u16string(path.substr(0, cut));
}

std::mutex& TemporaryFolderLock() {
    static std::mutex* lock = new std::mutex;  // reports may come from late threads
    return *lock;
}
std::u16string& TemporaryFolderText() {
    static std::u16string* text = new std::u16string;
    return *text;
}
std::u16string& FileFaultText() {
    static std::u16string* text = new std::u16string;
    return *text;
}

[[noreturn]] void EndAfterReport() {
    std::u16string folder = GetTemporaryFolder();
    if (!folder.empty()) {
        DeleteFolderTree(folder.c_str());
    }
    ExitProcess(kReportExitCode);
}

void ShowInternalError(LPCWSTR text, int line) {
    WCHAR message[512];
    if (text && *text) {
        swprintf(message, 512, u"%s Internal error line %d Please contact technical support", text,
                 line);
    } else {
        swprintf(message, 512, u"Internal error line %d Please contact technical support", line);
    }
    MessageBoxW(nullptr, message, nullptr, MB_ICONSTOP | MB_OKCANCEL | MB_SYSTEMMODAL);
}

// Reads exactly count bytes; false on a short or failed read.
bool ReadExactly(CFile& stream, void* buffer, UINT count) {
    try {
        return count == 0 || stream.Read(buffer, count) == count;
    } catch (CException* error) {
        error->Delete();
        return false;
    }
}

bool WriteAll(CFile& stream, const void* buffer, UINT count) {
    try {
        if (count > 0) {
            stream.Write(buffer, count);
        }
        return true;
    } catch (CException* error) {
        error->Delete();
        return false;
    }
}

}  // namespace

// ---- Copying ---------------------------------------------------------------------

int CopyPercent(ULONGLONG bytesDone, ULONGLONG size) {
    if (size == 0) {
        return 0;
    }
    ULONGLONG percent = bytesDone >= size ? 100 : bytesDone * 100 / size;
    return static_cast<int>(percent);
}

int CopyFileInPieces(CTransferBuffer* buffer, LPCWSTR sourcePath, LPCWSTR destinationPath,
                     const std::function<void(int percent)>& progress,
                     const std::function<bool()>& cancelled) {
    if (!buffer || !buffer->m_pBuffer) {
        return kCopyNoBuffer;
    }
    HANDLE source = CreateFileW(sourcePath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (source == INVALID_HANDLE_VALUE) {
        return kCopySourceNotOpened;
    }
    HANDLE destination = CreateFileW(destinationPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (destination == INVALID_HANDLE_VALUE) {
        CloseHandle(source);
        return kCopyDestinationNotOpened;
    }

    ULONGLONG size = 0;
    DWORD sizeHigh = 0;
    SetLastError(NO_ERROR);
    DWORD sizeLow = GetFileSize(source, &sizeHigh);
    if (sizeLow != INVALID_FILE_SIZE || GetLastError() == NO_ERROR) {
        size = static_cast<ULONGLONG>(sizeHigh) << 32 | sizeLow;
    }

    int result = kCopyDone;
    ULONGLONG done = 0;
    int shown = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(source, buffer->m_pBuffer, CTransferBuffer::kSize, &got, nullptr)) {
            result = kCopyReadFailed;
            break;
        }
        if (got == 0) {
            break;
        }
        done += got;
        int percent = CopyPercent(done, size);
        if (size > 0 && percent > shown) {
            shown = percent;
            if (progress) {
                progress(percent);
            }
        }
        DWORD written = 0;
        if (!WriteFile(destination, buffer->m_pBuffer, got, &written, nullptr)) {
            result = kCopyWriteFailed;
            break;
        }
        if (written != got) {
            result = kCopyWriteShort;
            break;
        }
        if (cancelled && cancelled()) {
            break;
        }
    }
    if (!CloseHandle(destination) && result == kCopyDone) {
        result = kCopyWriteFailed;
    }
    if (result == kCopyDone && cancelled && cancelled()) {
        result = kCopyCancelled;
    }
    CloseHandle(source);
    // A destination cut short must not look like a finished file.
    if (result != kCopyDone) {
        DeleteFileW(destinationPath);
    }
    return result;
}

namespace {

std::u16string CopyDestination(LPCWSTR sourcePath, LPCWSTR destinationFolder,
                               LPCWSTR destinationName) {
    std::u16string name;
    if (destinationName) {
        name = destinationName;
    } else {
        std::u16string_view source(sourcePath ? sourcePath : u"");
        size_t cut = LastSeparator(source);
        name = cut == std::u16string_view::npos ? source : source.substr(cut + 1);
    }
    return JoinPath(destinationFolder ? destinationFolder : u"", name);
}

// Both dialogs show the per-file bar and carry a cancel flag the same way.
template <class Dialog>
int CopyToFolder(CTransferBuffer* buffer, LPCWSTR sourcePath, LPCWSTR destinationFolder,
                 LPCWSTR destinationName, Dialog* dialog) {
    std::u16string destination = CopyDestination(sourcePath, destinationFolder, destinationName);
    CreateLocalParentFolder(destination.c_str());
    return CopyFileInPieces(
        buffer, sourcePath, destination.c_str(),
        [dialog](int percent) {
            if (dialog) {
                dialog->SetFileProgress(percent);
            }
        },
        [dialog] { return dialog && dialog->m_cancelRequested.load() != 0; });
}

}  // namespace

int CopyFileWithProgress(CTransferBuffer* buffer, LPCWSTR sourcePath, LPCWSTR destinationFolder,
                         LPCWSTR destinationName, CGeneratingDlg* dialog) {
    return CopyToFolder(buffer, sourcePath, destinationFolder, destinationName, dialog);
}

int CopyFileWithProgress2(CTransferBuffer* buffer, LPCWSTR sourcePath, LPCWSTR destinationFolder,
                          LPCWSTR destinationName, CCopyingMapsDlg* dialog) {
    return CopyToFolder(buffer, sourcePath, destinationFolder, destinationName, dialog);
}

// ---- Folders ---------------------------------------------------------------------

int LocalFileExists(LPCWSTR path) {
    if (!path || !*path) {
        return 0;
    }
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

int CreateFolderPath(LPCWSTR path, int depth) {
    if (!path || !*path) {
        return 0;
    }
    std::u16string folder = WithoutTrailingSeparators(path);
    std::u16string parent = ParentOf(folder);
    bool parentIsRoot = parent.empty() || (parent.size() == 2 && parent[1] == u':');
    if (!parentIsRoot && !LocalFileExists(parent.c_str())) {
        // Refuse before making anything, so a path that is too deep leaves no trace.
        if (depth + 1 >= kMaxNewFolders) {
            return 0;
        }
        if (!CreateFolderPath(parent.c_str(), depth + 1) && !LocalFileExists(parent.c_str())) {
            return 0;
        }
    }
    return CreateDirectoryW(folder.c_str(), nullptr) ? 1 : 0;
}

void CreateLocalParentFolder(LPCWSTR filePath) {
    if (!filePath) {
        return;
    }
    std::u16string parent = ParentOf(filePath);
    bool parentIsRoot = parent.empty() || (parent.size() == 2 && parent[1] == u':');
    if (!parentIsRoot && !LocalFileExists(parent.c_str())) {
        CreateFolderPath(parent.c_str(), 0);
    }
}

bool ReadLocalFile(LPCWSTR path, size_t limit, std::vector<uint8_t>* bytes) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD sizeHigh = 0;
    SetLastError(NO_ERROR);
    DWORD sizeLow = GetFileSize(file, &sizeHigh);
    ULONGLONG size = static_cast<ULONGLONG>(sizeHigh) << 32 | sizeLow;
    bool ok = !(sizeLow == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) && size <= limit;
    if (ok) {
        bytes->resize(static_cast<size_t>(size));
        DWORD got = 0;
        ok = size == 0 || (ReadFile(file, bytes->data(), static_cast<DWORD>(size), &got, nullptr) &&
                           got == size);
    }
    CloseHandle(file);
    return ok;
}

int DeleteFolderTree(LPCWSTR folder) {
    if (!folder || !*folder) {
        return 1;
    }
    std::u16string root = WithoutTrailingSeparators(folder);
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(JoinPath(root, u"*.*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::u16string name = entry.cFileName;
            // Only the folder's self and parent entries are skipped: any other name,
            // dotted or not, would keep the folder from being removed.
            if (name == u"." || name == u"..") {
                continue;
            }
            std::u16string path = JoinPath(root, name);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
                SetFileAttributesW(path.c_str(), entry.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
            }
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteFolderTree(path.c_str());
            } else {
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    return RemoveDirectoryW(root.c_str()) ? 0 : 1;
}

// ---- Program-wide generation state -----------------------------------------------

std::atomic<int> g_internalErrorFlag{0};

void SetTemporaryFolder(std::u16string_view folder) {
    std::lock_guard<std::mutex> guard(TemporaryFolderLock());
    TemporaryFolderText() = folder;
}

std::u16string GetTemporaryFolder() {
    std::lock_guard<std::mutex> guard(TemporaryFolderLock());
    return TemporaryFolderText();
}

std::atomic<int> g_cancelFlag{0};

namespace {
std::mutex g_discLock;
DiscInUse g_discInUse;
}  // namespace

void SetDiscInUse(const DiscInUse& disc) {
    std::lock_guard<std::mutex> guard(g_discLock);
    g_discInUse = disc;
}

DiscInUse GetDiscInUse() {
    std::lock_guard<std::mutex> guard(g_discLock);
    return g_discInUse;
}

// ---- Reports ---------------------------------------------------------------------

void ReportInternalError(DWORD errorClass, int line) {
    ReportInternalErrorFile(errorClass, nullptr, line);
}

void ReportInternalErrorFile(DWORD errorClass, LPCWSTR text, int line) {
    g_internalErrorFlag.store(1);
    ShowInternalError(text, line);
    EndAfterReport();
}

void ReportLowDiskSpace(DWORD errorClass, LPCWSTR folder) {
    g_internalErrorFlag.store(1);
    if (!(errorClass & kErrorClassWrite)) {
        ShowInternalError(nullptr, kLowDiskSpaceLine);
        EndAfterReport();
    }
    ULARGE_INTEGER freeBytes{};
    bool known = GetDiskFreeSpaceExW(folder, &freeBytes, nullptr, nullptr) != FALSE;
    double megabytes = known ? static_cast<double>(freeBytes.QuadPart) / 1048576.0 : 0.0;
    if (!known || megabytes < kLowDiskSpaceMegabytes) {
        WCHAR message[256];
        swprintf(message, 256, u"Error writing temporary file - low on disk space %.2f MB.",
                 megabytes);
        MessageBoxW(nullptr, message, nullptr, MB_ICONSTOP | MB_OKCANCEL);
    } else {
        ShowInternalError(nullptr, kLowDiskSpaceLine);
    }
    EndAfterReport();
}

void NoteFileFault(std::u16string_view path, std::u16string_view fault) {
    std::lock_guard<std::mutex> guard(TemporaryFolderLock());
    FileFaultText() = std::u16string(path) + u": " + std::u16string(fault);
}

std::u16string NotedFileFault() {
    std::lock_guard<std::mutex> guard(TemporaryFolderLock());
    return FileFaultText();
}

void ClearFileFault() {
    std::lock_guard<std::mutex> guard(TemporaryFolderLock());
    FileFaultText().clear();
}

int ReportCorruptedFile(CFile& stream, const char* magic) {
    char found[4] = {};
    size_t magicLength = magic ? strnlen(magic, 4) : 0;
    if (magicLength == 4 && ReadExactly(stream, found, 4) && std::memcmp(found, magic, 4) == 0) {
        return 0;
    }
    std::u16string expected =
        platform::AnsiToWide(std::string_view(magic ? magic : "", magicLength));
    NoteFileFault(stream.GetFilePath(), u"does not begin with \"" + expected + u"\"");
    WCHAR message[64];
    swprintf(message, 64, u"Corrupted file: %s", expected.c_str());
    MessageBoxW(nullptr, message, u"ERROR", MB_ICONSTOP | MB_SYSTEMMODAL);
    return 1;
}

// ---- Length-prefixed records -----------------------------------------------------

int ReadLengthPrefixedText(CFile& stream, std::string* text) {
    BYTE length = 0;
    if (!ReadExactly(stream, &length, 1) || length > kMaxTextLength) {
        return 1;
    }
    std::string bytes(length, '\0');
    if (!ReadExactly(stream, bytes.data(), length)) {
        return 1;
    }
    *text = std::move(bytes);
    return 0;
}

int WriteLengthPrefixedText(CFile& stream, std::string_view text) {
    if (text.size() > kMaxTextLength) {
        return 1;
    }
    BYTE length = static_cast<BYTE>(text.size());
    return WriteAll(stream, &length, 1) &&
                   WriteAll(stream, text.data(), static_cast<UINT>(text.size()))
               ? 0
               : 1;
}

int ReadPlaceRecord(CFile& stream, PlaceRecord* record) {
    BYTE head = 0;
    if (!ReadExactly(stream, &head, 1)) {
        return 1;
    }
    uint32_t parent = kPlaceNoParent;
    if (head & kPlaceParentFollows) {
        uint8_t bytes[4];
        if (!ReadExactly(stream, bytes, 4)) {
            return 1;
        }
        parent = formats::source_disc::LoadU32(bytes);
    } else if (head & kPlaceParentMinus2) {
        parent = kPlaceNoParentMinus2;
    }
    std::string text(head & kPlaceLengthMask, '\0');
    if (!ReadExactly(stream, text.data(), static_cast<UINT>(text.size()))) {
        return 1;
    }
    record->parent = parent;
    record->text = std::move(text);
    return 0;
}

int WritePlaceRecord(CFile& stream, const PlaceRecord& record) {
    if (record.text.size() > kMaxPlaceTextLength) {
        return 1;
    }
    uint8_t bytes[5];
    size_t count = 1;
    bytes[0] = static_cast<uint8_t>(record.text.size());
    if (record.parent == kPlaceNoParentMinus2) {
        bytes[0] |= kPlaceParentMinus2;
    } else if (record.parent != kPlaceNoParent) {
        bytes[0] |= kPlaceParentFollows;
        formats::source_disc::StoreU32(bytes + 1, record.parent);
        count = 5;
    }
    return WriteAll(stream, bytes, static_cast<UINT>(count)) &&
                   WriteAll(stream, record.text.data(), static_cast<UINT>(record.text.size()))
               ? 0
               : 1;
}
