// What map generation uses of the rest of the desktop program: the generating and
// copying dialogs' shared state and progress calls, the message texts, the device
// link, the transfer buffer, the registry write, the disc information and the
// region table. The windows themselves come with the installer's screens; these
// classes hold what the generation and copy threads touch, so that every field
// shared between threads is atomic or under a lock.
#pragma once

#include <array>
#include <atomic>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "formats/source_disc.h"
#include "platform/kernel/kernel.h"

class CMapGenerator;
class IDeviceLink;

// Target kinds of a generation run; any kind other than these two is the
// handheld's main memory.
inline constexpr int kTargetStorageCard = 1;
inline constexpr int kTargetMainMemory = 2;
inline constexpr int kTargetPcDrive = 3;

inline constexpr int kDeviceFileCount = 16;

// ---- Message texts ---------------------------------------------------------------

inline constexpr int kLanguageCount = 1;
// The language every reader passes; English (0) for the whole run.
extern std::atomic<int> g_languageIndex;

class CMessageTable {
  public:
    constexpr explicit CMessageTable(LPCWSTR defaultText = nullptr)
        : m_defaultIndex(0), m_text{(defaultText && *defaultText) ? defaultText : nullptr} {}
    CMessageTable(const CMessageTable&) = delete;
    CMessageTable& operator=(const CMessageTable&) = delete;

    void SetDefault(LPCWSTR text);
    // Ignored for a language index outside the supported ones.
    void Set(int languageIndex, LPCWSTR text);
    // Never null: the language's text, else the default language's, else "unknown".
    LPCWSTR Get(int languageIndex) const;
    LPCWSTR Get() const { return Get(g_languageIndex.load()); }

  private:
    std::atomic<int> m_defaultIndex;
    std::atomic<LPCWSTR> m_text[kLanguageCount];
};

extern CMessageTable MSG_WAITING_TO_COPY;
extern CMessageTable MSG_COPYING_FILE;
extern CMessageTable MSG_ERR_COPY_FILE;
extern CMessageTable MSG_ERR_READ_SOURCE;
extern CMessageTable MSG_ERR_ALLOC;
extern CMessageTable MSG_WRITE_FUNCTION_ERROR;
extern CMessageTable MSG_NO_ROOM;
extern CMessageTable MSG_ERR_WRITE_DEST;
extern CMessageTable MSG_ERR_OPEN_DEST;
extern CMessageTable MSG_ERR_OPEN_SOURCE;
extern CMessageTable MSG_INSTALL_COMPLETED;
extern CMessageTable MSG_CANCEL;
extern CMessageTable MSG_INCOMPLETE_ERASED;
// The closing note of a run that had to remove the installed map to make room and
// then did not complete.
extern CMessageTable MSG_OLD_MAP_REMOVED;

// ---- Dialog state ----------------------------------------------------------------

// What a copy reports to and asks of the dialog it runs under: the generating or the
// copying dialog.
class ICopyProgress {
  public:
    virtual ~ICopyProgress() = default;
    // Per-file bar, in percent.
    virtual void SetFileProgress(int percent) = 0;
    // The user asked to stop: the copy ends after the piece it is on.
    virtual bool CopyCancelled() const = 0;
};

// The generating dialog's part that the generation and copy threads share. The
// setup fields (region list, generator, link, target, file count) are filled
// before the threads start and read-only while they run.
class CGeneratingDlg : public ICopyProgress {
  public:
    // Creates the abort event and the ready event (both manual reset, not
    // signalled) and the mutex handed to the generator.
    CGeneratingDlg();
    virtual ~CGeneratingDlg();
    CGeneratingDlg(const CGeneratingDlg&) = delete;
    CGeneratingDlg& operator=(const CGeneratingDlg&) = delete;

    std::vector<DWORD> m_regionList;  // choice words
    int m_regionCount = 0;
    CMapGenerator* m_pGenerator = nullptr;
    IDeviceLink* m_pDeviceLink = nullptr;
    int m_targetKind = 0;
    int m_targetIndex = 0;  // storage card index, or drive index (0 = A:)
    int m_fileCount = kDeviceFileCount;
    // The choice's estimated size on the target (the size tables' sum); 0 when not
    // known. It decides whether the new map can arrive beside the installed one.
    uint64_t m_estimatedBytes = 0;

    HANDLE m_hAbortEvent = nullptr;
    HANDLE m_hReadyEvent = nullptr;
    HANDLE m_hMutex = nullptr;

    std::atomic<int> m_cancelRequested{0};
    std::atomic<int> m_generationReturned{0};
    std::atomic<int> m_generationEnded{0};
    std::atomic<int> m_completed{0};

    // The target folder (at most MAX_PATH - 1 characters are kept).
    void SetTargetFolder(std::u16string_view folder);
    std::u16string GetTargetFolder() const;

    void SetFileProgress(int percent) override;
    bool CopyCancelled() const override { return m_cancelRequested.load() != 0; }
    // stepFlag 1 raises the overall count by one first. Caption and file name may
    // be null; without a file name both texts are empty.
    virtual void SetOverallProgress(LPCWSTR caption, LPCWSTR fileName, int index, int stepFlag);

    int GetFilePercent() const { return m_filePercent.load(); }
    int GetOverallCount() const;
    std::u16string GetCaptionText() const;
    std::u16string GetFileText() const;
    std::u16string GetCountText() const;

  private:
    std::atomic<int> m_filePercent{0};
    mutable std::mutex m_textLock;
    std::u16string m_targetFolder;
    int m_overallCount = 0;
    std::u16string m_captionText;
    std::u16string m_fileText;
    std::u16string m_countText;
};

// The copy-only dialog: its per-file bar and its cancel flag.
class CCopyingMapsDlg : public ICopyProgress {
  public:
    void SetFileProgress(int percent) override;
    bool CopyCancelled() const override { return m_cancelRequested.load() != 0; }
    int GetFilePercent() const { return m_filePercent.load(); }

    std::atomic<int> m_cancelRequested{0};

  private:
    std::atomic<int> m_filePercent{0};
};

// ---- Transfer buffer -------------------------------------------------------------

// One per copy thread. m_pBuffer is null when the allocation failed.
class CTransferBuffer {
  public:
    static constexpr DWORD kSize = 0x100000;
    CTransferBuffer();
    ~CTransferBuffer();
    CTransferBuffer(const CTransferBuffer&) = delete;
    CTransferBuffer& operator=(const CTransferBuffer&) = delete;

    BYTE* m_pBuffer;
};

// ---- Device link -----------------------------------------------------------------

// The installation target as the pages, the dialogs and the copy threads reach it:
// the handheld through the remote API (mapferry/ui's CDeviceLink), a folder of a PC
// drive (CPcDriveLink) or a test's stand-in. Device paths are ANSI text in the
// handheld's form ("\Storage Card\Zanter Wayscribe\Maps").
class IDeviceLink {
  public:
    virtual ~IDeviceLink() = default;

    // Storage cards: how many (-1 when there is no link), each card's folder ("\SD
    // Card"; empty when the card is not there) and free space in megabytes (-1.0 when
    // it cannot be asked, 0.0 when the handheld does not answer it).
    virtual int GetStorageCardCount() = 0;
    virtual std::u16string GetStorageCardName(int cardIndex) = 0;
    virtual double GetStorageCardFree(int cardIndex) = 0;
    // Main memory in megabytes: the object store's free space and the free program
    // memory; -1.0 when they cannot be asked.
    virtual double GetMainMemoryFree() = 0;
    virtual double GetProgramMemoryFree() = 0;
    // Asks the navigation program on the handheld to close: 0 when it is closed or was
    // not running, 1 otherwise.
    virtual int CloseDeviceProgram() = 0;

    virtual int DeviceFileExists(const char* path) = 0;
    // 1 only for an existing folder.
    virtual int DeviceFolderExists(const char* path) = 0;
    // Creates the folder level by level; 1 when it exists afterwards.
    virtual int CreateDeviceFolder(const char* path) = 0;
    // The bytes of the files in the folder and its sub-folders; 0 when none or no link.
    virtual ULONGLONG GetDeviceFolderSize(const char* folder) = 0;
    // Reads at most kMaxDeviceFileRead bytes of a file into *bytes; the bytes read (0
    // when it cannot be opened or is empty).
    static constexpr DWORD kMaxDeviceFileRead = 4096;
    virtual DWORD ReadDeviceFile(const char* path, std::vector<BYTE>* bytes) = 0;
    // Copies a desktop file to deviceFolder + "\" + deviceFileName (flags as the link
    // documents; 0 is that plain form). The copy result codes of CopyFileWithProgress
    // (file_services.h), 3 also when the link is not ready; progress goes to the
    // dialog's per-file bar and its cancel stops the copy.
    virtual int CopyFileToDevice(LPCWSTR sourcePath, const char* deviceFolder,
                                 const char* deviceFileName, DWORD flags,
                                 ICopyProgress* dialog) = 0;
    // The same operation under the copying dialog.
    int CopyFileToDevice2(LPCWSTR sourcePath, const char* deviceFolder, const char* deviceFileName,
                          DWORD flags, CCopyingMapsDlg* dialog) {
        return CopyFileToDevice(sourcePath, deviceFolder, deviceFileName, flags, dialog);
    }
    // Failures are ignored.
    virtual void DeleteDeviceFile(const char* path) = 0;
    // Renames a file in its folder; fails when the new name exists. Non-zero on
    // success.
    virtual int RenameDeviceFile(const char* existingPath, const char* newPath) = 0;
};

// The bytes of the files in a folder and its sub-folders (names beginning with '.'
// skipped), through a file system's find calls: the desktop's or the handheld's.
using FindFirstCall = HANDLE (*)(LPCWSTR pattern, LPWIN32_FIND_DATAW found);
using FindNextCall = BOOL (*)(HANDLE search, LPWIN32_FIND_DATAW found);
using FindCloseCall = BOOL (*)(HANDLE search);
ULONGLONG FolderTreeSize(const std::u16string& folder, FindFirstCall first, FindNextCall next,
                         FindCloseCall close);

// A target whose "handheld" is a folder on a desktop drive: device paths are taken
// below that folder through the desktop's path mapping. The storage card (index 0
// only) is a sub-folder of it; there is no program to close.
class CPcDriveLink : public IDeviceLink {
  public:
    // root: a desktop folder such as "D:\Handheld"; cardName: the card's folder as
    // the handheld names it, empty for none.
    explicit CPcDriveLink(std::u16string root, std::u16string cardName = u"\\Storage Card");

    int GetStorageCardCount() override;
    std::u16string GetStorageCardName(int cardIndex) override;
    double GetStorageCardFree(int cardIndex) override;
    double GetMainMemoryFree() override;
    double GetProgramMemoryFree() override;
    int CloseDeviceProgram() override { return 0; }
    int DeviceFileExists(const char* path) override;
    int DeviceFolderExists(const char* path) override;
    int CreateDeviceFolder(const char* path) override;
    ULONGLONG GetDeviceFolderSize(const char* folder) override;
    DWORD ReadDeviceFile(const char* path, std::vector<BYTE>* bytes) override;
    int CopyFileToDevice(LPCWSTR sourcePath, const char* deviceFolder, const char* deviceFileName,
                         DWORD flags, ICopyProgress* dialog) override;
    void DeleteDeviceFile(const char* path) override;
    int RenameDeviceFile(const char* existingPath, const char* newPath) override;

    // The desktop path of a device path.
    std::u16string DesktopPathFor(const char* devicePath) const;

  private:
    std::u16string m_root;
    std::u16string m_cardName;
    CTransferBuffer m_buffer;
};

// For tests: the PC-drive link with figures and copy results set by the test and
// a log of the calls made.
class CTestDeviceLink : public CPcDriveLink {
  public:
    using CPcDriveLink::CPcDriveLink;

    // Results the next copies return instead of copying, in order; a 0 in the queue
    // copies for real.
    void ScriptCopyResults(std::vector<int> results);
    void SetFreeSpace(double cardMegabytes, double mainMegabytes, double programMegabytes);
    std::vector<std::string> Calls() const;

    double GetStorageCardFree(int cardIndex) override;
    double GetMainMemoryFree() override;
    double GetProgramMemoryFree() override;
    int CreateDeviceFolder(const char* path) override;
    int CopyFileToDevice(LPCWSTR sourcePath, const char* deviceFolder, const char* deviceFileName,
                         DWORD flags, ICopyProgress* dialog) override;
    void DeleteDeviceFile(const char* path) override;
    int RenameDeviceFile(const char* existingPath, const char* newPath) override;

  private:
    void Log(std::string call);

    mutable std::mutex m_lock;
    std::deque<int> m_copyResults;
    // Figures given stand for the measurement, -1.0 (not available) included.
    std::optional<double> m_cardFree;
    std::optional<double> m_mainFree;
    std::optional<double> m_programFree;
    std::vector<std::string> m_calls;
};

// ---- Registry --------------------------------------------------------------------

inline constexpr const char16_t* kMapferryRegistryKey = u"Software\\Zanterhoff\\Wayscribe mapferry";
inline constexpr const char16_t* kMapDataDirValue = u"MapDataDir";

// Stores the text as REG_SZ, terminator included, under an existing key only: a
// missing key is a failure and is not created. 0 success, 1 failure.
int WriteRegistryString(HKEY root, LPCWSTR subKey, LPCWSTR valueName, LPCWSTR text);
// Creates the key when missing and stores a REG_DWORD. 0 success, 1 failure.
int WriteRegistryDword(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD value);
// The value (of any type) when the key opens and it is there in at most 4 bytes,
// else defaultValue.
DWORD ReadRegistryDword(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD defaultValue);

// ---- Disc information ------------------------------------------------------------

// The four numbers of "cdinfo.ini" and the two map headers of "mh.ini". A data
// version of 0 means the files were bad or missing.
struct DiscInformation {
    int dataVersion = 0;
    int disc2FirstColumn = 0;
    int disc3FirstColumn = 0;
    int totalColumns = 0;
    std::array<std::array<BYTE, formats::source_disc::kMapHeaderSize>,
               formats::source_disc::kMapHeaderCount>
        mapHeaders{};
};

// The part of the property sheet's start-up that reads "cdinfo.ini" and "mh.ini"
// from the program folder, shows "Bad or missing cdinfo.ini" and "Bad or missing
// mh.ini" as they apply, and keeps the result for the whole program.
DiscInformation LoadDiscInformation(LPCWSTR programFolder);
DiscInformation CurrentDiscInformation();

// ---- Region table ----------------------------------------------------------------

// The region page's 64 region records (mapferry/convert/region_record.h).
#include "mapferry/convert/region_record.h"
