#include "appcore/amounts.h"

#include <algorithm>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdint>

namespace {

std::string formatNonNegative(long double v)
{
    // v is below 2^53 (see FormatMoney): converting to a 64-bit integer
    // truncates it exactly, and the integer is exact as a long double
    const int64_t integral = static_cast<int64_t>(v);
    const long double whole = static_cast<long double>(integral);
    // the third decimal decides; the constant is single precision on purpose,
    // the arithmetic extended
    const long double scaled = (v + 0.001L - whole) * static_cast<long double>(1000.0f);
    const int64_t t = static_cast<int64_t>(scaled) + 5;
    // t / 10 is the cents; from 1000 on they carry into the whole part
    const int64_t i = integral + (t >= 1000 ? 1 : 0);
    const int64_t cents = t >= 10 && t < 1000 ? t / 10 : 0;
    char text[32];
    char* end = std::to_chars(text, text + 24, i).ptr;
    *end++ = '.';
    *end++ = static_cast<char>('0' + cents / 10);
    *end++ = static_cast<char>('0' + cents % 10);
    return std::string(text, end);
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

} // namespace

std::string FormatMoney(double v)
{
    if (v > -0.001 && v < 0.001)
        return "0";
    if (!std::isfinite(v))
        return "0";
    // From 2^53 on a double holds no fraction: write its exact decimal digits
    // instead of going through a 64-bit integer that could overflow.
    if (std::fabs(v) >= 9007199254740992.0) {
        char buf[400];
        auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2);
        return ec == std::errc() ? std::string(buf, end) : std::string("0");
    }
    if (v < 0) {
        std::string s = formatNonNegative(-static_cast<long double>(v));
        return s == "0.00" ? "0" : "-" + s;
    }
    return formatNonNegative(v);
}

std::string AddThousandsSeparators(const std::string& s)
{
    if (s.size() < 4)
        return s;
    return AddThousandsSeparators(s.substr(0, s.size() - 3)) + "," + s.substr(s.size() - 3);
}

bool ParseDecimal(const std::string& s, double& out, bool exponent)
{
    size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    size_t digits = 0, exponentDigits = 0;
    bool point = false, inExponent = false;
    for (size_t i = (b < e && (s[b] == '+' || s[b] == '-')) ? b + 1 : b; i < e; ++i) {
        if (s[i] >= '0' && s[i] <= '9')
            ++(inExponent ? exponentDigits : digits);
        else if (s[i] == '.' && !point && !inExponent)
            point = true;
        else if (exponent && (s[i] == 'e' || s[i] == 'E') && digits > 0 && !inExponent) {
            inExponent = true;
            if (i + 1 < e && (s[i + 1] == '+' || s[i + 1] == '-'))
                ++i;
        } else
            return false;  // only decimal numbers: no hex, inf or nan
    }
    if (digits == 0 || (inExponent && exponentDigits == 0))
        return false;
    if (s[b] == '+')
        ++b;
    double v = 0;
    auto [p, ec] = std::from_chars(s.data() + b, s.data() + e, v);
    if (ec != std::errc() || p != s.data() + e || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

namespace {

// The text with a no-break space (U+00A0) or a narrow one (U+202F) as a plain
// space: one byte each, as the parse below wants them.
std::string withPlainSpaces(const std::string& s)
{
    std::string plain;
    plain.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s.compare(i, 2, "\xC2\xA0") == 0) {
            plain += ' ';
            i += 1;
        } else if (s.compare(i, 3, "\xE2\x80\xAF") == 0) {
            plain += ' ';
            i += 2;
        } else {
            plain += s[i];
        }
    }
    return plain;
}

char otherMark(char mark) { return mark == '.' ? ',' : '.'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The text without its surrounding blanks, with its no-break spaces plain.
std::string plainTrimmed(const std::string& text)
{
    const std::string plain = withPlainSpaces(text);
    const size_t b = plain.find_first_not_of(" \t\r\n"), e = plain.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? std::string() : plain.substr(b, e - b + 1);
}

// Whether the whole part of a number starts with a zero ("0.500", "-01,5"):
// its leading digit group is then never one of thousands.
bool startsWithZero(const std::string& text)
{
    const size_t first = text.find_first_not_of("+-");
    return first != std::string::npos && text[first] == '0';
}

// Whether the text holds `mark` once and reads as a number with it as the
// decimal mark, the mark being followed by one or two digits at the end
// ("12.50", "1.234,5"), standing after the other mark ("1,234.567") or after
// a whole part that starts with a zero ("0.500", "01.500").
bool showsDecimalMark(const std::string& text, char mark)
{
    const size_t at = text.find(mark);
    if (at == std::string::npos || text.find(mark, at + 1) != std::string::npos)
        return false;
    const size_t decimals = text.size() - at - 1;
    const bool endsInCents = decimals >= 1 && decimals <= 2 &&
                             std::all_of(text.begin() + static_cast<std::ptrdiff_t>(at) + 1, text.end(), isDigit);
    const bool afterTheOther = text.find(otherMark(mark)) < at;
    double ignored = 0;
    return (endsInCents || afterTheOther || startsWithZero(text)) && ParseLocaleNumber(text, ignored, mark);
}

// Whether the text holds `mark` twice or more, with no other mark, and reads
// as a number with the mark setting thousands apart ("1.234.567").
bool showsThousandsMark(const std::string& text, char mark)
{
    double ignored = 0;
    return std::count(text.begin(), text.end(), mark) >= 2 && text.find(otherMark(mark)) == std::string::npos &&
           ParseLocaleNumber(text, ignored, otherMark(mark));
}

// The mark of a text that holds one mark once, followed by exactly three
// digits at its end, after a whole part that does not start with a zero
// ("1.234", "-2,500"): it may set thousands apart or be the decimal mark.
// 0 for every other text ("0.500" has a decimal mark).
char thousandsOrDecimalMark(const std::string& text)
{
    const size_t at = text.find_first_of(".,");
    if (at == std::string::npos || text.find_first_of(".,", at + 1) != std::string::npos ||
        text.size() - at - 1 != 3 || !std::all_of(text.end() - 3, text.end(), isDigit) || startsWithZero(text))
        return 0;
    return text[at];
}

// The number of a text written with `decimalMark`, as a plain decimal text
// for ParseDecimal (an exponent allowed): no group marks, "." as the decimal
// mark. False when the text's groups do not follow the rule of
// ParseLocaleNumber; ParseDecimal judges the rest.
bool plainDecimalText(const std::string& s, char decimalMark, std::string& plain)
{
    const char groupMark = decimalMark == ',' ? '.' : ',';
    const std::string text = plainTrimmed(s);
    plain.clear();
    plain.reserve(text.size());
    bool whole = true;
    char grouping = 0;  // the group mark the number uses: groupMark or a space
    size_t run = 0;     // digits of the whole part since its start or its last group mark
    // a leading group that starts with a zero is no group of thousands
    const bool leadingZero = startsWithZero(text);
    for (const char c : text) {
        if (whole && c >= '0' && c <= '9') {
            ++run;
        } else if (whole && (c == groupMark || c == ' ')) {
            if (run == 0 || run > 3 || (grouping && (run != 3 || c != grouping)) || (!grouping && leadingZero))
                return false;
            grouping = c;
            run = 0;
            continue;
        } else if (whole && (c == decimalMark || c == 'e' || c == 'E') && (run > 0 || c == decimalMark)) {
            if (grouping && run != 3)
                return false;
            whole = false;
        }
        plain += c == decimalMark ? '.' : c;
    }
    return !(whole && grouping && run != 3);
}

// The decimals a plain decimal text (ParseDecimal's form, an exponent
// allowed) gives its number, trailing zeros aside: "12.50" has one, "1.5e-3"
// four, "1200e-2" and "0.000" none.
int decimalsWritten(const std::string& plain)
{
    long long fraction = 0, trailingZeros = 0;
    bool point = false, nonZero = false;
    size_t i = 0;
    for (; i < plain.size() && plain[i] != 'e' && plain[i] != 'E'; ++i) {
        if (plain[i] == '.')
            point = true;
        if (!isDigit(plain[i]))
            continue;
        fraction += point ? 1 : 0;
        trailingZeros = plain[i] == '0' ? trailingZeros + 1 : 0;
        nonZero = nonZero || plain[i] != '0';
    }
    if (!nonZero)
        return 0;
    // a finite number that is not zero has an exponent of a few hundred at
    // most; the cap only keeps a long run of digits from overflowing
    constexpr long long kCap = 1000000;
    long long exponent = 0;
    bool negative = false;
    for (; i < plain.size(); ++i) {
        if (plain[i] == '-')
            negative = true;
        else if (isDigit(plain[i]))
            exponent = std::min(exponent * 10 + (plain[i] - '0'), kCap);
    }
    const long long decimals = fraction - trailingZeros + (negative ? exponent : -exponent);
    return static_cast<int>(std::clamp(decimals, 0LL, kCap));
}

bool readWritten(const std::string& plain, WrittenNumber& out)
{
    double value = 0;
    if (!ParseDecimal(plain, value, true))
        return false;
    out = {value, decimalsWritten(plain)};
    return true;
}

bool readLocaleNumber(const std::string& s, char decimalMark, WrittenNumber& out)
{
    std::string plain;
    return plainDecimalText(s, decimalMark, plain) && readWritten(plain, out);
}

} // namespace

bool ParseLocaleNumber(const std::string& s, double& out, char decimalMark)
{
    WrittenNumber number;
    if (!readLocaleNumber(s, decimalMark, number))
        return false;
    out = number.value;
    return true;
}

bool ReadNumberCell(double value, WrittenNumber& out)
{
    if (!std::isfinite(value))
        return false;
    // as printf's "%.15g": the same text as the shortest round trip for
    // every value that has one of 15 significant digits or fewer, as every
    // number typed into a spreadsheet has
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    return ec == std::errc() && readWritten(std::string(text, end), out);
}

FileAmounts::FileAmounts(const std::vector<std::string>& texts, char open) : decimalMark_(open)
{
    for (const std::string& amount : texts) {
        const std::string text = plainTrimmed(amount);
        pointShownDecimal_ = pointShownDecimal_ || showsDecimalMark(text, '.') || showsThousandsMark(text, ',');
        commaShownDecimal_ = commaShownDecimal_ || showsDecimalMark(text, ',') || showsThousandsMark(text, '.');
    }
    if (pointShownDecimal_ != commaShownDecimal_)
        decimalMark_ = pointShownDecimal_ ? '.' : ',';
}

FileAmounts::Reading FileAmounts::Read(const std::string& amount, WrittenNumber& out) const
{
    const std::string text = plainTrimmed(amount);
    double ignored = 0;
    char readWith = decimalMark_;
    if (const char mark = thousandsOrDecimalMark(text); mark && ParseLocaleNumber(text, ignored, otherMark(mark))) {
        const bool shown = mark == '.' ? pointShownDecimal_ : commaShownDecimal_;
        const bool otherShown = mark == '.' ? commaShownDecimal_ : pointShownDecimal_;
        readWith = otherMark(mark);  // it sets thousands apart: "1.234" is 1234
        if (shown && ParseLocaleNumber(text, ignored, mark)) {
            if (otherShown)
                return Reading::Undecided;
            readWith = mark;  // the file's decimal mark: "19.999" is 19.999
        }
    }
    if (readLocaleNumber(text, readWith, out))
        return Reading::Number;
    const bool showsTheOther =
        showsDecimalMark(text, otherMark(decimalMark_)) || showsThousandsMark(text, decimalMark_);
    return pointShownDecimal_ && commaShownDecimal_ && showsTheOther ? Reading::OtherMark : Reading::NoNumber;
}

std::string NormalizeAmount(const std::string& s)
{
    std::string digits;
    digits.reserve(s.size());
    for (char c : s)
        if (c != ',')
            digits += c;
    double v = 0;
    if (!ParseDecimal(digits, v))
        throw AmountConvertError("'" + s + "' is not a valid amount");
    return FormatMoney(v);
}

std::string FormatAmount(const std::string& s)
{
    std::string m = NormalizeAmount(s);
    std::string sign;
    if (!m.empty() && m[0] == '-') {
        sign = "-";
        m.erase(0, 1);
    }
    const size_t dot = m.find('.');
    if (dot == std::string::npos)
        return sign + AddThousandsSeparators(m);
    return sign + AddThousandsSeparators(m.substr(0, dot)) + m.substr(dot, 3);
}


double RoundToCent(double v)
{
    double cent = 0;
    if (!std::isfinite(v) || !ParseDecimal(FormatMoney(v), cent))
        return 0;
    return cent;
}

bool HoldAmountToTheCent(double amount, float& held)
{
    if (!std::isfinite(amount) || std::fabs(amount) > FLT_MAX)
        return false;
    const double cent = RoundToCent(amount);
    const float stored = static_cast<float>(cent);
    if (!std::isfinite(stored) || FormatMoney(stored) != FormatMoney(cent))
        return false;
    held = stored;
    return true;
}

std::string ContactAmountProblem(double amount)
{
    if (!std::isfinite(amount) || std::fabs(amount) > FLT_MAX)
        return "The amount is not a number that can be kept.";
    const std::string shown = FormatAmount(FormatMoney(amount));
    if (RoundToCent(amount) < 0)
        return "The amount " + shown + " is below zero: it is not the amount of a cheque.";
    float held = 0;
    if (!HoldAmountToTheCent(amount, held))
        return "The amount " + shown + " cannot be kept to the cent as a contact's default amount. " + KeptAmountRule();
    return {};
}

FileAmountFit FitFileAmount(const WrittenNumber& amount, float& held)
{
    if (!std::isfinite(amount.value))
        return FileAmountFit::TooLarge;
    if (RoundToCent(amount.value) < 0)
        return FileAmountFit::BelowZero;
    if (amount.decimals > 2)
        return FileAmountFit::BeyondTheCent;
    return HoldAmountToTheCent(amount.value, held) ? FileAmountFit::Kept : FileAmountFit::TooLarge;
}

std::string KeptAmountRule()
{
    return "Every amount up to " + FormatAmount(FormatMoney(kLargestKeptAmount)) +
           " is kept to the cent, above that only some are.";
}

std::string PreviousAmountKept(double amount, double previous)
{
    return "The contact keeps its previous default amount " + FormatAmount(FormatMoney(previous)) + ". " +
           ContactAmountProblem(amount);
}
