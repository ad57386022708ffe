// The data chain's output pinned by checksums: the discs of the built-in towns of
// seeds 1 and 7 and of andorra.osm.pbf, and the sixteen device files the
// generation makes from them, compared with golden/data_chain.txt. Disc files are
// compared with their compressed blocks inflated and the offsets that point at
// blocks left out, so that a change of compression alone does not count.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "formats/link_info.h"
#include "formats/map_container.h"
#include "mapferry/convert/compressed_block.h"
#include "mapferry/convert/map_generator.h"
#include "platform/kernel/kernel.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/osm.h"
#include "tools/discmaker/town.h"
#include "tools/mkmaps/mkmaps.h"

namespace {

namespace fs = std::filesystem;
namespace li = formats::link_info;
namespace mc = formats::map_container;

using Bytes = std::vector<uint8_t>;
// "set place file" -> "bytes crc32"
using Sums = std::map<std::string, std::string>;

Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void Append(Bytes& out, const uint8_t* bytes, size_t size) {
    out.insert(out.end(), bytes, bytes + size);
}

void AppendU32(Bytes& out, uint32_t value) {
    uint8_t bytes[4];
    formats::StoreU32(bytes, value);
    Append(out, bytes, 4);
}

// The blocks of one file, inflated through the converters' own reader.
class Blocks {
  public:
    explicit Blocks(const fs::path& path)
        : m_file(platform::HostPathText(path).c_str(), CFile::modeRead), m_reader(&m_file) {}

    // Appends the raw size and the raw bytes of the block at `offset`.
    void AppendBlock(uint32_t offset, Bytes& out) {
        m_file.Seek(offset, CFile::begin);
        if (m_reader.ReadBlock() != 0)
            ADD_FAILURE() << "a block at " << offset << " does not inflate";
        AppendU32(out, m_reader.GetRawSize());
        Append(out, m_reader.GetData(), m_reader.GetRawSize());
    }

  private:
    CFile m_file;
    CBlockReader m_reader;
};

Bytes InflatedContainer(const fs::path& path, const Bytes& file) {
    Bytes out(file.begin(), file.begin() + mc::kHeaderSize);
    const uint32_t cells = mc::CellCount(mc::DecodeHeader(file.data()));
    Blocks blocks(path);
    for (uint32_t cell = 0; cell < cells; ++cell) {
        const uint32_t offset = mc::LoadU32(file.data() + mc::CellEntryOffset(cell));
        if (offset == 0)
            AppendU32(out, 0xFFFFFFFF);
        else
            blocks.AppendBlock(offset, out);
    }
    return out;
}

Bytes InflatedLinkInfo(const fs::path& path, const Bytes& file) {
    const uint32_t entries = li::LoadU32(file.data() + li::kEntryCountOffset);
    Bytes out(file.begin(), file.begin() + li::kEntriesOffset);
    Blocks blocks(path);
    for (uint32_t e = 0; e < entries; ++e) {
        const li::Entry entry = li::DecodeEntry(file.data() + li::EntryOffset(e));
        AppendU32(out, entry.recordCount);
        blocks.AppendBlock(entry.blockOffset, out);
    }
    return out;
}

Bytes InflatedLfoIndex(const fs::path& path, const Bytes& file) {
    const uint32_t entries = li::LoadU32(file.data() + li::kLfoCountOffset);
    Bytes out(file.begin(), file.begin() + li::kLfoEntriesOffset);
    Blocks blocks(path);
    for (uint32_t e = 0; e < entries; ++e) {
        const li::LfoEntry entry = li::DecodeLfoEntry(file.data() + li::LfoEntryOffset(e));
        AppendU32(out, entry.nameCount);
        for (uint32_t n = 0; n < entry.nameCount; ++n) {
            const li::LfoName name =
                li::DecodeLfoName(file.data() + entry.nameTable + n * li::kLfoNameSize);
            AppendU32(out, name.name);
            const uint32_t count = li::LoadU32(file.data() + name.list);
            AppendU32(out, count);
            if (count > li::kMaxPlainListItems)
                blocks.AppendBlock(name.list + 4, out);
            else
                Append(out, file.data() + name.list + 4, count * li::kLfoItemSize);
        }
    }
    return out;
}

std::string Sum(const Bytes& bytes) {
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), bytes.data(), static_cast<uInt>(bytes.size()));
    char text[40];
    std::snprintf(text, sizeof text, "%zu %08lx", bytes.size(), crc);
    return text;
}

// The size tables measure packed bytes: they follow the compression level, not
// what the discs say.
bool IsSizeTable(const fs::path& path) {
    return path.extension() == ".sz";
}

void SumChain(const std::string& set, discmaker::Network network, const fs::path& work,
              Sums* sums) {
    const fs::path disc = work / set / "disc", maps = work / set / "maps";
    discmaker::BuildDiscs(network, disc);
    std::ostringstream out, err;
    const mkmaps::Figures figures = mkmaps::Generate({disc, maps, {}}, out, err);
    ASSERT_TRUE(figures.completed) << err.str();

    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(disc)) {
        if (entry.is_regular_file() && !IsSizeTable(entry.path()))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& path : files) {
        Bytes bytes = ReadBytes(path);
        const std::string name = path.filename().string();
        if (name.rfind("mapdata", 0) == 0 && path.extension() == ".raz")
            bytes = InflatedContainer(path, bytes);
        else if (name == "linkinfo.raz")
            bytes = InflatedLinkInfo(path, bytes);
        else if (name == "lfoidx.raz")
            bytes = InflatedLfoIndex(path, bytes);
        (*sums)[set + " disc " + fs::relative(path, disc).generic_string()] = Sum(bytes);
    }
    for (const char16_t* name : kDeviceFileNames) {
        const std::string narrow = platform::WideToUtf8(name);
        (*sums)[set + " device " + narrow] = Sum(ReadBytes(maps / narrow));
    }
}

fs::path GoldenFile() {
    return testing_support::RepositoryFolder() / "tests" / "tools" / "discmaker" / "golden" /
           "data_chain.txt";
}

const char kGoldenHeader[] =
    "# Checksums of the data chain's output: for the built-in towns of seeds 1 and 7\n"
    "# (400 links) and for andorra.osm.pbf of the shared data (state AL), every file\n"
    "# discmaker writes (compressed blocks inflated, offsets to blocks left out, size\n"
    "# tables left out) and the sixteen device files the generation makes from them.\n"
    "# Each line: set, place, file, bytes, CRC-32.\n"
    "# Made by tests/tools/discmaker/chain_golden_test.cpp. A change that alters the\n"
    "# output on purpose regenerates this file in the same commit and says why:\n"
    "#   PATHLUME_UPDATE_GOLDEN=1 build/debug/bin/discmaker_tests \\\n"
    "#       --gtest_filter=DataChainGoldenTest.*\n";

Sums ReadGolden(std::string* error) {
    Sums sums;
    std::ifstream in(GoldenFile());
    if (!in) {
        *error = "no " + GoldenFile().string();
        return sums;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream words(line);
        std::string set, place, file, size, crc;
        words >> set >> place >> file >> size >> crc;
        sums[set + " " + place + " " + file] = size + " " + crc;
    }
    return sums;
}

class DataChainGoldenTest : public testing_support::RootsTest {};

TEST_F(DataChainGoldenTest, DiscsAndDeviceFilesAreUnchanged) {
    Sums actual;
    SumChain("town-1", discmaker::BuildTown(1, 400), roots_.base(), &actual);
    SumChain("town-7", discmaker::BuildTown(7, 400), roots_.base(), &actual);
    const fs::path andorra = testing_support::SharedOsmFolder() / "andorra.osm.pbf";
    const bool haveAndorra = fs::exists(andorra);
    if (haveAndorra)
        SumChain("andorra", discmaker::ReadOsm(andorra), roots_.base(), &actual);
    if (HasFatalFailure())
        return;

    if (std::getenv("PATHLUME_UPDATE_GOLDEN")) {
        ASSERT_TRUE(haveAndorra) << "no " << andorra << ": the golden file needs all three sets";
        fs::create_directories(GoldenFile().parent_path());
        std::ofstream out(GoldenFile(), std::ios::trunc);
        out << kGoldenHeader;
        for (const auto& [key, sum] : actual)
            out << key << " " << sum << "\n";
        ASSERT_TRUE(out.good()) << "cannot write " << GoldenFile();
        return;
    }

    std::string error;
    Sums golden = ReadGolden(&error);
    ASSERT_TRUE(error.empty()) << error;
    if (!haveAndorra) {
        std::erase_if(golden,
                      [](const auto& item) { return item.first.rfind("andorra ", 0) == 0; });
    }
    for (const auto& [key, sum] : golden) {
        auto it = actual.find(key);
        if (it == actual.end())
            ADD_FAILURE() << key << ": not written";
        else
            EXPECT_EQ(it->second, sum) << key;
    }
    for (const auto& [key, sum] : actual) {
        EXPECT_TRUE(golden.count(key)) << key << ": written, not in the golden file";
    }
    if (!haveAndorra)
        GTEST_SKIP() << "no " << andorra << ": the shared data is absent; towns compared only";
}

}  // namespace
