#include "app/amounts.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace quillet {

namespace {

std::string formatNonNegative(long double v)
{
    const long double whole = std::trunc(v);
    // the third decimal decides; the constant is single precision on purpose,
    // the arithmetic extended
    const long double scaled = (v + 0.001L - whole) * static_cast<long double>(1000.0f);
    const int64_t t = static_cast<int64_t>(std::trunc(scaled)) + 5;
    const int64_t i = static_cast<int64_t>(whole);
    if (t < 10)
        return std::to_string(i) + ".00";
    if (t < 100)
        return std::to_string(i) + ".0" + std::to_string(t / 10);
    if (t < 1000)
        return std::to_string(i) + "." + std::to_string(t / 10);
    return std::to_string(i + 1) + ".00";
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

} // namespace

std::string FormatMoney(double v)
{
    if (v > -0.001 && v < 0.001)
        return "0";
    if (std::isnan(v))
        return "0";
    // amounts beyond what a cheque can carry are clamped rather than
    // overflowing the integer conversion
    constexpr double limit = 9.0e15;
    if (v > limit)
        v = limit;
    if (v < -limit)
        v = -limit;
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

bool ParseDecimal(const std::string& s, double& out)
{
    size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    if (b < e && s[b] == '+')
        ++b;
    if (b == e)
        return false;
    double v = 0;
    auto [p, ec] = std::from_chars(s.data() + b, s.data() + e, v);
    if (ec != std::errc() || p != s.data() + e || !std::isfinite(v))
        return false;
    out = v;
    return true;
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

} // namespace quillet
