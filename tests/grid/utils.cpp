// Text, number and date helpers of the list grid.
#include "grid/vurirod.h"

#include <gtest/gtest.h>

using namespace grid;

namespace {

// Pins the date order so the tests do not depend on the machine's locale.
class DateFormat {
public:
    explicit DateFormat(const std::string& format, char sep)
        : saved_(formatSettings())
    {
        formatSettings().ShortDateFormat = format;
        formatSettings().DateSeparator = sep;
    }
    ~DateFormat() { formatSettings() = saved_; }

private:
    FormatSettings saved_;
};

}  // namespace

TEST(GridUtils, SeparatorsAreFixedWhateverTheLocale)
{
    EXPECT_EQ(formatSettings().DecimalSeparator, '.');
    EXPECT_EQ(formatSettings().ThousandSeparator, ',');
}

TEST(GridUtils, IsTypeClassifiesNumbersAndTexts)
{
    EXPECT_EQ(IsType("123"), atNumeric);
    EXPECT_EQ(IsType("-5"), atNumeric);
    EXPECT_EQ(IsType("1-2"), atNumeric);
    EXPECT_EQ(IsType("1.5"), atFloat);
    EXPECT_EQ(IsType("1,234.5"), atFloat);
    EXPECT_EQ(IsType("12,345,678"), atFloat);
    EXPECT_EQ(IsType("1.2.3"), atString);
    EXPECT_EQ(IsType("--1"), atString);
    EXPECT_EQ(IsType("abc"), atString);
    EXPECT_EQ(IsType(""), atString);
    EXPECT_EQ(IsType(",12"), atString);   // separator at the first position
    EXPECT_EQ(IsType("1,2,3"), atString);  // groups closer than three apart
}

TEST(GridUtils, RemoveSepsGivesPlainNumberText)
{
    EXPECT_EQ(RemoveSeps("(234.50)"), "-234.50");
    EXPECT_EQ(RemoveSeps("1,234.50"), "1234.50");
    EXPECT_EQ(RemoveSeps("  $1,234.50 "), "1234.50");
    EXPECT_EQ(RemoveSeps("-$12"), "-12");
    EXPECT_EQ(RemoveSeps("12 kg"), "12");
}

TEST(GridUtils, ShortDatesInBothOrders)
{
    EXPECT_EQ(StrToShortDateEU("31.12.99"), EncodeDate(1999, 12, 31));
    EXPECT_EQ(StrToShortDateEU("31.12.99"), 36525.0);  // the date serial itself
    EXPECT_EQ(StrToShortDateEU("5-6-2003"), EncodeDate(2003, 6, 5));
    EXPECT_EQ(StrToShortdateUS("1/2/05"), EncodeDate(2005, 1, 2));
    EXPECT_EQ(StrToShortdateUS("1/2/25"), EncodeDate(2025, 1, 2));
    EXPECT_EQ(StrToShortdateUS("1/2/26"), EncodeDate(1926, 1, 2));
    EXPECT_EQ(StrToShortDateEU("31 12 99"), 0);
    EXPECT_EQ(StrToShortDateEU("a.b.c"), 0);
    EXPECT_THROW(StrToShortDateEU("31.04.2001"), EConvertError);
    EXPECT_THROW(StrToShortdateUS("13/1/2001"), EConvertError);
}

TEST(GridUtils, EncodeAndDecodeRoundTrip)
{
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
    EXPECT_EQ(EncodeDate(1900, 3, 1), 61);
    for (TDateTime d : {-700.0, 0.0, 1.0, 36525.0, 45000.0, 60000.0}) {
        int y, m, day;
        DecodeDate(d, y, m, day);
        EXPECT_EQ(EncodeDate(y, m, day), d);
    }
    EXPECT_THROW(EncodeDate(2001, 2, 29), EConvertError);
    EXPECT_NO_THROW(EncodeDate(2000, 2, 29));
}

TEST(GridUtils, ParseShortDateFollowsTheFormatOrder)
{
    TDateTime d = 0;
    {
        DateFormat f("dd/MM/yyyy", '/');
        ASSERT_TRUE(ParseShortDate("05/06/2003", d));
        EXPECT_EQ(d, EncodeDate(2003, 6, 5));
        EXPECT_FALSE(ParseShortDate("05.06.2003", d));
        EXPECT_FALSE(ParseShortDate("32/01/2003", d));
        EXPECT_THROW(ParseShortDate("31/04/2003", d), EConvertError);
    }
    {
        DateFormat f("yyyy-MM-dd", '-');
        ASSERT_TRUE(ParseShortDate("2003-06-05", d));
        EXPECT_EQ(d, EncodeDate(2003, 6, 5));
    }
    {
        DateFormat f("M/d/yy", '/');
        ASSERT_TRUE(ParseShortDate("6/5/2003", d));
        EXPECT_EQ(d, EncodeDate(2003, 6, 5));
    }
}

TEST(GridUtils, WildcardsAndComparisons)
{
    EXPECT_TRUE(Matches("a*c", "abc"));
    EXPECT_TRUE(Matches("a?c", "abc"));
    EXPECT_TRUE(Matches("a**c", "ac"));
    EXPECT_FALSE(Matches("a?c", "ac"));
    EXPECT_FALSE(Matches("!a*", "abc"));
    EXPECT_TRUE(Matches("!a*", "bbc"));
    EXPECT_TRUE(Matches("*b*", "abc"));
    EXPECT_FALSE(Matches("ab", "abc"));  // both must end together

    EXPECT_TRUE(Matches(">5", "10"));  // numeric, a text comparison would fail
    EXPECT_FALSE(Matches(">5", "4"));
    EXPECT_TRUE(Matches(">=5", "5"));
    EXPECT_FALSE(Matches(">5", "5"));
    EXPECT_TRUE(Matches("<b", "a"));
    EXPECT_TRUE(Matches(">2 & <8", "5"));
    EXPECT_FALSE(Matches(">2 & <8", "9"));
    EXPECT_TRUE(Matches("<2 ^ >8", "9"));
    EXPECT_FALSE(Matches("<2 ^ >8", "5"));
    {
        DateFormat f("dd/MM/yyyy", '/');
        EXPECT_TRUE(Matches(">=01/02/2003", "02/02/2003"));
        EXPECT_FALSE(Matches(">=01/02/2003", "31/01/2003"));
        // An impossible date is compared as text instead of throwing.
        EXPECT_TRUE(Matches(">01/01/2003", "31/04/2003"));
        EXPECT_FALSE(Matches(">31/12/2003", "31/04/2003"));
    }
}

TEST(GridUtils, WildcardsStayFastAndCountCharacters)
{
    // A find or filter pattern with many stars against a long cell that does
    // not match must answer at once, not after trying every split.
    const std::string cell(3000, 'a');
    std::string pattern;
    for (int i = 0; i < 40; ++i)
        pattern += "*a";
    EXPECT_TRUE(Matches(pattern, cell));
    EXPECT_FALSE(Matches(pattern + "*b", cell));
    EXPECT_FALSE(MatchStrEx(pattern + "*b", cell, false));
    EXPECT_TRUE(Matches("*a*b", "xxaxxbxx" + std::string("b")));
    EXPECT_FALSE(Matches("*a*b", "bbba"));
    // "?" stands for one character of the UTF-8 text, whatever its length in bytes.
    EXPECT_TRUE(Matches("M?ller", "M\xC3\xBCller"));
    EXPECT_TRUE(Matches("??", "\xE4\xB8\xAD\xE6\x96\x87"));
    EXPECT_FALSE(Matches("???", "\xE4\xB8\xAD\xE6\x96\x87"));
    EXPECT_TRUE(MatchStrEx("m?ller", "M\xC3\xBCLLER", false));
}

TEST(GridUtils, CompoundPatternsCombineLeftToRight)
{
    EXPECT_TRUE(MatchStrEx("a* ; b*", "bob", true));
    EXPECT_TRUE(MatchStrEx("a* & *z", "abz", true));
    EXPECT_FALSE(MatchStrEx("a* & *z", "abc", true));
    EXPECT_TRUE(MatchStrEx("A*", "abc", false));
    EXPECT_FALSE(MatchStrEx("A*", "abc", true));
    EXPECT_TRUE(MatchStrEx(" >2 & <8 ", "5", true));
    // No precedence: (a* OR b*) AND *x
    EXPECT_FALSE(MatchStrEx("a* ; b* & *x", "bob", true));
    EXPECT_TRUE(MatchStrEx("a* ; b* & *x", "box", true));
}

TEST(GridUtils, ShiftCaseCapitalisesNames)
{
    EXPECT_EQ(ShiftCase("mcgregor iii"), "McGregor III");
    EXPECT_EQ(ShiftCase("o'neil-smith jr."), "O'Neil-Smith Jr.");
    EXPECT_EQ(ShiftCase("JOHN SMITH"), "John Smith");
    EXPECT_EQ(ShiftCase("henry ii"), "Henry II");
    EXPECT_EQ(ShiftCase("ann mcdonald"), "Ann McDonald");
    EXPECT_EQ(ShiftCase(""), "");
}

TEST(GridUtils, GetNextDateStepsAcrossYearEnds)
{
    const TDateTime dec15 = EncodeDate(2004, 12, 15);
    EXPECT_EQ(GetNextDate(dec15, 0, 1, 0, 0), EncodeDate(2005, 1, 15));
    EXPECT_EQ(GetNextDate(EncodeDate(2005, 1, 15), 0, -1, 0, 0), dec15);
    EXPECT_EQ(GetNextDate(dec15, 0, 13, 0, 0), EncodeDate(2006, 1, 15));
    EXPECT_EQ(GetNextDate(dec15, 0, -25, 0, 0), EncodeDate(2002, 11, 15));
    EXPECT_EQ(GetNextDate(dec15, 2, 0, 0, 0), EncodeDate(2006, 12, 15));
    EXPECT_EQ(GetNextDate(dec15, 0, 0, 20, 0), EncodeDate(2005, 1, 4));
    EXPECT_EQ(GetNextDate(dec15, 1, 1, 0, 7), dec15 + 7);
    // A day the target month lacks becomes its last day.
    EXPECT_EQ(GetNextDate(EncodeDate(2005, 1, 31), 0, 1, 0, 0), EncodeDate(2005, 2, 28));
    EXPECT_EQ(GetNextDate(EncodeDate(2004, 2, 29), 1, 0, 0, 0), EncodeDate(2005, 2, 28));
    EXPECT_THROW(GetNextDate(EncodeDate(9999, 12, 1), 0, 1, 0, 0), EConvertError);
}

TEST(GridUtils, TextTypesAndUrls)
{
    EXPECT_EQ(TextType("=A1+1", true), ttFormula);
    EXPECT_EQ(TextType("=", true), ttFormula);
    EXPECT_EQ(TextType("{\\rtf1 x}", false), ttRTF);
    EXPECT_EQ(TextType("a</b>", true), ttHTML);
    EXPECT_EQ(TextType("a</b>", false), ttText);
    EXPECT_EQ(TextType("<b>x", true), ttText);  // case-sensitive tags
    EXPECT_EQ(TextType("x", true), ttText);
    EXPECT_EQ(TextType("", true), ttText);

    std::string s = "http://example.com/x";
    EXPECT_TRUE(IsURL(s));
    StripURLProtocol(s);
    EXPECT_EQ(s, "example.com/x");
    s = "mailto:a@b.c";
    StripURLProtocol(s);
    EXPECT_EQ(s, "a@b.c");
}

TEST(GridUtils, LineBreakConversions)
{
    EXPECT_EQ(CLFToLF(LFToCLF("a\r\nb")), "a\rb");
    EXPECT_EQ(LinesInText("a\rb\rc", true), 3);
    EXPECT_EQ(LinesInText("a\rb\rc", false), 1);

    std::string s = "one\r\ntwo\rthree", line;
    GetNextLine(s, true, line);
    EXPECT_EQ(line, "one");
    EXPECT_EQ(s, "two\rthree");
    GetNextLine(s, false, line);
    EXPECT_EQ(line, "two");
    EXPECT_EQ(s, "");

    s = "a\r\nb\"c";
    LineFeedsToCSV(s);
    EXPECT_EQ(s, "\"a\nb\"c\"");
    s = "a\nb";
    CSVToLineFeeds(s);
    EXPECT_EQ(s, "a\r\nb");
    EXPECT_EQ(FileToLf(LfToFile("a\r\nb"), true), "a\r\nb");
    EXPECT_EQ(FileToLf(LfToFile("a\r\nb"), false), "a");
    EXPECT_EQ(LineFeedsToJava("a\r\nb"), "a~b");
    EXPECT_EQ(JavaToLineFeeds("a~b"), "a\r\nb");
    EXPECT_EQ(HTMLLineBreaks("a\r\nb"), "a<br>\nb");
    EXPECT_EQ(LineFeedsToXLS("a\r\nb"), "a\nb");
}

TEST(GridUtils, TokensAndSingleCharacters)
{
    std::string s = "a,b";
    EXPECT_EQ(GetToken(s, ","), "a");
    EXPECT_EQ(s, "b");
    EXPECT_EQ(GetToken(s, ","), "");
    EXPECT_EQ(s, "b");

    EXPECT_EQ(SinglePos('\'', "a''b'c"), 5);
    EXPECT_EQ(SinglePos('\'', "ab''"), 4);  // the last position always counts
    EXPECT_EQ(SinglePos('\'', "abc"), 0);
    EXPECT_EQ(NumSingleChar('\'', "'a''b'"), 2);
    EXPECT_EQ(DoubleToSingleChar(' ', "a   b  c"), "a b c");
    EXPECT_EQ(DoubleToSingleChar(' ', "abc"), "abc");

    CellPoint p{7, 7};
    EXPECT_TRUE(NameToCell("r12c3", p));
    EXPECT_EQ(p.X, 3);
    EXPECT_EQ(p.Y, 12);
    EXPECT_FALSE(NameToCell("R1C", p));
    EXPECT_FALSE(NameToCell("RxC1", p));
    EXPECT_EQ(p.X, 3);

    EXPECT_EQ(HTMLColor(0x00FF8000), "0080FF");
    EXPECT_EQ(RectString(1, 2, 3, 4), "[1:2][3:4]");
    EXPECT_EQ(FIPos("BC", "abcd"), 2);
    EXPECT_EQ(FirstChar("xyz", "abzy"), 'z');
    EXPECT_EQ(FirstChar("xyz", "abc"), 0);
    EXPECT_TRUE(IsInGridRect({1, 1, 3, 3}, 3, 1));
    EXPECT_FALSE(IsInGridRect({1, 1, 3, 3}, 4, 1));
}

TEST(GridUtils, FixDecimalSeparatorOnlyWithCommaDecimals)
{
    EXPECT_EQ(FixDecimalSeparator("1,5"), "1,5");
    FormatSettings saved = formatSettings();
    formatSettings().DecimalSeparator = ',';
    formatSettings().ThousandSeparator = '.';
    EXPECT_EQ(FixDecimalSeparator("1,5,6"), "1.5,6");
    EXPECT_EQ(IsType("1.234,5"), atFloat);
    formatSettings() = saved;
}
