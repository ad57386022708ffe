// The region page's pieces that need no window: the existing-map question read back
// from "namdict.bin", megabytes as the pages show them, and the message texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/namdict.h"
#include "mapferry/ui/messages.h"
#include "mapferry/ui/region_page.h"
#include "mapferry/ui/storage_card_dialog.h"
#include "mapferry/ui/target_drives.h"

namespace {

std::vector<unsigned char> RegionsFile(const std::vector<std::string>& names) {
    const std::vector<uint32_t> entries = {(4u << 16) | 3u};
    return formats::namdict::EncodeRegions(entries, names);
}

TEST(ExistingMapQuestionTest, NamesWhatTheInstalledMapHoldsOrAsksNothing) {
    const std::u16string erased = MSG_EXISTING_MAP_ERASED.Get();
    const std::u16string overwrite = MSG_CLICK_OK_OVERWRITE.Get();
    EXPECT_EQ(ExistingMapQuestionText(RegionsFile({"North", "South"})),
              erased + u"\tNorth\n\tSouth\n\t" + overwrite);
    EXPECT_EQ(ExistingMapQuestionText(
                  formats::namdict::EncodeCity("California", "Andorra la Vella", "50 (80)")),
              erased + u"City : Andorra la Vella\nRegions : California\nCountry : 50 (80) Mi\n" +
                  overwrite);
    EXPECT_EQ(ExistingMapQuestionText(
                  formats::namdict::EncodeCity("California", "Andorra la Vella", "50 (80)"), true),
              erased + u"City: Andorra la Vella\nState: California\nMap radius: 50 (80) MI\n" +
                  overwrite);

    std::vector<unsigned char> tooLong = RegionsFile({"North"});
    tooLong[16] = 81;  // the first name's length
    std::vector<unsigned char> otherMagic = RegionsFile({"North"});
    otherMagic[3] = '2';
    const std::vector<std::vector<unsigned char>> nothingToAsk = {
        {}, tooLong, otherMagic, {'M', 'D', 'C', '1'}, RegionsFile({})};
    for (const auto& bytes : nothingToAsk)
        EXPECT_EQ(ExistingMapQuestionText(bytes), u"") << bytes.size() << " bytes";
}

TEST(RegionPageSizesTest, MegabytesAreRoundedAndAnyBytesShowOne) {
    const struct {
        uint64_t bytes;
        unsigned megabytes;
    } cases[] = {{0, 0},
                 {1, 1},
                 {524287, 1},
                 {1572864, 2},
                 {512ull << 20, 512},
                 {(512ull << 20) + 600000, 513}};
    for (const auto& c : cases)
        EXPECT_EQ(MegabytesOf(c.bytes), c.megabytes) << c.bytes;
}

TEST(MessageTextTest, ScreenTextsKeepTheirBlanksAndFillTheirArguments) {
    EXPECT_EQ(std::u16string(MSG_TAB_REGIONS.Get()), u"     Regions     ");
    EXPECT_EQ(std::u16string(MSG_SIZE_LIMIT.Get()),
              u"Map data exceeds size limit.  Please only select state[s] up to 512MB in size.");
    EXPECT_EQ(std::u16string(MSG_GENERATING_FILE.Get()).size(),
              std::u16string(u"Generating Map Data - %s").size() + 22);
    EXPECT_EQ(FormatMessageText(MSG_MAP_TOO_LARGE_FOR_DEVICE, 42ul),
              u"Selected map size is larger than device capacity (42MB).");
    EXPECT_EQ(FormatMessageText(MSG_PC_LOCAL_DRIVE, static_cast<WCHAR>(u'T')),
              u"PC Local Drive T:");
    EXPECT_EQ(std::u16string(MSG_TAB_REGIONS.Get(5)), u"     Regions     ");
}

// A handheld that names its cards and answers nothing else.
class NamedCards : public CPcDriveLink {
  public:
    explicit NamedCards(std::vector<std::u16string> names)
        : CPcDriveLink(u"C:\\Handheld"), m_names(std::move(names)) {}
    int GetStorageCardCount() override { return static_cast<int>(m_names.size()); }
    std::u16string GetStorageCardName(int index) override { return m_names.at(index); }

  private:
    std::vector<std::u16string> m_names;
};

TEST(StorageCardListTest, CardsComeFirstTheRootAndEmptyNamesNeverAndFiveAtMost) {
    using Listed = std::vector<std::pair<std::u16string, int>>;
    NamedCards mixed({u"\\Flash", u"\\", u"", u"\\SD Card", u"\\storage card", u"\\Late Card"});
    EXPECT_EQ(OrderedCards(mixed),
              (Listed{{u"\\SD Card", 3}, {u"\\storage card", 4}, {u"\\Flash", 0}}));
    NamedCards none({});
    EXPECT_TRUE(OrderedCards(none).empty());
}

}  // namespace
