// One map generation: find the data disc, run the converters in their fixed order so
// that the sixteen device files appear one by one in a temporary folder, and hand
// each to the copy thread as soon as it is complete, which copies it to the target
// while the next is converted.
#pragma once

#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "mapferry/convert/installer_services.h"
#include "platform/kernel/kernel.h"

// The converters' work, one step per run of a converter, in generation order. A
// step makes the device files of its slots in the temporary folder.
enum class GenerationStep {
    Names,            // slot 0 "names.bin" (after the area table)
    StreetTypes,      // slot 1 "sttypes.bin"
    LinkInfo,         // slot 2 "linkinfo.bin"
    Areas,            // slot 3 "az.bin"
    LinkIndex,        // slot 4 "lfoidx.bin"
    AreaBoundaries,   // slot 5 "azbc.bin"
    NamePairs,        // slots 6 and 7 "lsr.bin", "lsrs.bin"
    StreetNameList,   // slot 8 "stnl.bin"
    OverviewMaps,     // slots 9 and 10 "mapdata1.biz", "mapdatat.biz"
    DetailedMaps,     // slot 11 "mapdata2.biz"
    Polygons,         // slot 12 "polygons.biz"
    PointsOfInterest  // slot 13 "poi.bin"
};

// The converters of a run. Each call returns 0 on success. A converter that meets
// bad data ends the process through the internal-error reports; one that sees the
// cancel flag returns without harm. Tests replace them to drive the threads.
class CGenerationSteps {
  public:
    virtual ~CGenerationSteps() = default;
    // Before the first step: opens the sources. Non-zero means they cannot be
    // opened ("couldn't open maps" has been shown).
    virtual int Open(CMapGenerator& generator) = 0;
    virtual int Run(CMapGenerator& generator, GenerationStep step) = 0;
    // Frees every converter; releaseCut also frees the area cut.
    virtual void Free(bool releaseCut) = 0;
};

// The real converters over the disc in use and the program's area cut.
CGenerationSteps* MapConverterSteps();

// What a city-mode run records in "namdict.bin".
struct CityChoice {
    std::u16string region;
    std::u16string city;
    std::u16string radius;  // as typed, at most 9 characters ("150 (241)")
};

class CMapGenerator {
  public:
    static constexpr int kSlotCount = kDeviceFileCount;
    static constexpr int kNameLength = MAX_PATH;

    // No file opened; step count -1.
    CMapGenerator();
    ~CMapGenerator();
    CMapGenerator(const CMapGenerator&) = delete;
    CMapGenerator& operator=(const CMapGenerator&) = delete;

    // The whole run; its outcome is the success flag, the step count and the files
    // made. The converters default to MapConverterSteps().
    void Generate(const DWORD* regionList, int regionCount, CGeneratingDlg* dialog, int cityMode);
    // Takes the dialog's abort and ready events and mutex for those the generator has
    // not got. The copy thread reads them: a caller that starts the generation and
    // copy threads together calls this before either starts (Generate does it too).
    void AdoptDialogHandles(CGeneratingDlg* dialog);
    // 0 when there is no mutex, else WAIT_OBJECT_0 once the ready count is set.
    DWORD SetFileReady(int readyCount);
    void FreeConverters(int releaseCut);

    void SetSteps(CGenerationSteps* steps) { m_pSteps = steps; }
    // The region page's table of names (region mode) and the city choice (city
    // mode) that "namdict.bin" records.
    void SetRegionTable(RegionTable table) { m_regionTable = std::move(table); }
    void SetCityChoice(CityChoice choice) { m_cityChoice = std::move(choice); }

    // Fields the dialog and the copy thread read.
    std::atomic<uint8_t> m_finished{0};
    HANDLE m_hAbortEvent = nullptr;
    std::atomic<int> m_stepCount{-1};
    std::atomic<int> m_success{0};
    HANDLE m_hReadyEvent = nullptr;
    HANDLE m_hMutex = nullptr;
    // Under m_hMutex.
    int m_copiedCount = 0;
    int m_readyCount = 0;
    uint8_t m_waiting = 0;

    std::array<std::u16string, kSlotCount> m_deviceNames;
    std::array<std::u16string, kSlotCount> m_tempPaths;

    // True once the abort event is signalled or the cancel flag set.
    bool Aborted() const;
    // The temporary path of a slot.
    LPCWSTR TempPath(int slot) const { return m_tempPaths[slot].c_str(); }

  private:
    bool MakeTemporaryFolder();
    int WriteNameDictionary(const DWORD* regionList, int regionCount, int cityMode);
    int CopyDiscFile(LPCWSTR name, int slot);
    bool RunStep(GenerationStep step);
    void Ready(int readyCount, bool countStep = true);

    CGenerationSteps* m_pSteps = nullptr;
    RegionTable m_regionTable;
    CityChoice m_cityChoice;
};

// The program's temporary folder, made on first use (GetTemporaryFolder afterwards);
// empty when none can be had.
std::u16string MakeProgramTemporaryFolder();

// The device files in slot order.
extern const std::array<const char16_t*, CMapGenerator::kSlotCount> kDeviceFileNames;
// The name a device file has on the target until the whole new set has arrived
// and replaces the installed one.
std::u16string StagingName(std::u16string_view deviceName);

// Searches the CD-ROM drives for the data disc holding split columns
// [firstColumn, firstColumn + columnCount) (any disc of the right version with
// anyDisc). 0 found: buffer holds the disc's "mapdata" folder, which becomes the
// disc in use; 1 a disc of another version or a missing file; 2 the user
// cancelled the insert prompt (buffer empty). buffer holds MAX_PATH characters.
int FindDataDisc(int firstColumn, int columnCount, LPWSTR buffer, int anyDisc);
// 0 when every source file of the disc in use is in the folder, else 1 after "Map
// data file %s not found".
int CheckDataFile(LPCWSTR folder);

// "namdict.bin", the record of what was installed.
std::vector<uint8_t> RegionNameDictionary(const std::vector<DWORD>& regionList,
                                          const RegionTable& table);
std::vector<uint8_t> CityNameDictionary(const CityChoice& choice);

// The threads the generating dialog starts. Each clears the cancel and error flags,
// runs its dialog's generator in region or city mode and sets the dialog's
// generation-returned flag; 0.
DWORD GenerateRegionsThreadProc(LPVOID dialog);
DWORD GenerateCityThreadProc(LPVOID dialog);
// Copies each device file to the target as it becomes ready; 0. Nothing on the
// target changes before the disc is checked and the first file is ready; the new
// files replace the installed map only once all have arrived, unless the target
// has no room for both (free space below the estimated size plus 10 %), when the
// installed map is removed first.
DWORD CopyAsGeneratedThreadProc(LPVOID dialog);
