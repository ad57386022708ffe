// Small source files built byte by byte, a cut built by hand, and a fixture with a
// source folder and a temporary folder, for the name and link information
// converter tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "formats/little_endian.h"
#include "mapferry/convert/file_services.h"
#include "mapferry/convert/map_cut.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/paths.h"
#include "tests/support/temp_root.h"

namespace names_fixture {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& bytes, uint16_t value) {
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}
inline void Put32(Bytes& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<uint8_t>(value >> shift));
    }
}
inline void PutText(Bytes& bytes, const std::string& text) {
    bytes.push_back(static_cast<uint8_t>(text.size()));
    bytes.insert(bytes.end(), text.begin(), text.end());
}
inline void PutMagic(Bytes& bytes, const char* magic) {
    bytes.insert(bytes.end(), magic, magic + 4);
}
inline uint32_t U32At(const Bytes& bytes, size_t offset) {
    EXPECT_LE(offset + 4, bytes.size());
    return offset + 4 <= bytes.size() ? formats::LoadU32(bytes.data() + offset) : 0xDEADBEEF;
}

inline Bytes ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}
inline void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// A cut with the given chosen entries (kPartlyChosenBit on the partly chosen) and,
// per layer 0 and 1, a window and one bin range with one span per row.
struct CutLayer {
    CutWindow window;
    int32_t firstRow = 0;
    std::vector<ColumnSpan> spans;
};
inline CMapCut MakeCut(const std::vector<uint32_t>& chosen, const CutLayer& overview = {},
                       const CutLayer& detailed = {}) {
    CMapCut cut;
    cut.m_chosen = chosen;
    for (uint32_t i = 0; i < chosen.size(); ++i) {
        if (!(chosen[i] & kPartlyChosenBit)) {
            cut.m_whollyChosen.push_back(chosen[i]);
            cut.m_whollyChosenPositions.push_back(i);
        }
    }
    const CutLayer* layers[2] = {&overview, &detailed};
    for (int layer = 0; layer < 2; ++layer) {
        cut.m_window[layer] = layers[layer]->window;
        if (!layers[layer]->spans.empty()) {
            BinRange range;
            range.firstRow = layers[layer]->firstRow;
            range.rowCount = static_cast<int32_t>(layers[layer]->spans.size());
            range.spans = layers[layer]->spans;
            cut.m_binRanges[layer].push_back(range);
        }
    }
    return cut;
}

// A source folder and a temporary folder under a fresh root; the temporary folder
// is the generation's, so the reports delete it.
class ConverterTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        platform::SetCurrentSide(platform::Side::Desktop);
        platform::ClearMessageBoxes();
        g_internalErrorFlag.store(0);
        source_ = roots_.base() / "src";
        temp_ = roots_.base() / "tmp";
        std::filesystem::create_directories(source_);
        std::filesystem::create_directories(temp_);
        src_ = platform::HostPathText(source_);
        tmp_ = platform::HostPathText(temp_);
        SetTemporaryFolder(tmp_);
    }
    void TearDown() override {
        SetTemporaryFolder(u"");
        platform::SetCurrentSide(platform::Side::Device);
    }

    void Source(const std::string& name, const Bytes& bytes) { WriteBytes(source_ / name, bytes); }
    Bytes Output(const std::string& name) {
        EXPECT_TRUE(std::filesystem::exists(temp_ / name)) << name;
        return ReadBytes(temp_ / name);
    }

    // Runs `step` and expects it to end the run: exit code -1, the one message box
    // with `text`, and the temporary folder gone.
    void ExpectRunEnds(const std::function<void()>& step, const std::u16string& text) {
        platform::ClearMessageBoxes();
        std::filesystem::create_directories(temp_);
        SetTemporaryFolder(tmp_);
        bool ended = false;
        try {
            step();
        } catch (const platform::ProcessExit& exit) {
            ended = true;
            EXPECT_EQ(exit.exitCode, kReportExitCode);
        }
        EXPECT_TRUE(ended) << "the run went on";
        const auto boxes = platform::ShownMessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, text);
        EXPECT_FALSE(std::filesystem::exists(temp_)) << "the temporary folder is left";
        EXPECT_EQ(g_internalErrorFlag.load(), 1);
    }
    static std::u16string InternalError(int line) {
        return u"Internal error line " + Number(line) + u" Please contact technical support";
    }
    static std::u16string InternalError(const std::u16string& text, int line) {
        return text + u" " + InternalError(line);
    }
    static std::u16string Number(int value) {
        const std::string digits = std::to_string(value);
        return std::u16string(digits.begin(), digits.end());
    }

    std::filesystem::path source_;
    std::filesystem::path temp_;
    std::u16string src_;
    std::u16string tmp_;
};

}  // namespace names_fixture
