// The real converters of a generation run, in the driver's order, and the tables
// they hand on to each other.
#include <cstring>
#include <memory>

#include "formats/map_container.h"
#include "mapferry/convert/area_files.h"
#include "mapferry/convert/file_services.h"
#include "mapferry/convert/link_info_files.h"
#include "mapferry/convert/map_container_files.h"
#include "mapferry/convert/map_cut.h"
#include "mapferry/convert/map_generator.h"
#include "mapferry/convert/name_files.h"
#include "mapferry/convert/poi_file.h"
#include "mapferry/convert/polygon_file.h"

namespace {

namespace mc = formats::map_container;

constexpr const char16_t* kCaption = u"ERROR";

std::u16string SourceFolder() {
    return GetDiscInUse().sourceFolder;
}

// The disc's two map headers against those of "mh.ini", word by word. A difference
// is shown once; the run goes on.
void CheckMapHeaders(const CMapDataConverter& maps) {
    DiscInformation info = CurrentDiscInformation();
    for (int part = 0; part < kMapPartCount; ++part) {
        uint8_t header[formats::source_disc::kMapHeaderSize];
        mc::EncodeHeader(maps.SourceHeader(part), header);
        if (std::memcmp(header, info.mapHeaders[part].data(), sizeof header) != 0) {
            MessageBoxW(nullptr, u"ERROR: Mismatched map data", kCaption,
                        MB_OK | MB_ICONSTOP | MB_SYSTEMMODAL);
            return;
        }
    }
}

class MapConverterStepsImpl : public CGenerationSteps {
  public:
    int Open(CMapGenerator& generator) override;
    int Run(CMapGenerator& generator, GenerationStep step) override;
    void Free(bool releaseCut) override;

  private:
    int Names();
    int LinkInfo();
    int Polygons();
    int PointsOfInterest();

    template <typename Converter>
    Converter* Watched(Converter* converter) {
        converter->SetCancelFlag(&g_cancelFlag);
        return converter;
    }

    const CMapCut* m_cut = nullptr;
    std::u16string m_temporary;
    std::unique_ptr<CMapDataConverter> m_maps;
    std::unique_ptr<CAzConverter> m_areas;
    std::unique_ptr<CStnlConverter> m_streetNames;
    std::unique_ptr<CNamesConverter> m_names;
    std::unique_ptr<CLsrConverter> m_namePairs;
    std::unique_ptr<CLinkInfoConverter> m_linkInfo;
    // Filled by the link information converter before the map containers read it.
    LinkInfoOffsetTable m_linkInfoOffsets;
};

int MapConverterStepsImpl::Open(CMapGenerator&) {
    m_cut = GetMapCut();
    m_temporary = GetTemporaryFolder();
    int result = 1;
    if (m_cut) {
        m_maps = std::make_unique<CMapDataConverter>(m_cut, &m_linkInfoOffsets);
        m_maps->SetDiscFinder([](int firstColumn, std::u16string* folder) {
            WCHAR buffer[MAX_PATH];
            int found = FindDataDisc(firstColumn, 1, buffer, 0);
            if (found == 0)
                *folder = buffer;
            return found;
        });
        result = m_maps->Open(SourceFolder().c_str(), m_temporary.c_str());
    }
    if (result != 0) {
        MessageBoxW(nullptr, u"couldn't open maps", kCaption, MB_OK | MB_ICONSTOP);
        return result;
    }
    CheckMapHeaders(*m_maps);
    return 0;
}

int MapConverterStepsImpl::Names() {
    std::u16string source = SourceFolder();
    m_areas = std::make_unique<CAzConverter>(*m_cut);
    if (m_areas->Build(source.c_str(), m_temporary.c_str()) != 0)
        return 1;
    m_streetNames.reset(Watched(new CStnlConverter(*m_cut)));
    m_streetNames->ReadNameIndex(source.c_str());
    m_names.reset(Watched(new CNamesConverter()));
    m_names->ReadSource(source.c_str());
    return m_names->Write(source.c_str(), m_temporary.c_str(), m_streetNames->UsedNames());
}

int MapConverterStepsImpl::LinkInfo() {
    std::u16string source = SourceFolder();
    m_namePairs.reset(Watched(new CLsrConverter()));
    m_namePairs->ReadSource(source.c_str());
    SourceGrids grids;
    if (!ReadSourceGrids(source.c_str(), &grids))
        return 1;
    m_linkInfo.reset(Watched(new CLinkInfoConverter(*m_cut)));
    m_linkInfo->ReadSource(source.c_str());
    int result = m_linkInfo->Write(source.c_str(), m_temporary.c_str(), m_names->NameOffsets(),
                                   m_areas->PlaceOffsets(), grids, *m_namePairs);
    if (result == 0)
        m_linkInfoOffsets = m_linkInfo->RecordOffsets();
    return result;
}

int MapConverterStepsImpl::Polygons() {
    std::u16string source = SourceFolder();
    CPolygonsConverter polygons(*m_cut);
    if (polygons.ReadSource(source.c_str()) != 0)
        return 1;
    return polygons.Write(source.c_str(), m_temporary.c_str());
}

int MapConverterStepsImpl::PointsOfInterest() {
    std::u16string source = SourceFolder();
    CPoiConverter points(*m_cut, m_maps->SourceHeader(kMapPartDetailed));
    if (points.OpenSource(source.c_str()) != 0)
        return 1;
    PoiRenumbering tables{&m_linkInfoOffsets, &m_areas->PlaceOffsets(),
                          &m_areas->AreaFirstPlaces()};
    return points.Convert(source.c_str(), m_temporary.c_str(), tables);
}

int MapConverterStepsImpl::Run(CMapGenerator&, GenerationStep step) {
    if (!m_maps)
        return 1;
    std::u16string source = SourceFolder();
    const LPCWSTR src = source.c_str();
    const LPCWSTR tmp = m_temporary.c_str();
    switch (step) {
        case GenerationStep::Names:
            return Names();
        case GenerationStep::StreetTypes:
            return 1;  // the driver copies "sttypes.raw" itself
        case GenerationStep::LinkInfo:
            return LinkInfo();
        case GenerationStep::Areas:
            return m_areas->WriteAz(tmp, m_linkInfo->UsedPlaces());
        case GenerationStep::LinkIndex: {
            CLfoIdxConverter index(*m_cut);
            index.SetCancelFlag(&g_cancelFlag);
            index.ReadSource(src);
            return index.Write(src, tmp, m_linkInfoOffsets, m_names->NameOffsets());
        }
        case GenerationStep::AreaBoundaries:
            return m_areas->WriteAzbc(src, tmp, m_linkInfo->UsedPlaces(), m_names->NameOffsets());
        case GenerationStep::NamePairs:
            return m_namePairs->Write(tmp);
        case GenerationStep::StreetNameList:
            return m_streetNames->Write(src, tmp, m_names->NameOffsets(), m_names->NameSizes(),
                                        m_linkInfo->KeptNames());
        case GenerationStep::OverviewMaps:
            return m_maps->WritePart(tmp, kMapPartOverview);
        case GenerationStep::DetailedMaps:
            return m_maps->WritePart(tmp, kMapPartDetailed);
        case GenerationStep::Polygons:
            return Polygons();
        case GenerationStep::PointsOfInterest:
            return PointsOfInterest();
    }
    return 1;
}

void MapConverterStepsImpl::Free(bool releaseCut) {
    m_maps.reset();
    m_areas.reset();
    m_streetNames.reset();
    m_names.reset();
    m_namePairs.reset();
    m_linkInfo.reset();
    m_linkInfoOffsets.clear();
    m_cut = nullptr;
    if (releaseCut)
        FreeMapCut();
}

}  // namespace

CGenerationSteps* MapConverterSteps() {
    static MapConverterStepsImpl steps;
    return &steps;
}
