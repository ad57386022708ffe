// Destination records and their list files: the bytes on disk, loading, sorting,
// the file operations, and that nothing a user saved is lost: long texts, files
// that cannot be read, full disks and crashes mid-rewrite, and the itinerary's
// final destination.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/little_endian.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_file.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/dest_list.h"
#include "platform/kernel/files.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_files.h"

namespace {

using testing_support::ReadTestFile;
using testing_support::WriteTestFile;

const std::u16string kList = u"\\My Documents\\favorites.dat";

std::string U32(uint32_t v) {
    uint8_t b[4];
    formats::StoreU32(b, v);
    return std::string(reinterpret_cast<char*>(b), 4);
}
std::string F32(float v) {
    uint8_t b[4];
    formats::StoreF32(b, v);
    return std::string(reinterpret_cast<char*>(b), 4);
}
std::string Header(uint32_t count) {
    return "FI03" + U32(count);
}
// A record as the file holds it, built by hand from the layout in dest_list.h.
std::string RecordBytes(const std::string& name, uint32_t link, uint32_t ref, uint32_t area,
                        float lat, float lon, const std::vector<std::string>& texts) {
    std::string bytes = name;
    bytes.resize(16, '\0');
    bytes += U32(link) + U32(ref) + U32(area) + F32(lat) + F32(lon);
    for (int i = 0; i < 3; ++i) {
        const std::string text = i < static_cast<int>(texts.size()) ? texts[i] : "";
        bytes.push_back(static_cast<char>(text.size()));
        bytes += text;
    }
    return bytes;
}

// A record on the program heap, as the lists keep them.
DestRecord* Make(const char* line1, const char* line2 = nullptr, const char* line3 = nullptr,
                 const char* name = "", float lat = 1.0f, float lon = 2.0f) {
    DestRecord* record = new DestRecord;
    EXPECT_NE(record, nullptr);
    EXPECT_TRUE(record->Set(lat, lon, 0, 0, 0, name, line1, line2, line3));
    return record;
}

std::string Line1Of(const DestRecord* r) {
    return r->line1 ? r->line1 : "<none>";
}

std::vector<std::string> Lines1(const std::u16string& path) {
    CDestList list;
    list.path = path;
    list.Load(0, 0);
    std::vector<std::string> lines;
    for (const DestRecord* r : list.records) {
        lines.push_back(Line1Of(r));
    }
    return lines;
}

// Saves records with these lines 1 as a list file.
void SaveLines(const std::u16string& path, const std::vector<std::string>& lines) {
    CDestList list;
    list.path = path;
    for (const std::string& line : lines) {
        list.records.push_back(Make(line.c_str(), "City"));
    }
    ASSERT_EQ(list.Save(), 0);
}

class DestListTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(CreateDirectoryW(u"\\My Documents", nullptr));
        const std::u16string folder = u"\\My Documents\\";
        std::copy(folder.c_str(), folder.c_str() + folder.size() + 1, g_userDataFolder);
    }
    void TearDown() override {
        platform::ClearWriteFailure();
        g_userDataFolder[0] = 0;
        SetDestinationRouter(nullptr);
    }
};

TEST_F(DestListTest, FilesAreByteExact) {
    CDestList list;
    list.path = kList;
    ASSERT_EQ(list.Save(), 0);
    EXPECT_EQ(ReadTestFile(kList), Header(0));
    EXPECT_EQ(list.Load(0, 0), -1);

    DestRecord* bare = new DestRecord;
    ASSERT_TRUE(
        bare->Set(37.5f, -122.25f, 0x01020304, 0x80000005, 7, "12", nullptr, nullptr, nullptr));
    DestRecord* texts = Make("7 bytes", nullptr, nullptr, "", -500.0f, 0.0f);
    DestRecord* full = Make(
        "\x01"
        "1 Elm",
        "Oakdale", "Home", "1");
    list.records = {bare, texts, full};
    ASSERT_EQ(list.Save(), 0);
    std::string expected = Header(3) +
                           RecordBytes("12", 0x01020304, 0x80000005, 7, 37.5f, -122.25f, {}) +
                           RecordBytes("", 0, 0, 0, -500.0f, 0.0f, {"7 bytes"}) +
                           RecordBytes("1", 0, 0, 0, 1.0f, 2.0f,
                                       {"\x01"
                                        "1 Elm",
                                        "Oakdale", "Home"});
    std::string bytes = ReadTestFile(kList);
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(bytes.size(), 8u + 39u + 46u + (36u + 7u + 8u + 5u));

    CDestList loaded;
    loaded.path = kList;
    ASSERT_EQ(loaded.Load(0, 0), 0);
    ASSERT_EQ(loaded.records.size(), 3u);
    const DestRecord* r = loaded.records[0];
    EXPECT_STREQ(r->shortName, "12");
    EXPECT_EQ(r->linkId, 0x01020304u);
    EXPECT_EQ(r->linkRef, 0x80000005u);
    EXPECT_EQ(r->areaCode, 7u);
    EXPECT_EQ(r->lat, 37.5f);
    EXPECT_EQ(r->lon, -122.25f);
    EXPECT_EQ(r->line1, nullptr);
    EXPECT_STREQ(loaded.records[2]->line1,
                 "\x01"
                 "1 Elm");
    EXPECT_STREQ(loaded.records[2]->line3, "Home");
}

TEST_F(DestListTest, LoadHonoursTheLimitAndKeepsWhatReads) {
    std::string file = Header(30);
    for (int i = 0; i < 30; ++i) {
        file += RecordBytes("", 0, 0, 0, 0, 0, {"r" + std::to_string(i)});
    }
    ASSERT_TRUE(WriteTestFile(kList, file));
    CDestList list;
    list.path = kList;
    EXPECT_EQ(list.Load(0, 25), 0);
    ASSERT_EQ(list.records.size(), 25u);
    EXPECT_STREQ(list.records[24]->line1, "r24");

    // Count 5, three whole records and a cut fourth.
    std::string shortFile = Header(5);
    for (int i = 0; i < 4; ++i) {
        shortFile += RecordBytes("", 0, 0, 0, 0, 0, {"s" + std::to_string(i)});
    }
    shortFile.resize(shortFile.size() - 3);
    ASSERT_TRUE(WriteTestFile(kList, shortFile));
    CDestList partial;
    partial.path = kList;
    EXPECT_EQ(partial.Load(0, 0), 1);
    EXPECT_EQ(partial.records.size(), 3u);

    struct Bad {
        const char* label;
        std::string bytes;
    } bad[] = {{"WrongMagic", "FI02" + U32(1) + RecordBytes("", 0, 0, 0, 0, 0, {"x"})},
               {"ShortCount", "FI03\x01"},
               {"Empty", ""},
               {"NegativeCount", Header(0xFFFFFFFF)}};
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.label);
        ASSERT_TRUE(WriteTestFile(kList, b.bytes));
        CDestList none;
        none.path = kList;
        EXPECT_EQ(none.Load(0, 0), -1);
        EXPECT_TRUE(none.records.empty());
    }
    CDestList missing;
    missing.path = u"\\My Documents\\none.dat";
    EXPECT_EQ(missing.Load(0, 0), -1);
}

TEST_F(DestListTest, LongTextsNeverBreakTheRecordsAfterThem) {
    // A text of more than 127 bytes is stored cut to 127.
    std::string longText(200, 'L');
    CDestList list;
    list.path = kList;
    list.records = {Make(longText.c_str(), "City"), Make("after", "Town")};
    ASSERT_EQ(list.Save(), 0);
    CDestList loaded;
    loaded.path = kList;
    ASSERT_EQ(loaded.Load(0, 0), 0);
    ASSERT_EQ(loaded.records.size(), 2u);
    EXPECT_EQ(std::string(loaded.records[0]->line1), std::string(127, 'L'));
    EXPECT_STREQ(loaded.records[0]->line2, "City");
    EXPECT_STREQ(loaded.records[1]->line1, "after");

    // A file whose writer stored a long text with its full length reads whole.
    std::string file = Header(2) + RecordBytes("", 0, 0, 0, 0, 0, {longText, "City"}) +
                       RecordBytes("", 0, 0, 0, 0, 0, {"after"});
    ASSERT_TRUE(WriteTestFile(kList, file));
    CDestList old;
    old.path = kList;
    ASSERT_EQ(old.Load(0, 0), 0);
    ASSERT_EQ(old.records.size(), 2u);
    EXPECT_EQ(std::string(old.records[0]->line1), longText);
    EXPECT_STREQ(old.records[1]->line1, "after");
}

TEST_F(DestListTest, AddPutsRecordsInPlace) {
    const std::u16string recent = u"\\My Documents\\recent.dat";
    DestRecord* first = Make("first", "City");
    EXPECT_EQ(CDestList::Add(*first, recent, FALSE, TRUE), 0);
    EXPECT_EQ(ReadTestFile(recent), Header(1) + RecordBytes("", 0, 0, 0, 1, 2, {"first", "City"}));
    delete first;

    SaveLines(recent, {"a", "b", "c", "d"});
    // Equal to the first record: the file stays as it is.
    std::string before = ReadTestFile(recent);
    DestRecord* a = Make("A", "CITY", nullptr, "", 9, 9);
    EXPECT_EQ(CDestList::Add(*a, recent, FALSE, TRUE), 1);
    EXPECT_EQ(ReadTestFile(recent), before);
    // Equal to the third: it moves to the front with the new record's fields.
    DestRecord* c = Make("c", "City", nullptr, "", 5, 6);
    EXPECT_EQ(CDestList::Add(*c, recent, FALSE, TRUE), 0);
    EXPECT_EQ(Lines1(recent), (std::vector<std::string>{"c", "a", "b", "d"}));
    CDestList check;
    check.path = recent;
    check.Load(0, 0);
    EXPECT_EQ(check.records[0]->lat, 5.0f);
    // Without replacing, an equal record further down stays.
    DestRecord* b = Make("b", "City");
    EXPECT_EQ(CDestList::Add(*b, recent, FALSE, FALSE), 0);
    EXPECT_EQ(Lines1(recent), (std::vector<std::string>{"b", "c", "a", "b", "d"}));

    // Favourites: at the end; an equal record is replaced there ("Override").
    SaveLines(kList, {"x", "y", "z"});
    DestRecord* z = Make("z", "City");
    EXPECT_EQ(CDestList::Add(*z, kList, TRUE, TRUE), 1);
    DestRecord* x = Make("x", "City");
    EXPECT_EQ(CDestList::Add(*x, kList, TRUE, TRUE), 0);
    EXPECT_EQ(Lines1(kList), (std::vector<std::string>{"y", "z", "x"}));
    for (DestRecord* r : {a, c, b, z, x}) {
        delete r;
    }
}

TEST_F(DestListTest, UnreadableFilesAreMovedAsideNotOverwritten) {
    struct Case {
        const char* label;
        std::string bytes;
    } cases[] = {
        {"WrongMagic", "NOPE" + U32(1) + "user data"},
        {"ShortCount", "FI03\x02"},
        {"CountPastTheRecords", Header(3) + RecordBytes("", 0, 0, 0, 0, 0, {"kept"}) + "xx"},
        // A count below the records: the ones past it are the user's too.
        {"CountBelowTheRecords", Header(1) + RecordBytes("", 0, 0, 0, 0, 0, {"kept"}) +
                                     RecordBytes("", 0, 0, 0, 0, 0, {"uncounted"})}};
    DestRecord* added = Make("new", "City");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        testing_support::TempRoots roots;
        ASSERT_TRUE(CreateDirectoryW(u"\\My Documents", nullptr));
        ASSERT_TRUE(WriteTestFile(kList, c.bytes));
        EXPECT_EQ(CDestList::Add(*added, kList, TRUE, TRUE), 0);
        EXPECT_EQ(ReadTestFile(kList + u".bad"), c.bytes);
        const bool keptOne = std::string(c.label).rfind("Count", 0) == 0;
        std::vector<std::string> expect =
            keptOne ? std::vector<std::string>{"kept", "new"} : std::vector<std::string>{"new"};
        EXPECT_EQ(Lines1(kList), expect);

        // Again, through a save: the first copy aside stays, the next gets its own name.
        ASSERT_TRUE(WriteTestFile(kList, c.bytes));
        CDestList list;
        list.path = kList;
        list.records.push_back(Make("saved"));
        ASSERT_EQ(list.Save(), 0);
        EXPECT_EQ(ReadTestFile(kList + u".bad"), c.bytes);
        EXPECT_EQ(ReadTestFile(kList + u".bad2"), c.bytes);
        EXPECT_EQ(Lines1(kList), std::vector<std::string>{"saved"});
    }
    delete added;
    // A whole list that is rewritten leaves nothing beside it.
    testing_support::TempRoots roots;
    ASSERT_TRUE(CreateDirectoryW(u"\\My Documents", nullptr));
    SaveLines(kList, {"a"});
    SaveLines(kList, {"b"});
    EXPECT_EQ(FileExists(u"\\My Documents\\favorites.dat.*"), 0);
}

TEST_F(DestListTest, FullDiskLeavesTheOldFileIntact) {
    SaveLines(kList, {"one", "two", "three"});
    const std::string before = ReadTestFile(kList);
    DestRecord* added = Make("four", "City");
    // Every rewrite below is longer than each allowance (the shortest, the cut to
    // one record, is 54 bytes).
    for (ULONGLONG allowance : {0ull, 6ull, 40ull, 53ull}) {
        SCOPED_TRACE(allowance);
        platform::FailWritesAfter(allowance);
        EXPECT_EQ(CDestList::Add(*added, kList, TRUE, TRUE), 1);
        platform::FailWritesAfter(allowance);
        CDestList list;
        list.path = kList;
        list.records.push_back(Make(std::string(120, 'o').c_str()));
        EXPECT_NE(list.Save(), 0);
        platform::FailWritesAfter(allowance);
        EXPECT_EQ(CDestList::Truncate(kList, 1), 0);
        platform::ClearWriteFailure();
        EXPECT_EQ(ReadTestFile(kList), before);
        EXPECT_EQ(FileExists(u"\\My Documents\\favorites.dat.*"), 0);
    }
    delete added;
}

TEST_F(DestListTest, ACrashBetweenTheRenamesKeepsTheOldList) {
    SaveLines(kList, {"old1", "old2"});
    const std::string old = ReadTestFile(kList);
    // The rewrite moved the old file aside and died before renaming the new one in.
    ASSERT_TRUE(MoveFileW(kList.c_str(), (kList + u".bak").c_str()));
    ASSERT_TRUE(WriteTestFile(kList + u".tmp", Header(1) + "half"));
    EXPECT_EQ(Lines1(kList), (std::vector<std::string>{"old1", "old2"}));
    EXPECT_EQ(ReadTestFile(kList), old);

    // It died after renaming the new one in: the leftover goes at the next rewrite.
    ASSERT_TRUE(WriteTestFile(kList + u".bak", "stale"));
    DestRecord* added = Make("new", "City");
    EXPECT_EQ(CDestList::Add(*added, kList, TRUE, FALSE), 0);
    EXPECT_EQ(Lines1(kList), (std::vector<std::string>{"old1", "old2", "new"}));
    EXPECT_EQ(FileExists(u"\\My Documents\\favorites.dat.*"), 0);
    delete added;
}

TEST_F(DestListTest, FindAndTruncate) {
    SaveLines(kList, {"a", "b", "c"});
    DestRecord* b = Make("B", "city");
    DestRecord* q = Make("q", "City");
    EXPECT_EQ(CDestList::Find(*b, kList), 2);
    EXPECT_EQ(CDestList::Find(*q, kList), 0);
    EXPECT_EQ(CDestList::Find(*b, u"\\My Documents\\none.dat"), 0);
    delete b;
    delete q;

    std::vector<std::string> twenty;
    for (int i = 0; i < 20; ++i) {
        twenty.push_back("r" + std::to_string(i));
    }
    SaveLines(kList, twenty);
    std::string before = ReadTestFile(kList);
    EXPECT_EQ(CDestList::Truncate(kList, 25), 0);
    EXPECT_EQ(ReadTestFile(kList), before);
    EXPECT_EQ(CDestList::Truncate(kList, 20), 0);
    EXPECT_EQ(ReadTestFile(kList), before);
    EXPECT_EQ(CDestList::Truncate(kList, 2), 0);
    EXPECT_EQ(Lines1(kList), (std::vector<std::string>{"r0", "r1"}));
}

TEST_F(DestListTest, RecordsCompareByTheirTexts) {
    struct Case {
        const char* label;
        DestRecord* a;
        DestRecord* b;
        bool equal;
    } cases[] = {
        {"SameAddressOtherNames", Make("1 Elm", "Oakdale", "Home"),
         Make("1 elm", "OAKDALE", "Work"), true},
        {"SameNameOtherAddresses", Make("1 Elm", "Oakdale", "Cafe"), Make("9 Oak", "Ridge", "cafe"),
         true},
        {"MarkerIgnored",
         Make("\x01"
              "Elm & Oak",
              "Oakdale"),
         Make("Elm & Oak", "Oakdale"), true},
        {"OtherCity", Make("1 Elm", "Oakdale"), Make("1 Elm", "Ridge"), false},
        {"OneWithoutCity", Make("1 Elm", "Oakdale"), Make("1 Elm"), false},
        {"NameOnOneSide", Make("1 Elm", "Oakdale", "Home"), Make("2 Elm", "Oakdale"), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.a->Equals(*c.b), c.equal) << c.label;
        EXPECT_EQ(c.b->Equals(*c.a), c.equal) << c.label;
        delete c.a;
        delete c.b;
    }
}

TEST_F(DestListTest, SortByTitleThenCity) {
    CDestList list;
    list.path = kList;
    list.records = {Make("Zulu Rd", "A", "Zoo"), Make("12 Apple Rd", "B", nullptr, "12"),
                    Make("Main St", "Zed"), Make("main st", "Alpha"), Make("Berry Ln", "C")};
    ASSERT_EQ(list.Save(), 0);
    CDestList sorted;
    sorted.path = kList;
    ASSERT_EQ(sorted.Load(1, 0), 0);
    std::vector<std::string> order;
    for (const DestRecord* r : sorted.records) {
        order.push_back(std::string(r->line1) + "/" + r->line2);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"12 Apple Rd/B", "Berry Ln/C", "main st/Alpha",
                                               "Main St/Zed", "Zulu Rd/A"}));
    DestRecord* upper = Make("OAK", "X");
    DestRecord* lower = Make("oak", "x");
    EXPECT_EQ(CompareDestRecords(*upper, *lower), 0);
    delete upper;
    delete lower;
}

TEST_F(DestListTest, FavouritesCompareNamesAsTheMapDoes) {
    // A hyphen or a blank, a bracket or none: one place, however it was typed.
    SaveLines(kList, {"SAINT-JEAN", "AB St"});
    const std::string before = ReadTestFile(kList);
    DestRecord* saint = Make("Saint Jean", "CITY");
    DestRecord* bracket = Make("A(B) St", "City");
    EXPECT_EQ(CDestList::Find(*saint, kList), 2);
    EXPECT_EQ(CDestList::Find(*bracket, kList), 2);
    // The last favourite once more: nothing is added.
    EXPECT_EQ(CDestList::Add(*bracket, kList, TRUE, TRUE), 1);
    EXPECT_EQ(ReadTestFile(kList), before);
    // An earlier one moves to the end instead of coming twice.
    EXPECT_EQ(CDestList::Add(*saint, kList, TRUE, TRUE), 0);
    EXPECT_EQ(Lines1(kList), (std::vector<std::string>{"AB St", "Saint Jean"}));
    delete saint;
    delete bracket;

    // Sorted, an accented initial stands with its base letter.
    CDestList list;
    list.path = kList;
    list.records = {Make("Fir Rd", "City"),
                    Make("\xC9"
                         "cole Rd",
                         "City"),
                    Make("Elm Rd", "City"), Make("Dale Rd", "City")};
    ASSERT_EQ(list.Save(), 0);
    EXPECT_LT(CompareDestRecords(*list.records[1], *list.records[0]), 0);
    CDestList sorted;
    sorted.path = kList;
    ASSERT_EQ(sorted.Load(1, 0), 0);
    std::vector<std::string> order;
    for (const DestRecord* r : sorted.records) {
        order.push_back(r->line1);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"Dale Rd",
                                               "\xC9"
                                               "cole Rd",
                                               "Elm Rd", "Fir Rd"}));
}

TEST_F(DestListTest, WriteTellsWhichPartCameShort) {
    // 36 bytes of fixed part, then "1 Elm" (1 + 5), "Oakdale" (1 + 7), "Home" (1 + 4).
    DestRecord* full = Make("1 Elm", "Oakdale", "Home");
    // Without a line 2 its length byte alone stands for it.
    DestRecord* noCity = Make("1 Elm", nullptr, "Home");
    const struct {
        DestRecord* record;
        ULONGLONG allowance;
        int result;
    } cases[] = {
        {full, 0, 3},  {full, 35, 3},   {full, 36, 1},   {full, 41, 1},
        {full, 42, 2}, {full, 49, 2},   {full, 50, 3},   {full, 54, 3},
        {full, 55, 0}, {noCity, 42, 2}, {noCity, 47, 3}, {noCity, 48, 0},
    };
    const std::u16string path = u"\\My Documents\\record.bin";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.allowance);
        CDataFile file;
        ASSERT_EQ(file.Open(path.c_str(), kDataFileWrite), 0);
        platform::FailWritesAfter(c.allowance);
        EXPECT_EQ(c.record->Write(file), c.result);
        platform::ClearWriteFailure();
        file.Close();
    }
    delete full;
    delete noCity;
}

TEST_F(DestListTest, SetAndDisplayText) {
    DestRecord record;
    EXPECT_EQ(record.lat, kNoPosition);
    ASSERT_TRUE(record.Set(1, 2, 3, 4, 5, "12345678901234567890",
                           "\x01"
                           "line one",
                           "line two", nullptr));
    EXPECT_STREQ(record.shortName, "12345678901234");
    char text[64];
    record.GetDisplayText(text, sizeof text);
    EXPECT_STREQ(text, "line one\nline two");
    // A null text leaves the record's text as it was.
    ASSERT_TRUE(record.Set(1, 2, 3, 4, 5, nullptr, nullptr, nullptr, "Title"));
    EXPECT_STREQ(record.line1,
                 "\x01"
                 "line one");
    record.GetDisplayText(text, sizeof text);
    EXPECT_STREQ(text, "Title");
    DestRecord empty;
    empty.GetDisplayText(text, sizeof text);
    EXPECT_STREQ(text, "");
    ASSERT_TRUE(
        record.Set(1, 2, 3, 4, 5, nullptr, std::string(100, 'w').c_str(), nullptr, nullptr));
    record.FreeStrings();
    ASSERT_TRUE(
        record.Set(1, 2, 3, 4, 5, nullptr, std::string(100, 'w').c_str(), nullptr, nullptr));
    record.GetDisplayText(text, 8);
    EXPECT_STREQ(text, "wwwwwww");
}

class FakeRouter : public IDestinationRouter {
  public:
    BOOL detour = FALSE;
    int routed = 0;
    BOOL IsDetourActive() override { return detour; }
    int RouteTo(DestRecord&) override {
        ++routed;
        return 0;
    }
};

TEST_F(DestListTest, RouteToGoesThroughTheRouter) {
    DestRecord record;
    EXPECT_EQ(record.RouteTo(), 1);
    FakeRouter router;
    SetDestinationRouter(&router);
    EXPECT_EQ(record.RouteTo(), 0);
    EXPECT_EQ(router.routed, 1);
}

TEST_F(DestListTest, ItineraryKeepsTheFinalDestinationDuringADetour) {
    const std::u16string itinerary = u"\\My Documents\\itinerary.dat";
    FakeRouter router;
    SetDestinationRouter(&router);
    DestPlace place{10, 0x80000000, 2, 40.5f, -74.25f};

    // No detour: the new destination alone, built from the texts.
    SaveLines(itinerary, {"first", "final"});
    ASSERT_EQ(RewriteItinerary(nullptr, &place, "5 Main St\nSpringfield", "5", nullptr), 0);
    CDestList one;
    one.path = itinerary;
    ASSERT_EQ(one.Load(0, 0), 0);
    ASSERT_EQ(one.records.size(), 1u);
    EXPECT_STREQ(one.records[0]->line1, "5 Main St");
    EXPECT_STREQ(one.records[0]->line2, "Springfield");
    EXPECT_STREQ(one.records[0]->shortName, "5");
    EXPECT_EQ(one.records[0]->linkId, 10u);
    EXPECT_EQ(one.records[0]->linkRef, 0x80000000u);
    EXPECT_EQ(one.records[0]->lat, 40.5f);

    router.detour = TRUE;
    struct Case {
        const char* label;
        DestRecord* next;
        std::vector<std::string> expect;
    } cases[] = {
        {"NewThenFinal", Make("stop", "City"), {"stop", "final"}},
        // Same title as the final destination, another place: both stay.
        {"SameTitleOtherPlace", Make("final", "City", nullptr, "", 7, 7), {"final", "final"}},
        {"TheFinalItself", Make("final", "City"), {"final"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        SaveLines(itinerary, {"first", "final"});
        ASSERT_EQ(RewriteItinerary(c.next, nullptr, nullptr, nullptr, nullptr), 0);
        EXPECT_EQ(Lines1(itinerary), c.expect);
        delete c.next;
    }

    // A full disk keeps the whole itinerary.
    SaveLines(itinerary, {"first", "final"});
    std::string before = ReadTestFile(itinerary);
    DestRecord* stop = Make("stop", "City");
    platform::FailWritesAfter(50);
    EXPECT_EQ(RewriteItinerary(stop, nullptr, nullptr, nullptr, nullptr), 1);
    platform::ClearWriteFailure();
    EXPECT_EQ(ReadTestFile(itinerary), before);

    // An itinerary that does not read whole is kept aside.
    std::string cut = before.substr(0, before.size() - 4);
    ASSERT_TRUE(WriteTestFile(itinerary, cut));
    EXPECT_EQ(RewriteItinerary(stop, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(Lines1(itinerary), std::vector<std::string>{"stop"});
    EXPECT_EQ(ReadTestFile(itinerary + u".bad"), cut);
    delete stop;
}

}  // namespace
