// Numbers in words (English scales, Serbian with and without diacritics) and
// Roman numerals.
#include "documents/numberconvert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

std::string words(long double n, TNumberLanguage language = nlEnglishUS, bool ignoreOne = false)
{
    TNumberToText t;
    t.SetLanguage(language);
    t.IgnoreOne = ignoreOne;
    t.Number = n;
    return t.Text();
}

struct Case {
    long double number;
    TNumberLanguage language;
    bool ignoreOne;
    const char* text;
};

const Case kCases[] = {
    {1234, nlEnglishUS, false, "one thousand two hundred thirty four"},
    {21, nlEnglishUS, false, "twenty one"},
    {100, nlEnglishUS, false, "one hundred"},
    {100, nlEnglishUS, true, "hundred"},
    {1000000, nlEnglishUS, false, "one million"},
    {-7, nlEnglishUS, false, "minus seven"},
    {3.0625L, nlEnglishUS, false, "three point zero six two five"},
    {0, nlEnglishUS, false, "zero"},
    {0.5L, nlEnglishUS, false, "zero point five"},
    {0.05L, nlEnglishUS, false, "zero point zero five"},
    {1.3, nlEnglishUS, false, "one point three"},  // a double just below 1.3
    {-0.5L, nlEnglishUS, false, "minus zero point five"},
    {1000000000, nlEnglishUS, false, "one billion"},
    {1000000000, nlEnglishBritish, false, "one milliard"},
    {1000000000000.0L, nlEnglishBritish, false, "one billion"},
    {1000000000000.0L, nlEnglishUS, false, "one trillion"},
    {1000, nlSerbian, false, "jedna hiljada"},
    {1000, nlSerbian, true, "hiljadu"},
    {2000, nlSerbian, false, "dve hiljade"},
    {5000, nlSerbian, false, "pet hiljada"},
    {21000, nlSerbian, false, "dvadeset jedna hiljada"},
    {345, nlSerbian, false, "tristo cetrdeset pet"},
    {345, nlSerbianFont, false, "tristo četrdeset pet"},
    {6.4L, nlSerbianFont, false, "šest zarez četiri"},
    {12000000, nlSerbian, false, "dvanaest miliona"},
    {2000000000, nlSerbian, false, "dve milijarde"},
    {0.9999999999999L, nlEnglishUS, false, "one"},
};

}  // namespace

TEST(NumberToText, SpellsTheExamplesOfEachLanguage)
{
    for (const Case& c : kCases)
        EXPECT_EQ(words(c.number, c.language, c.ignoreOne), c.text) << double(c.number);
}

TEST(NumberToText, TheWholeSigned64BitRangeSpells)
{
    const long double lowest = std::numeric_limits<int64_t>::min();
    EXPECT_EQ(words(lowest), "minus nine thousand two hundred twenty three quadrillion three hundred seventy two "
                             "trillion thirty six billion eight hundred fifty four million seven hundred seventy "
                             "five thousand eight hundred eight");
    EXPECT_EQ(words(9223372036854775807.0L).substr(0, 25), "nine thousand two hundred");
    for (long double bad : {9223372036854775808.0L, -9223372036854775809.0L * 2,
                            std::numeric_limits<long double>::infinity(), std::numeric_limits<long double>::quiet_NaN()}) {
        try {
            words(bad);
            ADD_FAILURE() << "spelled " << double(bad);
        } catch (const NumberConvertError& e) {
            EXPECT_STREQ(e.what(), "NumberToText() Number out of range.");
        }
    }
}

TEST(NumberToText, LanguagesRebuildTheirTablesAndCustomKeepsThem)
{
    TNumberToText t;
    t.Number = 4;
    t.SetLanguage(nlSerbian);
    t.SetLanguage(nlCustom);
    EXPECT_EQ(t.Text(), "cetiri");
    EXPECT_EQ(t.DecimalSeparator, "zarez");
    t.SetLanguage(nlEnglishUS);
    EXPECT_EQ(t.Text(), "four");
    t.Separator = "_";
    t.Number = 21.5L;
    EXPECT_EQ(t.Text(), "twenty_one_point_five");
}

TEST(NumberToText, TablesChangedAfterASpellingAreFollowed)
{
    TNumberToText t;
    t.Number = 40;
    EXPECT_EQ(t.Text(), "forty");
    t.Names[22].Value = 41;  // "forty" now names 41
    EXPECT_EQ(t.Text(), "thirty ten");
    t.Orders.clear();  // the names alone: the largest that fits, again and again
    t.Number = 1000;
    std::string ninety;
    for (int i = 0; i < 11; ++i) ninety += "ninety ";
    EXPECT_EQ(t.Text(), ninety + "ten");
}

TEST(NumberToText, MisuseRaisesTheMessages)
{
    TNumberToText t;
    EXPECT_THROW(t.SetText("x"), NumberConvertError);
    TNumberToRoman r;
    EXPECT_THROW(r.SetRomanNumber("X"), NumberConvertError);
    t.Orders[0].One.clear();  // the hundred has no form left
    t.Number = 300;
    try {
        t.Text();
        ADD_FAILURE();
    } catch (const NumberConvertError& e) {
        EXPECT_STREQ(e.what(), "NumberToText() Name of the order 2 is not set.");
    }
    EXPECT_THROW(NumberToText(t.Names, t.Orders, "minus", false, " ", 0, -1, "point", false, 1), NumberConvertError);
}

TEST(NumberToRoman, StandardNumeralsWithoutALimitOnThousands)
{
    const std::pair<uint32_t, const char*> cases[] = {{0, ""},     {1, "I"},       {4, "IV"},      {9, "IX"},
                                                      {14, "XIV"}, {40, "XL"},     {90, "XC"},     {400, "CD"},
                                                      {1994, "MCMXCIV"}, {3999, "MMMCMXCIX"}, {4000, "MMMM"}};
    for (auto [n, roman] : cases) {
        TNumberToRoman r;
        r.Number = n;
        EXPECT_EQ(r.RomanNumber(), roman) << n;
    }
    EXPECT_EQ(TrimRightZeros(1200), 12);
    EXPECT_EQ(TrimRightZeros(0), 0);
}
