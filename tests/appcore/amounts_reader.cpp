// The amount texts of imported files, damaged: texts made of the characters
// that matter to the rule (digits, both marks, signs, exponents, blanks and
// the two no-break spaces, cut anywhere) never crash or hang the reading,
// and what reads as a number is a finite one, read the same whatever order
// the file's texts came in.
#include "appcore/amounts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

TEST(AmountsReader, DamagedTextsReadAsNumbersOrNot)
{
    const std::string pieces[] = {"0", "1", "2", "5", "9", ".", ",", "-", "+", "e", "E", " ", "\t",
                                  "\xC2\xA0", "\xE2\x80\xAF", "\xC2", "\xE2\x80", "x", "123", "1.234", "12,50",
                                  "e-400", "99999999999999999999", "0000000000"};
    std::mt19937 random(20261208);  // the same texts every run
    for (int file = 0; file < 2000; ++file) {
        std::vector<std::string> texts(1 + random() % 6);
        for (std::string& text : texts)
            for (std::size_t n = random() % 9; n > 0; --n)
                text += pieces[random() % std::size(pieces)];
        const FileAmounts amounts(texts, file % 2 ? ',' : '.');
        std::vector<std::string> reversed(texts.rbegin(), texts.rend());
        const FileAmounts again(reversed, file % 2 ? ',' : '.');
        ASSERT_EQ(amounts.DecimalMark(), again.DecimalMark());
        for (const std::string& text : texts) {
            WrittenNumber value, second;
            const FileAmounts::Reading reading = amounts.Read(text, value);
            ASSERT_EQ(again.Read(text, second), reading) << text;
            if (reading == FileAmounts::Reading::Number) {
                EXPECT_TRUE(std::isfinite(value.value)) << text;
                EXPECT_GE(value.decimals, 0) << text;
                EXPECT_EQ(value.value, second.value) << text;
                EXPECT_EQ(value.decimals, second.decimals) << text;
            }
        }
    }
}

// Number cells hold any 8 bytes a damaged file gives: each reads as a number
// when finite, and is kept only with two decimals or fewer.
TEST(AmountsReader, DamagedNumberCellsReadAsNumbersOrNot)
{
    std::mt19937_64 random(20261209);
    for (int cell = 0; cell < 20000; ++cell) {
        const uint64_t bits = random();
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        WrittenNumber read;
        float held = 0;
        ASSERT_EQ(ReadNumberCell(value, read), std::isfinite(value)) << bits;
        if (std::isfinite(value)) {
            EXPECT_TRUE(read.decimals >= 0 && (FitFileAmount(read, held) != FileAmountFit::Kept || read.decimals <= 2))
                << value;
        }
    }
}
