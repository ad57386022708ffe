// GPS logs: what a log holds, a full disk in the middle of one, and the line reader
// of playback on cut, binary and overlong input.
#include "pathlume/position/gps_log.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "platform/kernel/files.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_files.h"

namespace {

class GpsLogTest : public testing_support::RootsTest {
  protected:
    static std::string Text(const char16_t* path) { return testing_support::ReadTestFile(path); }
};

std::string Sentence(int i) {
    return "$GPRMC,1200" + std::to_string(10 + i % 50) +
           ",A,4807.038,N,01131.000,E,022.4,084.4,"
           "230394,003.1,W*" +
           std::to_string(10 + i % 90);
}

TEST_F(GpsLogTest, ALogHoldsEachSentenceOnItsLineAndStartEmptiesIt) {
    CGpsLog log;
    ASSERT_EQ(log.Start(u"\\first.gps"), 0);
    std::string expected;
    for (int i = 0; i < 130; ++i) {
        const std::string s = Sentence(i);
        ASSERT_EQ(log.Write(s.data(), s.size()), 0);
        expected += s + "\r\n";
    }
    log.Stop();
    EXPECT_FALSE(log.IsLogging());
    EXPECT_EQ(Text(u"\\first.gps"), expected);

    ASSERT_EQ(log.Start(u"\\first.gps"), 0);
    log.Stop();
    EXPECT_EQ(Text(u"\\first.gps"), "");
    EXPECT_EQ(log.Start(u"\\no such folder\\x.gps"), 1);
    EXPECT_FALSE(log.IsLogging());
}

TEST_F(GpsLogTest, AFullDiskEndsTheLogKeepingTheWholeLinesWritten) {
    CGpsLog log;
    ASSERT_EQ(log.Start(u"\\full.gps"), 0);
    std::string expected;
    for (int i = 0; i < 10; ++i) {
        const std::string s = Sentence(i);
        ASSERT_EQ(log.Write(s.data(), s.size()), 0);
        expected += s + "\r\n";
    }
    platform::FailWritesAfter(30);  // the next line does not fit
    const std::string s = Sentence(10);
    EXPECT_EQ(log.Write(s.data(), s.size()), 1);
    EXPECT_FALSE(log.IsLogging());
    EXPECT_EQ(log.Write(s.data(), s.size()), 1);
    platform::ClearWriteFailure();
    EXPECT_EQ(Text(u"\\full.gps"), expected);
}

TEST_F(GpsLogTest, PlaybackReadsLinesFromTheirDollarSign) {
    const std::string overlong = "$GPGGA," + std::string(200, '1');
    const struct {
        std::string content;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"$GPRMC,1*00\r\n$GPGGA,2*00\r\n", {"$GPRMC,1*00", "$GPGGA,2*00"}},
        {"junk $GPRMC,1*00\nnoise\n\n$GPGGA,2*00", {"$GPRMC,1*00", "$GPGGA,2*00"}},  // last unended
        {overlong + "\r\n$GPRMC,3*00\r", {overlong.substr(0, 127), "$GPRMC,3*00"}},
        {std::string("\0\xff$\x01\x80\r$", 7), {std::string("$\x01\x80", 3), "$"}},
        {"$GPRMC,12", {"$GPRMC,12"}},  // cut off
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(testing_support::WriteTestFile(u"\\play.gps", c.content));
        CPlaybackReader reader;
        ASSERT_EQ(reader.Open(u"\\play.gps"), 0);
        std::vector<std::string> lines;
        char line[kPlaybackLineMax + 1];
        int length;
        while ((length = reader.NextLine(line)) >= 0) {
            ASSERT_LE(length, 127);
            lines.emplace_back(line, static_cast<size_t>(length));
        }
        EXPECT_EQ(lines, c.lines) << c.content.substr(0, 40);
    }
    CPlaybackReader reader;
    EXPECT_EQ(reader.Open(u"\\missing.gps"), 1);
    char line[kPlaybackLineMax + 1];
    EXPECT_EQ(reader.NextLine(line), -1);
}

TEST(GpsLogNameTest, TheDefaultNameIsTheLocalDateAndTime) {
    WCHAR name[32];
    MakeGpsLogName(name, 32);
    const std::u16string text(name);
    const std::string narrow(text.begin(), text.end());
    EXPECT_TRUE(std::regex_match(narrow, std::regex(R"(\d{4}-\d{2}-\d{2}-\d{6})"))) << narrow;
}

}  // namespace
