#include "documents/numberconvert.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
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

constexpr std::array<uint64_t, 20> kPowersOfTen = [] {
    std::array<uint64_t, 20> p{};
    p[0] = 1;
    for (std::size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
    return p;
}();

// 10^order, or 0 when it does not fit 64 bits unsigned.
uint64_t powerOfTen(int32_t order) { return order < 0 || order > 19 ? 0 : kPowersOfTen[order]; }

// The count of decimal digits of n >= 1, 1 to 20.
int decimalDigits(uint64_t n)
{
    const int d = (int(std::bit_width(n)) * 1233) >> 12;  // 1233 / 4096 is just above log10(2)
    return d + (n >= kPowersOfTen[d] ? 1 : 0);
}

// Numbers below this are looked up in TNumberIndex::takes; larger ones (only
// with tables whose smallest order is above 3, or that have none) are found
// in the names ranked by value.
constexpr uint64_t kTakesLimit = 1024;

}  // namespace

// What spelling needs to know of the tables' values, made once per set of
// values: the name of each digit, the order that a number of d digits is
// spelled with, and the name the spelling takes first for a number that no
// order fits. Positions are those in Names and Orders; -1 is none.
struct TNumberIndex {
    std::vector<int32_t> values;  // Names' values, then Orders' orders: what this was made from
    int32_t digitName[10];        // the last name whose value is the digit
    int32_t orderByDigits[21];    // the order with the largest power not above a number of d digits
    std::vector<int32_t> takes;   // below its size: the name of the largest value not above the number
    std::vector<int32_t> ranked;  // the names of positive value, largest first, table order on a tie

    bool madeFrom(const TNumberNames& names, const TNumberOrders& orders) const
    {
        if (values.size() != names.size() + orders.size()) return false;
        auto v = values.begin();
        for (const TNumberName& n : names)
            if (*v++ != n.Value) return false;
        for (const TNumberOrder& o : orders)
            if (*v++ != o.Order) return false;
        return true;
    }

    // The name of the largest value in 1..n, the first of equal ones.
    int32_t nameFor(uint64_t n, const TNumberNames& names) const
    {
        if (n < takes.size()) return takes[n];
        const auto at = std::partition_point(ranked.begin(), ranked.end(),
                                             [&](int32_t i) { return uint64_t(names[i].Value) > n; });
        return at == ranked.end() ? -1 : *at;
    }
};

namespace {

std::shared_ptr<const TNumberIndex> makeIndex(const TNumberNames& names, const TNumberOrders& orders)
{
    auto index = std::make_shared<TNumberIndex>();
    TNumberIndex& x = *index;
    std::fill(std::begin(x.digitName), std::end(x.digitName), -1);
    std::fill(std::begin(x.orderByDigits), std::end(x.orderByDigits), -1);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const int32_t v = names[i].Value;
        x.values.push_back(v);
        if (v >= 0 && v <= 9) x.digitName[v] = int32_t(i);
        if (v > 0) x.ranked.push_back(int32_t(i));
    }
    uint64_t smallestPower = UINT64_MAX;  // below it only names spell a number
    for (std::size_t j = 0; j < orders.size(); ++j) {
        const int32_t order = orders[j].Order;
        x.values.push_back(order);
        const uint64_t p = powerOfTen(order);
        if (p == 0) continue;
        smallestPower = std::min(smallestPower, p);
        for (int d = order + 1; d <= 20; ++d) {
            int32_t& chosen = x.orderByDigits[d];
            if (chosen < 0 || orders[chosen].Order < order) chosen = int32_t(j);
        }
    }
    std::stable_sort(x.ranked.begin(), x.ranked.end(),
                     [&](int32_t a, int32_t b) { return names[a].Value > names[b].Value; });
    const uint64_t size = std::min(smallestPower, kTakesLimit);
    x.takes.reserve(size);
    // nameFor(n) finds n among the ranked names while `takes` is still shorter than n
    for (uint64_t n = 0; n < size; ++n) x.takes.push_back(n == 0 ? -1 : x.nameFor(n, names));
    return index;
}

// Spells into one string, word by word: a word is joined with the separator
// when the text so far is not empty, and an empty word adds nothing.
struct Speller {
    const TNumberIndex& index;
    const TNumberNames& names;
    const TNumberOrders& orders;
    const std::string& separator;
    std::string& out;

    void word(const std::string& w) const
    {
        if (w.empty()) return;
        if (!out.empty()) out += separator;
        out += w;
    }

    void digit(int d) const
    {
        const int32_t i = index.digitName[d];
        if (i >= 0) word(names[i].Masculine);
    }

    // n from the names alone: the largest value that fits, again and again.
    void spellByNames(uint64_t n, TGender gender) const
    {
        while (n > 0) {
            const int32_t i = index.nameFor(n, names);
            if (i < 0) break;
            const TNumberName& name = names[i];
            n -= uint64_t(name.Value);
            const std::string& form = gender == gMasculine ? name.Masculine
                                      : gender == gFeminine ? (name.Feminine.empty() ? name.Masculine : name.Feminine)
                                                            : name.Feminine;
            if (form.empty())
                throw NumberConvertError("NumberToText() Name of the number " + std::to_string(name.Value) +
                                         " is not set.");
            word(form);
        }
    }

    void spell(uint64_t n, TGender gender, bool ignoreOne) const
    {
        if (n == 0) return;
        const int32_t o = index.orderByDigits[decimalDigits(n)];
        if (o < 0) return spellByNames(n, gender);
        const TNumberOrder& chosen = orders[o];
        const uint64_t p = kPowersOfTen[chosen.Order];
        const uint64_t q = n / p, r = n % p;
        const std::string* form;
        if (q % 100 >= 5 && q % 100 <= 20)
            form = &chosen.Other;
        else if (q % 10 == 1)
            form = (q == 1 && ignoreOne) ? &chosen.One : &chosen.EndsIn1;
        else if (q % 10 >= 2 && q % 10 <= 4)
            form = &chosen.EndsIn2To4;
        else
            form = &chosen.Other;
        if (form->empty()) form = &chosen.EndsIn1;
        if (form->empty()) form = &chosen.One;
        if (form->empty())
            throw NumberConvertError("NumberToText() Name of the order " + std::to_string(chosen.Order) +
                                     " is not set.");
        if (!(q == 1 && ignoreOne)) spell(q, chosen.Gender, ignoreOne);
        word(*form);
        spell(r, gMasculine, false);
    }
};

std::string spellNumber(const TNumberIndex& index, const TNumberNames& names, const TNumberOrders& orders,
                        const std::string& minusName, bool ignoreOne, const std::string& separator, int zeros,
                        int64_t fraction, const std::string& decimalSeparator, bool negative, uint64_t magnitude)
{
    std::string result;
    result.reserve(160);  // the longest English amount a cheque takes, with its fraction
    const Speller s{index, names, orders, separator, result};
    if (negative) s.word(minusName);
    if (magnitude == 0)
        s.digit(0);
    else
        s.spell(magnitude, gMasculine, ignoreOne);
    if (fraction < 0) throw NumberConvertError("NumberToText() Fraction can't be less then zero.");
    if (fraction > 0) {
        s.word(decimalSeparator);
        for (int i = 0; i < zeros; ++i) s.digit(0);
        char digits[24];
        const char* end = std::to_chars(digits, digits + sizeof digits, fraction).ptr;
        for (const char* c = digits; c != end; ++c) s.digit(*c - '0');
    }
    return result;
}

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
        {
            static const std::shared_ptr<const TNumberIndex> both = makeIndex(Names, Orders);  // same values
            index_ = both;
        }
        break;
    case nlSerbian:
    case nlSerbianFont:
        DecimalSeparator = "zarez";
        MinusName = "minus";
        Names = serbianNames(language == nlSerbianFont);
        Orders = serbianOrders();
        {
            static const std::shared_ptr<const TNumberIndex> both = makeIndex(Names, Orders);
            index_ = both;
        }
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
    if (!index_ || !index_->madeFrom(Names, Orders)) index_ = makeIndex(Names, Orders);
    return spellNumber(*index_, Names, Orders, MinusName, IgnoreOne, Separator, zeros, fraction, DecimalSeparator,
                       negative && (magnitude != 0 || fraction != 0), magnitude);
}

std::string NumberToText(const TNumberNames& names, const TNumberOrders& orders, const std::string& minusName,
                         bool ignoreOne, const std::string& separator, int zeros, int64_t fraction,
                         const std::string& decimalSeparator, bool negative, uint64_t magnitude)
{
    return spellNumber(*makeIndex(names, orders), names, orders, minusName, ignoreOne, separator, zeros, fraction,
                       decimalSeparator, negative, magnitude);
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
