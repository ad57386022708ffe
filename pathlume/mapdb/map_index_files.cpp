#include "pathlume/mapdb/map_index_files.h"

#include <string>

#include "formats/link_info.h"
#include "formats/names.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/name_codes.h"
#include "pathlume/mapdb/street_types.h"
#include "platform/kernel/clock.h"

namespace {
constexpr int kLinkInfoTries = 20;
constexpr DWORD kLinkInfoRetryMs = 250;
constexpr DWORD kMappedRead = kDataFileRead | kDataFileMapped;

// Reopens "linkinfo.bin" until its magic reads again, then puts the position back.
bool ReopenLinkInfo() {
    CDataFile& file = g_linkInfo.File();
    // A file that never opened has nothing to come back to.
    if (file.Path()[0] == 0)
        return false;
    const std::u16string path(file.Path());
    const int position = file.IsOpen() ? file.Tell() : 0;
    for (int attempt = 0; attempt < kLinkInfoTries; ++attempt) {
        if (attempt > 0)
            Sleep(kLinkInfoRetryMs);
        if (file.Open(path.c_str(), kMappedRead) != 0 || file.Seek(0, 0) != 0 ||
            CheckDataFileHeader(file, formats::link_info::kLinkInfoMagic, nullptr) != 0)
            continue;
        file.Seek(position < 0 ? 0 : position, 0);
        return true;
    }
    return false;
}

// The "names.bin" last opened had a wrong magic: it stays closed.
bool g_namesRefused = false;
}  // namespace

bool AcceptNamesFile() {
    g_namesRefused =
        CheckDataFileHeader(g_namesFile, formats::names::kDeviceMagic, u"names.bin") != 0;
    if (g_namesRefused)
        g_namesFile.Close();
    return !g_namesRefused;
}

bool NamesFileRefused() {
    return g_namesRefused;
}

int OpenMapIndexFiles() {
    g_namesRefused = false;
    int damaged = 0;
    if (g_namesFile.OpenInFolder(g_dataFolder, u"names.bin", kMappedRead, nullptr) == 0 &&
        AcceptNamesFile() && CheckNamesFile(g_namesFile) != 0) {
        g_namesFile.Close();
        damaged = 1;
    }
    if (g_streetTypes.Load() != 0)
        damaged = 1;
    g_areaZones.Open(u"az.bin");
    g_linkInfo.Open();
    return damaged;
}

void CloseMapIndexFiles() {
    g_linkInfo.Close();
    g_areaZones.Free();
    g_streetTypes.Free();
    g_namesFile.Close();
}

int ReopenMapIndexFiles(CMapDatabase& database) {
    const bool linkInfoBack = ReopenLinkInfo();
    if (g_namesFile.Path()[0] != 0 && !g_namesRefused)
        ReopenFile(&g_namesFile, kMappedRead);
    g_areaZones.Open(u"az.bin");
    const int result = database.ReopenFiles();
    return linkInfoBack ? result : 1;
}
