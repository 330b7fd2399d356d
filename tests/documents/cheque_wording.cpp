// The cheque amount in words: "AND" rules, currency words, styles, the line
// split and the amount range.
#include "appcore/amounts.h"
#include "documents/chequewording.h"

#include <gtest/gtest.h>

namespace {

std::string wordsOf(const std::string& amount, ChequeWordingOptions o = {})
{
    return ChequeAmountWords(ChequeAmountValue(amount), o);
}

ChequeWordingOptions styled(bool singleAnd, bool hyphen, bool smallLetter)
{
    ChequeWordingOptions o;
    o.singleAnd = singleAnd;
    o.hyphen = hyphen;
    o.smallLetter = smallLetter;
    return o;
}

}  // namespace

TEST(ChequeWording, TheDefaultLayoutSplitsAtThirtySix)
{
    const std::string w = wordsOf("1,234.12");
    EXPECT_EQ(w, "ONE THOUSAND TWO HUNDRED AND THIRTY FOUR DOLLARS AND TWELVE CENTS");
    const ChequeWordLines lines = SplitChequeWords(w, 36);
    EXPECT_EQ(lines.first, "ONE THOUSAND TWO HUNDRED AND THIRTY");
    EXPECT_EQ(lines.second, "FOUR DOLLARS AND TWELVE CENTS");
    EXPECT_EQ(FormatAmount("1234.12"), "1,234.12");
}

TEST(ChequeWording, AndCurrencyAndOnly)
{
    ChequeWordingOptions noDollar, typed;
    noDollar.dollar = "  ";
    typed.dollar = "Dollars";
    typed.cent = "cents";
    const std::pair<std::string, std::string> cases[] = {
        {wordsOf("0.50"), "ZERO DOLLARS AND FIFTY CENTS"},
        {wordsOf("7"), "SEVEN DOLLARS ONLY"},
        {wordsOf("7", noDollar), "SEVEN ONLY"},
        // the currency word goes into capitals with the words, the cent word stays as typed
        {wordsOf("7", typed), "SEVEN DOLLARS ONLY"},
        {wordsOf("7.12", typed), "SEVEN DOLLARS AND TWELVE cents"},
        {wordsOf("0.29"), "ZERO DOLLARS AND TWENTY NINE CENTS"},
        {wordsOf("105"), "ONE HUNDRED AND FIVE DOLLARS ONLY"},
        {wordsOf("2300"), "TWO THOUSAND THREE HUNDRED DOLLARS ONLY"},
        {wordsOf("100001"), "ONE HUNDRED THOUSAND AND ONE DOLLARS ONLY"},
        {wordsOf("123456789"),
         "ONE HUNDRED AND TWENTY THREE MILLION FOUR HUNDRED AND FIFTY SIX THOUSAND SEVEN HUNDRED AND EIGHTY NINE "
         "DOLLARS ONLY"},
        // a HUNDRED before a scale word takes no AND
        {wordsOf("300000"), "THREE HUNDRED THOUSAND DOLLARS ONLY"},
        {wordsOf("1100000"), "ONE MILLION ONE HUNDRED THOUSAND DOLLARS ONLY"},
        {wordsOf("100000000"), "ONE HUNDRED MILLION DOLLARS ONLY"},
        {wordsOf("200300000"), "TWO HUNDRED MILLION THREE HUNDRED THOUSAND DOLLARS ONLY"},
        {wordsOf("2147483647.99"),
         "TWO BILLION ONE HUNDRED AND FORTY SEVEN MILLION FOUR HUNDRED AND EIGHTY THREE THOUSAND SIX HUNDRED AND "
         "FORTY SEVEN DOLLARS AND NINETY NINE CENTS"},
    };
    for (const auto& [got, want] : cases) EXPECT_EQ(got, want);
}

TEST(ChequeWording, Styles)
{
    EXPECT_EQ(wordsOf("100105.20", styled(true, false, false)),
              "ONE HUNDRED THOUSAND ONE HUNDRED FIVE DOLLARS AND TWENTY CENTS");
    EXPECT_EQ(wordsOf("25.55", styled(false, true, false)), "TWENTY-FIVE DOLLARS AND FIFTY-FIVE CENTS");
    EXPECT_EQ(wordsOf("21.21", styled(false, true, false)), "TWENTY-ONE DOLLARS AND TWENTY-ONE CENTS");
    EXPECT_EQ(wordsOf("1000", styled(false, false, true)), "One Thousand Dollars Only");
    EXPECT_EQ(wordsOf("125", styled(true, true, true)), "One Hundred And Twenty-Five Dollars Only");
}

TEST(ChequeWording, OnlyNeverStandsAloneOnTheSecondLineUnlessInSmallLetters)
{
    const std::string w = wordsOf("7");  // SEVEN DOLLARS ONLY (18)
    EXPECT_EQ(SplitChequeWords(w, 18).second, "");
    EXPECT_EQ(SplitChequeWords(w, 13).first, "SEVEN");
    EXPECT_EQ(SplitChequeWords(w, 13).second, "DOLLARS ONLY");
    const ChequeWordLines small = SplitChequeWords(wordsOf("7", styled(false, false, true)), 13);
    EXPECT_EQ(small.first, "Seven Dollars");
    EXPECT_EQ(small.second, "Only");
    EXPECT_EQ(SplitChequeWords("SEVENDOLLARS ONLY", 13).first, "SEVENDOLLARS ONLY");  // no other blank
    EXPECT_EQ(SplitChequeWords("A B", -1).first, "A B");
}

TEST(ChequeWording, TheLengthCountsCharactersNotBytes)
{
    ChequeWordingOptions euro;
    euro.dollar = "€€€€";
    const std::string w = wordsOf("7", euro);  // SEVEN €€€€ ONLY: 15 characters, 23 bytes
    EXPECT_EQ(SplitChequeWords(w, 15).second, "");
    const ChequeWordLines lines = SplitChequeWords("ÉÉÉÉÉ ÉÉÉÉ ÉÉ", 10);
    EXPECT_EQ(lines.first, "ÉÉÉÉÉ ÉÉÉÉ");
    EXPECT_EQ(lines.second, "ÉÉ");
}

TEST(ChequeWording, AmountsOutsideTheRangeAreRefused)
{
    for (const char* bad : {"-1", "2147483648", "2,147,483,647.999", "-0.01"}) {
        try {
            ChequeAmountValue(bad);
            ADD_FAILURE() << bad;
        } catch (const ChequeAmountRangeError& e) {
            EXPECT_STREQ(e.what(), "The amount must be from 0 to 2,147,483,647.99.");
        }
    }
    EXPECT_THROW(ChequeAmountValue("12x"), AmountConvertError);
    EXPECT_THROW(ChequeAmountWords(-1, {}), ChequeAmountRangeError);
    EXPECT_DOUBLE_EQ(ChequeAmountValue("-0.0001"), 0);
}
