// Numbers in words and in Roman numerals. TNumberToText spells a number in US
// or British English or in Serbian (plain letters or with č and š, all UTF-8)
// from word tables it fills itself; TNumberToRoman writes Roman numerals.
// Callers set Number and read Text; errors are NumberConvertError exceptions.
// Text looks the words up through an index of the tables' values (which name a
// number takes, which scale word a number of so many digits takes), kept with
// the object and made again when the values in the tables differ from those
// it was made from; one object is not read from two threads at once.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct NumberConvertError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum TNumberLanguage { nlEnglishUS, nlEnglishBritish, nlSerbian, nlSerbianFont, nlCustom };
enum TGender { gMasculine, gFeminine, rNeuter };

// One word of the names table: the number it names and its masculine and
// (optional) feminine forms.
struct TNumberName {
    int32_t Value = 0;
    std::string Masculine;
    std::string Feminine;
};

// One scale word (a power of ten), with the gender in which the multiplier in
// front of it is spelled and its forms for exactly one, a multiplier ending
// in 1, one ending in 2 to 4, and any other.
struct TNumberOrder {
    int32_t Order = 0;
    TGender Gender = gMasculine;
    std::string One, EndsIn1, EndsIn2To4, Other;
};

using TNumberNames = std::vector<TNumberName>;
using TNumberOrders = std::vector<TNumberOrder>;

struct TNumberIndex;

class TNumberToText {
public:
    TNumberToText();
    virtual ~TNumberToText() = default;

    // Fills the tables of the language; nlCustom keeps the tables in force.
    virtual void SetLanguage(TNumberLanguage language);
    TNumberLanguage Language() const { return language_; }

    std::string Separator = " ";  // between words
    bool IgnoreOne = false;       // "hundred" instead of "one hundred"
    std::string DecimalSeparator;
    std::string MinusName;
    long double Number = 0;
    TNumberNames Names;
    TNumberOrders Orders;

    // The words of Number. Throws NumberConvertError when Number is not finite
    // or its whole part does not fit a signed 64-bit integer.
    std::string Text() const;
    [[noreturn]] void SetText(const std::string&);

private:
    TNumberLanguage language_ = nlEnglishUS;
    mutable std::shared_ptr<const TNumberIndex> index_;  // of the values of Names and Orders
};

// Spells a whole part and fraction digits with the given tables: the routine
// behind TNumberToText::Text. `negative` puts MinusName in front (also of a
// zero whole part); `zeros` zero digits stand between the decimal word and the
// fraction digits.
std::string NumberToText(const TNumberNames& names, const TNumberOrders& orders, const std::string& minusName,
                         bool ignoreOne, const std::string& separator, int zeros, int64_t fraction,
                         const std::string& decimalSeparator, bool negative, uint64_t magnitude);

// x divided by ten while it is a non-zero multiple of ten.
int64_t TrimRightZeros(int64_t x);

// Roman numerals with the subtractive pairs; thousands repeat "M"; 0 gives "".
std::string CardToRoman(uint32_t n);

class TNumberToRoman {
public:
    uint32_t Number = 0;
    std::string RomanNumber() const { return CardToRoman(Number); }
    [[noreturn]] void SetRomanNumber(const std::string&);
};
