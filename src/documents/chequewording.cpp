#include "documents/chequewording.h"

#include "appcore/amounts.h"
#include "documents/numberconvert.h"

#include <QString>

#include <cmath>
#include <cstdint>
#include <vector>

const char* const kChequeAmountRangeText = "The amount must be from 0 to 2,147,483,647.99.";

ChequeAmountRangeError::ChequeAmountRangeError() : std::runtime_error(kChequeAmountRangeText) {}

namespace {

std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

bool isBlankText(const std::string& s) { return s.find_first_not_of(" \t\r\n") == std::string::npos; }

// Upper-case US English words of a whole number.
std::string spell(long double n)
{
    TNumberToText t;
    t.Number = n;
    return upper(t.Text());
}

bool startsWithScaleWord(const std::string& s)
{
    for (const char* w : {"THOUSAND", "MILLION", "BILLION", "TRILLION", "QUADRILLION"}) {
        const std::string word = w;
        if (s.compare(0, word.size(), word) == 0 && (s.size() == word.size() || s[word.size()] == ' '))
            return true;
    }
    return false;
}

// " AND " after each "HUNDRED" that neither ends the words nor stands before
// a scale word; the first "HUNDRED THOUSAND" that does not end the words takes
// it after "THOUSAND", and nothing before it is looked at.
std::string insertAnds(std::string text)
{
    static const std::string kHundredThousand = "HUNDRED THOUSAND", kHundred = "HUNDRED";
    std::string head;
    const size_t p = text.find(kHundredThousand);
    if (p != std::string::npos && p + kHundredThousand.size() < text.size()) {
        const size_t end = p + kHundredThousand.size();
        head = text.substr(0, end) + " AND ";
        text = text.substr(end + 1);
    }
    for (size_t q = text.find(kHundred); q != std::string::npos && q + kHundred.size() < text.size();
         q = text.find(kHundred)) {
        const size_t end = q + kHundred.size();
        std::string rest = text.substr(end + 1);
        head += text.substr(0, end) + (startsWithScaleWord(rest) ? " " : " AND ");
        text = std::move(rest);
    }
    return head + text;
}

void keepLastAnd(std::string& text)
{
    static const std::string kAnd = " AND ";
    auto count = [&] {
        int n = 0;
        for (size_t at = text.find(kAnd); at != std::string::npos; at = text.find(kAnd, at + 1)) ++n;
        return n;
    };
    for (int n = count(); n > 1; --n) text.erase(text.find(kAnd) + 1, 4);
}

bool isHyphenWord(const std::string& w)
{
    static const char* const table[] = {"ONE",      "TWO",       "THREE",    "FOUR",     "FIVE",    "SIX",
                                        "SEVEN",    "EIGHT",     "NINE",     "TEN",      "ELEVEN",  "TWELVE",
                                        "THIRTEEN", "FOURTEEN",  "FIFTEEN",  "SIXTEEN",  "SEVENTEEN",
                                        "EIGHTEEN", "NINETEEN",  "TWENTY",   "THIRTY",   "FORTY",   "FIFTY",
                                        "SIXTY",    "SEVENTY",   "EIGHTY",   "NINETY"};
    for (const char* t : table)
        if (w == t) return true;
    return false;
}

// Joins a table word to the table word before it with "-", unless that one
// was itself joined; the word after the last blank is never looked at.
void hyphenate(std::string& text)
{
    bool previousInTable = false, previousJoined = false;
    size_t start = 0;
    for (size_t blank = text.find(' '); blank != std::string::npos; blank = text.find(' ', start)) {
        const bool inTable = isHyphenWord(text.substr(start, blank - start));
        const bool join = inTable && previousInTable && !previousJoined;
        if (join) text[start - 1] = '-';
        previousInTable = inTable;
        previousJoined = join;
        start = blank + 1;
    }
}

void titleCase(std::string& text)
{
    for (size_t i = 1; i < text.size(); ++i)
        if (text[i - 1] != ' ' && text[i - 1] != '-' && text[i] >= 'A' && text[i] <= 'Z')
            text[i] = char(text[i] - 'A' + 'a');
}

}  // namespace

double ChequeAmountValue(const std::string& amountText)
{
    double v = 0;
    ParseDecimal(NormalizeAmount(amountText), v);
    if (!(v >= 0) || v >= 2147483648.0) throw ChequeAmountRangeError();
    return v;
}

std::string ChequeAmountWords(double value, const ChequeWordingOptions& options)
{
    if (!(value >= 0) || value >= 2147483648.0) throw ChequeAmountRangeError();
    const int32_t dollars = int32_t(value);
    const int cents = int((value - dollars + 0.001) * 100);

    std::string text = insertAnds(spell(dollars));
    // the currency word goes into capitals with the words; the cent word
    // stays as typed
    if (!isBlankText(options.dollar)) text += " " + QString::fromStdString(options.dollar).toUpper().toStdString();
    if (cents != 0)
        text += " AND " + spell(cents) + " " + options.cent;
    else
        text += " ONLY";
    if (options.singleAnd) keepLastAnd(text);
    if (options.hyphen) hyphenate(text);
    if (options.smallLetter) titleCase(text);
    return text;
}

ChequeWordLines SplitChequeWords(const std::string& words, int maxLen)
{
    const std::u32string chars = QString::fromStdString(words).toStdU32String();
    if (maxLen < 0 || chars.size() <= size_t(maxLen)) return {words, {}};
    auto utf8 = [](const std::u32string& s) { return QString::fromStdU32String(s).toStdString(); };
    for (size_t pos = size_t(maxLen) + 1; pos >= 1; --pos) {
        if (chars[pos - 1] != U' ') continue;
        const std::u32string tail = chars.substr(pos);
        if (tail == U"ONLY") continue;
        return {utf8(chars.substr(0, pos - 1)), utf8(tail)};
    }
    return {words, {}};
}
