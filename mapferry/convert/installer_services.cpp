#include "mapferry/convert/installer_services.h"

#include <cstring>
#include <optional>

#include "mapferry/convert/file_services.h"

namespace sd = formats::source_disc;

// ---- Message texts ---------------------------------------------------------------

std::atomic<int> g_languageIndex{0};

void CMessageTable::SetDefault(LPCWSTR text) {
    m_defaultIndex.store(0);
    m_text[0].store(text && *text ? text : nullptr);
}

void CMessageTable::Set(int languageIndex, LPCWSTR text) {
    if (languageIndex >= 0 && languageIndex < kLanguageCount) {
        m_text[languageIndex].store(text);
    }
}

LPCWSTR CMessageTable::Get(int languageIndex) const {
    if (languageIndex >= 0 && languageIndex < kLanguageCount) {
        if (LPCWSTR text = m_text[languageIndex].load()) {
            return text;
        }
    }
    int fallback = m_defaultIndex.load();
    if (fallback >= 0 && fallback < kLanguageCount) {
        if (LPCWSTR text = m_text[fallback].load()) {
            return text;
        }
    }
    return u"unknown";
}

// Constant-initialised, so they hold their texts before any other static runs.
constinit CMessageTable MSG_WAITING_TO_COPY(u"Waiting to copy file");
constinit CMessageTable MSG_COPYING_FILE(u"Copying File");
constinit CMessageTable MSG_ERR_COPY_FILE(u"Error Copying File %s");
constinit CMessageTable MSG_ERR_READ_SOURCE(u"Error reading source %s");
constinit CMessageTable MSG_ERR_ALLOC(u"Error allocating memory");
constinit CMessageTable MSG_WRITE_FUNCTION_ERROR(u"Write function error.");
constinit CMessageTable MSG_NO_ROOM(
    u"Not enough room on storage device for map data.\n\nPlease check available storage space "
    u"or load smaller amount of map data.");
constinit CMessageTable MSG_ERR_WRITE_DEST(u"Error writing destination file %s.  ");
constinit CMessageTable MSG_ERR_OPEN_DEST(u"Error opening destination file %s.");
constinit CMessageTable MSG_ERR_OPEN_SOURCE(u"Error opening source file %s.");
constinit CMessageTable MSG_INSTALL_COMPLETED(u"Map Installation Completed.");
constinit CMessageTable MSG_CANCEL(u"Cancel");
constinit CMessageTable MSG_INCOMPLETE_ERASED(
    u"Incomplete map data will be erased on the target device.");
constinit CMessageTable MSG_OLD_MAP_REMOVED(
    u"The map data installed before was removed to make room for the new map data.");

// ---- Dialog state ----------------------------------------------------------------

CGeneratingDlg::CGeneratingDlg() {
    m_hAbortEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_hReadyEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_hMutex = CreateMutexW(nullptr, FALSE, nullptr);
}

CGeneratingDlg::~CGeneratingDlg() {
    for (HANDLE handle : {m_hAbortEvent, m_hReadyEvent, m_hMutex}) {
        if (handle) {
            CloseHandle(handle);
        }
    }
}

void CGeneratingDlg::SetTargetFolder(std::u16string_view folder) {
    std::lock_guard<std::mutex> guard(m_textLock);
    m_targetFolder = folder.substr(0, MAX_PATH - 1);
}

std::u16string CGeneratingDlg::GetTargetFolder() const {
    std::lock_guard<std::mutex> guard(m_textLock);
    return m_targetFolder;
}

void CGeneratingDlg::SetFileProgress(int percent) {
    m_filePercent.store(percent);
}

void CGeneratingDlg::SetOverallProgress(LPCWSTR caption, LPCWSTR fileName, int index,
                                        int stepFlag) {
    std::lock_guard<std::mutex> guard(m_textLock);
    if (stepFlag == 1) {
        ++m_overallCount;
    }
    m_captionText = caption ? caption : u"";
    if (fileName) {
        m_fileText = fileName;
        WCHAR count[64];
        swprintf(count, 64, u"%d of %d", index, m_fileCount);
        m_countText = count;
    } else {
        m_fileText.clear();
        m_countText.clear();
    }
}

int CGeneratingDlg::GetOverallCount() const {
    std::lock_guard<std::mutex> guard(m_textLock);
    return m_overallCount;
}

std::u16string CGeneratingDlg::GetCaptionText() const {
    std::lock_guard<std::mutex> guard(m_textLock);
    return m_captionText;
}

std::u16string CGeneratingDlg::GetFileText() const {
    std::lock_guard<std::mutex> guard(m_textLock);
    return m_fileText;
}

std::u16string CGeneratingDlg::GetCountText() const {
    std::lock_guard<std::mutex> guard(m_textLock);
    return m_countText;
}

void CCopyingMapsDlg::SetFileProgress(int percent) {
    m_filePercent.store(percent);
}

// ---- Transfer buffer -------------------------------------------------------------

CTransferBuffer::CTransferBuffer() : m_pBuffer(new (std::nothrow) BYTE[kSize]) {}

CTransferBuffer::~CTransferBuffer() {
    delete[] m_pBuffer;
}

// ---- PC-drive link ---------------------------------------------------------------

namespace {

std::u16string JoinDevicePath(std::u16string_view folder, std::u16string_view name) {
    std::u16string path(folder);
    if (!path.empty() && path.back() != u'\\') {
        path += u'\\';
    }
    path += name;
    return path;
}

double FreeMegabytes(const std::u16string& folder) {
    ULARGE_INTEGER freeBytes{};
    if (!GetDiskFreeSpaceExW(folder.c_str(), &freeBytes, nullptr, nullptr)) {
        return 0.0;
    }
    return static_cast<double>(freeBytes.QuadPart) / 1048576.0;
}

}  // namespace

CPcDriveLink::CPcDriveLink(std::u16string root, std::u16string cardName)
    : m_root(std::move(root)), m_cardName(std::move(cardName)) {
    while (!m_root.empty() && m_root.back() == u'\\') {
        m_root.pop_back();
    }
}

std::u16string CPcDriveLink::DesktopPathFor(const char* devicePath) const {
    std::u16string path = platform::AnsiToWide(devicePath ? devicePath : "");
    if (path.empty() || path.front() != u'\\') {
        path.insert(path.begin(), u'\\');
    }
    return m_root + path;
}

int CPcDriveLink::GetStorageCardCount() {
    if (!LocalFileExists(m_root.c_str()))
        return -1;
    return GetStorageCardName(0).empty() ? 0 : 1;
}

std::u16string CPcDriveLink::GetStorageCardName(int cardIndex) {
    if (cardIndex != 0 || m_cardName.empty()) {
        return {};
    }
    std::string card = platform::WideToAnsi(m_cardName);
    return LocalFileExists(DesktopPathFor(card.c_str()).c_str()) ? m_cardName : std::u16string();
}

double CPcDriveLink::GetStorageCardFree(int cardIndex) {
    std::u16string card = GetStorageCardName(cardIndex);
    if (card.empty()) {
        return 0.0;
    }
    return FreeMegabytes(DesktopPathFor(platform::WideToAnsi(card).c_str()));
}

double CPcDriveLink::GetMainMemoryFree() {
    return FreeMegabytes(m_root);
}

double CPcDriveLink::GetProgramMemoryFree() {
    return 0.0;
}

int CPcDriveLink::DeviceFileExists(const char* path) {
    return GetFileAttributesW(DesktopPathFor(path).c_str()) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

int CPcDriveLink::DeviceFolderExists(const char* path) {
    return LocalFileExists(DesktopPathFor(path).c_str());
}

int CPcDriveLink::CreateDeviceFolder(const char* path) {
    std::u16string folder = DesktopPathFor(path);
    if (!LocalFileExists(folder.c_str())) {
        CreateFolderPath(folder.c_str(), 0);
    }
    return LocalFileExists(folder.c_str());
}

ULONGLONG CPcDriveLink::GetDeviceFolderSize(const char* folder) {
    return FolderTreeSize(DesktopPathFor(folder), FindFirstFileW, FindNextFileW, FindClose);
}

DWORD CPcDriveLink::ReadDeviceFile(const char* path, std::vector<BYTE>* bytes) {
    bytes->clear();
    HANDLE file = CreateFileW(DesktopPathFor(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    bytes->resize(kMaxDeviceFileRead);
    DWORD total = 0, read = 0;
    while (total < kMaxDeviceFileRead &&
           ReadFile(file, bytes->data() + total, kMaxDeviceFileRead - total, &read, nullptr) &&
           read > 0)
        total += read;
    CloseHandle(file);
    bytes->resize(total);
    return total;
}

int CPcDriveLink::CopyFileToDevice(LPCWSTR sourcePath, const char* deviceFolder,
                                   const char* deviceFileName, DWORD flags, ICopyProgress* dialog) {
    if (!LocalFileExists(m_root.c_str())) {
        return kCopyDestinationNotOpened;  // the link is not ready
    }
    std::u16string folder = DesktopPathFor(deviceFolder);
    std::u16string destination =
        JoinDevicePath(folder, platform::AnsiToWide(deviceFileName ? deviceFileName : ""));
    return CopyFileInPieces(
        &m_buffer, sourcePath, destination.c_str(),
        [dialog](int percent) {
            if (dialog) {
                dialog->SetFileProgress(percent);
            }
        },
        [dialog] { return dialog && dialog->CopyCancelled(); });
}

void CPcDriveLink::DeleteDeviceFile(const char* path) {
    DeleteFileW(DesktopPathFor(path).c_str());
}

int CPcDriveLink::RenameDeviceFile(const char* existingPath, const char* newPath) {
    return MoveFileW(DesktopPathFor(existingPath).c_str(), DesktopPathFor(newPath).c_str()) ? 1 : 0;
}

ULONGLONG FolderTreeSize(const std::u16string& folder, FindFirstCall first, FindNextCall next,
                         FindCloseCall close) {
    ULONGLONG total = 0;
    std::vector<std::u16string> pending{folder};
    while (!pending.empty()) {
        const std::u16string current = pending.back();
        pending.pop_back();
        WIN32_FIND_DATAW found{};
        HANDLE search = first((current + u"\\*.*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (found.cFileName[0] == u'.')
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                pending.push_back(current + u"\\" + found.cFileName);
            else
                total += (ULONGLONG{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
        } while (next(search, &found));
        close(search);
    }
    return total;
}

// ---- Test link -------------------------------------------------------------------

void CTestDeviceLink::ScriptCopyResults(std::vector<int> results) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_copyResults.assign(results.begin(), results.end());
}

void CTestDeviceLink::SetFreeSpace(double cardMegabytes, double mainMegabytes,
                                   double programMegabytes) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_cardFree = cardMegabytes;
    m_mainFree = mainMegabytes;
    m_programFree = programMegabytes;
}

std::vector<std::string> CTestDeviceLink::Calls() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_calls;
}

void CTestDeviceLink::Log(std::string call) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_calls.push_back(std::move(call));
}

double CTestDeviceLink::GetStorageCardFree(int cardIndex) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_cardFree) {
            return *m_cardFree;
        }
    }
    return CPcDriveLink::GetStorageCardFree(cardIndex);
}

double CTestDeviceLink::GetMainMemoryFree() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_mainFree) {
            return *m_mainFree;
        }
    }
    return CPcDriveLink::GetMainMemoryFree();
}

double CTestDeviceLink::GetProgramMemoryFree() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_programFree.value_or(0.0);
}

int CTestDeviceLink::CreateDeviceFolder(const char* path) {
    Log(std::string("CreateDeviceFolder ") + (path ? path : ""));
    return CPcDriveLink::CreateDeviceFolder(path);
}

int CTestDeviceLink::CopyFileToDevice(LPCWSTR sourcePath, const char* deviceFolder,
                                      const char* deviceFileName, DWORD flags,
                                      ICopyProgress* dialog) {
    Log(std::string("CopyFileToDevice ") + (deviceFolder ? deviceFolder : "") + "\\" +
        (deviceFileName ? deviceFileName : ""));
    std::optional<int> scripted;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_copyResults.empty()) {
            scripted = m_copyResults.front();
            m_copyResults.pop_front();
        }
    }
    if (scripted && *scripted != kCopyDone) {
        return *scripted;
    }
    return CPcDriveLink::CopyFileToDevice(sourcePath, deviceFolder, deviceFileName, flags, dialog);
}

void CTestDeviceLink::DeleteDeviceFile(const char* path) {
    Log(std::string("DeleteDeviceFile ") + (path ? path : ""));
    CPcDriveLink::DeleteDeviceFile(path);
}

int CTestDeviceLink::RenameDeviceFile(const char* existingPath, const char* newPath) {
    Log(std::string("RenameDeviceFile ") + (existingPath ? existingPath : "") + " " +
        (newPath ? newPath : ""));
    return CPcDriveLink::RenameDeviceFile(existingPath, newPath);
}

// ---- Registry --------------------------------------------------------------------

int WriteRegistryString(HKEY root, LPCWSTR subKey, LPCWSTR valueName, LPCWSTR text) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return 1;
    }
    std::u16string value = text ? text : u"";
    DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR));
    LONG result = RegSetValueExW(key, valueName, 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(value.c_str()), bytes);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? 0 : 1;
}

int WriteRegistryDword(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD value) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(root, subKey, 0, u"", REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, &disposition) != ERROR_SUCCESS) {
        return 1;
    }
    LONG result = RegSetValueExW(key, valueName, 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? 0 : 1;
}

DWORD ReadRegistryDword(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD defaultValue) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return defaultValue;
    }
    BYTE buffer[4] = {};
    DWORD size = sizeof(buffer);
    DWORD type = 0;
    LONG result = RegQueryValueExW(key, valueName, nullptr, &type, buffer, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        return defaultValue;
    }
    // A shorter value keeps the zero bytes beyond it.
    DWORD value = 0;
    std::memcpy(&value, buffer, sizeof(value));
    return value;
}

// ---- Disc information ------------------------------------------------------------

namespace {

std::mutex& DiscInformationLock() {
    static std::mutex lock;
    return lock;
}
DiscInformation& DiscInformationStore() {
    static DiscInformation information;
    return information;
}

// The file's bytes, at most limit; nullopt when it cannot be opened or read.
std::optional<std::string> ReadSmallFile(const std::u16string& path, size_t limit) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::string bytes(limit, '\0');
    DWORD got = 0;
    BOOL ok = ReadFile(file, bytes.data(), static_cast<DWORD>(limit), &got, nullptr);
    CloseHandle(file);
    if (!ok) {
        return std::nullopt;
    }
    bytes.resize(got);
    return bytes;
}

// "%d %d %d %d" as the C library reads it: each number after optional white space,
// with an optional sign. Returns how many numbers were read.
int ScanNumbers(const std::string& text, int* numbers, int count) {
    size_t position = 0;
    for (int i = 0; i < count; ++i) {
        while (position < text.size() && (text[position] == ' ' || text[position] == '\t' ||
                                          text[position] == '\r' || text[position] == '\n')) {
            ++position;
        }
        bool negative = false;
        if (position < text.size() && (text[position] == '-' || text[position] == '+')) {
            negative = text[position] == '-';
            ++position;
        }
        size_t start = position;
        long long value = 0;
        while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
            value = value * 10 + (text[position] - '0');
            if (value > 0x7FFFFFFF) {
                return i;  // out of range: as good as no number
            }
            ++position;
        }
        if (position == start) {
            return i;
        }
        numbers[i] = static_cast<int>(negative ? -value : value);
    }
    return count;
}

std::u16string InFolder(LPCWSTR folder, const char16_t* name) {
    std::u16string path = folder ? folder : u"";
    if (!path.empty() && path.back() != u'\\' && path.back() != u'/') {
        path += path.front() == u'/' ? u'/' : u'\\';
    }
    return path + name;
}

}  // namespace

DiscInformation LoadDiscInformation(LPCWSTR programFolder) {
    DiscInformation information;
    std::optional<std::string> cdinfo =
        ReadSmallFile(InFolder(programFolder, sd::kDiscInfoFile), sd::kMaxIniBytes);
    int numbers[sd::kIniFieldCount] = {};
    if (cdinfo && ScanNumbers(*cdinfo, numbers, sd::kIniFieldCount) == sd::kIniFieldCount) {
        information.dataVersion = numbers[sd::kCdInfoVersion];
        information.disc2FirstColumn = numbers[sd::kCdInfoDisc2FirstColumn];
        information.disc3FirstColumn = numbers[sd::kCdInfoDisc3FirstColumn];
        information.totalColumns = numbers[sd::kCdInfoTotalColumns];
        // Split columns out of order would send generation to the wrong disc or
        // clip the detailed network wrongly: such a file counts as bad.
        if (!sd::SplitColumnsValid(information.disc2FirstColumn, information.disc3FirstColumn,
                                   information.totalColumns)) {
            information.dataVersion = 0;
        }
    }
    if (information.dataVersion == 0) {
        MessageBoxW(nullptr, u"Bad or missing cdinfo.ini", nullptr, MB_ICONSTOP | MB_SYSTEMMODAL);
    }

    std::optional<std::string> headers =
        ReadSmallFile(InFolder(programFolder, sd::kMapHeadersFile), sd::kMapHeadersFileSize);
    if (headers && headers->size() == sd::kMapHeadersFileSize) {
        for (int i = 0; i < sd::kMapHeaderCount; ++i) {
            std::memcpy(information.mapHeaders[i].data(), headers->data() + i * sd::kMapHeaderSize,
                        sd::kMapHeaderSize);
        }
    } else {
        information.dataVersion = 0;
    }
    if (information.dataVersion == 0) {
        MessageBoxW(nullptr, u"Bad or missing mh.ini", nullptr, MB_ICONSTOP | MB_SYSTEMMODAL);
    }

    std::lock_guard<std::mutex> guard(DiscInformationLock());
    DiscInformationStore() = information;
    return information;
}

DiscInformation CurrentDiscInformation() {
    std::lock_guard<std::mutex> guard(DiscInformationLock());
    return DiscInformationStore();
}
