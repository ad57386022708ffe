#include "mapferry/convert/map_generator.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "formats/little_endian.h"
#include "formats/map_set.h"
#include "formats/namdict.h"
#include "formats/street_types.h"
#include "mapferry/convert/file_services.h"

std::u16string StagingName(std::u16string_view deviceName) {
    return formats::map_set::StagedName(deviceName);
}

const std::array<const char16_t*, CMapGenerator::kSlotCount> kDeviceFileNames =
    formats::map_set::kFileNames;

namespace {

// The temporary names differ from the device names only where the in-place
// compression renames them afterwards.
const std::array<const char16_t*, CMapGenerator::kSlotCount> kTempFileNames = {
    u"names.bin",    u"sttypes.bin",  u"linkinfo.bin", u"az.bin",
    u"lfoidx.bin",   u"azbc.bin",     u"lsr.bin",      u"lsrs.bin",
    u"stnl.bin",     u"mapdata1.bin", u"mapdatat.biz", u"mapdata2.bin",
    u"polygons.biz", u"poi.bin",      u"namdict.bin",  u"strabbr.bin"};

constexpr const char16_t* kProgramCaption = u"Wayscribe mapferry";
constexpr int kSlotNameDictionary = 14;
constexpr int kSlotStreetAbbreviations = 15;
constexpr int kSlotStreetTypes = 1;

// How long the copy thread waits for one file, in rounds of kWaitRound ms.
constexpr int kWaitRounds = 1800;
constexpr DWORD kWaitRound = 2000;

std::u16string Format(const char16_t* format, ...) {
    WCHAR buffer[1024];
    va_list args;
    va_start(args, format);
    _vsnwprintf(buffer, 1024, format, args);
    va_end(args);
    return buffer;
}

// Takes a mutex the two threads hold only for a few field updates. A time-out is
// not a reason to lose the update: the waiting side would miss its file.
void TakeMutex(HANDLE mutex) {
    while (WaitForSingleObject(mutex, 5000) == WAIT_TIMEOUT) {
    }
}

class MutexGuard {
  public:
    explicit MutexGuard(HANDLE mutex) : m_mutex(mutex) {
        if (m_mutex)
            TakeMutex(m_mutex);
    }
    ~MutexGuard() {
        if (m_mutex)
            ReleaseMutex(m_mutex);
    }
    MutexGuard(const MutexGuard&) = delete;
    MutexGuard& operator=(const MutexGuard&) = delete;

  private:
    HANDLE m_mutex;
};

bool WriteWholeFile(LPCWSTR path, const std::vector<uint8_t>& bytes) {
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    if (!ok || written != bytes.size()) {
        DeleteFileW(path);
        return false;
    }
    return true;
}

// The two files the driver copies unchanged are read only on the device: what is
// wrong with one of them, or empty when it is whole.
constexpr size_t kMaxCopiedSource = 16u * 1024 * 1024;

std::u16string StreetTypesFault(const std::vector<uint8_t>& bytes) {
    namespace st = formats::street_types;
    if (bytes.size() < st::kHeadSize || std::memcmp(bytes.data(), st::kMagic, st::kMagicSize) != 0)
        return u"does not begin with \"ST00\" and a count";
    const uint32_t count = st::LoadU32(bytes.data() + st::kCountOffset);
    if (count > st::kMaxTypeCode)
        return u"counts more street types than a code can name";
    size_t at = st::kNamesOffset;
    for (uint32_t i = 0; i < count; ++i) {
        const void* end = std::memchr(bytes.data() + at, 0, bytes.size() - at);
        if (!end)
            return u"holds fewer street types than its count: it is cut short";
        at = static_cast<const uint8_t*>(end) - bytes.data() + 1;
    }
    return {};
}

std::u16string AbbreviationsFault(const std::vector<uint8_t>& bytes) {
    namespace st = formats::street_types;
    const std::string text(bytes.begin(), bytes.end());
    if (text.find(st::kVersionKey) == std::string::npos)
        return u"has no \"FILE-VER=\" line";
    // The last line holds the end mark; a file cut short has lost it.
    size_t last = text.size();
    while (last > 0 && (text[last - 1] == '\r' || text[last - 1] == '\n'))
        --last;
    const size_t lineStart = text.rfind('\n', last == 0 ? 0 : last - 1);
    const std::string lastLine =
        text.substr(lineStart == std::string::npos ? 0 : lineStart + 1,
                    last - (lineStart == std::string::npos ? 0 : lineStart + 1));
    if (lastLine.find(st::kEndKey) == std::string::npos)
        return u"does not end with its \"END-OF-FILE=\" line: it is cut short";
    return {};
}

// What is wrong with a source the driver copies, or empty.
std::u16string CopiedSourceFault(LPCWSTR path, LPCWSTR name) {
    std::vector<uint8_t> bytes;
    if (!ReadLocalFile(path, kMaxCopiedSource, &bytes))
        return u"cannot be read, or is larger than any such file";
    if (bytes.empty())
        return u"the file is empty";
    if (std::u16string_view(name) == u"sttypes.raw")
        return StreetTypesFault(bytes);
    return AbbreviationsFault(bytes);
}

// Copies a file over a temporary path that may be read-only.
bool ReplaceWithCopy(LPCWSTR source, LPCWSTR destination) {
    SetFileAttributesW(destination, FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(destination);
    return CopyFileW(source, destination, FALSE) != FALSE;
}

// Reads "%d %d %d %d" from a disc's "mapid.ini".
bool ReadMapId(const std::u16string& path, int numbers[4]) {
    std::vector<uint8_t> bytes;
    if (!ReadLocalFile(path.c_str(), 4096, &bytes))
        return false;
    std::string text(bytes.begin(), bytes.end());
    return std::sscanf(text.c_str(), "%d %d %d %d", &numbers[0], &numbers[1], &numbers[2],
                       &numbers[3]) == 4;
}

}  // namespace

// ---- Finding the disc ------------------------------------------------------------

int CheckDataFile(LPCWSTR folder) {
    static const char16_t* const kDisc1[] = {u"az.raw",        u"linkinfo.raz", u"lsr.raw",
                                             u"lsrs.raw",      u"names.raw",    u"stnl.raw",
                                             u"sttypes.raw",   u"nameidx.bin",  u"mapdata1.raz",
                                             u"mapdata21.raz", u"lfoidx.raz",   u"azbc.raw"};
    static const char16_t* const kDisc2[] = {u"mapdata22.raz", u"poi.raw", u"polygons.raz",
                                             u"strabbr.bin"};
    static const char16_t* const kDisc3[] = {u"mapdata23.raz", u"poi.raw", u"polygons.raz",
                                             u"strabbr.bin"};
    int disc = GetDiscInUse().disc;
    std::vector<const char16_t*> names;
    if (disc == 2)
        names.assign(std::begin(kDisc2), std::end(kDisc2));
    else if (disc == 3)
        names.assign(std::begin(kDisc3), std::end(kDisc3));
    else
        names.assign(std::begin(kDisc1), std::end(kDisc1));
    for (const char16_t* name : names) {
        std::u16string path = std::u16string(folder) + u"\\" + name;
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            MessageBoxW(nullptr, Format(u"Map data file %s not found", path.c_str()).c_str(),
                        kProgramCaption, MB_OK | MB_ICONSTOP);
            return 1;
        }
    }
    return 0;
}

int FindDataDisc(int firstColumn, int columnCount, LPWSTR buffer, int anyDisc) {
    DiscInformation info = CurrentDiscInformation();
    for (;;) {
        DWORD drives = GetLogicalDrives();
        int otherVersion = -1;
        for (int letter = 'C'; letter <= 'Z'; ++letter) {
            if (!(drives & (1u << (letter - 'A'))))
                continue;
            WCHAR root[4] = {static_cast<WCHAR>(letter), u':', u'\\', 0};
            if (GetDriveTypeW(root) != DRIVE_CDROM)
                continue;
            for (int disc = 1; disc <= 3; ++disc) {
                std::u16string folder = Format(u"%c:\\CD%d\\", letter, disc);
                int id[4];
                if (!ReadMapId(folder + u"mapid.ini", id))
                    continue;
                int first = id[0], count = id[1], total = id[2], version = id[3];
                if (version != info.dataVersion || total != info.totalColumns) {
                    otherVersion = version;
                    continue;
                }
                // The numbers come from a file: a disc whose columns do not lie within
                // the total holds none, and sums are taken in 64 bits.
                const int64_t end = int64_t{firstColumn} + columnCount;
                if (end > total || first < 0 || count < 0 || first > total || count > total - first)
                    continue;
                if (!anyDisc && !(first <= firstColumn && end <= int64_t{first} + count))
                    continue;
                std::u16string source = folder + u"mapdata";
                SetDiscInUse({disc, first, count, source});
                lstrcpynW(buffer, source.c_str(), MAX_PATH);
                return CheckDataFile(buffer);
            }
        }
        if (otherVersion >= 0) {
            MessageBoxW(nullptr,
                        Format(u"Wrong version of Map Data CD found: %d", otherVersion).c_str(),
                        kProgramCaption, MB_OK | MB_ICONSTOP);
            return 1;
        }
        const char16_t* discName = firstColumn < info.disc2FirstColumn
                                       ? u"Wayscribe Installation/Data Disc 1"
                                   : firstColumn < info.disc3FirstColumn ? u"Wayscribe Data Disc 2"
                                                                         : u"Wayscribe Data Disc 3";
        int answer =
            MessageBoxW(nullptr, Format(u"Please insert %s, then click OK", discName).c_str(),
                        kProgramCaption, MB_OKCANCEL | MB_ICONEXCLAMATION | MB_SYSTEMMODAL);
        if (answer != IDOK) {
            buffer[0] = 0;
            return 2;
        }
    }
}

// ---- "namdict.bin" ---------------------------------------------------------------

std::vector<uint8_t> RegionNameDictionary(const std::vector<DWORD>& regionList,
                                          const RegionTable& table) {
    std::vector<std::string> names;
    for (const RegionRecord& region : table) {
        if (!region.subAreas.empty()) {
            for (const SubAreaRecord& sub : region.subAreas) {
                if (sub.chosen)
                    names.push_back(platform::WideToAnsi(sub.name));
            }
        } else if (region.chosen) {
            names.push_back(platform::WideToAnsi(region.name));
        }
    }
    std::vector<uint32_t> entries(regionList.begin(), regionList.end());
    return formats::namdict::EncodeRegions(entries, names);
}

std::vector<uint8_t> CityNameDictionary(const CityChoice& choice) {
    // The radius is kept whole: "150 (241)" is nine characters, and a cut one would
    // read back as another radius.
    constexpr size_t kMaxRadius = 9;
    return formats::namdict::EncodeCity(
        platform::WideToAnsi(choice.region), platform::WideToAnsi(choice.city),
        platform::WideToAnsi(std::u16string_view(choice.radius).substr(0, kMaxRadius)));
}

// ---- The generator ---------------------------------------------------------------

CMapGenerator::CMapGenerator() = default;

CMapGenerator::~CMapGenerator() = default;

bool CMapGenerator::Aborted() const {
    if (g_cancelFlag.load())
        return true;
    return m_hAbortEvent && WaitForSingleObject(m_hAbortEvent, 0) == WAIT_OBJECT_0;
}

DWORD CMapGenerator::SetFileReady(int readyCount) {
    if (!m_hMutex)
        return 0;
    TakeMutex(m_hMutex);
    m_readyCount = readyCount;
    if (readyCount == m_copiedCount + 1 || m_waiting)
        SetEvent(m_hReadyEvent);
    ReleaseMutex(m_hMutex);
    return WAIT_OBJECT_0;
}

void CMapGenerator::Ready(int readyCount, bool countStep) {
    SetFileReady(readyCount);
    if (countStep)
        ++m_stepCount;
}

void CMapGenerator::FreeConverters(int releaseCut) {
    if (m_pSteps)
        m_pSteps->Free(releaseCut != 0);
    m_finished = 1;
}

bool CMapGenerator::RunStep(GenerationStep step) {
    if (Aborted())
        return false;
    return m_pSteps->Run(*this, step) == 0 && !Aborted();
}

std::u16string MakeProgramTemporaryFolder() {
    std::u16string folder = GetTemporaryFolder();
    if (folder.empty()) {
        WCHAR base[MAX_PATH];
        WCHAR name[MAX_PATH];
        if (!GetTempPathW(MAX_PATH, base) || !GetTempFileNameW(base, u"tmp", 0, name))
            return {};
        // The name service creates a file of that name; the folder takes its place.
        DeleteFileW(name);
        folder = name;
    }
    while (!folder.empty() && folder.back() == u'\\')
        folder.pop_back();
    CreateFolderPath(folder.c_str(), 0);
    if (!LocalFileExists(folder.c_str()))
        return {};
    SetTemporaryFolder(folder);
    return folder;
}

bool CMapGenerator::MakeTemporaryFolder() {
    const std::u16string folder = MakeProgramTemporaryFolder();
    if (folder.empty())
        return false;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        m_tempPaths[slot] = folder + u"\\" + kTempFileNames[slot];
        SetFileAttributesW(m_tempPaths[slot].c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(m_tempPaths[slot].c_str());
    }
    return true;
}

int CMapGenerator::WriteNameDictionary(const DWORD* regionList, int regionCount, int cityMode) {
    std::vector<uint8_t> bytes;
    if (cityMode) {
        bytes = CityNameDictionary(m_cityChoice);
    } else {
        std::vector<DWORD> list(regionList, regionList + std::max(regionCount, 0));
        RegionTable table = m_regionTable;
        bytes = RegionNameDictionary(list, table);
    }
    return WriteWholeFile(TempPath(kSlotNameDictionary), bytes) ? 0 : 1;
}

int CMapGenerator::CopyDiscFile(LPCWSTR name, int slot) {
    std::u16string source = GetDiscInUse().sourceFolder + u"\\" + name;
    // A damaged source would give a device file no reader takes.
    const std::u16string fault = CopiedSourceFault(source.c_str(), name);
    if (!fault.empty())
        NoteFileFault(source, fault);
    else if (ReplaceWithCopy(source.c_str(), TempPath(slot)))
        return 0;
    MessageBoxW(nullptr, Format(u"Error copying %s\n", source.c_str()).c_str(), kProgramCaption,
                MB_OK | MB_ICONSTOP);
    return 1;
}

void CMapGenerator::AdoptDialogHandles(CGeneratingDlg* dialog) {
    if (!dialog)
        return;
    if (!m_hAbortEvent)
        m_hAbortEvent = dialog->m_hAbortEvent;
    if (!m_hReadyEvent)
        m_hReadyEvent = dialog->m_hReadyEvent;
    if (!m_hMutex)
        m_hMutex = dialog->m_hMutex;
}

void CMapGenerator::Generate(const DWORD* regionList, int regionCount, CGeneratingDlg* dialog,
                             int cityMode) {
    AdoptDialogHandles(dialog);
    if (!m_pSteps)
        m_pSteps = MapConverterSteps();
    m_success = 0;
    for (int slot = 0; slot < kSlotCount; ++slot)
        m_deviceNames[slot] = kDeviceFileNames[slot];

    WCHAR source[MAX_PATH];
    bool strabbrCopied = false;
    auto run = [&]() {
        if (FindDataDisc(0, 1, source, 0) != 0)
            return;
        if (!MakeTemporaryFolder())
            return;
        m_pSteps->Open(*this);
        if (Aborted())
            return;
        m_stepCount = 0;
        if (!RunStep(GenerationStep::Names))
            return;
        Ready(1);
        if (Aborted())
            return;
        if (CopyDiscFile(u"sttypes.raw", kSlotStreetTypes) != 0)
            return;
        Ready(2, false);
        if (Aborted())
            return;
        ++m_stepCount;
        if (!RunStep(GenerationStep::LinkInfo)) {
            if (m_hAbortEvent)
                SetEvent(m_hAbortEvent);
            return;
        }
        Ready(3);
        if (!RunStep(GenerationStep::Areas))
            return;
        Ready(4);
        if (!RunStep(GenerationStep::LinkIndex))
            return;
        Ready(5);
        if (!RunStep(GenerationStep::AreaBoundaries))
            return;
        Ready(6);
        if (!RunStep(GenerationStep::NamePairs))
            return;
        Ready(8, false);
        m_stepCount += 2;
        if (!RunStep(GenerationStep::StreetNameList))
            return;
        Ready(9);
        if (!RunStep(GenerationStep::OverviewMaps))
            return;
        Ready(10);
        Ready(11);
        if (!RunStep(GenerationStep::DetailedMaps))
            return;
        Ready(12);
        if (GetDiscInUse().disc == 1 &&
            FindDataDisc(CurrentDiscInformation().totalColumns - 2, 1, source, 0) != 0)
            return;
        if (!RunStep(GenerationStep::Polygons))
            return;
        Ready(13);
        if (!RunStep(GenerationStep::PointsOfInterest))
            return;
        Ready(14);
        if (Aborted())
            return;
        // A record that cannot be written is not worth the map: the target reads it
        // only to show what is installed.
        WriteNameDictionary(regionList, regionCount, cityMode);
        Ready(15);
        if (Aborted())
            return;
        if (CopyDiscFile(u"strabbr.bin", kSlotStreetAbbreviations) != 0)
            return;
        SetFileReady(16);
        m_stepCount = 16;
        strabbrCopied = true;
    };
    run();
    FreeConverters(1);
    m_success = strabbrCopied ? 1 : 0;
}

// ---- Threads ---------------------------------------------------------------------

namespace {

DWORD RunGeneration(LPVOID parameter, int cityMode) {
    auto* dialog = static_cast<CGeneratingDlg*>(parameter);
    g_cancelFlag = 0;
    g_internalErrorFlag = 0;
    ClearFileFault();
    if (dialog->m_pGenerator) {
        dialog->m_pGenerator->Generate(dialog->m_regionList.data(), dialog->m_regionCount, dialog,
                                       cityMode);
    }
    dialog->m_generationReturned = 1;
    return 0;
}

// The target's folder for the map, as the device or the PC names it.
std::u16string TargetRoot(CGeneratingDlg* dialog) {
    if (dialog->m_targetKind == kTargetStorageCard) {
        std::u16string card;
        if (dialog->m_pDeviceLink)
            card = dialog->m_pDeviceLink->GetStorageCardName(dialog->m_targetIndex);
        if (card.empty())
            card = u"\\Storage Card";
        return card + u"\\Zanter Wayscribe";
    }
    if (dialog->m_targetKind == kTargetPcDrive)
        return Format(u"%c:", u'A' + dialog->m_targetIndex) + u"\\Zanter Wayscribe";
    return u"\\Program Files\\Zanter\\Wayscribe";
}

// Below 0 when the free space cannot be taken.
double TargetFreeMegabytes(CGeneratingDlg* dialog, const std::u16string& folder) {
    IDeviceLink* link = dialog->m_pDeviceLink;
    if (dialog->m_targetKind == kTargetPcDrive) {
        ULARGE_INTEGER free{};
        if (!GetDiskFreeSpaceExW(folder.c_str(), &free, nullptr, nullptr))
            return -1.0;
        return static_cast<double>(free.QuadPart) / (1024.0 * 1024.0);
    }
    if (!link)
        return -1.0;
    if (dialog->m_targetKind == kTargetStorageCard)
        return link->GetStorageCardFree(dialog->m_targetIndex);
    const double store = link->GetMainMemoryFree();
    const double program = link->GetProgramMemoryFree();
    // Either figure not available leaves the sum not available.
    return store < 0.0 || program < 0.0 ? -1.0 : store + program;
}

// The target folder, on a PC drive or through the device link, as the map swap
// reaches it.
class TargetFolder : public formats::map_set::SwapFolder {
  public:
    TargetFolder(bool pc, IDeviceLink* link, std::u16string folder)
        : m_pc(pc), m_link(link), m_folder(std::move(folder)), m_platform(m_folder) {}
    bool Exists(const std::u16string& name) override {
        if (m_pc)
            return m_platform.Exists(name);
        return m_link && m_link->DeviceFileExists(DevicePath(name).c_str()) != 0;
    }
    bool Rename(const std::u16string& from, const std::u16string& to) override {
        if (m_pc)
            return m_platform.Rename(from, to);
        return m_link &&
               m_link->RenameDeviceFile(DevicePath(from).c_str(), DevicePath(to).c_str()) != 0;
    }
    bool Delete(const std::u16string& name) override {
        if (m_pc)
            return m_platform.Delete(name);
        if (!m_link)
            return false;
        m_link->DeleteDeviceFile(DevicePath(name).c_str());
        return !Exists(name);
    }

  private:
    std::string DevicePath(const std::u16string& name) const {
        return platform::WideToAnsi(m_folder + u"\\" + name);
    }
    bool m_pc;
    IDeviceLink* m_link;
    std::u16string m_folder;
    formats::map_set::PlatformSwapFolder m_platform;
};

// The copy thread's run. The new files arrive under staging names and replace the
// installed map only once all of them are there (formats/map_set.h), so that a run
// that fails or is cancelled leaves the installed map as it was; only a target
// without room for both loses the installed map first.
class CopyRun {
  public:
    explicit CopyRun(CGeneratingDlg* dialog)
        : m_dialog(dialog), m_generator(dialog->m_pGenerator), m_link(dialog->m_pDeviceLink) {}

    void Run();

  private:
    bool IsPc() const { return m_dialog->m_targetKind == kTargetPcDrive; }
    int FileCount() const {
        return std::clamp(m_dialog->m_fileCount, 0, CMapGenerator::kSlotCount);
    }
    const std::u16string& DeviceName(int slot) const { return m_generator->m_deviceNames[slot]; }

    int ReadyCount();
    // Waits until the slot's file is ready. False when the copying must stop.
    bool WaitForFile(int slot);
    // Once the disc is checked and the first file is ready: clears what a killed
    // run left and makes room when the target cannot hold both maps.
    void PrepareTarget();
    // Copies one file under its staging name, asking what to do when it fails.
    // False when the user chose Abort.
    bool CopyFile(int slot);
    // Renames the new set over the installed one. False when a rename failed and
    // the user gave up: what is left is finished or undone by RecoverTarget, now
    // or at the next run or the program's start.
    bool InstallStagedFiles();
    // Finishes a swap of the whole new set, or removes its staged files.
    void RecoverTarget();
    void ShowClosingMessage(bool cancelled, bool completed);

    CGeneratingDlg* m_dialog;
    CMapGenerator* m_generator;
    IDeviceLink* m_link;
    CTransferBuffer m_buffer;
    std::u16string m_target;
    std::unique_ptr<TargetFolder> m_targetFolder;
    bool m_prepared = false;
    bool m_oldMapPresent = false;
    bool m_oldMapRemoved = false;
    bool m_aborted = false;
    bool m_incomplete = false;  // a file was skipped
};

int CopyRun::ReadyCount() {
    MutexGuard guard(m_generator->m_hMutex);
    return m_generator->m_readyCount;
}

bool CopyRun::WaitForFile(int slot) {
    HANDLE mutex = m_generator->m_hMutex;
    bool waiting;
    {
        MutexGuard guard(mutex);
        waiting = slot >= m_generator->m_readyCount;
        m_generator->m_waiting = waiting ? 1 : 0;
    }
    if (!waiting)
        return true;
    m_dialog->SetOverallProgress(MSG_WAITING_TO_COPY.Get(), DeviceName(slot).c_str(), slot + 1, 0);
    HANDLE handles[2];
    DWORD handleCount = 0;
    int readyIndex = -1, abortIndex = -1;
    if (m_generator->m_hReadyEvent) {
        readyIndex = static_cast<int>(handleCount);
        handles[handleCount++] = m_generator->m_hReadyEvent;
    }
    if (m_dialog->m_hAbortEvent) {
        abortIndex = static_cast<int>(handleCount);
        handles[handleCount++] = m_dialog->m_hAbortEvent;
    }
    if (handleCount == 0)
        return false;
    for (int round = 0; round < kWaitRounds; ++round) {
        DWORD result = WaitForMultipleObjects(handleCount, handles, FALSE, kWaitRound);
        if (readyIndex >= 0 && result == WAIT_OBJECT_0 + static_cast<DWORD>(readyIndex)) {
            // The event is reset under the mutex, so a file made ready after this
            // look signals again; a signal left from an earlier file (the event is
            // set whenever the next file is ready) only makes us look again.
            MutexGuard guard(mutex);
            ResetEvent(m_generator->m_hReadyEvent);
            if (slot < m_generator->m_readyCount) {
                m_generator->m_waiting = 0;
                return true;
            }
            if (m_dialog->m_generationEnded.load())
                return false;
            continue;
        }
        if (abortIndex >= 0 && result == WAIT_OBJECT_0 + static_cast<DWORD>(abortIndex)) {
            m_aborted = true;
            return false;
        }
        if (result == WAIT_TIMEOUT) {
            // Read before the ready count: the generation makes its last file ready
            // before it ends, so an end seen here means the count below is final.
            const bool ended = m_dialog->m_generationEnded.load();
            // A file made ready without a signal this wait saw (the event was taken
            // before the generation had it) is not waited for any longer.
            if (slot < ReadyCount()) {
                MutexGuard guard(mutex);
                m_generator->m_waiting = 0;
                return true;
            }
            // The generation has ended without this file: it will never come.
            if (ended)
                return false;
            continue;
        }
        return false;
    }
    return false;
}

void CopyRun::PrepareTarget() {
    m_prepared = true;
    // What a killed run left: staged files are never a map, a committed swap is.
    RecoverTarget();
    for (int slot = 0; slot < CMapGenerator::kSlotCount; ++slot)
        m_oldMapPresent = m_oldMapPresent || m_targetFolder->Exists(DeviceName(slot));
    const double neededMegabytes =
        static_cast<double>(m_dialog->m_estimatedBytes) * 1.1 / (1024.0 * 1024.0);
    const double freeMegabytes = TargetFreeMegabytes(m_dialog, m_target);
    // Free space that cannot be taken is no reason to give up the installed map.
    if (!m_oldMapPresent || freeMegabytes < 0.0 || freeMegabytes >= neededMegabytes)
        return;
    for (int slot = 0; slot < CMapGenerator::kSlotCount; ++slot)
        m_targetFolder->Delete(DeviceName(slot));
    m_oldMapRemoved = true;
}

bool CopyRun::CopyFile(int slot) {
    const std::u16string& name = DeviceName(slot);
    const std::u16string staged = StagingName(name);
    for (;;) {
        m_dialog->SetOverallProgress(MSG_COPYING_FILE.Get(), name.c_str(), slot + 1, 1);
        int result;
        if (IsPc()) {
            result = CopyFileWithProgress(&m_buffer, m_generator->TempPath(slot), m_target.c_str(),
                                          staged.c_str(), m_dialog);
        } else if (m_link) {
            result = m_link->CopyFileToDevice(m_generator->TempPath(slot),
                                              platform::WideToAnsi(m_target).c_str(),
                                              platform::WideToAnsi(staged).c_str(), 0, m_dialog);
        } else {
            result = kCopyDestinationNotOpened;
        }
        if (result == kCopyDone || result == kCopyCancelled) {
            SetFileAttributesW(m_generator->TempPath(slot), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(m_generator->TempPath(slot));
            if (result == kCopyCancelled)
                m_incomplete = true;
            return true;
        }
        std::u16string text;
        switch (result) {
            case kCopySourceNotOpened:
                text = Format(MSG_ERR_OPEN_SOURCE.Get(), m_generator->TempPath(slot));
                break;
            case kCopyDestinationNotOpened:
                text = Format(MSG_ERR_OPEN_DEST.Get(), name.c_str());
                break;
            case kCopyWriteFailed: {
                text = Format(MSG_ERR_WRITE_DEST.Get(), name.c_str());
                // Only a measured shortage is one: a lost link cannot say (-1.0).
                const double free = TargetFreeMegabytes(m_dialog, m_target);
                if (free >= 0.0 && free < 2.0)
                    text += MSG_NO_ROOM.Get();
                break;
            }
            case kCopyWriteShort:
                text = MSG_WRITE_FUNCTION_ERROR.Get();
                break;
            case kCopyNoBuffer:
                text = MSG_ERR_ALLOC.Get();
                break;
            case kCopyReadFailed:
                text = Format(MSG_ERR_READ_SOURCE.Get(), m_generator->TempPath(slot));
                break;
            default:
                text = Format(MSG_ERR_COPY_FILE.Get(), name.c_str());
                break;
        }
        int answer = MessageBoxW(nullptr, text.c_str(), kProgramCaption,
                                 MB_ABORTRETRYIGNORE | MB_ICONSTOP | MB_SYSTEMMODAL);
        if (answer == IDRETRY)
            continue;
        if (answer == IDABORT) {
            m_aborted = true;
            return false;
        }
        // Ignored: the map goes on without this file, so it is not complete.
        m_incomplete = true;
        return true;
    }
}

bool CopyRun::InstallStagedFiles() {
    std::vector<const char16_t*> names;
    for (int slot = 0; slot < FileCount(); ++slot) {
        if (!DeviceName(slot).empty())
            names.push_back(DeviceName(slot).c_str());
    }
    for (;;) {
        std::u16string failed;
        if (formats::map_set::InstallStagedMap(*m_targetFolder, names, &failed))
            return true;
        int answer = MessageBoxW(nullptr, Format(MSG_ERR_COPY_FILE.Get(), failed.c_str()).c_str(),
                                 kProgramCaption,
                                 MB_RETRYCANCEL | MB_DEFBUTTON2 | MB_ICONSTOP | MB_SYSTEMMODAL);
        if (answer != IDRETRY)
            return false;
    }
}

void CopyRun::RecoverTarget() {
    std::vector<const char16_t*> names;
    for (int slot = 0; slot < CMapGenerator::kSlotCount; ++slot) {
        if (!DeviceName(slot).empty())
            names.push_back(DeviceName(slot).c_str());
    }
    formats::map_set::RecoverMapSwap(*m_targetFolder, names);
}

void CopyRun::ShowClosingMessage(bool cancelled, bool completed) {
    if (completed) {
        MessageBoxW(nullptr, MSG_INSTALL_COMPLETED.Get(), kProgramCaption,
                    MB_OK | MB_ICONINFORMATION);
    } else if (cancelled) {
        std::u16string text = MSG_INCOMPLETE_ERASED.Get();
        if (m_oldMapRemoved)
            text += std::u16string(u"\n\n") + MSG_OLD_MAP_REMOVED.Get();
        MessageBoxW(nullptr, text.c_str(), MSG_CANCEL.Get(), MB_OK | MB_ICONINFORMATION);
    } else if (m_oldMapRemoved) {
        MessageBoxW(nullptr, MSG_OLD_MAP_REMOVED.Get(), kProgramCaption,
                    MB_OK | MB_ICONEXCLAMATION);
    }
}

void CopyRun::Run() {
    std::u16string root = TargetRoot(m_dialog);
    std::u16string folder = root + u"\\";
    WriteRegistryString(HKEY_CURRENT_USER, kMapferryRegistryKey, kMapDataDirValue, folder.c_str());
    m_target = folder + u"Maps";
    m_targetFolder = std::make_unique<TargetFolder>(IsPc(), m_link, m_target);
    m_dialog->SetTargetFolder(m_target);
    if (IsPc()) {
        if (!LocalFileExists(m_target.c_str()))
            CreateFolderPath(m_target.c_str(), 0);
    } else if (m_link) {
        m_link->CreateDeviceFolder(platform::WideToAnsi(m_target).c_str());
    }
    {
        MutexGuard guard(m_generator->m_hMutex);
        m_generator->m_copiedCount = 0;
    }

    const int fileCount = FileCount();
    bool cancelled = false;
    int copied = 0;
    while (copied < fileCount) {
        if (m_dialog->m_cancelRequested.load()) {
            cancelled = true;
            break;
        }
        // A generation that ended early leaves a map that cannot be completed.
        if (m_dialog->m_generationEnded.load() && ReadyCount() < fileCount)
            break;
        m_dialog->SetFileProgress(0);
        if (!WaitForFile(copied) || m_aborted)
            break;
        if (!m_prepared)
            PrepareTarget();
        if (!CopyFile(copied))
            break;
        {
            MutexGuard guard(m_generator->m_hMutex);
            copied = ++m_generator->m_copiedCount;
        }
    }
    if (m_dialog->m_cancelRequested.load())
        cancelled = true;
    bool completed = false;
    if (copied >= fileCount && !cancelled && !m_aborted && !m_incomplete)
        completed = InstallStagedFiles();
    if (!completed && m_prepared)
        RecoverTarget();
    ShowClosingMessage(cancelled, completed);
    if (completed)
        m_dialog->m_completed = 1;
    if (cancelled)
        m_dialog->m_cancelRequested = 0;
    for (int slot = 0; slot < CMapGenerator::kSlotCount; ++slot) {
        if (!m_generator->m_tempPaths[slot].empty()) {
            SetFileAttributesW(m_generator->TempPath(slot), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(m_generator->TempPath(slot));
        }
    }
}

}  // namespace

DWORD GenerateRegionsThreadProc(LPVOID dialog) {
    return RunGeneration(dialog, 0);
}

DWORD GenerateCityThreadProc(LPVOID dialog) {
    return RunGeneration(dialog, 1);
}

DWORD CopyAsGeneratedThreadProc(LPVOID parameter) {
    auto* dialog = static_cast<CGeneratingDlg*>(parameter);
    if (!dialog->m_pGenerator)
        return 0;
    CopyRun(dialog).Run();
    return 0;
}
