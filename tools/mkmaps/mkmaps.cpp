#include "tools/mkmaps/mkmaps.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <ostream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "formats/map_container.h"
#include "formats/map_set.h"
#include "mapferry/convert/file_services.h"
#include "mapferry/convert/map_cut.h"
#include "mapferry/convert/map_generator.h"
#include "mapferry/convert/region_data.h"
#include "mapferry/convert/region_names.h"
#include "mapferry/convert/size_tables.h"
#include "platform/kernel/kernel.h"
#include "tools/mapstat/mapstat.h"

namespace mkmaps {
namespace {

namespace fs = std::filesystem;

constexpr char kDiscDrive = 'D';
constexpr char kTargetDrive = 'T';
// Private desktop roots are named "mkmaps-PID-..." in the system's temporary folder.
constexpr char kPrivatePrefix[] = "mkmaps-";

// What the exit handler of a fatal report needs: the run's generator, its private
// root, the disc, and the last problem the driver showed.
std::mutex g_runLock;
CMapGenerator* g_generator = nullptr;
fs::path g_disc;
std::string g_problem;
bool g_fatalShown = false;  // g_problem is the text of a fatal report

std::string Narrow(std::u16string_view text) {
    return platform::WideToUtf8(text);
}

std::u16string Wide(const fs::path& path) {
    return platform::Utf8ToWide(path.string());
}

// A dialog's text as one line.
std::string OneLine(std::string text) {
    std::string line;
    bool blank = false;
    for (char c : text) {
        if (c == '\n' || c == '\r' || c == '\t' || c == ' ') {
            blank = !line.empty();
            continue;
        }
        if (blank)
            line += ' ';
        blank = false;
        line += c;
    }
    return line;
}

// A path of the served disc ("D:\CD1\mapdata\x.raw") as the user knows it.
std::string HostName(std::u16string_view path, const fs::path& disc) {
    std::string text = Narrow(path);
    if (text.size() >= 3 && (text[0] == kDiscDrive || text[0] == kDiscDrive + 32) &&
        text[1] == ':' && text[2] == '\\') {
        std::string rest = text.substr(3);
        for (char& c : rest) {
            if (c == '\\')
                c = '/';
        }
        return (disc / rest).string();
    }
    return text;
}

// The file the converters noted as damaged, as "path: fault", or empty.
std::string NotedFault(const fs::path& disc) {
    const std::u16string noted = NotedFileFault();
    const size_t colon = noted.find(u": ");
    if (colon == std::u16string::npos)
        return {};
    return HostName(std::u16string_view(noted).substr(0, colon), disc) +
           Narrow(std::u16string_view(noted).substr(colon));
}

std::string LastProblem() {
    std::lock_guard<std::mutex> guard(g_runLock);
    return g_problem;
}

bool IsProblemBox(UINT type) {
    const UINT icon = type & MB_ICONMASK;
    return icon == MB_ICONSTOP || icon == MB_ICONEXCLAMATION;
}

// The disc files each device file is made from, in slot order.
constexpr const char* kSlotSources[CMapGenerator::kSlotCount] = {
    "names.raw",    "sttypes.raw",  "linkinfo.raz",
    "az.raw",       "lfoidx.raz",   "azbc.raw",
    "lsr.raw",      "lsrs.raw",     "stnl.raw and nameidx.bin",
    "mapdata1.raz", "mapdata1.raz", "mapdata21.raz to mapdata23.raz",
    "polygons.raz", "poi.raw",      "the chosen regions",
    "strabbr.bin"};

// The device file the run was making (the first one not yet ready) and its
// sources: "names.bin from names.raw".
std::string FileInMaking(CMapGenerator* generator) {
    if (!generator || !generator->m_hMutex ||
        WaitForSingleObject(generator->m_hMutex, 1000) != WAIT_OBJECT_0)
        return {};
    const int ready = generator->m_readyCount;
    ReleaseMutex(generator->m_hMutex);
    if (ready < 0 || ready >= CMapGenerator::kSlotCount)
        return {};
    return Narrow(kDeviceFileNames[ready]) + " from " + kSlotSources[ready];
}

// A fatal report of the driver ends the process from a converter thread: the
// tool says why as any failed run does; the process that waits for it removes
// what the run made.
void FailAtExit() {
    CMapGenerator* generator;
    {
        std::lock_guard<std::mutex> guard(g_runLock);
        generator = g_generator;
    }
    std::string problem = LastProblem();
    const std::string making = FileInMaking(generator);
    if (problem.empty())
        problem = "the generation ended";
    if (!making.empty() && problem.find(':') == std::string::npos)
        problem += " while making " + making;
    std::fflush(stdout);
    std::fprintf(stderr, "mkmaps: failed: %s\n", problem.c_str());
}

// The process id in a private root's name, or 0.
long RootOwner(const std::string& name) {
    if (name.rfind(kPrivatePrefix, 0) != 0)
        return 0;
    const std::string rest = name.substr(sizeof kPrivatePrefix - 1);
    size_t used = 0;
    long pid = 0;
    try {
        pid = std::stol(rest, &used);
    } catch (const std::exception&) {
        return 0;
    }
    return pid > 0 && used < rest.size() && rest[used] == '-' ? pid : 0;
}

// Removes the private roots whose owner `gone` says has ended.
template <typename Gone>
void RemoveRoots(const fs::path& temporary, Gone gone) {
    std::error_code error;
    std::vector<fs::path> roots;
    for (fs::directory_iterator it(temporary, error), end; !error && it != end;
         it.increment(error)) {
        const long pid = RootOwner(it->path().filename().string());
        if (pid != 0 && gone(pid))
            roots.push_back(it->path());
    }
    for (const fs::path& root : roots) {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
}

// Removes the private roots of runs whose process is gone (killed runs leave them).
void RemoveStaleRoots(const fs::path& temporary) {
    RemoveRoots(temporary, [](long pid) {
        if (pid == static_cast<long>(getpid()))
            return false;
        if (kill(static_cast<pid_t>(pid), 0) == -1)
            return errno == ESRCH;
        // A killed run whose process is not yet reaped is gone all the same.
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const size_t close = text.rfind(')');
        return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
    });
}

// Copies the checked files into the target under staging names and swaps them for
// the installed set once all are there. An empty text when that is done, else why
// not: the target then holds the installed set, or a committed swap that the next
// run finishes.
std::string Install(const fs::path& from, const fs::path& to) {
    for (const char16_t* name : kDeviceFileNames) {
        std::error_code error;
        fs::copy_file(from / Narrow(name), to / Narrow(StagingName(name)),
                      fs::copy_options::overwrite_existing, error);
        if (error)
            return "cannot copy " + Narrow(name) + " to " + to.string() + ": " + error.message();
    }
    formats::map_set::HostSwapFolder folder(to);
    std::u16string failed;
    if (!formats::map_set::InstallStagedMap(folder, kDeviceFileNames, &failed))
        return "cannot put " + Narrow(failed) + " in place in " + to.string();
    return {};
}

// Opens the files with the map database and walks every cell, as mapstat does.
// Empty when the program can use them, else what is wrong, naming the files of
// `shownAs`.
std::string CheckWithMapDatabase(const fs::path& folder, const fs::path& shownAs) {
    std::string problem;
    try {
        const mapstat::Report report = mapstat::Examine({folder});
        if (!report.Complete()) {
            for (const mapstat::LayerFigures& layer : report.layers) {
                if (problem.empty() && layer.cellsWalked != layer.cellsWithData) {
                    problem = layer.file + ": " +
                              std::to_string(layer.cellsWithData - layer.cellsWalked) + " of " +
                              std::to_string(layer.cellsWithData) +
                              " cells cannot be loaded by the map database";
                }
            }
            if (problem.empty() && !report.problems.empty())
                problem = report.problems.front();
            if (problem.empty())
                problem = "the map database cannot read every cell";
        }
    } catch (const std::exception& error) {
        problem = error.what();
    }
    if (problem.empty())
        return problem;
    const std::string from = (folder / "").string(), to = (shownAs / "").string();
    for (size_t at = problem.find(from); at != std::string::npos; at = problem.find(from, at))
        problem.replace(at, from.size(), to), at += to.size();
    return problem;
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
    // A swap that a killed run left half done is finished, or undone, first.
    formats::map_set::HostSwapFolder target(options.to);
    if (!formats::map_set::RecoverMapSwap(target))
        throw std::runtime_error("cannot finish the map swap a killed run left in " +
                                 options.to.string());
    // The driver's copy thread fills a private folder; the target gets the files
    // only once the map database has opened them there.
    const fs::path output = platform::DesktopRoot() / "output";
    std::error_code removed;
    fs::remove_all(output, removed);
    fs::create_directories(output);
    if (!platform::SetDrive('C', platform::DriveType::Fixed, platform::DesktopRoot() / "C") ||
        !platform::SetDrive(kDiscDrive, platform::DriveType::CdRom, disc))
        throw std::runtime_error("cannot serve the disc");
    ServeTarget(output);
    {
        std::lock_guard<std::mutex> guard(g_runLock);
        g_disc = disc;
        g_problem.clear();
        g_fatalShown = false;
    }

    int prompts = 0;
    std::string printedFault;
    platform::SetMessageBoxHandler(
        [&](HWND, const std::u16string& text, const std::u16string& caption, UINT type) {
            const std::string line = OneLine(Narrow(text));
            bool afterFatal;
            {
                std::lock_guard<std::mutex> guard(g_runLock);
                afterFatal = g_fatalShown;
            }
            // After a fatal report the copy thread may still complain of the files
            // the report deleted: the report's own text is the cause.
            if (afterFatal)
                return (type & MB_TYPEMASK) == MB_ABORTRETRYIGNORE
                           ? IDABORT
                           : platform::DefaultMessageBoxAnswer(type);
            err << Narrow(caption) << ": " << line << "\n";
            // The texts meant for dialogs name no file: the file comes on its own line.
            const std::string fault = NotedFault(disc);
            if (!fault.empty() && fault != printedFault) {
                err << "mkmaps: " << fault << "\n";
                printedFault = fault;
            }
            err << std::flush;
            if (IsProblemBox(type)) {
                std::lock_guard<std::mutex> guard(g_runLock);
                g_problem = fault.empty() ? line : fault + " (" + line + ")";
                g_fatalShown = g_internalErrorFlag.load() != 0;
            }
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
    const DiscInformation information = LoadDiscInformation(programFolder.c_str());
    if (information.dataVersion == 0)
        throw std::runtime_error("the disc folder has no usable cdinfo.ini and mh.ini");
    for (int layer = 0; layer < kCutLayers; ++layer) {
        // The overview and detailed region data must lie within their grids.
        int32_t columns = formats::source_disc::kGridLimit, rows = columns;
        if (layer <= formats::source_disc::kLayerDetailed) {
            const formats::map_container::GridHeader grid =
                formats::map_container::DecodeHeader(information.mapHeaders[layer].data());
            columns = grid.columns;
            rows = grid.rows;
        }
        if (RegionData(layer).Load(layer, programFolder.c_str(), columns, rows) != 0) {
            throw std::runtime_error(
                (disc / Narrow(formats::source_disc::kRegionDataFiles[layer])).string() +
                ": missing or damaged (a count beyond the file, or a span outside the map "
                "grid)");
        }
    }
    std::vector<DWORD> words = ChoiceWords(options.regions);
    const CMapCut* cut = BuildSelection(words.data(), static_cast<int>(words.size()), 0);
    if (!cut)
        throw std::runtime_error("the regions cannot be cut");

    CMapGenerator generator;
    RegionTable table = ProgramRegionTable();
    ChooseRegions(&table, words);
    generator.SetRegionTable(table);
    ConsoleDialog dialog(output, out);
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
    struct RunInProgress {
        explicit RunInProgress(CMapGenerator* generator) {
            std::lock_guard<std::mutex> guard(g_runLock);
            g_generator = generator;
        }
        ~RunInProgress() {
            std::lock_guard<std::mutex> guard(g_runLock);
            g_generator = nullptr;
        }
    } inProgress(&generator);

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
        uintmax_t size = fs::file_size(output / Narrow(name), error);
        if (!error) {
            ++figures.files;
            figures.bytes += size;
        }
    }
    figures.completed = dialog.m_completed.load() != 0 && generator.m_success.load() != 0;
    if (!figures.completed) {
        figures.problem = LastProblem();
        if (figures.problem.empty())
            figures.problem = "the generation ended before the sixteen files were made";
    } else {
        figures.problem = CheckWithMapDatabase(output, options.to);
        figures.completed = figures.problem.empty();
    }
    if (figures.completed) {
        figures.problem = Install(output, options.to);
        figures.completed = figures.problem.empty();
    }
    // Staged files of a swap never committed are no map; a committed one is finished.
    formats::map_set::RecoverMapSwap(target);
    fs::remove_all(output, removed);
    figures.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return figures;
}

PrivateDesktop::PrivateDesktop() : m_previous(platform::DesktopRoot()) {
    std::error_code error;
    const fs::path temporary = fs::temp_directory_path(error);
    RemoveStaleRoots(temporary);
    m_root = temporary / (kPrivatePrefix + std::to_string(getpid()) + "-" +
                          std::to_string(reinterpret_cast<uintptr_t>(this)));
    fs::remove_all(m_root, error);
    platform::SetDesktopRoot(m_root);
}

PrivateDesktop::~PrivateDesktop() {
    platform::SetDesktopRoot(m_previous);
    std::error_code error;
    fs::remove_all(m_root, error);
}

void EndFatalReportsAsFailures() {
    platform::AddExitHandler(FailAtExit);
}

int RunGuarded(const std::function<int()>& run) {
    std::fflush(nullptr);
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0)
        return run();
    if (child == 0) {
        // The run ends with the tool: a killed tool leaves no run behind it.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(1);
        const int status = run();
        std::fflush(nullptr);
        _exit(status);
    }
    // Ctrl-C reaches the run too; the tool stays to clear up after it.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous {};
    sigaction(SIGINT, &ignore, &previous);
    int raw = 0;
    while (waitpid(child, &raw, 0) == -1 && errno == EINTR) {
    }
    sigaction(SIGINT, &previous, nullptr);
    std::error_code error;
    RemoveRoots(fs::temp_directory_path(error), [child](long pid) { return pid == child; });
    if (WIFEXITED(raw)) {
        const int status = WEXITSTATUS(raw);
        // A fatal report ends with 255 after its line; the tool's failures are 1.
        return status == 0 || status == 2 ? status : 1;
    }
    std::fflush(stdout);
    std::fprintf(stderr, "mkmaps: failed: the run was ended by signal %d\n",
                 WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
    return 1;
}

std::string FiguresLine(const Figures& figures) {
    char line[160];
    std::snprintf(line, sizeof line, "%s: %d files, %llu bytes, %.2f s",
                  figures.completed ? "generated" : "failed", figures.files,
                  static_cast<unsigned long long>(figures.bytes), figures.seconds);
    return line;
}

}  // namespace mkmaps
