#include "documents/numberconvert.h"

#include <cmath>

namespace {

const TNumberNames& englishNames()
{
    static const TNumberNames names = [] {
        TNumberNames n;
        const char* words[] = {"zero",    "one",     "two",       "three",    "four",     "five",    "six",
                               "seven",   "eight",   "nine",      "ten",      "eleven",   "twelve",  "thirteen",
                               "fourteen", "fifteen", "sixteen",  "seventeen", "eighteen", "nineteen"};
        for (int i = 0; i < 20; ++i) n.push_back({i, words[i], {}});
        const char* tens[] = {"twenty", "thirty", "forty", "fifty", "sixty", "seventy", "eighty", "ninety"};
        for (int i = 0; i < 8; ++i) n.push_back({(i + 2) * 10, tens[i], {}});
        return n;
    }();
    return names;
}

TNumberOrders englishOrders(bool british)
{
    auto order = [](int32_t o, TGender g, const char* word) {
        TNumberOrder r;
        r.Order = o;
        r.Gender = g;
        r.One = word;
        return r;
    };
    return {order(2, gFeminine, "hundred"),
            order(3, gFeminine, "thousand"),
            order(6, gMasculine, "million"),
            order(9, gFeminine, british ? "milliard" : "billion"),
            order(12, gMasculine, british ? "billion" : "trillion"),
            order(15, gFeminine, british ? "billiard" : "quadrillion")};
}

TNumberNames serbianNames(bool diacritics)
{
    // value, plain masculine, masculine with č/š (empty: the same), feminine
    struct Row {
        int32_t value;
        const char *plain, *marked, *feminine;
    };
    static const Row rows[] = {
        {0, "nula", "", ""},           {1, "jedan", "", "jedna"},      {2, "dva", "", "dve"},
        {3, "tri", "", ""},            {4, "cetiri", "četiri", ""},    {5, "pet", "", ""},
        {6, "sest", "šest", ""},       {7, "sedam", "", ""},           {8, "osam", "", ""},
        {9, "devet", "", ""},          {10, "deset", "", ""},          {11, "jedanaest", "", ""},
        {12, "dvanaest", "", ""},      {13, "trinaest", "", ""},       {14, "cetrnaest", "četrnaest", ""},
        {15, "petanest", "", ""},      {16, "sesnaest", "šesnaest", ""}, {17, "sedamnaest", "", ""},
        {18, "osamnaest", "", ""},     {19, "devetnaest", "", ""},     {20, "dvadeset", "", ""},
        {30, "trideset", "", ""},      {40, "cetrdeset", "četrdeset", ""}, {50, "pedeset", "", ""},
        {60, "sezdeset", "šezdeset", ""}, {70, "sedamdeset", "", ""},  {80, "osamdeset", "", ""},
        {90, "devedeset", "", ""},     {100, "sto", "", ""},           {200, "dvesto", "", "dvesta"},
        {300, "tristo", "", "trista"}, {400, "cetirsto", "četirsto", ""}, {500, "petsto", "", ""},
        {600, "sesto", "šesto", ""},   {700, "sedamsto", "", ""},      {800, "osamsto", "", ""},
        {900, "devetsto", "", ""},
    };
    TNumberNames n;
    for (const Row& r : rows)
        n.push_back({r.value, (diacritics && *r.marked) ? r.marked : r.plain, r.feminine});
    return n;
}

TNumberOrders serbianOrders()
{
    return {{3, gFeminine, "hiljadu", "hiljada", "hiljade", "hiljada"},
            {6, gMasculine, "milion", "milion", "miliona", "miliona"},
            {9, gFeminine, "milijardu", "milijarda", "milijarde", "milijardi"},
            {12, gMasculine, "bilion", "bilion", "biliona", "biliona"},
            {15, gFeminine, "bilijardu", "bilijarda", "bilijarde", "bilijardi"},
            {18, gMasculine, "trilion", "trilion", "triliona", "triliona"}};
}

// 10^order, or 0 when it does not fit 64 bits unsigned.
uint64_t powerOfTen(int32_t order)
{
    if (order < 0 || order > 19) return 0;
    uint64_t p = 1;
    for (int32_t i = 0; i < order; ++i) p *= 10;
    return p;
}

struct Speller {
    const TNumberNames& names;
    const TNumberOrders& orders;
    const std::string& separator;

    void join(std::string& a, const std::string& b) const
    {
        if (b.empty()) return;
        if (!a.empty()) a += separator;
        a += b;
    }

    const std::string* digitName(int digit) const
    {
        const std::string* found = nullptr;
        for (const TNumberName& n : names)
            if (n.Value == digit) found = &n.Masculine;
        return found;
    }

    std::string spell(uint64_t n, TGender gender, bool ignoreOne) const
    {
        const TNumberOrder* chosen = nullptr;
        uint64_t q = 0, r = 0;
        for (const TNumberOrder& o : orders) {
            const uint64_t p = powerOfTen(o.Order);
            if (p == 0) continue;
            const uint64_t oq = n / p;
            if (oq > 0 && (!chosen || oq < q)) {
                chosen = &o;
                q = oq;
                r = n % p;
            }
        }
        std::string result;
        if (!chosen) {
            while (n > 0) {
                const TNumberName* best = nullptr;
                for (const TNumberName& e : names)
                    if (e.Value > 0 && uint64_t(e.Value) <= n && (!best || e.Value > best->Value)) best = &e;
                if (!best) break;
                n -= uint64_t(best->Value);
                const std::string& form =
                    gender == gMasculine ? best->Masculine
                    : gender == gFeminine ? (best->Feminine.empty() ? best->Masculine : best->Feminine)
                                         : best->Feminine;
                if (form.empty())
                    throw NumberConvertError("NumberToText() Name of the number " + std::to_string(best->Value) +
                                             " is not set.");
                join(result, form);
            }
            return result;
        }
        const std::string* form;
        if (q % 100 >= 5 && q % 100 <= 20)
            form = &chosen->Other;
        else if (q % 10 == 1)
            form = (q == 1 && ignoreOne) ? &chosen->One : &chosen->EndsIn1;
        else if (q % 10 >= 2 && q % 10 <= 4)
            form = &chosen->EndsIn2To4;
        else
            form = &chosen->Other;
        if (form->empty()) form = &chosen->EndsIn1;
        if (form->empty()) form = &chosen->One;
        if (form->empty())
            throw NumberConvertError("NumberToText() Name of the order " + std::to_string(chosen->Order) +
                                     " is not set.");
        if (!(q == 1 && ignoreOne)) join(result, spell(q, chosen->Gender, ignoreOne));
        join(result, *form);
        if (r > 0) join(result, spell(r, gMasculine, false));
        return result;
    }
};

}  // namespace

TNumberToText::TNumberToText() { SetLanguage(nlEnglishUS); }

void TNumberToText::SetLanguage(TNumberLanguage language)
{
    language_ = language;
    switch (language) {
    case nlEnglishUS:
    case nlEnglishBritish:
        DecimalSeparator = "point";
        MinusName = "minus";
        Names = englishNames();
        Orders = englishOrders(language == nlEnglishBritish);
        break;
    case nlSerbian:
    case nlSerbianFont:
        DecimalSeparator = "zarez";
        MinusName = "minus";
        Names = serbianNames(language == nlSerbianFont);
        Orders = serbianOrders();
        break;
    case nlCustom: break;
    }
}

void TNumberToText::SetText(const std::string&)
{
    throw NumberConvertError("TNumberToText.SetText() Unsupported feature.");
}

std::string TNumberToText::Text() const
{
    const long double whole = std::trunc(Number);
    // the whole part must fit a signed 64-bit integer: -2^63 <= whole < 2^63
    if (!std::isfinite(Number) || whole < -9223372036854775808.0L || whole >= 9223372036854775808.0L)
        throw NumberConvertError("NumberToText() Number out of range.");
    const bool negative = Number < 0;
    uint64_t magnitude = negative ? uint64_t(0) - uint64_t(int64_t(whole)) : uint64_t(whole);

    long double f = std::fabs(Number - whole);
    int zeros = 0;
    while (f > 0 && f * 10 < 1 - 1e-12L) {
        f *= 10;
        ++zeros;
    }
    int64_t fraction = int64_t(std::llround(f * 1e12L));
    if (fraction >= 1000000000000LL) {
        // .9999999999999 rounds up to the next whole number
        fraction = 0;
        zeros = 0;
        if (magnitude < UINT64_MAX) ++magnitude;
    }
    fraction = TrimRightZeros(fraction);
    return NumberToText(Names, Orders, MinusName, IgnoreOne, Separator, zeros, fraction, DecimalSeparator,
                        negative && (magnitude != 0 || fraction != 0), magnitude);
}

std::string NumberToText(const TNumberNames& names, const TNumberOrders& orders, const std::string& minusName,
                         bool ignoreOne, const std::string& separator, int zeros, int64_t fraction,
                         const std::string& decimalSeparator, bool negative, uint64_t magnitude)
{
    const Speller s{names, orders, separator};
    auto digit = [&](int d) {
        const std::string* name = s.digitName(d);
        return name ? *name : std::string();
    };
    std::string result = negative ? minusName : std::string();
    s.join(result, magnitude == 0 ? digit(0) : s.spell(magnitude, gMasculine, ignoreOne));
    if (fraction < 0) throw NumberConvertError("NumberToText() Fraction can't be less then zero.");
    if (fraction > 0) {
        std::string part = decimalSeparator;
        for (int i = 0; i < zeros; ++i) s.join(part, digit(0));
        const std::string digits = std::to_string(fraction);
        for (char c : digits) s.join(part, digit(c - '0'));
        s.join(result, part);
    }
    return result;
}

int64_t TrimRightZeros(int64_t x)
{
    while (x != 0 && x % 10 == 0) x /= 10;
    return x;
}

std::string CardToRoman(uint32_t n)
{
    static const struct {
        uint32_t value;
        const char* symbol;
    } table[] = {{1000, "M"}, {900, "CM"}, {500, "D"}, {400, "CD"}, {100, "C"}, {90, "XC"}, {50, "L"},
                 {40, "XL"},  {10, "X"},   {9, "IX"},  {5, "V"},    {4, "IV"},  {1, "I"}};
    std::string result;
    for (const auto& t : table)
        while (n >= t.value) {
            result += t.symbol;
            n -= t.value;
        }
    return result;
}

void TNumberToRoman::SetRomanNumber(const std::string&)
{
    throw NumberConvertError("TNumberToRoman.SetRomanNumber() Unsupported feature.");
}
