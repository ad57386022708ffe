#include "tools/discmaker/poi_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>

#include "formats/poi.h"
#include "platform/afx/afx_file.h"
#include "platform/kernel/paths.h"
#include "tools/discmaker/names_writer.h"

namespace discmaker {

namespace poi = formats::poi;
namespace container = formats::map_container;

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error("points of interest: " + what);
}

// A point's place: its own city, else the area of its road on its side, else the
// other side. The converter drops a point without a place (its area is unknown).
int32_t PlaceOf(const Network& network, const AreaTables& areas, const Poi& point) {
    int32_t place = point.city == kNone ? -1 : areas.PlaceValue(point.city);
    if (place < 0 && point.link < network.links.size()) {
        const Link& link = network.links[point.link];
        const uint32_t near = point.rightSide ? link.rightArea : link.leftArea;
        const uint32_t far = point.rightSide ? link.leftArea : link.rightArea;
        if (near != kNone)
            place = areas.PlaceValue(near);
        if (place < 0 && far != kNone)
            place = areas.PlaceValue(far);
    }
    return place;
}

struct PlannedPoint {
    uint32_t category = 0;
    uint32_t subCategory = 0;
    uint32_t order = 0;  // network order, to keep equal sub-categories in it
    poi::Record record;
};

void WriteFile(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
    const std::u16string name = platform::HostPathText(file);
    CFile out;
    if (!out.Open(name.c_str(), CFile::modeCreate | CFile::modeWrite)) {
        Fail("cannot create " + file.string());
    }
    try {
        out.Write(bytes.data(), static_cast<UINT>(bytes.size()));
        out.Close();
    } catch (CException* error) {
        error->Delete();
        out.Abort();
        Fail("cannot write " + file.string());
    }
}

}  // namespace

std::vector<uint8_t> BuildPoiFile(const Network& network, const DiscLayout& layout,
                                  const LinkInfoTables& linkInfo, const AreaTables& areas,
                                  uint32_t* pointsWritten) {
    const GridHeader& grid = layout.poi;

    // Names: one string per distinct text of a category, so that the search finds
    // the places of one chain by their common name.
    std::array<std::vector<std::string>, poi::kCategoryCount> names;
    std::array<std::map<std::string, uint32_t>, poi::kCategoryCount> nameIndex;
    // Telephone numbers: one entry per distinct packed number, counted from 1.
    std::vector<std::array<uint8_t, poi::kPhoneEntrySize>> phones;
    std::map<std::array<uint8_t, poi::kPhoneEntrySize>, uint32_t> phoneNumber;

    std::map<uint32_t, std::vector<PlannedPoint>> cells;
    uint32_t written = 0;
    for (uint32_t p = 0; p < network.pois.size(); ++p) {
        const Poi& point = network.pois[p];
        const uint32_t category = static_cast<uint32_t>(point.category);
        if (category >= poi::kCategoryCount)
            continue;
        if (point.link >= network.links.size() || point.link >= linkInfo.recordOfLink.size() ||
            linkInfo.recordOfLink[point.link] == kNone) {
            continue;
        }
        const int32_t place = PlaceOf(network, areas, point);
        if (place < 0)
            continue;

        PlannedPoint planned;
        planned.category = category;
        planned.subCategory = std::min<uint32_t>(point.subCategory, poi::kMaxSubCategory);
        planned.order = p;
        poi::Record& record = planned.record;

        const std::string text = ToNameText(point.name, poi::kMaxNameLength);
        auto [found, added] =
            nameIndex[category].try_emplace(text, static_cast<uint32_t>(names[category].size()));
        if (added)
            names[category].push_back(text);
        record.nameWord = found->second;  // made global below
        record.nameLength = static_cast<uint8_t>(text.size());

        std::array<uint8_t, poi::kPhoneEntrySize> packed;
        uint8_t bytes[poi::kPhoneEntrySize];
        if (point.category != PoiCategory::City && poi::PackPhone(point.phone, bytes)) {
            std::copy(bytes, bytes + poi::kPhoneEntrySize, packed.begin());
            auto [entry, newEntry] =
                phoneNumber.try_emplace(packed, static_cast<uint32_t>(phones.size() + 1));
            if (newEntry)
                phones.push_back(packed);
            record.phone = static_cast<int32_t>(entry->second);
        }

        record.linkWord = linkInfo.recordOfLink[point.link] & poi::kLinkRecordMask;
        // The side as the address records count it: +1 left, -1 right.
        const uint32_t house = point.houseNumber == 0
                                   ? poi::kHouseNumberMask
                                   : std::min(point.houseNumber, poi::kHouseNumberMask - 1);
        record.addressWord = house | (point.rightSide ? poi::kSideMinus : poi::kSidePlus);
        record.latitude = static_cast<float>(point.position.lat);
        record.longitude = static_cast<float>(point.position.lon);
        record.place = place;

        const Cell cell = layout.PoiCell(point.position);
        cells[container::CellIndex(cell.column, cell.row, grid.columns)].push_back(planned);
        ++written;
    }

    // String numbers count over all categories, in file order.
    std::array<uint32_t, poi::kCategoryCount> firstName{};
    uint32_t nameTotal = 0;
    for (int category = 0; category < poi::kCategoryCount; ++category) {
        firstName[category] = nameTotal;
        nameTotal += static_cast<uint32_t>(names[category].size());
    }
    if (nameTotal > poi::kNameMask)
        Fail("more names than a record can number");

    poi::Head head;
    head.grid = grid;
    std::memcpy(head.grid.magic, poi::kSourceMagic, sizeof poi::kSourceMagic);
    std::vector<uint8_t> out(poi::kHeadSize);
    for (int category = 0; category < poi::kCategoryCount; ++category) {
        const size_t start = out.size();
        for (const std::string& text : names[category]) {
            out.insert(out.end(), text.begin(), text.end());
            out.push_back(0);
        }
        head.categoryNameCounts[category] = static_cast<uint32_t>(names[category].size());
        head.categoryNameBytes[category] = static_cast<uint32_t>(out.size() - start);
    }
    head.nameCount = static_cast<int32_t>(nameTotal);
    head.phoneTableOffset = static_cast<uint32_t>(out.size());
    head.phoneCount = static_cast<int32_t>(phones.size());
    for (const auto& packed : phones)
        out.insert(out.end(), packed.begin(), packed.end());

    const size_t cellTable = out.size();
    out.resize(cellTable + static_cast<size_t>(container::CellCount(grid)) * 4);
    for (auto& [index, points] : cells) {
        if (index >= container::CellCount(grid))
            Fail("a point lies outside the grid");
        std::stable_sort(
            points.begin(), points.end(), [](const PlannedPoint& a, const PlannedPoint& b) {
                return std::tie(a.category, a.subCategory) < std::tie(b.category, b.subCategory);
            });
        const size_t headerAt = out.size();
        container::StoreU32(out.data() + cellTable + 4 * index, static_cast<uint32_t>(headerAt));
        out.resize(headerAt + poi::kCellHeaderSize);
        poi::CellHeader header;
        for (PlannedPoint& planned : points) {
            const uint32_t category = planned.category;
            if (header.counts[category] == 0xFFFF)
                Fail("a cell holds too many points of one category");
            if (header.counts[category]++ == 0)
                header.offsets[category] = static_cast<uint32_t>(out.size());
            planned.record.nameWord =
                poi::NameWord(firstName[category] + planned.record.nameWord, planned.subCategory);
            poi::AppendRecord(out, planned.record);
        }
        poi::EncodeCellHeader(header, out.data() + headerAt);
        if (out.size() > 0x7FFFFFFF)
            Fail("the file outgrows its offsets");
    }
    poi::EncodeHead(head, out.data());
    if (pointsWritten)
        *pointsWritten = written;
    return out;
}

PoiFigures WritePoiFiles(const Network& network, const DiscLayout& layout,
                         const LinkInfoTables& linkInfo, const AreaTables& areas) {
    PoiFigures figures;
    const std::vector<uint8_t> bytes =
        BuildPoiFile(network, layout, linkInfo, areas, &figures.pointsWritten);
    for (int disc = 1; disc < kDiscCount; ++disc) {
        WriteFile(layout.mapData[disc] / "poi.raw", bytes);
        figures.bytesWritten += bytes.size();
    }
    return figures;
}

}  // namespace discmaker
