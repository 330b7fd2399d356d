// The amount texts of imported files, damaged: texts made of the characters
// that matter to the rule (digits, both marks, signs, exponents, blanks and
// the two no-break spaces, cut anywhere) never crash or hang the reading,
// and what reads as a number is a finite one, read the same whatever order
// the file's texts came in.
#include "appcore/amounts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

TEST(AmountsReader, DamagedTextsReadAsNumbersOrNot)
{
    const std::string pieces[] = {"0", "1", "2", "5", "9", ".", ",", "-", "+", "e", "E", " ", "\t",
                                  "\xC2\xA0", "\xE2\x80\xAF", "\xC2", "\xE2\x80", "x", "123", "1.234", "12,50"};
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
            double value = 0, second = 0;
            const FileAmounts::Reading reading = amounts.Read(text, value);
            ASSERT_EQ(again.Read(text, second), reading) << text;
            if (reading == FileAmounts::Reading::Number) {
                EXPECT_TRUE(std::isfinite(value)) << text;
                EXPECT_EQ(value, second) << text;
            }
        }
    }
}
