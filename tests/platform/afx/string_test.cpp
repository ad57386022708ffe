#include <gtest/gtest.h>

#include <string>

#include "platform/afx/afx.h"

namespace {

std::u16string S(const CString& text) {
    return text.Str();
}

TEST(CStringTest, SlicesClampTheirCountsToTheString) {
    const CString text(u"abcdef");
    struct Case {
        CString got;
        const char16_t* expected;
    } cases[] = {
        {text.Left(2), u"ab"},  {text.Left(-1), u""},     {text.Left(99), u"abcdef"},
        {text.Right(2), u"ef"}, {text.Right(-3), u""},    {text.Right(99), u"abcdef"},
        {text.Mid(2), u"cdef"}, {text.Mid(2, 2), u"cd"},  {text.Mid(-5, 2), u"ab"},
        {text.Mid(6), u""},     {text.Mid(99, 1), u""},   {text.Mid(4, 99), u"ef"},
        {text.Mid(1, -1), u""}, {CString().Left(3), u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(S(c.got), c.expected);
}

TEST(CStringTest, FindSearchesFromAStartAndNeverPastTheEnd) {
    const CString text(u"a.b.c");
    EXPECT_EQ(text.Find(u'.'), 1);
    EXPECT_EQ(text.Find(u'.', 2), 3);
    EXPECT_EQ(text.Find(u'.', 4), -1);
    EXPECT_EQ(text.Find(u'.', 99), -1);
    EXPECT_EQ(text.Find(u'.', -4), 1);
    EXPECT_EQ(text.Find(u"b.c"), 2);
    EXPECT_EQ(text.Find(u""), 0);
    EXPECT_EQ(text.Find(static_cast<LPCWSTR>(nullptr)), -1);
    EXPECT_EQ(text.ReverseFind(u'.'), 3);
    EXPECT_EQ(text.FindOneOf(u"cb"), 2);
    EXPECT_EQ(CString().Find(u'x'), -1);
}

TEST(CStringTest, ReplaceCountsAndIgnoresAnEmptyPattern) {
    CString text(u"aXbXXc");
    EXPECT_EQ(text.Replace(u"X", u"--"), 3);
    EXPECT_EQ(S(text), u"a--b----c");
    EXPECT_EQ(text.Replace(u"--", u""), 3);
    EXPECT_EQ(S(text), u"abc");
    // An empty pattern must not loop forever or change anything.
    EXPECT_EQ(text.Replace(u"", u"z"), 0);
    EXPECT_EQ(text.Replace(nullptr, u"z"), 0);
    EXPECT_EQ(S(text), u"abc");
    // The replacement may contain the pattern.
    EXPECT_EQ(text.Replace(u"b", u"bb"), 1);
    EXPECT_EQ(S(text), u"abbc");
    EXPECT_EQ(text.Replace(u'b', u'x'), 2);
    EXPECT_EQ(S(text), u"axxc");
}

TEST(CStringTest, TrimCaseAndCompare) {
    CString text(u" \t\r\n Hello World \n");
    text.TrimLeft();
    EXPECT_EQ(S(text), u"Hello World \n");
    text.TrimRight();
    EXPECT_EQ(S(text), u"Hello World");
    CString dots(u"..x..");
    dots.TrimLeft(u'.').TrimRight(u".");
    EXPECT_EQ(S(dots), u"x");
    CString blank(u"   ");
    EXPECT_TRUE(blank.Trim().IsEmpty());

    CString mixed(u"Straße Ä");
    EXPECT_EQ(S(CString(mixed).MakeUpper()), u"STRAßE Ä");
    EXPECT_EQ(S(CString(mixed).MakeLower()), u"straße ä");
    EXPECT_EQ(CString(u"MAIN St").CompareNoCase(u"main st"), 0);
    EXPECT_LT(CString(u"abc").CompareNoCase(u"ABD"), 0);
    EXPECT_GT(CString(u"b").Compare(u"a"), 0);
    EXPECT_GT(CString(u"a").Compare(nullptr), 0);
    EXPECT_EQ(CString().Compare(nullptr), 0);
}

TEST(CStringTest, FormatHasNoLengthLimit) {
    CString text;
    text.Format(u"%d MB at %s", 512, u"C:");
    EXPECT_EQ(S(text), u"512 MB at C:");
    // Longer than the platform's 1024-character wsprintf limit and the first buffer.
    std::u16string longPart(3000, u'x');
    text.Format(u"[%s]", longPart.c_str());
    EXPECT_EQ(text.GetLength(), 3002);
    EXPECT_EQ(text[3001], u']');
    text.AppendFormat(u"%c%u", u'!', 7u);
    EXPECT_EQ(S(text.Right(2)), u"!7");
}

TEST(CStringTest, BufferRoundTripAndNulTermination) {
    CString text(u"abc");
    LPWSTR buffer = text.GetBuffer(10);
    wcscpy(buffer, u"hello");
    text.ReleaseBuffer();
    EXPECT_EQ(S(text), u"hello");
    EXPECT_EQ(text.GetLength(), 5);

    buffer = text.GetBuffer(0);  // never shorter than the text
    EXPECT_EQ(buffer[4], u'o');
    text.ReleaseBuffer(2);
    EXPECT_EQ(S(text), u"he");
    text.ReleaseBuffer(50);  // a length past the buffer keeps what is there
    EXPECT_EQ(S(text), u"he");
    EXPECT_EQ(static_cast<LPCWSTR>(text)[2], u'\0');

    CString sized;
    wcscpy(sized.GetBufferSetLength(3), u"xyz");
    sized.ReleaseBuffer();
    EXPECT_EQ(S(sized), u"xyz");
}

TEST(CStringTest, OperatorsNullsAndEditing) {
    CString a(static_cast<LPCWSTR>(nullptr));
    EXPECT_TRUE(a.IsEmpty());
    a = u"x";
    CString b = a + u"y" + u'z';
    EXPECT_EQ(S(b), u"xyz");
    EXPECT_EQ(S(u"<" + b), u"<xyz");
    b += b;  // appending itself
    EXPECT_EQ(S(b), u"xyzxyz");
    b = static_cast<LPCWSTR>(b) + 3;  // assigning a tail of itself
    EXPECT_EQ(S(b), u"xyz");
    EXPECT_TRUE(b == u"xyz");
    EXPECT_TRUE(b != CString(u"XYZ"));
    EXPECT_EQ(b.GetAt(7), 0);
    b.SetAt(9, u'q');  // out of range: ignored
    EXPECT_EQ(S(b), u"xyz");
    EXPECT_EQ(b.Insert(99, u"!"), 4);
    EXPECT_EQ(b.Delete(1, 99), 1);
    EXPECT_EQ(S(b), u"x");
    EXPECT_EQ(S(CString(u'-', 3)), u"---");
    EXPECT_EQ(S(CString(u"abcdef", 2)), u"ab");
}

TEST(CStringTest, LoadStringOfAMissingIdEmptiesTheString) {
    CString text(u"old");
    EXPECT_FALSE(text.LoadString(65000));
    EXPECT_TRUE(text.IsEmpty());
}

TEST(AfxValueTypesTest, RectanglesPointsAndSizes) {
    CRect rect(10, 20, 50, 80);
    EXPECT_EQ(rect.Width(), 40);
    EXPECT_EQ(rect.Height(), 60);
    EXPECT_EQ(rect.CenterPoint(), CPoint(30, 50));
    EXPECT_TRUE(rect.PtInRect(CPoint(10, 20)));
    EXPECT_FALSE(rect.PtInRect(CPoint(50, 20)));  // right and bottom edges are outside

    CRect moved = rect + CPoint(5, -5);
    EXPECT_EQ(moved, CRect(15, 15, 55, 75));
    rect.DeflateRect(5, 10);
    EXPECT_EQ(rect, CRect(15, 30, 45, 70));
    rect.TopLeft() = CPoint(0, 0);
    EXPECT_EQ(rect, CRect(0, 0, 45, 70));

    EXPECT_EQ(CRect(0, 0, 10, 10) & CRect(5, 5, 20, 20), CRect(5, 5, 10, 10));
    CRect apart = CRect(0, 0, 10, 10) & CRect(20, 20, 30, 30);
    EXPECT_TRUE(apart.IsRectEmpty());
    EXPECT_TRUE(apart.IsRectNull());
    EXPECT_EQ(CRect(0, 0, 10, 10) | CRect(20, 20, 30, 30), CRect(0, 0, 30, 30));

    CRect backwards(10, 10, 0, 0);
    EXPECT_TRUE(backwards.IsRectEmpty());
    backwards.NormalizeRect();
    EXPECT_EQ(backwards, CRect(0, 0, 10, 10));

    EXPECT_EQ(CPoint(7, 9) - CPoint(2, 3), CSize(5, 6));
    EXPECT_EQ(CPoint(MAKELPARAM(static_cast<WORD>(-4), 12)), CPoint(-4, 12));
}

TEST(AfxValueTypesTest, PointerArrayGrowsInsertsAndRemoves) {
    int items[4] = {};
    CPtrArray array;
    EXPECT_EQ(array.Add(&items[0]), 0);
    array.SetAtGrow(3, &items[3]);
    EXPECT_EQ(array.GetSize(), 4);
    EXPECT_EQ(array[1], nullptr);
    array.InsertAt(1, &items[1]);
    EXPECT_EQ(array.GetSize(), 5);
    EXPECT_EQ(array[1], &items[1]);
    EXPECT_EQ(array[4], &items[3]);
    array.RemoveAt(2, 99);  // a count past the end stops at the end
    EXPECT_EQ(array.GetSize(), 2);
    array.RemoveAt(7);  // out of range: ignored
    EXPECT_EQ(array.GetSize(), 2);
    array.InsertAt(4, &items[2]);  // past the end: grows with nulls first
    EXPECT_EQ(array.GetSize(), 5);
    EXPECT_EQ(array[3], nullptr);
    EXPECT_EQ(array[4], &items[2]);
}

}  // namespace
