// The desktop map installer: the host at the desktop's screen, then the application
// object, whose start runs the one property sheet. Exit status 0 after the sheet
// closes or a hand-over to a running installer; 2 for a bad test control.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "mapferry/convert/file_services.h"
#include "mapferry/convert/map_cut.h"
#include "mapferry/convert/region_data.h"
#include "mapferry/convert/size_tables.h"
#include "mapferry/ui/map_sheet.h"
#include "mapferry/ui/target_location.h"
#include "platform/host/host.h"
#include "platform/kernel/process.h"
#include "platform/kernel/roots.h"

namespace {

class CMapPrepApp : public CWinApp {
  public:
    CMapPrepApp() : CWinApp(u"mapferry") {}
    BOOL InitInstance() override;
};

BOOL CMapPrepApp::InitInstance() {
    WCHAR caption[256] = {};
    if (LoadStringW(AfxGetResourceHandle(), kCaptionStringId, caption, 256) == 0)
        MessageBoxW(nullptr, u"Error Loading String: IDS_STRING_PROPTSHT_CAPTION", u"", MB_OK);
    // A second start hands over to the running installer.
    if (HWND running = FindWindowW(nullptr, caption); running && caption[0]) {
        SetForegroundWindow(running);
        return FALSE;
    }

    const std::u16string folder = FindProgramFolder();
    for (int layer = 0; layer < 3; ++layer)
        RegionData(layer).Load(layer, folder.c_str());
    const auto& records = RegionData(0).Records();
    std::vector<DWORD> regionIndex(std::max<size_t>(records.size(), 64), 0);
    for (size_t i = 0; i < records.size(); ++i)
        regionIndex[i] = records[i].entryKey;
    SizeTables().Load(folder.c_str());
    ReadHelpOptions();

    // The link to the handheld lives until the start ends; its destruction ends the
    // link.
    CDeviceLinkHolder holder;
    {
        CMapPropertySheet sheet(caption, &regionIndex, &holder, 0, 0, 2);
        sheet.Init();
        m_pMainWnd = &sheet;
        sheet.DoModal();
        m_pMainWnd = nullptr;
    }
    const std::u16string temporary = GetTemporaryFolder();
    if (!temporary.empty())
        DeleteFolderTree(temporary.c_str());
    FreeMapCut();
    return FALSE;
}

void PrintUsage() {
    std::printf(
        "usage: mapferry.exe\n"
        "  The desktop map installer: choose regions, or a city and a radius, from the\n"
        "  map discs and install the map on a PC drive.\n"
        "\n"
        "The desktop is a desktop root: MAPFERRY_ROOT; scripts/make-desktop makes one\n"
        "  with the discs and the installed program.\n"
        "Test controls: PATHLUME_BACKEND=headless|sdl, PATHLUME_SCRIPT=FILE,\n"
        "  PATHLUME_SCREENSHOT=FILE.png (platform/host/host.h).\n");
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            PrintUsage();
            return 0;
        }
    }
    platform::SetCurrentSide(platform::Side::Desktop);
    platform::HostOptions options;
    options.width = 1024;
    options.height = 768;
    options.dpi = 96;
    options.title = "mapferry";
    platform::StartHost(options);

    CMapPrepApp app;
    std::u16string commandLine = platform::ProgramCommandLine();
    const int status =
        AfxWinMain(platform::ProgramInstance(), nullptr, commandLine.data(), SW_SHOW);
    platform::StopHost();
    ExitProcess(static_cast<UINT>(status));
}
