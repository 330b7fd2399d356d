// Amount texts as the contact list, the import and the cheque windows show them.
#include "app/amounts.h"

#include <gtest/gtest.h>
#include <clocale>

using namespace quillet;

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

TEST(FormatAmount, IgnoresTheProcessLocale)
{
    // a locale with "," as decimal point must not change how amounts read
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma installed";
    EXPECT_EQ(NormalizeAmount("12.50"), "12.50");
    EXPECT_EQ(FormatAmount("1234.5"), "1,234.50");
    std::setlocale(LC_ALL, "C");
}
