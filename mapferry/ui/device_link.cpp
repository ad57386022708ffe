#include "mapferry/ui/device_link.h"

#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "mapferry/convert/file_services.h"
#include "platform/kernel/kernel.h"

namespace {

constexpr const char16_t* kCaption = u"Wayscribe mapferry";
constexpr const char16_t* kServiceLibrary = u"oxloserv";
constexpr const char16_t* kServiceFile = u"oxloserv.dll";
constexpr const char16_t* kDeviceWindows = u"\\windows\\";
// Short writes of one piece that the service library's copy accepts before it gives up.
constexpr int kMostShortWrites = 10;

struct RapiLibrary {
    std::mutex lock;
    RapiEntryPoints table;
    std::u16string name = u"rapi.dll";
};

RapiLibrary& Library() {
    static RapiLibrary* library = new RapiLibrary;  // copy threads may outlive statics
    return *library;
}

// A device path as the handheld takes it: wide, at most 259 characters.
std::u16string Wide(const char* path) {
    std::u16string wide = platform::AnsiToWide(path ? path : "");
    if (wide.size() >= MAX_PATH)
        wide.resize(MAX_PATH - 1);
    return wide;
}

std::string CutAtLastBackslash(const std::string& path) {
    const size_t at = path.rfind('\\');
    return at == std::string::npos ? std::string() : path.substr(0, at);
}

unsigned long long LeadingNumber(const std::u16string& text) {
    const std::string narrow = platform::WideToUtf8(text);
    return std::strtoull(narrow.c_str(), nullptr, 10);
}

}  // namespace

// ---- The library -------------------------------------------------------------------

void SetRapiLibraryName(std::u16string name) {
    RapiLibrary& library = Library();
    std::lock_guard<std::mutex> guard(library.lock);
    library.name = std::move(name);
}

void UnloadRapiLibrary() {
    RapiLibrary& library = Library();
    std::lock_guard<std::mutex> guard(library.lock);
    if (library.table.module)
        FreeLibrary(library.table.module);
    library.table = RapiEntryPoints{};
}

RapiEntryPoints CurrentRapi() {
    RapiLibrary& library = Library();
    std::lock_guard<std::mutex> guard(library.lock);
    return library.table;
}

int LoadRapiLibrary() {
    UnloadRapiLibrary();
    RapiLibrary& library = Library();
    RapiEntryPoints table;
    {
        std::lock_guard<std::mutex> guard(library.lock);
        table.module = LoadLibraryW(library.name.c_str());
    }
    if (!table.module)
        return 1;
    bool complete = true;
    auto find = [&](auto& entry, const char* name, bool required = true) {
        entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(
            GetProcAddress(table.module, name));
        complete = complete && (entry || !required);
    };
    find(table.CeRapiInvoke, "CeRapiInvoke");
    find(table.CeRapiInitEx, "CeRapiInitEx");
    find(table.CeRapiUninit, "CeRapiUninit");
    find(table.CeGetFileAttributes, "CeGetFileAttributes");
    find(table.CeCreateDirectory, "CeCreateDirectory");
    find(table.CeCopyFile, "CeCopyFile");
    find(table.CeDeleteFile, "CeDeleteFile");
    find(table.CeGetFileSize, "CeGetFileSize");
    find(table.CeRegOpenKeyEx, "CeRegOpenKeyEx");
    find(table.CeRegCreateKeyEx, "CeRegCreateKeyEx");
    find(table.CeRegCloseKey, "CeRegCloseKey");
    find(table.CeRegSetValueEx, "CeRegSetValueEx");
    find(table.CeRegQueryValueEx, "CeRegQueryValueEx");
    find(table.CeFindFirstFile, "CeFindFirstFile");
    find(table.CeFindNextFile, "CeFindNextFile");
    find(table.CeFindClose, "CeFindClose");
    find(table.CeCreateFile, "CeCreateFile");
    find(table.CeReadFile, "CeReadFile");
    find(table.CeWriteFile, "CeWriteFile");
    find(table.CeCloseHandle, "CeCloseHandle");
    find(table.CeGetSystemInfo, "CeGetSystemInfo");
    find(table.CeSHCreateShortcut, "CeSHCreateShortcut");
    find(table.CeGlobalMemoryStatus, "CeGlobalMemoryStatus", false);
    find(table.CeGetVersionEx, "CeGetVersionEx");
    find(table.CeMoveFile, "CeMoveFile");
    if (!complete) {
        FreeLibrary(table.module);
        MessageBoxW(nullptr, u"Fail to load all Rapi.dll functions.", kCaption,
                    MB_OK | MB_ICONERROR | MB_SYSTEMMODAL);
        return 1;
    }
    std::lock_guard<std::mutex> guard(library.lock);
    library.table = table;
    return 0;
}

std::u16string GetProgramFolder() {
    static const std::u16string folder = [] {
        WCHAR module[MAX_PATH] = {};
        const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
        std::u16string path(module, length < MAX_PATH ? length : 0);
        const size_t separator = path.find_last_of(u"\\/");
        if (path.empty() || separator == std::u16string::npos)
            return std::u16string(u".\\");
        path.resize(separator);
        // A build's own output folder stands for the program's folder.
        const size_t last = path.find_last_of(u"\\/");
        const std::u16string leaf = last == std::u16string::npos ? path : path.substr(last + 1);
        const std::string narrow = platform::WideToUtf8(leaf);
        if (last != std::u16string::npos && (strcasecmp(narrow.c_str(), "debug") == 0 ||
                                             strcasecmp(narrow.c_str(), "release") == 0))
            path.resize(last);
        return path;
    }();
    return folder;
}

// ---- Connection --------------------------------------------------------------------

CDeviceLink::~CDeviceLink() {
    if (IsConnected())
        Disconnect();
}

std::string CDeviceLink::GetProcessorFolder() const {
    std::lock_guard<std::mutex> guard(m_folderLock);
    return m_processorFolder;
}

void CDeviceLink::Disconnect() {
    const RapiEntryPoints rapi = CurrentRapi();
    if (rapi.CeRapiUninit)
        rapi.CeRapiUninit();
    m_connected = 0;
}

int CDeviceLink::Connect() {
    GetProgramFolder();
    const RapiEntryPoints rapi = CurrentRapi();
    if (!rapi.CeRapiInitEx || !rapi.CeRapiUninit)
        return kConnectTimedOut;
    if (IsConnected()) {
        rapi.CeRapiUninit();
        m_connected = 0;
    }
    // A start that fails at once (no cradle) is a failed attempt like one whose
    // answer does not come.
    for (int attempt = 0; attempt < 3 && !IsConnected(); ++attempt) {
        RAPIINIT init{sizeof(RAPIINIT), nullptr, 0};
        if (FAILED(rapi.CeRapiInitEx(&init)))
            continue;
        if (WaitForSingleObject(init.heRapiInit, 3000) == WAIT_OBJECT_0 &&
            SUCCEEDED(init.hrRapiInit)) {
            m_connected = 1;
            break;
        }
        rapi.CeRapiUninit();
    }
    if (!IsConnected())
        return kConnectTimedOut;
    {
        std::lock_guard<std::mutex> guard(m_bufferLock);
        if (!m_transferBuffer)
            m_transferBuffer.reset(new (std::nothrow) BYTE[kTransferSize]);
    }
    CE_FIND_DATA found{};
    const std::u16string servicePath = std::u16string(kDeviceWindows) + kServiceFile;
    HANDLE search = rapi.CeFindFirstFile ? rapi.CeFindFirstFile(servicePath.c_str(), &found)
                                         : INVALID_HANDLE_VALUE;
    SYSTEM_INFO info{};
    rapi.CeGetSystemInfo(&info);
    m_processorType = info.dwProcessorType;
    std::string folder;
    switch (info.dwProcessorType) {
        case 2577:
        case 2336:
            folder = "arm";
            break;
        case 4000:
            folder = "mips";
            break;
        case 10003:
            folder = "sh3";
            break;
        default:
            if (search != INVALID_HANDLE_VALUE)
                rapi.CeFindClose(search);
            MessageBoxW(nullptr, u"Unsupported Pocket PC proccessor type.", kCaption,
                        MB_OK | MB_ICONERROR | MB_SYSTEMMODAL);
            return kConnectUnsupportedProcessor;
    }
    {
        std::lock_guard<std::mutex> guard(m_folderLock);
        m_processorFolder = folder;
    }
    if (search != INVALID_HANDLE_VALUE) {
        rapi.CeFindClose(search);
        m_serviceReady = 1;
        return kConnectDone;
    }
    return InstallServiceLibrary(rapi, folder);
}

int CDeviceLink::InstallServiceLibrary(const RapiEntryPoints& rapi, const std::string& folder) {
    const std::u16string source =
        GetProgramFolder() + u"\\" + platform::Utf8ToWide(folder) + u"\\" + kServiceFile;
    HANDLE local = CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (local == INVALID_HANDLE_VALUE)
        return kConnectNoServiceCopy;
    const std::u16string target = std::u16string(kDeviceWindows) + kServiceFile;
    HANDLE device = rapi.CeCreateFile(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        // The handheld would not take the library: that is no service to rely on.
        CloseHandle(local);
        return kConnectServiceWriteFailed;
    }
    std::lock_guard<std::mutex> guard(m_bufferLock);
    int result = m_transferBuffer ? kConnectDone : kConnectServiceReadFailed;
    while (result == kConnectDone) {
        DWORD read = 0;
        if (!ReadFile(local, m_transferBuffer.get(), kTransferSize, &read, nullptr)) {
            result = kConnectServiceReadFailed;
            break;
        }
        if (read == 0)
            break;
        DWORD done = 0;
        for (int shortWrites = 0; done < read;) {
            DWORD written = 0;
            if (!rapi.CeWriteFile(device, m_transferBuffer.get() + done, read - done, &written,
                                  nullptr) ||
                (written < read - done && ++shortWrites >= kMostShortWrites)) {
                result = kConnectServiceWriteFailed;
                break;
            }
            done += written;
        }
    }
    rapi.CeCloseHandle(device);
    CloseHandle(local);
    if (result == kConnectDone) {
        m_serviceReady = 1;
    } else {
        // A library cut short would pass for an installed one on the next connection.
        rapi.CeDeleteFile(target.c_str());
    }
    return result;
}

// ---- Service calls -----------------------------------------------------------------

template <class T, class Parse>
T CDeviceLink::Answer(const char16_t* exportName, const char16_t* command, T notReady, T empty,
                      Parse parse) {
    std::u16string text;
    switch (Invoke(exportName, command, &text)) {
        case Reply::NotReady:
            return notReady;
        case Reply::Empty:
            return empty;
        case Reply::Text:
            break;
    }
    return parse(text);
}

CDeviceLink::Reply CDeviceLink::Invoke(const char16_t* exportName, const char16_t* command,
                                       std::u16string* text) {
    text->clear();
    const RapiEntryPoints rapi = CurrentRapi();
    if (!IsConnected() || !IsServiceReady() || !rapi.CeRapiInvoke)
        return Reply::NotReady;
    std::u16string input(command);
    DWORD size = 256;
    BYTE* output = nullptr;
    const HRESULT result = rapi.CeRapiInvoke(
        kServiceLibrary, exportName, static_cast<DWORD>((input.size() + 1) * sizeof(char16_t)),
        reinterpret_cast<BYTE*>(input.data()), &size, &output, nullptr, 0);
    // A call that failed (the link lost) says nothing, not "nothing".
    if (FAILED(result)) {
        LocalFree(output);
        return Reply::NotReady;
    }
    if (!output || size < 2) {
        LocalFree(output);
        return Reply::Empty;
    }
    for (DWORD i = 0; i + 1 < size; i += 2) {
        const char16_t c = static_cast<char16_t>(output[i] | (output[i + 1] << 8));
        if (c == 0)
            break;
        *text += c;
    }
    LocalFree(output);
    return Reply::Text;
}

int CDeviceLink::GetStorageCardCount() {
    return Answer(
        u"FnGetFreeSpaceSize", u"GetNumStorageCard", -1, 0, [](const std::u16string& text) {
            return static_cast<int>(std::strtol(platform::WideToUtf8(text).c_str(), nullptr, 10));
        });
}

namespace {

// Card 0 and any index outside 1-4 are the first card.
const char16_t* CardCommand(int cardIndex, bool name) {
    static constexpr const char16_t* kFree[] = {u"GetFreeStorageCard", u"GetFreeStorageCard2",
                                                u"GetFreeStorageCard3", u"GetFreeStorageCard4",
                                                u"GetFreeStorageCard5"};
    static constexpr const char16_t* kName[] = {u"GetStorageCardName", u"GetStorageCard2Name",
                                                u"GetStorageCard3Name", u"GetStorageCard4Name",
                                                u"GetStorageCard5Name"};
    const int index = cardIndex >= 1 && cardIndex <= 4 ? cardIndex : 0;
    return name ? kName[index] : kFree[index];
}

}  // namespace

double CDeviceLink::GetStorageCardFree(int cardIndex) {
    return Answer(u"FnGetFreeSpaceSize", CardCommand(cardIndex, false), -1.0, 0.0,
                  [](const std::u16string& text) {
                      return static_cast<double>(LeadingNumber(text)) / 1048576.0;
                  });
}

double CDeviceLink::GetMainMemoryFree() {
    // The reply is the store's size and free space, "size:free".
    return Answer(u"FnGetFreeSpaceSize", u"GetFreeObjectStore", -1.0, 0.0,
                  [](const std::u16string& text) {
                      const size_t colon = text.rfind(u':');
                      return static_cast<double>(LeadingNumber(
                                 colon == std::u16string::npos ? text : text.substr(colon + 1))) /
                             1048576.0;
                  });
}

std::u16string CDeviceLink::GetStorageCardName(int cardIndex) {
    std::u16string text;
    if (Invoke(u"FnGetFilePath", CardCommand(cardIndex, true), &text) != Reply::Text)
        return {};
    // The name as the desktop keeps it: single-byte text of at most 259 bytes.
    std::string ansi = platform::WideToAnsi(text);
    if (ansi.size() >= MAX_PATH)
        ansi.resize(MAX_PATH - 1);
    return platform::AnsiToWide(ansi);
}

DWORD CDeviceLink::GetMemoryStatusValue(int kind) {
    const RapiEntryPoints rapi = CurrentRapi();
    if (!rapi.CeGlobalMemoryStatus)
        return 0;
    MEMORYSTATUS status{};
    status.dwLength = sizeof status;
    rapi.CeGlobalMemoryStatus(&status);
    switch (kind) {
        case 1:
            return status.dwMemoryLoad;
        case 2:
            return static_cast<DWORD>(std::min<SIZE_T>(status.dwTotalPhys, 0xFFFFFFFFu));
        default:
            return static_cast<DWORD>(std::min<SIZE_T>(status.dwAvailPhys, 0xFFFFFFFFu));
    }
}

double CDeviceLink::GetProgramMemoryFree() {
    if (!IsConnected())
        return -1.0;
    return static_cast<double>(GetMemoryStatusValue(3)) / 1048576.0;
}

int CDeviceLink::CloseDeviceProgram() {
    const RapiEntryPoints rapi = CurrentRapi();
    if (!IsConnected() || !IsServiceReady() || !rapi.CeRapiInvoke)
        return 1;
    std::u16string input = u"FnCloseTravona";
    DWORD size = 256;
    BYTE* output = nullptr;
    const HRESULT result =
        rapi.CeRapiInvoke(kServiceLibrary, u"FnCloseTravona",
                          static_cast<DWORD>((input.size() + 1) * sizeof(char16_t)),
                          reinterpret_cast<BYTE*>(input.data()), &size, &output, nullptr, 0);
    LocalFree(output);
    return result == S_OK ? 0 : 1;
}

// ---- Files -------------------------------------------------------------------------

int CDeviceLink::DeviceFileExists(const char* path) {
    const RapiEntryPoints rapi = CurrentRapi();
    return rapi.CeGetFileAttributes &&
                   rapi.CeGetFileAttributes(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES
               ? 1
               : 0;
}

int CDeviceLink::DeviceFolderExists(const char* path) {
    const RapiEntryPoints rapi = CurrentRapi();
    if (!rapi.CeGetFileAttributes)
        return 0;
    const DWORD attributes = rapi.CeGetFileAttributes(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

int CDeviceLink::CreateDeviceFolder(const char* path) {
    const std::string folder = path ? path : "";
    if (folder.empty())
        return 0;
    const std::string parent = CutAtLastBackslash(folder);
    if (!parent.empty() && !DeviceFolderExists(parent.c_str()))
        CreateDeviceFolder(parent.c_str());
    const RapiEntryPoints rapi = CurrentRapi();
    if (rapi.CeCreateDirectory && rapi.CeCreateDirectory(Wide(folder.c_str()).c_str(), nullptr))
        return 1;
    return DeviceFolderExists(folder.c_str());
}

int CDeviceLink::CreateParentFolder(const char* filePath) {
    const std::string folder = CutAtLastBackslash(filePath ? filePath : "");
    if (folder.empty() || DeviceFolderExists(folder.c_str()))
        return 1;
    return CreateDeviceFolder(folder.c_str());
}

ULONGLONG CDeviceLink::GetDeviceFolderSize(const char* folder) {
    const RapiEntryPoints rapi = CurrentRapi();
    if (!rapi.CeFindFirstFile || !rapi.CeFindNextFile || !rapi.CeFindClose)
        return 0;
    return FolderTreeSize(Wide(folder), rapi.CeFindFirstFile, rapi.CeFindNextFile,
                          rapi.CeFindClose);
}

DWORD CDeviceLink::ReadDeviceFile(const char* path, std::vector<BYTE>* bytes) {
    bytes->clear();
    const RapiEntryPoints rapi = CurrentRapi();
    if (!rapi.CeCreateFile || !rapi.CeGetFileSize || !rapi.CeReadFile)
        return 0;
    HANDLE file = rapi.CeCreateFile(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    const DWORD size = rapi.CeGetFileSize(file, nullptr);
    DWORD total = 0;
    if (size != 0 && size != INVALID_FILE_SIZE) {
        // The buffer holds at most 4 KB, and no read goes past it.
        bytes->resize(std::min<DWORD>(size, kMaxDeviceFileRead));
        DWORD read = 0;
        while (total < bytes->size() &&
               rapi.CeReadFile(file, bytes->data() + total,
                               static_cast<DWORD>(bytes->size()) - total, &read, nullptr) &&
               read > 0)
            total += read;
        bytes->resize(total);
    }
    rapi.CeCloseHandle(file);
    return total;
}

void CDeviceLink::DeleteDeviceFile(const char* path) {
    const RapiEntryPoints rapi = CurrentRapi();
    if (rapi.CeDeleteFile)
        rapi.CeDeleteFile(Wide(path).c_str());
}

int CDeviceLink::RenameDeviceFile(const char* existingPath, const char* newPath) {
    const RapiEntryPoints rapi = CurrentRapi();
    return rapi.CeMoveFile && rapi.CeMoveFile(Wide(existingPath).c_str(), Wide(newPath).c_str())
               ? 1
               : 0;
}

int CDeviceLink::CopyFileToDevice(LPCWSTR sourcePath, const char* deviceFolder, const char* newName,
                                  DWORD flags, ICopyProgress* dialog) {
    std::lock_guard<std::mutex> guard(m_bufferLock);
    if (!m_transferBuffer)
        return kCopyNoBuffer;
    const std::string source = platform::WideToAnsi(sourcePath ? sourcePath : u"");
    std::string destination = deviceFolder ? deviceFolder : "";
    const size_t firstBackslash = source.find('\\');
    // The file name follows the last separator, a host path's too.
    const size_t lastBackslash = source.find_last_of("\\/");
    if (flags & 1) {
        destination += (flags & 8) && firstBackslash != std::string::npos
                           ? source.substr(firstBackslash)
                           : "\\" + source;
    } else if (newName) {
        destination.append(1, '\\').append(newName);
    } else if ((flags & 8) && firstBackslash != std::string::npos) {
        destination += source.substr(firstBackslash);
    } else {
        destination +=
            "\\" + (lastBackslash == std::string::npos ? source : source.substr(lastBackslash + 1));
    }
    CreateParentFolder(destination.c_str());

    std::u16string local = sourcePath ? sourcePath : u"";
    const bool absolute = (!local.empty() && (local[0] == u'\\' || local[0] == u'/')) ||
                          (local.size() >= 2 && local[1] == u':');
    if (!absolute)
        local = GetProgramFolder() + u"\\" + local;
    HANDLE input = CreateFileW(local.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (input == INVALID_HANDLE_VALUE)
        return kCopySourceNotOpened;
    const RapiEntryPoints rapi = CurrentRapi();
    HANDLE output =
        rapi.CeCreateFile
            ? rapi.CeCreateFile(Wide(destination.c_str()).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
            : INVALID_HANDLE_VALUE;
    if (output == INVALID_HANDLE_VALUE) {
        CloseHandle(input);
        return kCopyDestinationNotOpened;
    }
    DWORD sizeHigh = 0;
    const DWORD sizeLow = GetFileSize(input, &sizeHigh);
    const ULONGLONG total =
        sizeLow == INVALID_FILE_SIZE ? 0 : (ULONGLONG{sizeHigh} << 32) | sizeLow;
    ULONGLONG done = 0;
    int result = kCopyDone;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(input, m_transferBuffer.get(), kTransferSize, &read, nullptr)) {
            result = kCopyReadFailed;
            break;
        }
        done += read;
        if (dialog)
            dialog->SetFileProgress(CopyPercent(done, total));
        if (read == 0)
            break;
        DWORD written = 0;
        if (!rapi.CeWriteFile) {
            result = kCopyWriteShort;
            break;
        }
        if (!rapi.CeWriteFile(output, m_transferBuffer.get(), read, &written, nullptr)) {
            result = kCopyWriteFailed;
            break;
        }
        // What the handheld did not take is lost: the copy is not whole.
        if (written < read) {
            result = kCopyWriteShort;
            break;
        }
        if (dialog && dialog->CopyCancelled())
            break;
    }
    rapi.CeCloseHandle(output);
    if (result == kCopyDone && dialog && dialog->CopyCancelled())
        result = kCopyCancelled;
    CloseHandle(input);
    return result;
}
