#include "mapferry/convert/name_files.h"

#include <algorithm>
#include <new>
#include <string>

#include "formats/name_index.h"
#include "formats/names.h"
#include "mapferry/convert/file_services.h"

namespace nm = formats::names;
namespace ni = formats::name_index;
using convert_io::Fits;
using convert_io::JoinFolder;
using convert_io::OutputFile;
using convert_io::SourceFile;

namespace {

// Reads a whole source file that SourceFile has opened and checked.
bool ReadWhole(SourceFile& file, std::vector<uint8_t>* bytes, int allocationLine) {
    try {
        bytes->resize(static_cast<size_t>(file.Length()));
    } catch (const std::bad_alloc&) {
        convert_io::Fail(allocationLine);
    }
    return file.Seek(0) && file.Read(bytes->data(), bytes->size());
}

}  // namespace

// ---- "names.bin" -------------------------------------------------------------------

void CNamesConverter::ReadSource(LPCWSTR sourceFolder) {
    if (m_source.Open(JoinFolder(sourceFolder, u"names.raw"))) {
        m_source.CheckMagic(nm::kSourceMagic);
    }
}

int CNamesConverter::Write(LPCWSTR /*sourceFolder*/, LPCWSTR temporaryFolder,
                           const UsedNameFlags& used) {
    if (!m_source.IsOpen()) {
        return 1;
    }
    m_offsets.assign(used.size(), kNotRenumbered);
    m_sizes.assign(used.size(), 0);
    OutputFile out(temporaryFolder);
    if (!out.Create(JoinFolder(temporaryFolder, u"names.bin"))) {
        convert_io::Fail(kNamesErrorLine);
    }
    out.Write(nm::kDeviceMagic, nm::kMagicSize);
    out.Write(std::vector<uint8_t>(nm::kIndexSize, 0));

    std::vector<nm::IndexEntry> index(nm::kLetterPairs);
    if (!m_source.Seek(nm::kSourceNamesOffset)) {
        convert_io::Fail(kNamesErrorLine);
    }
    // Only names up to the last used one are read; a source that ends before it
    // has lost names that other files refer to.
    char text[256];
    for (size_t number = 0; number < used.size(); ++number) {
        if (convert_io::Cancelled(m_pCancel)) {
            return convert_io::kConvertCancelled;
        }
        uint8_t length = 0;
        if (!m_source.Read(&length, 1) || length > nm::kMaxNameLength ||
            !m_source.Read(text, length)) {
            convert_io::Fail(kNamesErrorLine);
        }
        if (!used[number]) {
            continue;
        }
        const uint32_t offset = static_cast<uint32_t>(out.Position());
        const uint32_t size = nm::NameRecordSize(length);
        // A name whose second byte has no code stays out of the index: counting it
        // under another pair would break that pair's run of names.
        const int pair = nm::LetterPairOfName(std::string_view(text, length));
        if (pair >= 0) {
            nm::IndexEntry& entry = index[pair];
            if (entry.count == 0) {
                entry.firstOffset = offset;
            }
            ++entry.count;
            entry.bytes += size;
        }
        out.Write(&length, 1);
        out.Write(text, length);
        m_offsets[number] = offset;
        m_sizes[number] = size;
    }

    std::vector<uint8_t> bytes(nm::kIndexSize);
    for (int pair = 0; pair < nm::kLetterPairs; ++pair) {
        nm::EncodeIndexEntry(index[pair], bytes.data() + pair * nm::kIndexEntrySize);
    }
    out.WriteAt(nm::kIndexOffset, bytes);
    out.Close();
    return 0;
}

// ---- "stnl.bin" --------------------------------------------------------------------

void CStnlConverter::ReadNameIndex(LPCWSTR sourceFolder) {
    m_used.clear();
    SourceFile stnl;
    if (!stnl.Open(JoinFolder(sourceFolder, u"stnl.raw"))) {
        convert_io::Fail(u"Error opening stnl.raw.", kStnlOpenLine);
    }
    stnl.CheckMagic(ni::kStreetListMagic);
    if (!ReadWhole(stnl, &m_stnl, kStnlAllocationLine) ||
        m_stnl.size() < ni::kStreetListEntriesOffset) {
        convert_io::Fail(kStnlEntryReadLine);
    }
    const uint32_t stnlCount = ni::LoadU32(m_stnl.data() + ni::kStreetListCountOffset);
    if (!Fits(ni::kStreetListEntriesOffset, stnlCount, ni::kStreetEntrySize, m_stnl.size())) {
        convert_io::Fail(kStnlEntryReadLine);
    }

    SourceFile nameIndex;
    if (!nameIndex.Open(JoinFolder(sourceFolder, u"nameidx.bin"))) {
        convert_io::Fail(u"Error opening nameidx.bin.", kNameIdxOpenLine);
    }
    nameIndex.CheckMagic(ni::kNameIndexMagic);
    std::vector<uint8_t> index;
    if (!ReadWhole(nameIndex, &index, kNameIdxHeadLine) ||
        index.size() < ni::kNameIndexEntriesOffset) {
        convert_io::Fail(kNameIdxHeadLine);
    }
    const uint32_t nameCount = ni::LoadU32(index.data() + ni::kNameIndexNameCountOffset);
    const uint32_t entryCount = ni::LoadU32(index.data() + ni::kNameIndexEntryCountOffset);
    if (!Fits(ni::kNameIndexEntriesOffset, entryCount, ni::kNameIndexEntrySize, index.size())) {
        convert_io::Fail(kNameIdxHeadLine);
    }

    for (int i = 0; i < m_cut.ChosenCount(); ++i) {
        const uint32_t entry = m_cut.ChosenEntry(i);
        if (entry >= entryCount || entry >= stnlCount) {
            convert_io::Fail(u"State count error.", kNameIdxEntryLine);
        }
        const ni::NameIndexEntry names = ni::DecodeNameIndexEntry(
            index.data() + ni::kNameIndexEntriesOffset + entry * ni::kNameIndexEntrySize);
        if (!Fits(names.offset, names.count, ni::kNameNumberSize, index.size())) {
            convert_io::Fail(kNameIdxNamesLine);
        }
        for (uint32_t k = 0; k < names.count; ++k) {
            const uint32_t number =
                ni::LoadU32(index.data() + names.offset + k * ni::kNameNumberSize);
            // Name numbers have 24 bits; a larger count is as wrong as a number
            // beyond it, and would only make the flags huge.
            if (number >= nameCount || number > nm::kMaxNameNumber) {
                convert_io::Fail(u"Name count error.", kNameIdxNameCountLine);
            }
            if (number >= m_used.size()) {
                m_used.resize(number + 1, 0);
            }
            m_used[number] = 1;
        }
    }
}

int CStnlConverter::Write(LPCWSTR /*sourceFolder*/, LPCWSTR temporaryFolder,
                          const NameOffsetTable& offsets, const NameSizeTable& sizes,
                          const KeptLinkNames& kept) {
    const uint32_t chosen = static_cast<uint32_t>(m_cut.ChosenCount());
    if (m_stnl.size() < ni::kStreetListEntriesOffset) {
        convert_io::Fail(kStnlEntryReadLine);
    }
    const uint32_t stnlCount = ni::LoadU32(m_stnl.data() + ni::kStreetListCountOffset);

    OutputFile out(temporaryFolder);
    if (!out.Create(JoinFolder(temporaryFolder, u"stnl.bin"))) {
        convert_io::Fail(u"Error opening stnl.bin.", kStnlCreateLine);
    }
    std::vector<uint8_t> table(ni::kStreetListEntriesOffset + chosen * ni::kStreetEntrySize);
    std::copy(ni::kStreetListMagic, ni::kStreetListMagic + ni::kMagicSize, table.begin());
    ni::StoreU32(table.data() + ni::kStreetListCountOffset, chosen);
    std::vector<ni::StreetEntry> sources(chosen);
    for (uint32_t i = 0; i < chosen; ++i) {
        const uint32_t entry = m_cut.ChosenEntry(static_cast<int>(i));
        if (entry >= stnlCount) {
            convert_io::Fail(u"State count error.", kStnlEntryReadLine);
        }
        const uint8_t* source =
            m_stnl.data() + ni::kStreetListEntriesOffset + entry * ni::kStreetEntrySize;
        sources[i] = ni::DecodeStreetEntry(source);
        if (!Fits(sources[i].itemsOffset, sources[i].count, ni::kStreetItemSize, m_stnl.size())) {
            convert_io::Fail(kStnlItemReadLine);
        }
        std::copy(source, source + ni::kStreetEntrySize,
                  table.begin() + ni::kStreetListEntriesOffset + i * ni::kStreetEntrySize);
    }
    out.Write(table);

    for (uint32_t i = 0; i < chosen; ++i) {
        if (convert_io::Cancelled(m_pCancel)) {
            return convert_io::kConvertCancelled;
        }
        const ni::StreetEntry& source = sources[i];
        const bool wholly = m_cut.IsWhollyChosen(static_cast<int>(i));
        ni::StreetEntry written{static_cast<uint32_t>(out.Position()), 0, 0};
        if (wholly) {
            written.count = source.count;
            written.nameBytes = source.nameBytes;
        }
        for (uint32_t k = 0; k < source.count; ++k) {
            ni::StreetItem item =
                ni::DecodeStreetItem(m_stnl.data() + source.itemsOffset + k * ni::kStreetItemSize);
            const uint32_t number = item.name;
            if (!wholly) {
                if (number >= kept.used.size() || !kept.used[number]) {
                    continue;
                }
                item.lowest = number < kept.lowest.size() ? kept.lowest[number] : kNoHouseNumberYet;
                item.highest =
                    number < kept.highest.size() ? kept.highest[number] : kNoHouseNumberYet;
                ++written.count;
                written.nameBytes += number < sizes.size() ? sizes[number] : 0;
            }
            item.name = NameOffsetOf(offsets, number);
            uint8_t bytes[ni::kStreetItemSize];
            ni::EncodeStreetItem(item, bytes);
            out.Write(bytes, sizeof bytes);
        }
        ni::EncodeStreetEntry(
            written, table.data() + ni::kStreetListEntriesOffset + i * ni::kStreetEntrySize);
    }
    out.WriteAt(0, table);
    out.Close();
    return 0;
}

// ---- "lsr.bin" and "lsrs.bin" ------------------------------------------------------

void CLsrConverter::ReadSource(LPCWSTR sourceFolder) {
    m_added.clear();
    m_pairCount = 0;
    m_textCount = 0;
    if (!m_pairs.Open(JoinFolder(sourceFolder, u"lsr.raw")) ||
        !m_texts.Open(JoinFolder(sourceFolder, u"lsrs.raw"))) {
        convert_io::Fail(kLsrOpenLine);
    }
    m_pairs.CheckMagic(ni::kPairMagic);
    m_texts.CheckMagic(ni::kTextMagic);
    if (!m_pairs.ReadU32(&m_pairCount) ||
        !Fits(ni::kSourcePairsOffset, m_pairCount, ni::kPairSize, m_pairs.Length())) {
        convert_io::Fail(kLsrRecordReadLine);
    }
    // Every text takes at least its length byte.
    if (!m_texts.ReadU32(&m_textCount) ||
        !Fits(ni::kSourceTextsOffset, m_textCount, 1, m_texts.Length())) {
        convert_io::Fail(kLsrTextReadLine);
    }
}

uint32_t CLsrConverter::AddRecord(uint32_t recordNumber) {
    m_added.push_back(recordNumber);
    return ni::DevicePairOffset(static_cast<uint32_t>(m_added.size() - 1));
}

int CLsrConverter::Write(LPCWSTR temporaryFolder) {
    OutputFile pairsOut(temporaryFolder);
    OutputFile textsOut(temporaryFolder);
    if (!pairsOut.Create(JoinFolder(temporaryFolder, u"lsr.bin"))) {
        convert_io::Fail(kLsrCreateLine);
    }
    if (!textsOut.Create(JoinFolder(temporaryFolder, u"lsrs.bin"))) {
        convert_io::Fail(kLsrsCreateLine);
    }
    pairsOut.Write(ni::kPairMagic, ni::kMagicSize);
    textsOut.Write(ni::kTextMagic, ni::kMagicSize);

    std::vector<ni::NamePair> pairs;
    std::vector<uint8_t> used;
    std::vector<uint32_t> newOffsets;
    try {
        pairs.reserve(m_added.size());
        used.assign(m_textCount, 0);
        newOffsets.assign(m_textCount, kNotRenumbered);
    } catch (const std::bad_alloc&) {
        convert_io::Fail(kLsrAllocationLine);
    }

    int64_t lastUsed = -1;
    for (uint32_t number : m_added) {
        if (convert_io::Cancelled(m_pCancel)) {
            return convert_io::kConvertCancelled;
        }
        uint8_t bytes[ni::kPairSize];
        if (number >= m_pairCount ||
            !m_pairs.Seek(ni::kSourcePairsOffset + uint64_t{ni::kPairSize} * number) ||
            !m_pairs.Read(bytes, sizeof bytes)) {
            convert_io::Fail(kLsrRecordReadLine);
        }
        const ni::NamePair pair = ni::DecodeNamePair(bytes);
        for (int32_t text : {pair.nameText, pair.exitText}) {
            if (text == ni::kNoText) {
                continue;
            }
            if (static_cast<uint32_t>(text) >= m_textCount) {
                convert_io::Fail(kLsrTextReadLine);
            }
            used[text] = 1;
            lastUsed = std::max<int64_t>(lastUsed, text);
        }
        pairs.push_back(pair);
    }

    if (!m_texts.Seek(ni::kSourceTextsOffset)) {
        convert_io::Fail(kLsrTextSeekLine);
    }
    char text[256];
    for (int64_t number = 0; number <= lastUsed; ++number) {
        if (convert_io::Cancelled(m_pCancel)) {
            return convert_io::kConvertCancelled;
        }
        uint8_t length = 0;
        if (!m_texts.Read(&length, 1) || length > kMaxTextLength || !m_texts.Read(text, length)) {
            convert_io::Fail(kLsrTextReadLine);
        }
        if (used[number]) {
            newOffsets[number] = static_cast<uint32_t>(textsOut.Position());
            textsOut.Write(&length, 1);
            textsOut.Write(text, length);
        }
    }

    for (const ni::NamePair& pair : pairs) {
        ni::NamePair written;
        if (pair.nameText != ni::kNoText) {
            written.nameText = static_cast<int32_t>(newOffsets[pair.nameText]);
        }
        if (pair.exitText != ni::kNoText) {
            written.exitText = static_cast<int32_t>(newOffsets[pair.exitText]);
        }
        uint8_t bytes[ni::kPairSize];
        ni::EncodeNamePair(written, bytes);
        pairsOut.Write(bytes, sizeof bytes);
    }
    pairsOut.Close();
    textsOut.Close();
    return 0;
}
