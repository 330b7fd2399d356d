// Amount texts as the contact list, the import and the cheque windows show them.
#include "appcore/amounts.h"

#include <gtest/gtest.h>
#include <clocale>
#include <cmath>



TEST(FormatMoney, RoundsHalfUpAtTheThirdDecimal)
{
    EXPECT_EQ(FormatMoney(12.5), "12.50");
    EXPECT_EQ(FormatMoney(3.0045), "3.01");
    EXPECT_EQ(FormatMoney(7.996), "8.00");
    EXPECT_EQ(FormatMoney(1.999), "2.00");
    EXPECT_EQ(FormatMoney(1234.1), "1234.10");
    EXPECT_EQ(FormatMoney(0.05), "0.05");
    EXPECT_EQ(FormatMoney(100), "100.00");
    EXPECT_EQ(FormatMoney(0.994), "0.99");
    EXPECT_EQ(FormatMoney(0.995), "1.00");
}

TEST(FormatMoney, TinyAmountsAreZero)
{
    EXPECT_EQ(FormatMoney(0), "0");
    EXPECT_EQ(FormatMoney(0.0005), "0");
    EXPECT_EQ(FormatMoney(-0.0009), "0");
    EXPECT_EQ(FormatMoney(0.001), "0.00");
}

TEST(FormatMoney, NegativeAmountsKeepTheirSign)
{
    EXPECT_EQ(FormatMoney(-12.5), "-12.50");
    EXPECT_EQ(FormatAmount("-1234.5"), "-1,234.50");
}

TEST(AddThousandsSeparators, GroupsOfThree)
{
    EXPECT_EQ(AddThousandsSeparators("123"), "123");
    EXPECT_EQ(AddThousandsSeparators("1234"), "1,234");
    EXPECT_EQ(AddThousandsSeparators("1234567"), "1,234,567");
    EXPECT_EQ(AddThousandsSeparators(""), "");
}

TEST(FormatAmount, ExamplesFromTheContactList)
{
    EXPECT_EQ(FormatAmount("1234567.891"), "1,234,567.89");
    EXPECT_EQ(FormatAmount("1,000"), "1,000.00");
    EXPECT_EQ(FormatAmount("0"), "0");
    EXPECT_EQ(FormatAmount("999"), "999.00");
    EXPECT_EQ(FormatAmount("1000"), "1,000.00");
    EXPECT_EQ(NormalizeAmount("1,234.5"), "1234.50");
    EXPECT_EQ(NormalizeAmount(" 42 "), "42.00");
}

TEST(FormatAmount, NotANumberIsAnError)
{
    EXPECT_THROW(NormalizeAmount(""), AmountConvertError);
    EXPECT_THROW(NormalizeAmount(",,"), AmountConvertError);
    EXPECT_THROW(FormatAmount("12a"), AmountConvertError);
    EXPECT_THROW(FormatAmount("1.2.3"), AmountConvertError);
    EXPECT_THROW(FormatAmount("nan"), AmountConvertError);
}

TEST(FormatMoney, LargeAmountsNeverOverflow)
{
    EXPECT_EQ(FormatMoney(3e9), "3000000000.00");
    EXPECT_EQ(FormatMoney(123456789012.345), "123456789012.35");
    EXPECT_EQ(FormatMoney(1e20), "100000000000000000000.00");
    EXPECT_EQ(FormatMoney(-1e20), "-100000000000000000000.00");
    EXPECT_EQ(FormatAmount("100000000000000000000"), "100,000,000,000,000,000,000.00");
}

TEST(FormatAmount, OnlyPlainDecimalNumbersParse)
{
    for (const char* bad : {"inf", "-inf", "nan", "0x10", "1e3", "1e400", "+", "-", ".", "1-2", "--1"})
        EXPECT_THROW(NormalizeAmount(bad), AmountConvertError) << bad;
    EXPECT_EQ(NormalizeAmount(".5"), "0.50");
    EXPECT_EQ(NormalizeAmount("+3."), "3.00");
}

// The process runs in a locale whose decimal point is a comma, as the program
// does on a German desktop: amounts still read and print with ".".
TEST(FormatAmount, IgnoresTheProcessLocale)
{
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "locales-all is needed";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    EXPECT_EQ(FormatMoney(12.5), "12.50");
    EXPECT_EQ(FormatMoney(3.0045), "3.01");
    EXPECT_EQ(FormatMoney(7.996), "8.00");
    EXPECT_EQ(FormatMoney(0), "0");
    EXPECT_EQ(FormatMoney(-0.0009), "0");
    EXPECT_EQ(FormatMoney(-1.5), "-1.50");
    EXPECT_EQ(FormatMoney(3e9), "3000000000.00");
    EXPECT_EQ(FormatAmount("1234567.891"), "1,234,567.89");
    EXPECT_EQ(FormatAmount("1,000"), "1,000.00");
    EXPECT_EQ(FormatAmount("-1234.5"), "-1,234.50");
    EXPECT_THROW(NormalizeAmount("12,50x"), AmountConvertError);
    std::setlocale(LC_ALL, "C");
}

// A contact's amount is a 4-byte float: every cent fits only below 131,072.
TEST(ContactAmount, KeptOnlyWhenTheCentComesBack)
{
    struct Case {
        double typed;
        bool kept;
        const char* shown;  // FormatMoney of what is stored, when kept
    };
    const Case cases[] = {
        {0, true, "0"},
        {0.29, true, "0.29"},
        {1234.5, true, "1234.50"},
        {1234.567, true, "1234.57"},  // rounded to the cent first
        {131071.99, true, "131071.99"},
        {131072.5, true, "131072.50"},  // some larger amounts do fit
        {500000.25, true, "500000.25"},
        {1000000, true, "1000000.00"},
        {131072.01, false, nullptr},
        {1000000.99, false, nullptr},
        {16777217, false, nullptr},
        {1234567.89, false, nullptr},
        {1e300, false, nullptr},
    };
    for (const Case& c : cases) {
        float held = -1;
        EXPECT_EQ(HoldAmountToTheCent(c.typed, held), c.kept) << c.typed;
        if (c.kept)
            EXPECT_EQ(FormatMoney(held), c.shown) << c.typed;
        else
            EXPECT_EQ(held, -1) << c.typed;  // untouched
    }
    EXPECT_EQ(RoundToCent(12.5f), 12.5);
    EXPECT_EQ(RoundToCent(1234.1f), 1234.1);  // not 1234.0999755859375
    EXPECT_EQ(RoundToCent(-3.0045), -3.01);
}

TEST(ContactAmount, ProblemNamesTheAmount)
{
    EXPECT_EQ(ContactAmountProblem(0), "");
    EXPECT_EQ(ContactAmountProblem(131071.99), "");
    EXPECT_EQ(ContactAmountProblem(1000000.99),
              "The amount 1,000,000.99 cannot be kept to the cent as a contact's default amount. Every amount up "
              "to 131,071.99 is kept to the cent, above that only some are.");
    EXPECT_EQ(ContactAmountProblem(-50), "The amount -50.00 is below zero: it is not the amount of a cheque.");
    EXPECT_EQ(ContactAmountProblem(-0.0001), "");  // shows as 0
}

// An amount read from a file comes in only as it stands: never rounded to
// the cent, at any size, never below zero, never past what a contact keeps.
// A text is judged by its digits, a number cell by the digits the user typed
// into it, never by the binary value.
TEST(ContactAmount, AFileAmountFitsAsItStandsOrSaysWhyNot)
{
    using F = FileAmountFit;
    const struct {
        const char* text;
        double cell;  // the same amount in a number cell
        FileAmountFit fit;
    } cases[] = {
        {"0", 0, F::Kept}, {"12.1", 12.1, F::Kept}, {"12.340", 12.34, F::Kept},
        {"131071.99", 131071.99, F::Kept}, {"1000000.50", 1000000.5, F::Kept}, {"12.345e1", 123.45, F::Kept},
        {"19.999", 19.999, F::BeyondTheCent}, {"0.004", 0.004, F::BeyondTheCent},
        {"999.999", 999.999, F::BeyondTheCent}, {"4999.999", 4999.999, F::BeyondTheCent},
        {"10000.001", 10000.001, F::BeyondTheCent}, {"12345.678", 12345.678, F::BeyondTheCent},
        {"1048576.001", 1048576.001, F::BeyondTheCent}, {"1.5e-7", 1.5e-7, F::BeyondTheCent},
        {"-3", -3, F::BelowZero}, {"-0.5", -0.5, F::BelowZero},
        {"1234567.89", 1234567.89, F::TooLarge}, {"1e20", 1e20, F::TooLarge},
    };
    std::vector<std::string> file;
    for (const auto& c : cases)
        file.push_back(c.text);
    const FileAmounts texts(file, '.');
    for (const auto& c : cases) {
        WrittenNumber text, cell;
        ASSERT_EQ(texts.Read(c.text, text), FileAmounts::Reading::Number) << c.text;
        ASSERT_TRUE(ReadNumberCell(c.cell, cell)) << c.text;
        for (const WrittenNumber& amount : {text, cell}) {
            float held = -1;
            EXPECT_EQ(FitFileAmount(amount, held), c.fit) << c.text;
            EXPECT_EQ(held, c.fit == F::Kept ? float(c.cell) : -1.0f) << c.text;
        }
    }
    // a sum's binary noise past the digits a spreadsheet keeps is no decimal
    for (const double sum : {0.1 + 0.2, 1.1 * 3, 10.1 + 2.24, 1e5 + 0.07}) {
        WrittenNumber cell;
        float held = -1;
        ASSERT_TRUE(ReadNumberCell(sum, cell));
        EXPECT_EQ(FitFileAmount(cell, held), F::Kept) << sum;
        EXPECT_EQ(held, float(sum));
    }
    WrittenNumber untouched{-1, -1};
    EXPECT_FALSE(ReadNumberCell(HUGE_VAL, untouched));
    EXPECT_FALSE(ReadNumberCell(NAN, untouched));
    EXPECT_EQ(untouched.value, -1);
}

// What a file's amounts show decides how each of them reads (the import's
// summary counts what cannot be read or decided).
TEST(FileAmounts, TheAmountsOfAFileDecideTogether)
{
    using R = FileAmounts::Reading;
    struct Read {
        const char* text;
        R reading;
        double value;  // for a Number
    };
    const struct Case {
        const char* name;
        std::vector<std::string> file;
        char open, decimalMark;
        std::vector<Read> reads;
    } cases[] = {
        {"no mark shown", {"1.234", " 2,500 ", "7"}, ',', ',',
         {{"1.234", R::Number, 1234}, {" 2,500 ", R::Number, 2500}, {"-1.234", R::Number, -1234}}},
        {"after the other mark", {"1,234.567", "19.999"}, ',', '.',
         {{"19.999", R::Number, 19.999}, {"2,500", R::Number, 2500}}},
        {"the other mark twice", {"1,234,567", "1.234"}, ',', '.',
         {{"1,234,567", R::Number, 1234567}, {"1.234", R::Number, 1.234}, {"12.5", R::Number, 12.5}}},
        {"both shown", {"12.5", "12,5"}, ',', ',',
         {{"12,5", R::Number, 12.5}, {"12.5", R::OtherMark, 0}, {"1,234.5", R::OtherMark, 0},
          {"1.234", R::Undecided, 0}, {"2,500", R::Undecided, 0}}},
        {"both shown, read with a point", {"12,50", "1,234.50"}, '.', '.',
         {{"1,234.50", R::Number, 1234.5}, {"12,50", R::OtherMark, 0}, {"0,500", R::OtherMark, 0},
          {"1.234.567", R::OtherMark, 0}, {"12,5x", R::NoNumber, 0}, {"1 234,567", R::NoNumber, 0}}},
        {"a decimal mark and thousands", {"12,50", "1.234"}, '.', ',',
         {{"1.234", R::Number, 1234}, {"1,234", R::Number, 1.234}, {"x,234", R::NoNumber, 0},
          {"12345.678", R::NoNumber, 0}}},
        {"a zero before a point", {"0.500", "7"}, ',', '.',
         {{"0.500", R::Number, 0.5}, {"01.500", R::Number, 1.5}, {"-0.500", R::Number, -0.5}, {"0,500", R::NoNumber, 0},
          {"1,500", R::Number, 1500}}},
        {"a zero before a comma", {"0,500", "1.234"}, '.', ',',
         {{"0,500", R::Number, 0.5}, {"00,250", R::Number, 0.25}, {"1.234", R::Number, 1234}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FileAmounts amounts(c.file, c.open);
        EXPECT_EQ(amounts.DecimalMark(), c.decimalMark);
        for (const Read& r : c.reads) {
            WrittenNumber read{-1, 0};
            EXPECT_EQ(amounts.Read(r.text, read), r.reading) << r.text;
            EXPECT_EQ(read.value, r.reading == R::Number ? r.value : -1) << r.text;
        }
    }
}
