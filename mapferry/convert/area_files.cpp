#include "mapferry/convert/area_files.h"

#include <algorithm>
#include <cstring>

#include "formats/areas.h"
#include "mapferry/convert/file_services.h"

namespace az = formats::areas;

namespace {

// Lines of the internal-error reports.
constexpr int kLineOpenAzRaw = 2281;
constexpr int kLineAzRead = 2311;       // the head or an area entry
constexpr int kLineAzChosen = 2320;     // a chosen list entry beyond the areas
constexpr int kLineAzNamesRead = 2330;  // a names list
constexpr int kLineAzTooLarge = 2366;   // offsets beyond 31 bits
constexpr int kLineAzPlaceRead = 2452;  // a place record or its parent
constexpr int kLineAzCounts = 2534;     // counts beyond the file
constexpr int kLineOpenAzBin = 3039;
constexpr int kLineWriteAzBin = 2909;
constexpr int kLineOpenAzbcRaw = 2620;
constexpr int kLineAzbcRead = 2635;  // the head or the entry table
constexpr int kLineCreateAzbc = 2646;
constexpr int kLineAzbcChosen = 2669;    // a chosen list entry beyond the entries
constexpr int kLineAzbcPointers = 2681;  // a pointer table
constexpr int kLineAzbcList = 2721;      // a list's count
constexpr int kLineAzbcValues = 2759;    // a list's values
constexpr int kLineWriteAzbc = 2768;

// The sources are small next to the map containers; anything larger is not an
// area file.
constexpr size_t kMaxAzSource = size_t{256} << 20;
constexpr size_t kMaxAzbcSource = size_t{1} << 30;
// Device offsets keep bit 31 free for the parent kind.
constexpr size_t kMaxDeviceOffset = az::kParentValueMask;

constexpr uint32_t kNoPointer = 0xFFFFFFFFu;

void AppendU16(std::vector<uint8_t>& out, uint16_t value) {
    uint8_t bytes[2];
    az::StoreU16(bytes, value);
    // Byte by byte: a ranged insert here made the optimiser warn of a move out of
    // bounds that cannot happen.
    out.push_back(bytes[0]);
    out.push_back(bytes[1]);
}
void AppendU32(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t bytes[4];
    az::StoreU32(bytes, value);
    out.insert(out.end(), bytes, bytes + 4);
}

}  // namespace

// ---- Shared converter helpers ----------------------------------------------------

int AreaOfPlace(const AreaFirstPlaceTable& areas, uint32_t placeOffset) {
    auto after = std::upper_bound(areas.begin(), areas.end(), placeOffset);
    return after == areas.begin() ? -1 : static_cast<int>(after - areas.begin()) - 1;
}

int RequireSourceMagic(CFile& source, const char* magic) {
    if (ReportCorruptedFile(source, magic) != 0) {
        convert_io::EndRunAfterCorruptedFile();
    }
    return 0;
}

bool ReadWholeSource(const std::u16string& path, const char* magic, size_t limit,
                     std::vector<uint8_t>& bytes, int readLine) {
    CFile source;
    if (!source.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite)) {
        return false;
    }
    RequireSourceMagic(source, magic);
    try {
        const ULONGLONG length = source.GetLength();
        if (length > limit) {
            ReportInternalError(0, readLine);
        }
        bytes.assign(static_cast<size_t>(length), 0);
        source.SeekToBegin();
        if (source.Read(bytes.data(), static_cast<UINT>(length)) != length) {
            ReportInternalError(0, readLine);
        }
    } catch (CException* error) {
        error->Delete();
        ReportInternalError(0, readLine);
    }
    return true;
}

void WriteWholeOutput(const std::u16string& path, const std::vector<uint8_t>& bytes,
                      LPCWSTR createText, int createLine, int writeLine) {
    CFile out;
    if (!out.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::shareDenyWrite)) {
        ReportInternalErrorFile(0, createText, createLine);
    }
    try {
        if (!bytes.empty()) {
            out.Write(bytes.data(), static_cast<UINT>(bytes.size()));
        }
        out.Close();
    } catch (CException* error) {
        error->Delete();
        out.Abort();
        ReportInternalError(kErrorClassWrite, writeLine);
    }
}

// ---- CAzConverter ------------------------------------------------------------------

CAzConverter::CAzConverter(const CMapCut& cut) : m_cut(cut) {}

int CAzConverter::Build(LPCWSTR sourceFolder, LPCWSTR /*temporaryFolder*/) {
    m_built = false;
    std::vector<uint8_t> source;
    if (!ReadWholeSource(convert_io::JoinFolder(sourceFolder, u"az.raw"), az::kAzMagic,
                         kMaxAzSource, source, kLineAzRead)) {
        ReportInternalErrorFile(0, u"Error opening az.raw.", kLineOpenAzRaw);
    }
    const size_t size = source.size();
    if (size < az::kAreaEntriesOffset) {
        ReportInternalError(0, kLineAzRead);
    }
    const uint32_t areaCount = az::LoadU16(source.data() + az::kAreaCountOffset);

    // The source's area entries; names and places are numbered over the whole file.
    struct SourceEntry {
        size_t at = 0;  // of its name length byte
        az::AreaEntry fixed;
    };
    std::vector<SourceEntry> entries(areaCount);
    m_sourceAreas.assign(areaCount, {});
    uint64_t names = 0;
    uint64_t places = 0;
    size_t at = az::kAreaEntriesOffset;
    for (uint32_t i = 0; i < areaCount; ++i) {
        if (size - at < az::kEntryNameLengthSize + az::kFixedSize ||
            size - at - az::kEntryNameLengthSize - az::kFixedSize < source[at]) {
            ReportInternalError(0, kLineAzRead);
        }
        entries[i].at = at;
        entries[i].fixed = az::DecodeAreaFixed(source.data() + at + az::kEntryNameLengthSize);
        m_sourceAreas[i].firstName = static_cast<uint32_t>(names);
        m_sourceAreas[i].nameCount = entries[i].fixed.nameCount;
        m_sourceAreas[i].firstPlace = static_cast<uint32_t>(places);
        m_sourceAreas[i].placeCount = entries[i].fixed.placeWord & az::kPlaceCountMask;
        names += m_sourceAreas[i].nameCount;
        places += m_sourceAreas[i].placeCount;
        // Every name takes a byte and every place record too.
        if (names > size || places > size) {
            ReportInternalError(0, kLineAzCounts);
        }
        at += az::AreaEntrySize(source[at]);
    }
    const uint32_t nameTotal = static_cast<uint32_t>(names);
    const uint32_t placeTotal = static_cast<uint32_t>(places);

    std::vector<uint8_t> chosenSource(areaCount, 0);
    m_chosen.clear();
    for (int i = 0; i < m_cut.ChosenCount(); ++i) {
        const uint32_t entry = m_cut.ChosenEntry(i);
        if (entry >= areaCount) {
            ReportInternalError(0, kLineAzChosen);
        }
        chosenSource[entry] = 1;
        m_chosen.push_back({entry, 0});
    }

    // Head and area entries, the fixed bytes filled in at the end.
    std::vector<uint8_t>& out = m_az;
    out.assign(az::kAzMagic, az::kAzMagic + az::kMagicSize);
    AppendU16(out, static_cast<uint16_t>(m_chosen.size()));
    std::vector<az::AreaEntry> fixed(m_chosen.size());
    for (size_t i = 0; i < m_chosen.size(); ++i) {
        const SourceEntry& entry = entries[m_chosen[i].source];
        const size_t length = az::AreaEntrySize(source[entry.at]);
        m_chosen[i].entryOffset = out.size() + az::kEntryNameLengthSize;
        out.insert(out.end(), source.begin() + entry.at, source.begin() + entry.at + length);
        fixed[i] = entry.fixed;
        fixed[i].placeWord &= az::kPlaceCountMask;
    }

    // Names lists: each name's new offset by its number.
    std::vector<uint32_t> nameOffsets(nameTotal, kNotRenumbered);
    for (size_t i = 0; i < m_chosen.size(); ++i) {
        if (g_cancelFlag.load()) {
            return 1;
        }
        const SourceArea& area = m_sourceAreas[m_chosen[i].source];
        fixed[i].namesListOffset = static_cast<uint32_t>(out.size());
        size_t from = entries[m_chosen[i].source].fixed.namesListOffset;
        for (uint32_t k = 0; k < area.nameCount; ++k) {
            if (from >= size || source[from] > kMaxTextLength || size - from - 1 < source[from]) {
                ReportInternalError(0, kLineAzNamesRead);
            }
            nameOffsets[area.firstName + k] = static_cast<uint32_t>(out.size());
            const size_t length = 1 + size_t{source[from]};
            out.insert(out.end(), source.begin() + from, source.begin() + from + length);
            from += length;
        }
    }

    // Place records, with parents renumbered. A parent later in the file is patched
    // once every record is written. A parent whose record or name is not written
    // (its area is not chosen) would point at bytes that are no place: it is
    // dropped (-1), as is a record naming itself.
    m_placeOffsets.assign(placeTotal, kNotRenumbered);
    std::vector<std::pair<size_t, uint32_t>> forward;  // parent field, place number
    for (size_t i = 0; i < m_chosen.size(); ++i) {
        if (g_cancelFlag.load()) {
            return 1;
        }
        const SourceArea& area = m_sourceAreas[m_chosen[i].source];
        fixed[i].firstPlaceOffset = static_cast<int32_t>(out.size());
        size_t from = static_cast<uint32_t>(entries[m_chosen[i].source].fixed.firstPlaceOffset);
        for (uint32_t k = 0; k < area.placeCount; ++k) {
            const uint32_t number = area.firstPlace + k;
            az::PlaceRecord record;
            if (from >= size || !az::DecodePlaceRecord(source.data() + from, size - from, record)) {
                ReportInternalError(0, kLineAzPlaceRead);
            }
            from += record.size;
            m_placeOffsets[number] = static_cast<uint32_t>(out.size());

            int32_t parent = record.parent;
            bool patch = false;
            uint32_t target = 0;
            if (az::HasParentField(parent)) {
                const uint32_t value = static_cast<uint32_t>(parent);
                target = value & az::kParentValueMask;
                if (value & az::kParentIsPlace) {
                    if (target >= placeTotal) {
                        ReportInternalError(0, kLineAzPlaceRead);
                    }
                    // The owner is the last area starting at or before the record
                    // (an area without places shares its first number with the next).
                    const auto owner = std::upper_bound(
                        m_sourceAreas.begin(), m_sourceAreas.end(), target,
                        [](uint32_t n, const SourceArea& a) { return n < a.firstPlace; });
                    if (target == number || !chosenSource[owner - m_sourceAreas.begin() - 1]) {
                        parent = az::kNoParent;
                    } else if (target < number && m_placeOffsets[target] != kNotRenumbered) {
                        parent = static_cast<int32_t>(m_placeOffsets[target] | az::kParentIsPlace);
                    } else {
                        patch = true;
                        parent = static_cast<int32_t>(az::kParentIsPlace);
                    }
                } else {
                    if (target >= nameTotal) {
                        ReportInternalError(0, kLineAzPlaceRead);
                    }
                    parent = nameOffsets[target] == kNotRenumbered
                                 ? az::kNoParent
                                 : static_cast<int32_t>(nameOffsets[target]);
                }
            }
            uint8_t bytes[az::kPlaceHeadSize + az::kPlaceParentSize + az::kMaxPlaceTextLength];
            const size_t written = az::EncodePlaceRecord(parent, record.text, bytes);
            if (patch) {
                forward.emplace_back(out.size() + az::kPlaceHeadSize, target);
            }
            out.insert(out.end(), bytes, bytes + written);
        }
    }
    if (out.size() > kMaxDeviceOffset) {
        ReportInternalError(0, kLineAzTooLarge);
    }
    for (const auto& [field, target] : forward) {
        if (m_placeOffsets[target] == kNotRenumbered) {
            ReportInternalError(0, kLineAzPlaceRead);
        }
        az::StoreU32(out.data() + field, m_placeOffsets[target] | az::kParentIsPlace);
    }

    m_areaFirstPlaces.clear();
    for (size_t i = 0; i < m_chosen.size(); ++i) {
        az::EncodeAreaFixed(fixed[i], out.data() + m_chosen[i].entryOffset);
        m_areaFirstPlaces.push_back(static_cast<uint32_t>(fixed[i].firstPlaceOffset));
    }
    m_built = true;
    return 0;
}

int CAzConverter::WriteAz(LPCWSTR temporaryFolder, const UsedPlaceFlags& used) {
    if (!m_built) {
        return 1;
    }
    std::vector<uint8_t> out = m_az;
    for (const ChosenArea& chosen : m_chosen) {
        const SourceArea& area = m_sourceAreas[chosen.source];
        bool anyUsed = false;
        for (uint32_t k = 0; k < area.placeCount; ++k) {
            const uint32_t number = area.firstPlace + k;
            if (number < used.size() && used[number]) {
                anyUsed = true;
                continue;
            }
            // Build wrote these records, so they decode.
            const size_t at = m_placeOffsets[number];
            const uint8_t head = out[at];
            const size_t text =
                at + az::kPlaceHeadSize + ((head & az::kPlaceHasParent) ? az::kPlaceParentSize : 0);
            if ((head & az::kPlaceLengthMask) != 0) {
                out[text] = 0;
            }
        }
        if (!anyUsed) {
            uint8_t* word = out.data() + chosen.entryOffset + az::kFixedPlaceWordOffset;
            az::StoreU32(word, az::LoadU32(word) | az::kNoPlaceUsed);
        }
    }
    WriteWholeOutput(convert_io::JoinFolder(temporaryFolder, u"az.bin"), out,
                     u"Error opening az.bin.", kLineOpenAzBin, kLineWriteAzBin);
    return 0;
}

int CAzConverter::WriteAzbc(LPCWSTR sourceFolder, LPCWSTR temporaryFolder,
                            const UsedPlaceFlags& used, const NameOffsetTable& names) {
    if (!m_built) {
        return 1;
    }
    std::vector<uint8_t> source;
    if (!ReadWholeSource(convert_io::JoinFolder(sourceFolder, u"azbc.raw"), az::kAzbcMagic,
                         kMaxAzbcSource, source, kLineAzbcRead)) {
        ReportInternalErrorFile(0, u"Error opening azbc.raw.", kLineOpenAzbcRaw);
    }
    const size_t size = source.size();
    if (size < az::kAzbcEntriesOffset) {
        ReportInternalError(0, kLineAzbcRead);
    }
    const uint32_t entryCount = az::LoadU16(source.data() + az::kAzbcCountOffset);
    if ((size - az::kAzbcEntriesOffset) / az::kAzbcEntrySize < entryCount) {
        ReportInternalError(0, kLineAzbcRead);
    }

    std::vector<uint8_t> out(az::kAzbcMagic, az::kAzbcMagic + az::kMagicSize);
    AppendU16(out, static_cast<uint16_t>(m_chosen.size()));
    for (size_t i = 0; i < m_chosen.size(); ++i) {
        AppendU32(out, kNoPointer);
        AppendU32(out, 0);
    }
    for (size_t i = 0; i < m_chosen.size(); ++i) {
        if (g_cancelFlag.load()) {
            return 1;
        }
        const uint32_t entry = m_chosen[i].source;
        if (entry >= entryCount) {
            ReportInternalError(0, kLineAzbcChosen);
        }
        const az::AzbcEntry from = az::DecodeAzbcEntry(source.data() + az::AzbcEntryOffset(entry));
        const SourceArea& area = m_sourceAreas[entry];
        // One pointer per place record of the area, no more.
        if (from.pointerCount > area.placeCount) {
            ReportInternalError(0, kLineAzbcPointers);
        }
        const bool hasTable = from.pointerTable != kNoPointer && from.pointerCount > 0;
        if (hasTable && (from.pointerTable > size ||
                         (size - from.pointerTable) / az::kPointerSize < from.pointerCount)) {
            ReportInternalError(0, kLineAzbcPointers);
        }
        const size_t tableAt = out.size();
        az::EncodeAzbcEntry({static_cast<uint32_t>(tableAt), from.pointerCount},
                            out.data() + az::AzbcEntryOffset(static_cast<uint32_t>(i)));
        out.resize(out.size() + size_t{from.pointerCount} * az::kPointerSize, 0xFF);
        for (uint32_t k = 0; hasTable && k < from.pointerCount; ++k) {
            const uint32_t pointer =
                az::LoadU32(source.data() + from.pointerTable + k * az::kPointerSize);
            const uint32_t place = area.firstPlace + k;
            if (pointer == kNoPointer || place >= used.size() || !used[place]) {
                continue;
            }
            if (pointer > size || size - pointer < az::kListCountSize) {
                ReportInternalError(0, kLineAzbcList);
            }
            const uint32_t count = az::LoadU32(source.data() + pointer);
            const size_t values = pointer + az::kListCountSize;
            if ((size - values) / az::kStreetValueSize < count) {
                ReportInternalError(0, kLineAzbcValues);
            }
            az::StoreU32(out.data() + tableAt + k * az::kPointerSize,
                         static_cast<uint32_t>(out.size()));
            AppendU32(out, count);
            for (uint32_t v = 0; v < count; ++v) {
                const uint32_t value =
                    az::LoadU32(source.data() + values + v * az::kStreetValueSize);
                uint32_t offset = NameOffsetOf(names, az::SourceValueName(value));
                // A name that was not written reads like one beyond the written names.
                if (offset == kNotRenumbered) {
                    offset = kNameBeyondWritten;
                }
                AppendU32(out, az::DeviceStreetValue(offset, value));
            }
        }
        if (out.size() > 0xFFFFFFFEu) {
            ReportInternalError(0, kLineAzbcValues);
        }
    }
    WriteWholeOutput(convert_io::JoinFolder(temporaryFolder, u"azbc.bin"), out,
                     u"Error creating azbc.bin.", kLineCreateAzbc, kLineWriteAzbc);
    return 0;
}
