#include "tools/mkmaps/mkmaps.h"

#include <chrono>
#include <cstdio>
#include <mutex>
#include <ostream>
#include <set>
#include <sstream>
#include <stdexcept>

#include "mapferry/convert/file_services.h"
#include "mapferry/convert/map_cut.h"
#include "mapferry/convert/map_generator.h"
#include "mapferry/convert/region_data.h"
#include "mapferry/convert/region_names.h"
#include "mapferry/convert/size_tables.h"
#include "platform/kernel/kernel.h"

namespace mkmaps {
namespace {

namespace fs = std::filesystem;

constexpr char kDiscDrive = 'D';
constexpr char kTargetDrive = 'T';

std::string Narrow(std::u16string_view text) {
    return platform::WideToUtf8(text);
}

std::u16string Wide(const fs::path& path) {
    return platform::Utf8ToWide(path.string());
}

// The generating dialog of a console: prints each file once it has been copied.
class ConsoleDialog : public CGeneratingDlg {
  public:
    ConsoleDialog(fs::path to, std::ostream& out) : m_to(std::move(to)), m_out(out) {}

    void SetOverallProgress(LPCWSTR caption, LPCWSTR fileName, int index, int stepFlag) override {
        CGeneratingDlg::SetOverallProgress(caption, fileName, index, stepFlag);
        if (stepFlag == 1 && fileName)
            Next(fileName);
    }
    // Prints the file being copied, once its copy is over.
    void Next(std::u16string_view name) {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_current.empty()) {
            // The file waits under its staging name until the whole set is there.
            std::error_code error;
            uintmax_t size = fs::file_size(m_to / Narrow(StagingName(m_current)), error);
            if (error)
                size = fs::file_size(m_to / Narrow(m_current), error);
            if (!error)
                m_out << "  " << Narrow(m_current) << "  " << size << " bytes\n" << std::flush;
        }
        m_current = name;
    }

  private:
    fs::path m_to;
    std::ostream& m_out;
    std::mutex m_lock;
    std::u16string m_current;
};

// The regions of the disc's region table, each with every sub-area chosen.
std::vector<DWORD> ChoiceWords(const std::vector<int>& wanted) {
    std::set<int> onDisc;
    for (const RegionDataRecord& record : RegionData(0).Records())
        onDisc.insert(static_cast<int>(record.entryKey >> 16));
    std::vector<int> regions = wanted;
    if (regions.empty()) {
        for (int region : onDisc) {
            if (region != kPrebuiltRegionNumber)
                regions.push_back(region);
        }
    }
    std::vector<DWORD> words;
    for (int region : regions) {
        if (!onDisc.count(region))
            throw std::runtime_error("region " + std::to_string(region) + " is not on the disc");
        DWORD mask = 1;
        for (const InstallerState& state : InstallerStates()) {
            if (state.region == region)
                mask = state.subAreaMask;
        }
        words.push_back(static_cast<DWORD>(region) << 16 | mask);
    }
    if (words.empty())
        throw std::runtime_error("the disc has no region to generate");
    return words;
}

// Serves the target folder as "T:\Zanter Wayscribe\Maps", where the copy thread
// puts the files of a PC-drive target.
void ServeTarget(const fs::path& to) {
    fs::path drive = platform::DesktopRoot() / "mkmaps-target";
    fs::path maps = drive / "Zanter Wayscribe" / "Maps";
    std::error_code error;
    fs::remove(maps, error);
    fs::create_directories(maps.parent_path());
    fs::create_directory_symlink(fs::absolute(to), maps);
    if (!platform::SetDrive(kTargetDrive, platform::DriveType::Fixed, drive))
        throw std::runtime_error("cannot serve the target folder");
}

}  // namespace

std::vector<int> ParseRegionList(const std::string& text) {
    std::vector<int> regions;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) {
        size_t used = 0;
        int region = -1;
        try {
            region = std::stoi(item, &used);
        } catch (const std::exception&) {
            used = 0;
        }
        if (item.empty() || used != item.size() || region < 0 || region >= kInstallerRegionCount)
            throw std::invalid_argument("\"" + item + "\" is not a region number from 0 to 63");
        regions.push_back(region);
    }
    if (regions.empty() || text.back() == ',')
        throw std::invalid_argument("no region given after \"" + text + "\"");
    return regions;
}

Figures Generate(const Options& options, std::ostream& out, std::ostream& err) {
    auto start = std::chrono::steady_clock::now();
    platform::SetCurrentSide(platform::Side::Desktop);
    fs::path disc = fs::absolute(options.disc);
    fs::create_directories(options.to);
    if (!platform::SetDrive('C', platform::DriveType::Fixed, platform::DesktopRoot() / "C") ||
        !platform::SetDrive(kDiscDrive, platform::DriveType::CdRom, disc))
        throw std::runtime_error("cannot serve the disc");
    ServeTarget(options.to);

    int prompts = 0;
    platform::SetMessageBoxHandler(
        [&](HWND, const std::u16string& text, const std::u16string& caption, UINT type) {
            err << Narrow(caption) << ": " << Narrow(text) << "\n" << std::flush;
            switch (type & MB_TYPEMASK) {
                case MB_OKCANCEL:
                    // The discs are all there: a prompt that comes back means a disc is bad.
                    if (text.rfind(u"Please insert", 0) == 0)
                        return prompts++ == 0 ? IDOK : IDCANCEL;
                    return IDOK;
                case MB_ABORTRETRYIGNORE:
                    return IDABORT;
                default:
                    return platform::DefaultMessageBoxAnswer(type);
            }
        });
    struct RestoreBoxes {
        ~RestoreBoxes() { platform::SetMessageBoxHandler({}); }
    } restoreBoxes;

    std::u16string programFolder = Wide(disc);
    if (LoadDiscInformation(programFolder.c_str()).dataVersion == 0)
        throw std::runtime_error("the disc folder has no usable cdinfo.ini and mh.ini");
    for (int layer = 0; layer < kCutLayers; ++layer) {
        if (RegionData(layer).Load(layer, programFolder.c_str()) != 0)
            throw std::runtime_error("the disc folder's region tables do not load");
    }
    std::vector<DWORD> words = ChoiceWords(options.regions);
    const CMapCut* cut = BuildSelection(words.data(), static_cast<int>(words.size()), 0);
    if (!cut)
        throw std::runtime_error("the regions cannot be cut");

    CMapGenerator generator;
    RegionTable table = ProgramRegionTable();
    ChooseRegions(&table, words);
    generator.SetRegionTable(table);
    ConsoleDialog dialog(options.to, out);
    dialog.m_pGenerator = &generator;
    dialog.m_regionList = words;
    dialog.m_regionCount = static_cast<int>(words.size());
    dialog.m_targetKind = kTargetPcDrive;
    dialog.m_targetIndex = kTargetDrive - 'A';
    // Without size tables the size is not known, and the installed map is kept
    // until the new one has arrived.
    if (SizeTables().Load(programFolder.c_str()) == CSizeTables::kLoaded) {
        dialog.m_estimatedBytes =
            SizeTables().SumSelection(*cut, 0, words.data(), static_cast<int>(words.size()));
    }
    SetTemporaryFolder(u"");
    // The copy thread may wait before the generation thread has begun.
    generator.AdoptDialogHandles(&dialog);

    HANDLE generation =
        CreateThread(nullptr, 0, GenerateRegionsThreadProc, &dialog, CREATE_SUSPENDED, nullptr);
    HANDLE copy =
        CreateThread(nullptr, 0, CopyAsGeneratedThreadProc, &dialog, CREATE_SUSPENDED, nullptr);
    if (!generation || !copy)
        throw std::runtime_error("cannot start the generation threads");
    ResumeThread(copy);
    ResumeThread(generation);
    WaitForSingleObject(generation, INFINITE);
    dialog.m_generationEnded = 1;
    SetEvent(dialog.m_hReadyEvent);  // a copy thread waiting for a file that will not come
    WaitForSingleObject(copy, INFINITE);
    CloseHandle(generation);
    CloseHandle(copy);
    dialog.Next(u"");

    std::u16string temporary = GetTemporaryFolder();
    if (!temporary.empty())
        DeleteFolderTree(temporary.c_str());
    SetTemporaryFolder(u"");
    FreeMapCut();

    Figures figures;
    for (const char16_t* name : kDeviceFileNames) {
        std::error_code error;
        uintmax_t size = fs::file_size(options.to / Narrow(name), error);
        if (!error) {
            ++figures.files;
            figures.bytes += size;
        }
    }
    figures.completed = dialog.m_completed.load() != 0 && generator.m_success.load() != 0;
    figures.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return figures;
}

PrivateDesktop::PrivateDesktop() : m_previous(platform::DesktopRoot()) {
    std::error_code error;
    m_root =
        fs::temp_directory_path(error) / ("mkmaps-" + std::to_string(GetCurrentProcessId()) + "-" +
                                          std::to_string(reinterpret_cast<uintptr_t>(this)));
    fs::remove_all(m_root, error);
    platform::SetDesktopRoot(m_root);
}

PrivateDesktop::~PrivateDesktop() {
    platform::SetDesktopRoot(m_previous);
    std::error_code error;
    fs::remove_all(m_root, error);
}

std::string FiguresLine(const Figures& figures) {
    char line[160];
    std::snprintf(line, sizeof line, "%s: %d files, %llu bytes, %.2f s",
                  figures.completed ? "generated" : "failed", figures.files,
                  static_cast<unsigned long long>(figures.bytes), figures.seconds);
    return line;
}

}  // namespace mkmaps
