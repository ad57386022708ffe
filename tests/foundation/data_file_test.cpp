// The file object, plain and memory-mapped. Every successful read, seek and line
// read gives the same answer in both modes; failures behave as each mode says.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "pathlume/foundation/data_file.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_files.h"

namespace {

using testing_support::ReadTestFile;
using testing_support::WriteTestFile;

constexpr const char16_t* kPath = u"\\data\\file.bin";

class DataFileTest : public testing_support::RootsTest {};

// One call on the file and what it must give: the bytes read, the line read
// ("<null>" for none), or the number returned.
struct Step {
    enum Kind { Read, Seek, Tell, Line } kind;
    int a = 0;  // count, offset or buffer size
    int b = 0;  // origin
    std::string expect;
};

std::string RunStep(CDataFile& file, const Step& step) {
    switch (step.kind) {
        case Step::Read: {
            std::string buffer(static_cast<size_t>(step.a), '\0');
            buffer.resize(static_cast<size_t>(file.Read(buffer.data(), step.a)));
            return buffer;
        }
        case Step::Seek:
            return std::to_string(file.Seek(step.a, step.b));
        case Step::Tell:
            return std::to_string(file.Tell());
        case Step::Line: {
            std::vector<char> buffer(static_cast<size_t>(step.a), 'x');
            char* line = file.ReadLine(buffer.data(), step.a);
            return line ? std::string(line) : std::string("<null>");
        }
    }
    return {};
}

struct Script {
    const char* label;
    std::string content;
    DWORD flags;
    std::vector<Step> steps;
};

Step R(int n, std::string e) {
    return {Step::Read, n, 0, std::move(e)};
}
Step S(int offset, int origin, std::string e = "0") {
    return {Step::Seek, offset, origin, std::move(e)};
}
Step T(int expect) {
    return {Step::Tell, 0, 0, std::to_string(expect)};
}
Step L(int size, std::string e) {
    return {Step::Line, size, 0, std::move(e)};
}

const std::vector<Script>& Scripts() {
    static const std::vector<Script> scripts = {
        {"ReadSeekTell",
         "abcdefgh\nxy",
         kDataFileRead,
         {R(3, "abc"), T(3), S(2, 1), T(5), R(100, "fgh\nxy"), T(11), S(-2, 2), R(5, "xy"), S(0, 0),
          R(1, "a"), S(11, 0), T(11), R(4, ""), S(-11, 2), T(0)}},
        {"LineInPieces",
         "abcdefgh\nxy",
         kDataFileRead,
         {L(6, "abcde"), L(6, "fgh\n"), T(9), L(6, "xy"), T(11), L(6, "<null>"), S(4, 0),
          L(64, "efgh\n")}},
        {"TextLines",
         "one\r\ntwo\r\n\r\nlast",
         kDataFileRead | kDataFileText,
         {L(64, "one\n"), T(5), L(64, "two\n"), L(64, "\n"), L(64, "last"), L(64, "<null>")}},
        {"RawLinesKeepCr", "one\r\ntwo", kDataFileRead, {L(64, "one\r\n"), L(64, "two")}},
        // The CR of a CR LF that the buffer cannot hold with its LF stays in the piece.
        {"CrLfAcrossPieces",
         "abcd\r\nz",
         kDataFileRead | kDataFileText,
         {L(6, "abcd\r"), L(6, "\n"), L(6, "z")}},
        {"LoneCrIsNoLineEnd",
         "a\rb\nc",
         kDataFileRead | kDataFileText,
         {L(64, "a\rb\n"), L(64, "c")}},
    };
    return scripts;
}

class DataFileScriptTest : public testing_support::RootsTest,
                           public testing::WithParamInterface<Script> {};

TEST_P(DataFileScriptTest, PlainAndMappedGiveTheSameResults) {
    const Script& script = GetParam();
    ASSERT_TRUE(WriteTestFile(kPath, script.content));
    for (DWORD mapped : {0u, kDataFileMapped}) {
        SCOPED_TRACE(mapped ? "mapped" : "plain");
        CDataFile file;
        ASSERT_EQ(file.Open(kPath, script.flags | mapped), 0);
        EXPECT_EQ(file.IsMapped(), mapped != 0);
        for (size_t i = 0; i < script.steps.size(); ++i) {
            EXPECT_EQ(RunStep(file, script.steps[i]), script.steps[i].expect) << "step " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Scripts, DataFileScriptTest, testing::ValuesIn(Scripts()),
                         [](const testing::TestParamInfo<Script>& info) {
                             return std::string(info.param.label);
                         });

TEST_F(DataFileTest, LargeReadsArriveWhole) {
    // 5 MiB and a little: more than two 2 MiB pieces of a plain read.
    std::string content(5 * 1024 * 1024 + 7, '\0');
    for (size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>(i * 131 + i / 4096);
    }
    ASSERT_TRUE(WriteTestFile(kPath, content));
    for (DWORD mapped : {0u, kDataFileMapped}) {
        CDataFile file;
        ASSERT_EQ(file.Open(kPath, kDataFileRead | mapped), 0);
        std::string buffer(content.size() + 100, '\0');
        ASSERT_EQ(file.Read(buffer.data(), static_cast<int>(buffer.size())),
                  static_cast<int>(content.size()));
        buffer.resize(content.size());
        EXPECT_TRUE(buffer == content) << (mapped ? "mapped" : "plain");
        EXPECT_EQ(file.Tell(), static_cast<int>(content.size()));
    }
}

TEST_F(DataFileTest, MappedSeekOutsideTheViewInvalidatesTheCursor) {
    ASSERT_TRUE(WriteTestFile(kPath, "0123456789"));
    CDataFile file;
    ASSERT_EQ(file.Open(kPath, kDataFileRead | kDataFileMapped), 0);
    ASSERT_TRUE(file.IsMapped());
    struct Case {
        int offset;
        int origin;
    };
    for (Case c : {Case{11, 0}, Case{-1, 0}, Case{1, 2}, Case{-11, 2}, Case{-4, 1}, Case{8, 1},
                   Case{INT_MAX, 1}}) {
        SCOPED_TRACE(testing::Message() << c.offset << " from " << c.origin);
        ASSERT_EQ(file.Seek(3, 0), 0);
        EXPECT_EQ(file.Seek(c.offset, c.origin), 1);
        EXPECT_EQ(file.Tell(), -1);
        char byte;
        EXPECT_EQ(file.Read(&byte, 1), 0);
        char line[8];
        EXPECT_EQ(file.ReadLine(line, 8), nullptr);
        // Until a seek succeeds; a relative one counts from the last good place.
        EXPECT_EQ(file.Seek(1, 1), 0);
        EXPECT_EQ(file.Tell(), 4);
        EXPECT_EQ(file.Read(&byte, 1), 1);
        EXPECT_EQ(byte, '4');
    }
}

TEST_F(DataFileTest, PlainSeekOutsideTheFileKeepsThePosition) {
    ASSERT_TRUE(WriteTestFile(kPath, "0123456789"));
    CDataFile file;
    ASSERT_EQ(file.Open(kPath, kDataFileRead), 0);
    struct Case {
        int offset;
        int origin;
    };
    for (Case c : {Case{11, 0}, Case{-1, 0}, Case{1, 2}, Case{-11, 2}, Case{-4, 1},
                   Case{INT_MAX, 1}, Case{INT_MIN, 1}, Case{0, 3}, Case{0, -1}}) {
        SCOPED_TRACE(testing::Message() << c.offset << " from " << c.origin);
        ASSERT_EQ(file.Seek(3, 0), 0);
        EXPECT_EQ(file.Seek(c.offset, c.origin), 1);
        EXPECT_EQ(file.Tell(), 3);
        char byte;
        EXPECT_EQ(file.Read(&byte, 1), 1);
        EXPECT_EQ(byte, '3');
    }
}

TEST_F(DataFileTest, EmptyFileOpensPlainEvenWhenMappingIsAsked) {
    ASSERT_TRUE(WriteTestFile(kPath, ""));
    CDataFile file;
    ASSERT_EQ(file.Open(kPath, kDataFileRead | kDataFileMapped), 0);
    EXPECT_FALSE(file.IsMapped());
    EXPECT_EQ(file.Mode() & kDataFileMapped, 0u);
    EXPECT_EQ(file.Size(), 0);
    char buffer[8];
    EXPECT_EQ(file.Read(buffer, 8), 0);
    EXPECT_EQ(file.ReadLine(buffer, 8), nullptr);
    EXPECT_EQ(file.Seek(0, 0), 0);
    EXPECT_EQ(file.Seek(1, 0), 1);
}

TEST_F(DataFileTest, ClosedOrMissingFileReadsNothing) {
    CDataFile file;
    for (DWORD mapped : {0u, kDataFileMapped}) {
        EXPECT_EQ(file.Open(u"\\data\\missing.bin", kDataFileRead | mapped), 1);
        EXPECT_FALSE(file.IsOpen());
        char buffer[4];
        EXPECT_EQ(file.Read(buffer, 4), 0);
        EXPECT_EQ(file.Tell(), -1);
        EXPECT_EQ(file.Seek(0, 0), 1);
        EXPECT_EQ(file.ReadLine(buffer, 4), nullptr);
        EXPECT_EQ(file.Write("ab", 2), 0);
    }
}

TEST_F(DataFileTest, PlainWritesGrowTheFile) {
    ASSERT_TRUE(CreateDirectoryW(u"\\data", nullptr));
    CDataFile file;
    ASSERT_EQ(file.Open(kPath, kDataFileWrite), 0);
    EXPECT_EQ(file.Write("hello", 5), 5);
    EXPECT_EQ(file.Size(), 5);
    EXPECT_EQ(file.Seek(1, 0), 0);
    EXPECT_EQ(file.Write("EL", 2), 2);
    EXPECT_EQ(file.Size(), 5);
    EXPECT_EQ(file.Seek(0, 2), 0);
    EXPECT_EQ(file.Write("!", 1), 1);
    EXPECT_EQ(file.Size(), 6);
    file.Close();
    EXPECT_EQ(file.Path(), std::u16string(kPath));  // the path stays after Close
    EXPECT_EQ(ReadTestFile(kPath), "hELlo!");

    // Read and write, keeping what is there.
    ASSERT_EQ(file.Open(kPath, kDataFileRead | kDataFileUpdate), 0);
    EXPECT_EQ(file.Size(), 6);
    EXPECT_EQ(file.Seek(5, 0), 0);
    EXPECT_EQ(file.Write("?", 1), 1);
    file.Close();
    EXPECT_EQ(ReadTestFile(kPath), "hELlo?");
}

TEST_F(DataFileTest, MappedWritesStayInsideAWritableView) {
    ASSERT_TRUE(WriteTestFile(kPath, "0123456789"));
    {
        // A read-only view is never written.
        CDataFile file;
        ASSERT_EQ(file.Open(kPath, kDataFileRead | kDataFileMapped), 0);
        ASSERT_TRUE(file.IsMapped());
        EXPECT_EQ(file.Write("ab", 2), 0);
        EXPECT_EQ(file.Tell(), 0);
    }
    {
        CDataFile file;
        ASSERT_EQ(file.Open(kPath, kDataFileWrite | kDataFileMapped), 0);
        ASSERT_TRUE(file.IsMapped());
        ASSERT_EQ(file.Seek(2, 0), 0);
        EXPECT_EQ(file.Write("ab", 2), 2);
        EXPECT_EQ(file.Tell(), 4);
        // Past the view's end: nothing is written, the cursor stays.
        ASSERT_EQ(file.Seek(8, 0), 0);
        EXPECT_EQ(file.Write("XYZ", 3), 0);
        EXPECT_EQ(file.Tell(), 8);
        // The rest of the view still reads.
        ASSERT_EQ(file.Seek(0, 0), 0);
        char buffer[16] = {};
        EXPECT_EQ(file.Read(buffer, 16), 10);
        EXPECT_EQ(std::string(buffer, 10), "01ab456789");
    }
    EXPECT_EQ(ReadTestFile(kPath), "01ab456789");
}

TEST_F(DataFileTest, ReopenComesBackWhereTheFileWas) {
    ASSERT_TRUE(WriteTestFile(kPath, "line one\nline two\n"));
    for (DWORD mapped : {0u, kDataFileMapped}) {
        SCOPED_TRACE(mapped ? "mapped" : "plain");
        CDataFile file;
        ASSERT_EQ(file.Open(kPath, kDataFileRead | mapped), 0);
        char line[32];
        ASSERT_NE(file.ReadLine(line, 32), nullptr);
        ASSERT_EQ(file.Reopen(0), 0);
        EXPECT_EQ(file.IsMapped(), mapped != 0);
        EXPECT_EQ(file.Tell(), 9);
        ASSERT_NE(file.ReadLine(line, 32), nullptr);
        EXPECT_STREQ(line, "line two\n");
        // A closed file is simply opened again.
        file.Close();
        ASSERT_EQ(file.Reopen(kDataFileRead), 0);
        EXPECT_EQ(file.Tell(), 0);
    }
}

TEST_F(DataFileTest, OpenInFolderJoinsFolderAndName) {
    ASSERT_TRUE(WriteTestFile(u"\\data\\maps\\poi.bin", "POI!"));
    ASSERT_TRUE(WriteTestFile(u"\\data\\maps\\empty.bin", ""));
    CDataFile file;
    WCHAR full[MAX_PATH] = u"stale";
    ASSERT_EQ(
        file.OpenInFolder(u"\\data\\maps\\", u"poi.bin", kDataFileRead | kDataFileMapped, full), 0);
    EXPECT_EQ(std::u16string(full), u"\\data\\maps\\poi.bin");
    EXPECT_TRUE(file.IsMapped());
    ASSERT_EQ(
        file.OpenInFolder(u"\\data\\maps\\", u"empty.bin", kDataFileRead | kDataFileMapped, full),
        0);
    EXPECT_FALSE(file.IsMapped());
    EXPECT_EQ(file.OpenInFolder(u"\\data\\maps\\", u"none.bin", kDataFileRead, full), 1);
    EXPECT_EQ(full[0], 0);
}

}  // namespace
