// The name converters: "names.raw" -> "names.bin" (the names the chosen area uses,
// with the two-letter index), "stnl.raw" -> "stnl.bin" (the street list of each
// chosen list entry) and "lsr.raw"/"lsrs.raw" -> "lsr.bin"/"lsrs.bin" (the name
// pairs the kept address records refer to). Layouts: formats/names.h and
// formats/name_index.h. The generation runs them in this order:
//   CStnlConverter::ReadNameIndex      -> UsedNames()
//   CNamesConverter::Write(UsedNames)  -> NameOffsets(), NameSizes()
//   CLsrConverter::ReadSource; the link information converter calls AddRecord
//   CLsrConverter::Write
//   CStnlConverter::Write(NameOffsets, NameSizes, KeptLinkNames of linkinfo)
// Every failure of a source ends the run through the reports of file_services.h.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "mapferry/convert/map_cut.h"
#include "mapferry/convert/names_io.h"
#include "mapferry/convert/renumbering.h"
#include "platform/kernel/kernel.h"

// Report lines, one per place that can fail.
inline constexpr int kNamesErrorLine = 5057;
inline constexpr int kLsrOpenLine = 1034;
inline constexpr int kLsrAllocationLine = 1026;
inline constexpr int kLsrRecordReadLine = 1112;
inline constexpr int kLsrTextReadLine = 1150;
inline constexpr int kLsrTextSeekLine = 1159;
inline constexpr int kLsrCreateLine = 1078;
inline constexpr int kLsrsCreateLine = 1139;
inline constexpr int kStnlCreateLine = 7134;
inline constexpr int kStnlAllocationLine = 7155;
inline constexpr int kStnlEntryReadLine = 7236;
inline constexpr int kStnlItemReadLine = 7271;
inline constexpr int kStnlOpenLine = 7332;
inline constexpr int kNameIdxOpenLine = 7352;
inline constexpr int kNameIdxHeadLine = 7368;
inline constexpr int kNameIdxEntryLine = 7409;
inline constexpr int kNameIdxNamesLine = 7418;
inline constexpr int kNameIdxNameCountLine = 7427;

// "names.raw" -> "names.bin".
class CNamesConverter {
  public:
    // Opens "names.raw" and checks its magic (a wrong one ends the run); a missing
    // file is left for Write to answer.
    void ReadSource(LPCWSTR sourceFolder);
    // Writes the used names (used[n] != 0) in source order with their index. 0; 1
    // when the source is missing; kConvertCancelled. A source that ends before the
    // last used name, or holds a name longer than 71 bytes, ends the run (5057).
    int Write(LPCWSTR sourceFolder, LPCWSTR temporaryFolder, const UsedNameFlags& used);

    const NameOffsetTable& NameOffsets() const { return m_offsets; }
    const NameSizeTable& NameSizes() const { return m_sizes; }
    void SetCancelFlag(const std::atomic<int>* cancel) { m_pCancel = cancel; }

  private:
    convert_io::SourceFile m_source;
    NameOffsetTable m_offsets;
    NameSizeTable m_sizes;
    const std::atomic<int>* m_pCancel = nullptr;
};

// "stnl.raw" and "nameidx.bin" -> "stnl.bin", and the used-name flags.
class CStnlConverter {
  public:
    explicit CStnlConverter(const CMapCut& cut) : m_cut(cut) {}

    // Reads "stnl.raw" whole and "nameidx.bin", and marks used every name of every
    // chosen list entry. A chosen entry beyond either file's entry count ("State
    // count error.") or a name number beyond the name count ("Name count error.")
    // ends the run, as does any short read.
    void ReadNameIndex(LPCWSTR sourceFolder);
    const UsedNameFlags& UsedNames() const { return m_used; }
    // The highest used name number, -1 when none is used.
    int64_t HighestUsedName() const { return static_cast<int64_t>(m_used.size()) - 1; }

    // Writes one entry per chosen list entry: a wholly chosen one copies all its
    // items, a partly chosen one only those whose name a kept address record
    // carries, with the house numbers gathered from those records. 0, or
    // kConvertCancelled.
    int Write(LPCWSTR sourceFolder, LPCWSTR temporaryFolder, const NameOffsetTable& offsets,
              const NameSizeTable& sizes, const KeptLinkNames& kept);

    void SetCancelFlag(const std::atomic<int>* cancel) { m_pCancel = cancel; }

  private:
    const CMapCut& m_cut;
    std::vector<uint8_t> m_stnl;  // "stnl.raw", whole
    UsedNameFlags m_used;
    const std::atomic<int>* m_pCancel = nullptr;
};

// "lsr.raw"/"lsrs.raw" -> "lsr.bin"/"lsrs.bin".
class CLsrConverter {
  public:
    // Opens both sources, checks their magics and reads their counts; a source
    // that cannot be opened ends the run (1034).
    void ReadSource(LPCWSTR sourceFolder);
    // Adds source record `recordNumber` and returns its offset in "lsr.bin".
    uint32_t AddRecord(uint32_t recordNumber);
    // Writes the added records and the texts they use. A record or text number
    // beyond its file's count, or a short read, ends the run. 0, or
    // kConvertCancelled.
    int Write(LPCWSTR temporaryFolder);

    const NamePairTable& AddedRecords() const { return m_added; }
    void SetCancelFlag(const std::atomic<int>* cancel) { m_pCancel = cancel; }

  private:
    convert_io::SourceFile m_pairs;  // "lsr.raw"
    convert_io::SourceFile m_texts;  // "lsrs.raw"
    uint32_t m_pairCount = 0;
    uint32_t m_textCount = 0;
    NamePairTable m_added;
    const std::atomic<int>* m_pCancel = nullptr;
};
