#include "grid/vurirod.h"

#include "platform/oemcodepage.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace grid {

namespace {

constexpr char CR = 13;
constexpr char LF = 10;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Qt's short date format ("M/d/yy", "dd.MM.yyyy", ...) already orders D, M
// and Y the way the date parser needs; the separator is its first non-letter.
FormatSettings makeFormatSettings()
{
    FormatSettings fs;
    fs.ShortDateFormat = QLocale().dateFormat(QLocale::ShortFormat).toStdString();
    for (char c : fs.ShortDateFormat)
        if (!std::isalpha(static_cast<unsigned char>(c)) && c != ' ' && c != '\'') {
            fs.DateSeparator = c;
            break;
        }
    return fs;
}

}  // namespace

FormatSettings& formatSettings()
{
    static FormatSettings settings = makeFormatSettings();
    return settings;
}

// ---------------------------------------------------------------- small routines

bool IsInGridRect(const TGridRect& Rect, int ACol, int ARow)
{
    return Rect.Left <= ACol && ACol <= Rect.Right && Rect.Top <= ARow && ARow <= Rect.Bottom;
}

int Pos(const std::string& Sub, const std::string& S)
{
    if (Sub.empty())
        return 0;
    auto p = S.find(Sub);
    return p == std::string::npos ? 0 : static_cast<int>(p) + 1;
}

int VarPos(const std::string& Sub, const std::string& S, int& P)
{
    P = Pos(Sub, S);
    return P;
}

int FIPos(const std::string& Sub, const std::string& S) { return Pos(Sub, UpperCase(S)); }

char FirstChar(const std::string& Set, const std::string& S)
{
    for (char c : S)
        if (Set.find(c) != std::string::npos)
            return c;
    return 0;
}

std::string GetToken(std::string& S, const std::string& Sep)
{
    int p = Pos(Sep, S);
    if (p == 0)
        return {};
    std::string token = S.substr(0, p - 1);
    S.erase(0, p);
    return token;
}

std::string StringListToText(const std::vector<std::string>& List)
{
    std::string out;
    for (const auto& line : List)
        out += line;
    return out;
}

namespace {
// The whole trimmed text must be the number (a leading "+" allowed).
template <typename T>
bool wholeNumber(const std::string& S, T& Value)
{
    std::string t = Trim(S);
    if (t.empty())
        return false;
    const char* b = t.data();
    if (*b == '+')
        ++b;
    auto [ptr, ec] = std::from_chars(b, t.data() + t.size(), Value);
    return ec == std::errc() && ptr == t.data() + t.size();
}
}  // namespace

bool TextToInt(const std::string& S, int& Value) { return wholeNumber(S, Value); }

bool TextToFloat(const std::string& S, double& Value)
{
    return wholeNumber(S, Value) && std::isfinite(Value);
}

bool NameToCell(const std::string& Name, CellPoint& Point)
{
    std::string u = UpperCase(Name);
    if (u.size() < 4 || u[0] != 'R')
        return false;
    auto c = u.find('C', 1);
    if (c == std::string::npos)
        return false;
    int row, col;
    if (!TextToInt(u.substr(1, c - 1), row) || !TextToInt(u.substr(c + 1), col))
        return false;
    Point.X = col;
    Point.Y = row;
    return true;
}

std::string RectString(int Left, int Top, int Right, int Bottom)
{
    return "[" + std::to_string(Left) + ":" + std::to_string(Top) + "][" + std::to_string(Right) +
           ":" + std::to_string(Bottom) + "]";
}

int SinglePos(char Ch, const std::string& S)
{
    const int n = static_cast<int>(S.size());
    for (int i = 0; i < n; ++i) {
        if (S[i] != Ch)
            continue;
        if (i == n - 1)
            return i + 1;
        bool before = i > 0 && S[i - 1] == Ch;
        bool after = S[i + 1] == Ch;
        if (!before && !after)
            return i + 1;
    }
    return 0;
}

int NumSingleChar(char Ch, const std::string& S)
{
    std::string rest = S;
    int count = 0;
    while (int p = SinglePos(Ch, rest)) {
        ++count;
        rest.erase(0, p);
    }
    return count;
}

std::string UpperCase(std::string S)
{
    for (char& c : S)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return S;
}

std::string LowerCase(std::string S)
{
    for (char& c : S)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return S;
}

std::string Trim(const std::string& S)
{
    size_t b = 0, e = S.size();
    while (b < e && static_cast<unsigned char>(S[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(S[e - 1]) <= ' ')
        --e;
    return S.substr(b, e - b);
}

// ---------------------------------------------------------------- classification

TTextType TextType(const std::string& S, bool HTML)
{
    std::string t = S + " ";
    if (t.size() > 1 && t[0] == '=')
        return ttFormula;
    if (t.rfind("{\\", 0) == 0)
        return ttRTF;
    if (HTML && (Pos("</", S) || Pos("<B", S) || Pos("<I", S)))
        return ttHTML;
    return ttText;
}

bool IsURL(const std::string& S) { return Pos("://", S) > 0 || Pos("mailto:", S) > 0; }

void StripURLProtocol(std::string& S)
{
    if (int p = Pos("://", S))
        S.erase(0, p + 2);
    else if (int m = Pos("mailto:", S))
        S.erase(0, m + 6);
}

TAutoType IsType(const std::string& S)
{
    if (S.empty())
        return atString;
    const FormatSettings& fs = formatSettings();
    bool isInt = true, isFloat = true;
    int minus = 0, decimals = 0;
    int lastThousand = -1;
    for (size_t k = 0; k < S.size(); ++k) {
        const int i = static_cast<int>(k) + 1;  // 1-based position
        const char c = S[k];
        const bool digit = isDigit(c);
        if (!digit && c != '-')
            isInt = false;
        if (!digit && c != '-' && c != fs.ThousandSeparator && c != fs.DecimalSeparator)
            isFloat = false;
        if (c == fs.ThousandSeparator) {
            if (i - lastThousand < 3)
                isFloat = false;
            lastThousand = i;
        }
        if (c == '-')
            ++minus;
        if (c == fs.DecimalSeparator)
            ++decimals;
    }
    if (minus > 1 || decimals > 1)
        return atString;
    if (isInt)
        return atNumeric;
    if (isFloat)
        return atFloat;
    return atString;
}

// ---------------------------------------------------------------- line breaks

int LinesInText(const std::string& S, bool Multi)
{
    if (!Multi)
        return 1;
    return 1 + static_cast<int>(std::count(S.begin(), S.end(), CR));
}

void GetNextLine(std::string& S, bool Multi, std::string& Line)
{
    auto p = S.find(CR);
    if (p == std::string::npos) {
        Line = S;
        S.clear();
    } else {
        Line = S.substr(0, p);
        size_t cut = p + 1;
        if (cut < S.size() && S[cut] == LF)
            ++cut;
        S.erase(0, cut);
    }
    if (!Multi)
        S.clear();
}

namespace {
// Rewrites every occurrence of one byte; an empty replacement drops it.
std::string replaceChar(const std::string& S, char From, const std::string& To)
{
    std::string out;
    out.reserve(S.size());
    for (char c : S) {
        if (c == From)
            out += To;
        else
            out += c;
    }
    return out;
}
}  // namespace

std::string CLFToLF(const std::string& S)
{
    std::string out;
    for (size_t i = 0; i < S.size(); ++i) {
        if (S[i] == '\\' && i + 1 < S.size() && S[i + 1] == 'n') {
            out += CR;
            ++i;
        } else {
            out += S[i];
        }
    }
    return out;
}

std::string LFToCLF(const std::string& S) { return replaceChar(replaceChar(S, LF, ""), CR, "\\n"); }

std::string HTMLLineBreaks(const std::string& S)
{
    return S.find(CR) == std::string::npos ? S : replaceChar(S, CR, "<br>");
}

std::string LineFeedsToJava(const std::string& S) { return replaceChar(replaceChar(S, LF, ""), CR, "~"); }

std::string JavaToLineFeeds(const std::string& S) { return replaceChar(S, '~', std::string{CR, LF}); }

void LineFeedsToCSV(std::string& S)
{
    std::string out;
    for (size_t i = 0; i < S.size(); ++i) {
        if (S[i] == CR && i + 1 < S.size() && S[i + 1] == LF)
            continue;
        out += S[i];
    }
    S = "\"" + out + "\"";
}

void CSVToLineFeeds(std::string& S)
{
    if (S.find(LF) != std::string::npos)
        S = replaceChar(S, LF, std::string{CR, LF});
}

std::string LineFeedsToXLS(const std::string& S) { return replaceChar(S, CR, ""); }

std::string LfToFile(const std::string& S)
{
    if (S.find(CR) == std::string::npos)
        return S;
    return replaceChar(replaceChar(S, CR, "\t"), LF, "\b");
}

std::string FileToLf(const std::string& S, bool Multi)
{
    if (S.find('\b') == std::string::npos)
        return S;
    std::string t = replaceChar(replaceChar(S, '\t', std::string{CR}), '\b', std::string{LF});
    if (!Multi) {
        std::string line;
        GetNextLine(t, false, line);
        return line;
    }
    return t;
}

std::string DoubleToSingleChar(char Ch, const std::string& S)
{
    if (S.find(Ch) == std::string::npos)
        return S;
    std::string out(1, S[0]);
    for (size_t i = 1; i < S.size(); ++i)
        if (!(S[i] == Ch && S[i - 1] == Ch))
            out += S[i];
    return out;
}

// ---------------------------------------------------------------- conversions

void StringToPassword(std::string& S, char Ch) { std::fill(S.begin(), S.end(), Ch); }

void StringToOem(std::string& S) { S = platform::Utf8ToOem(S); }
void OemToString(std::string& S) { S = platform::OemToUtf8(S); }

std::string FixDecimalSeparator(const std::string& S)
{
    std::string t = S;
    if (formatSettings().DecimalSeparator == ',') {
        auto p = t.find(',');
        if (p != std::string::npos)
            t[p] = '.';
    }
    return t;
}

std::string RemoveSeps(const std::string& S)
{
    const FormatSettings& fs = formatSettings();
    std::string t = Trim(S);
    bool negative = !t.empty() && t.front() == '(' && t.back() == ')';
    while (t.size() >= 2 && !isDigit(t[0]) && t[0] != fs.ThousandSeparator &&
           t[0] != fs.DecimalSeparator) {
        if (t[0] == '-')
            negative = true;
        t.erase(0, 1);
    }
    std::string out;
    for (char c : t) {
        if (c == fs.ThousandSeparator)
            continue;
        if (c == fs.DecimalSeparator)
            out += '.';
        else if (c == '-' || c == '.' || isDigit(c))
            out += c;
        else
            break;
    }
    return negative ? "-" + out : out;
}

std::string HTMLColor(unsigned Color)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (int shift : {0, 8, 16}) {
        unsigned byte = (Color >> shift) & 0xFF;
        out += hex[byte >> 4];
        out += hex[byte & 15];
    }
    return out;
}

std::string ShiftCase(const std::string& S)
{
    const int n = static_cast<int>(S.size());
    std::string r = S;
    bool nextStarts = true;  // the first character starts a word
    for (int k = 0; k < n; ++k) {
        char& c = r[k];
        if (nextStarts) {
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        } else if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        // Does the character after this one (1-based position i + 1) start a word?
        const int i = k + 1;
        const std::string head = r.substr(0, i);
        nextStarts = std::strchr(" ',-.", c) != nullptr && c != 0;
        if (head == "Mc")
            nextStarts = true;
        auto mc = head.find(" Mc");
        if (mc != std::string::npos && static_cast<int>(mc) + 3 == i)
            nextStarts = true;
        if (i + 1 >= n - 2) {  // within the last three characters: Roman II, III
            if (i >= 2 && head.compare(i - 2, 2, " I") == 0)
                nextStarts = true;
            if (i >= 3 && head.compare(i - 3, 3, " II") == 0)
                nextStarts = true;
        }
    }
    return r;
}

// ---------------------------------------------------------------- dates

namespace {

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

// Days from 1 March of year 0 (proleptic Gregorian), the civil-date algorithm.
long long daysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe);
}

const long long kEpoch = daysFromCivil(1899, 12, 30);

int twoDigitYear(int y)
{
    if (y < 0 || y >= 100)
        return y;
    return y <= 25 ? 2000 + y : 1900 + y;
}

// Splits "a<sep>b<sep>c" at the first two separators into three integers.
bool splitDate(const std::string& S, char Sep, int& A, int& B, int& C)
{
    auto p1 = S.find(Sep);
    if (p1 == std::string::npos)
        return false;
    auto p2 = S.find(Sep, p1 + 1);
    if (p2 == std::string::npos)
        return false;
    return TextToInt(S.substr(0, p1), A) && TextToInt(S.substr(p1 + 1, p2 - p1 - 1), B) &&
           TextToInt(S.substr(p2 + 1), C);
}

TDateTime shortDate(const std::string& S, bool US)
{
    char sep = 0;
    for (char c : {'/', '.', '-'})
        if (S.find(c) != std::string::npos) {
            sep = c;
            break;
        }
    int a, b, c;
    if (!sep || !splitDate(S, sep, a, b, c))
        return 0;
    int y = twoDigitYear(c);
    return US ? EncodeDate(y, a, b) : EncodeDate(y, b, a);
}

}  // namespace

TDateTime EncodeDate(int Year, int Month, int Day)
{
    if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 ||
        Day > daysInMonth(Year, Month))
        throw EConvertError("Invalid argument to date encode");
    return static_cast<double>(daysFromCivil(Year, Month, Day) - kEpoch);
}

void DecodeDate(TDateTime D, int& Year, int& Month, int& Day)
{
    // Inverse of daysFromCivil (both count from 1 March of year 0).
    const long long z = static_cast<long long>(std::floor(D)) + kEpoch;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    Year = static_cast<int>(y + (m <= 2));
    Month = static_cast<int>(m);
    Day = static_cast<int>(d);
}

TDateTime GetNextDate(TDateTime D, int YearStep, int MonthStep, int DayStep, double Delta)
{
    const bool years = YearStep != 0, months = MonthStep != 0, days = DayStep != 0;
    if (days && !years && !months)
        return D + DayStep;
    if (years != months && !days)
        return StepDate(D, YearStep, MonthStep);
    return D + Delta;
}

TDateTime StepDate(TDateTime D, int YearStep, int MonthStep)
{
    int y, m, d;
    DecodeDate(D, y, m, d);
    const long long total = static_cast<long long>(y) * 12 + (m - 1) + static_cast<long long>(YearStep) * 12 + MonthStep;
    const long long ny = total >= 0 ? total / 12 : (total - 11) / 12;
    const int nm = static_cast<int>(total - ny * 12) + 1;
    if (ny < 1 || ny > 9999)
        throw EConvertError("Invalid argument to date encode");
    const int year = static_cast<int>(ny);
    return EncodeDate(year, nm, std::min(d, daysInMonth(year, nm))) + (D - std::floor(D));
}

TDateTime Now()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    return EncodeDate(date.year(), date.month(), date.day()) + time.msecsSinceStartOfDay() / 86400000.0;
}

std::string ShortDateFormatText()
{
    std::string f = formatSettings().ShortDateFormat;
    if (f.empty())
        f = "dd/MM/yyyy";
    if (f.find("yyyy") == std::string::npos)
        if (const auto at = f.find("yy"); at != std::string::npos)
            f.replace(at, 2, "yyyy");
    return f;
}

std::string DateToShortText(TDateTime D)
{
    int y = 0, m = 0, d = 0;
    DecodeDate(D, y, m, d);
    return QDate(y, m, d).toString(QString::fromStdString(ShortDateFormatText())).toStdString();
}

bool ParseTime(const std::string& S, TDateTime& T)
{
    const char sep = formatSettings().TimeSeparator;
    int parts[3] = {0, 0, 0};
    int n = 0;
    std::string rest = Trim(S);
    while (n < 3) {
        const auto at = rest.find(sep);
        if (!TextToInt(rest.substr(0, at), parts[n]) || parts[n] < 0)
            return false;
        ++n;
        if (at == std::string::npos)
            break;
        rest = rest.substr(at + 1);
        if (n == 3)
            return false;
    }
    if (n < 2 || parts[0] > 23 || parts[1] > 59 || parts[2] > 59)
        return false;
    T = (parts[0] * 3600 + parts[1] * 60 + parts[2]) / 86400.0;
    return true;
}

std::string TimeToLongText(TDateTime T)
{
    const long seconds = std::lround((T - std::floor(T)) * 86400.0) % 86400;
    const char sep = formatSettings().TimeSeparator;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02ld%c%02ld%c%02ld", seconds / 3600, sep, seconds / 60 % 60, sep, seconds % 60);
    return buf;
}

TDateTime StrToShortdateUS(const std::string& S) { return shortDate(S, true); }
TDateTime StrToShortDateEU(const std::string& S) { return shortDate(S, false); }

bool ParseShortDate(const std::string& S, TDateTime& D)
{
    const FormatSettings& fs = formatSettings();
    std::string fmt = UpperCase(fs.ShortDateFormat);
    auto pd = fmt.find('D'), pm = fmt.find('M'), py = fmt.find('Y');
    if (pd == std::string::npos || pm == std::string::npos || py == std::string::npos)
        return false;
    int fields[3];
    if (!splitDate(S, fs.DateSeparator, fields[0], fields[1], fields[2]))
        return false;
    // Rank of each of D, M, Y in the format gives the field it takes.
    auto rank = [&](size_t p) { return (p > pd) + (p > pm) + (p > py); };
    int day = fields[rank(pd)], month = fields[rank(pm)], year = fields[rank(py)];
    if (day >= 32 || month >= 13)
        return false;
    D = EncodeDate(year, month, day);
    return true;
}

// ---------------------------------------------------------------- matching

namespace {

// The length in bytes of the UTF-8 character that starts at S (a stray byte counts as one).
std::size_t characterLength(const char* S)
{
    std::size_t n = 1;
    if (static_cast<unsigned char>(*S) >= 0xC0)
        while (n < 4 && (static_cast<unsigned char>(S[n]) & 0xC0) == 0x80)
            ++n;
    return n;
}

// "*" (any run, runs of stars as one), "?" (one character) and literal bytes;
// both texts must end together. Only the last star is ever backtracked to: a
// later star can take over whatever an earlier one would have, so the work
// stays within pattern length times text length, however many stars there are.
bool wildcard(const char* p, const char* s)
{
    const char* afterStar = nullptr;  // pattern position after the last star
    const char* starEnd = nullptr;    // where the text that star covers ends
    while (*s) {
        if (*p == '*') {
            while (*p == '*')
                ++p;
            afterStar = p;
            starEnd = s;
        } else if (*p == '?') {
            ++p;
            s += characterLength(s);
        } else if (*p && *p == *s) {
            ++p;
            ++s;
        } else if (afterStar) {
            starEnd += characterLength(starEnd);  // the star takes one more character
            s = starEnd;
            p = afterStar;
        } else {
            return false;
        }
    }
    while (*p == '*')
        ++p;
    return *p == 0;
}

// One comparison condition of a filter pattern ("> 10", "<=12/01/2005", ...).
struct Comparison {
    bool present = false;
    bool result = false;
};

std::string operandAfter(const std::string& Pattern, size_t at, bool& orEqual)
{
    size_t i = at + 1;
    orEqual = i < Pattern.size() && Pattern[i] == '=';
    if (orEqual)
        ++i;
    while (i < Pattern.size() && Pattern[i] == ' ')
        ++i;
    size_t e = i;
    while (e < Pattern.size() && Pattern[e] != ' ' && Pattern[e] != '&' && Pattern[e] != '|')
        ++e;
    return Pattern.substr(i, e - i);
}

bool parseDateQuietly(const std::string& S, TDateTime& D)
{
    try {
        return ParseShortDate(S, D);
    } catch (const EConvertError&) {
        return false;  // an impossible date in a cell is not a date
    }
}

// <0, 0 or >0 for S against the operand: as numbers, dates or texts.
int compareOperand(const std::string& S, const std::string& Operand)
{
    double a, b;
    if (TextToFloat(S, a) && TextToFloat(Operand, b))
        return a < b ? -1 : a > b ? 1 : 0;
    TDateTime da, db;
    if (parseDateQuietly(S, da) && parseDateQuietly(Operand, db))
        return da < db ? -1 : da > db ? 1 : 0;
    return std::strncmp(S.c_str(), Operand.c_str(), 255);
}

Comparison compareAt(const std::string& Pattern, const std::string& S, char Op)
{
    Comparison c;
    auto at = Pattern.find(Op);
    if (at == std::string::npos)
        return c;
    bool orEqual;
    const std::string operand = operandAfter(Pattern, at, orEqual);
    const int cmp = compareOperand(S, operand);
    c.present = true;
    c.result = Op == '>' ? (cmp > 0 || (orEqual && cmp == 0)) : (cmp < 0 || (orEqual && cmp == 0));
    return c;
}

}  // namespace

bool Matches(const std::string& Pattern, const std::string& S)
{
    const bool hasGreater = Pattern.find('>') != std::string::npos;
    const bool hasLess = Pattern.find('<') != std::string::npos;
    const bool hasNot = Pattern.find('!') != std::string::npos;
    Comparison g = compareAt(Pattern, S, '>');
    Comparison l = compareAt(Pattern, S, '<');
    if (hasNot) {  // a missing side of a range counts as satisfied
        if (!g.present)
            g = {true, true};
        if (!l.present)
            l = {true, true};
    }
    if (Pattern.find('^') != std::string::npos && (g.present || l.present))
        return g.result || l.result;
    if (Pattern.find('&') != std::string::npos && g.present && l.present)
        return g.result && l.result;
    if (hasGreater && g.result)
        return true;
    if (hasLess && l.result)
        return true;

    std::string plain;
    for (char c : Pattern)
        if (c != '!')
            plain += c;
    return wildcard(plain.c_str(), S.c_str()) != hasNot;
}

bool MatchStr(const std::string& Pattern, const std::string& S, bool CaseSensitive)
{
    return CaseSensitive ? Matches(Pattern, S) : Matches(UpperCase(Pattern), UpperCase(S));
}

bool MatchStrEx(const std::string& Pattern, const std::string& S, bool CaseSensitive)
{
    auto isOp = [](char c) { return c == '&' || c == ';' || c == '^'; };
    const std::string t = Trim(Pattern);
    std::string p;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == ' ') {
            size_t j = i;
            while (j < t.size() && t[j] == ' ')
                ++j;
            bool beforeOp = j < t.size() && isOp(t[j]);
            bool afterOp = !p.empty() && isOp(p.back());
            if (beforeOp || afterOp) {
                i = j - 1;
                continue;
            }
        }
        p += t[i];
    }
    bool result = false;
    char pendingOp = 0;
    size_t start = 0;
    for (size_t i = 0; i <= p.size(); ++i) {
        if (i < p.size() && !isOp(p[i]))
            continue;
        const bool piece = MatchStr(p.substr(start, i - start), S, CaseSensitive);
        if (pendingOp == 0)
            result = piece;
        else if (pendingOp == '&')
            result = result && piece;
        else
            result = result || piece;
        if (i < p.size())
            pendingOp = p[i];
        start = i + 1;
    }
    return result;
}

}  // namespace grid
