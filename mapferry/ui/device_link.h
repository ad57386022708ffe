// The desktop end of the link to the handheld: the remote API library "rapi.dll"
// loaded at run time, and CDeviceLink, which connects through it, installs the
// handheld's service library when it lacks it, asks the handheld for its cards and
// free space, closes the navigation program there and works on the handheld's files.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "mapferry/convert/installer_services.h"
#include "platform/rapi/rapi.h"

// The remote API's entry points, looked up in this order by LoadRapiLibrary. Every
// one but CeGlobalMemoryStatus is required.
struct RapiEntryPoints {
    HMODULE module = nullptr;
    PFN_CeRapiInvoke CeRapiInvoke = nullptr;
    PFN_CeRapiInitEx CeRapiInitEx = nullptr;
    PFN_CeRapiUninit CeRapiUninit = nullptr;
    PFN_CeGetFileAttributes CeGetFileAttributes = nullptr;
    PFN_CeCreateDirectory CeCreateDirectory = nullptr;
    PFN_CeCopyFile CeCopyFile = nullptr;
    PFN_CeDeleteFile CeDeleteFile = nullptr;
    PFN_CeGetFileSize CeGetFileSize = nullptr;
    PFN_CeRegOpenKeyEx CeRegOpenKeyEx = nullptr;
    PFN_CeRegCreateKeyEx CeRegCreateKeyEx = nullptr;
    PFN_CeRegCloseKey CeRegCloseKey = nullptr;
    PFN_CeRegSetValueEx CeRegSetValueEx = nullptr;
    PFN_CeRegQueryValueEx CeRegQueryValueEx = nullptr;
    PFN_CeFindFirstFile CeFindFirstFile = nullptr;
    PFN_CeFindNextFile CeFindNextFile = nullptr;
    PFN_CeFindClose CeFindClose = nullptr;
    PFN_CeCreateFile CeCreateFile = nullptr;
    PFN_CeReadFile CeReadFile = nullptr;
    PFN_CeWriteFile CeWriteFile = nullptr;
    PFN_CeCloseHandle CeCloseHandle = nullptr;
    PFN_CeGetSystemInfo CeGetSystemInfo = nullptr;
    PFN_CeSHCreateShortcut CeSHCreateShortcut = nullptr;
    PFN_CeGlobalMemoryStatus CeGlobalMemoryStatus = nullptr;
    PFN_CeGetVersionEx CeGetVersionEx = nullptr;
    // Looked up after the 24: what RenameDeviceFile needs.
    PFN_CeMoveFile CeMoveFile = nullptr;
};

// 0 when the library and its required entry points are loaded; 1 without a message
// when there is no library; 1 with "Fail to load all Rapi.dll functions." when one is
// missing (the library is unloaded again). Unloads first.
int LoadRapiLibrary();
void UnloadRapiLibrary();
// The table as loaded now (a copy: the copy threads read it while the pages may load
// the library again).
RapiEntryPoints CurrentRapi();
// Which library LoadRapiLibrary loads: "rapi.dll" unless a test names another.
void SetRapiLibraryName(std::u16string name);

// The folder of the program, without its trailing backslash and without a last
// "\debug" or "\release"; ".\" when the module's name cannot be read. Taken once.
std::u16string GetProgramFolder();

// Connect results.
inline constexpr int kConnectDone = 0;
inline constexpr int kConnectTimedOut = 1;
inline constexpr int kConnectNoServiceCopy = 2;  // the PC's copy of oxloserv.dll
inline constexpr int kConnectServiceReadFailed = 3;
inline constexpr int kConnectServiceWriteFailed = 4;
inline constexpr int kConnectUnsupportedProcessor = 5;

class CDeviceLink : public IDeviceLink {
  public:
    static constexpr DWORD kTransferSize = 1 << 20;
    static constexpr DWORD kUnknownProcessor = 2577;

    CDeviceLink() = default;
    ~CDeviceLink() override;
    CDeviceLink(const CDeviceLink&) = delete;
    CDeviceLink& operator=(const CDeviceLink&) = delete;

    // Runs on the connect thread. kConnectDone with the link up and the service
    // library on the handheld; otherwise a failure code, the link not connected or
    // its service not ready.
    int Connect();
    void Disconnect();

    bool IsConnected() const { return m_connected.load() != 0; }
    bool IsServiceReady() const { return m_serviceReady.load() != 0; }
    DWORD GetProcessorType() const { return m_processorType.load(); }
    std::string GetProcessorFolder() const;

    int GetStorageCardCount() override;
    std::u16string GetStorageCardName(int cardIndex) override;
    double GetStorageCardFree(int cardIndex) override;
    double GetMainMemoryFree() override;
    // GetMemoryStatusValue(3) in megabytes; -1.0 without the entry point.
    double GetProgramMemoryFree() override;
    // 1 memory load, 2 total physical bytes, any other available physical bytes; 0
    // without the entry point.
    DWORD GetMemoryStatusValue(int kind);
    int CloseDeviceProgram() override;

    int DeviceFileExists(const char* path) override;
    int DeviceFolderExists(const char* path) override;
    int CreateDeviceFolder(const char* path) override;
    // Creates the folder of a device file when it is missing.
    int CreateParentFolder(const char* filePath);
    ULONGLONG GetDeviceFolderSize(const char* folder) override;
    DWORD ReadDeviceFile(const char* path, std::vector<BYTE>* bytes) override;
    // Flags: 1 takes the destination name from the source path (8: from its first
    // backslash, else all of it); without 1, the new name when given, else the
    // source's file name (8: from its first backslash).
    int CopyFileToDevice(LPCWSTR sourcePath, const char* deviceFolder, const char* newName,
                         DWORD flags, ICopyProgress* dialog) override;
    void DeleteDeviceFile(const char* path) override;
    int RenameDeviceFile(const char* existingPath, const char* newPath) override;

  private:
    // A service call to oxloserv: the reply text, or nothing when the link or the
    // service is not ready or nothing came back.
    enum class Reply { NotReady, Empty, Text };
    Reply Invoke(const char16_t* exportName, const char16_t* command, std::u16string* text);
    // A number the service replies: notReady without an answer, empty for an empty
    // one, else the reply parsed.
    template <class T, class Parse>
    T Answer(const char16_t* exportName, const char16_t* command, T notReady, T empty, Parse parse);
    int InstallServiceLibrary(const RapiEntryPoints& rapi, const std::string& folder);

    std::mutex m_bufferLock;  // one copy at a time through the transfer buffer
    std::unique_ptr<BYTE[]> m_transferBuffer;
    std::atomic<int> m_connected{0};
    std::atomic<int> m_serviceReady{0};
    std::atomic<DWORD> m_processorType{kUnknownProcessor};
    mutable std::mutex m_folderLock;
    std::string m_processorFolder;
};
