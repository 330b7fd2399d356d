#include "grid/cellcheck.h"

#include "grid/vurirod.h"

#include <utility>
#include <vector>

namespace grid {

namespace {

bool isLineTag(const std::string& Text, std::size_t Open, std::size_t Close)
{
    if (Close != Open + 3)
        return false;
    const std::string name = UpperCase(Text.substr(Open + 1, 2));
    return name == "BR" || name == "HR";
}

}  // namespace

std::string WrapOccurrences(const std::string& Text, const std::string& Fragment, const std::string& Open,
                            const std::string& Close, bool MatchCase, bool BreaksAsLines)
{
    if (Fragment.empty())
        return Text;
    // The plain text, and for each of its characters where an opening tag
    // goes before it and a closing tag after it in the tagged text.
    std::string plain;
    std::vector<std::pair<std::size_t, std::size_t>> at;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == '<') {
            const auto close = Text.find('>', i);
            if (close != std::string::npos) {
                if (BreaksAsLines && isLineTag(Text, i, close)) {
                    plain += "\r\n";
                    at.emplace_back(i, close + 1);
                    at.emplace_back(i, close + 1);
                }
                i = close;
                continue;
            }
        }
        plain += Text[i];
        at.emplace_back(i, i + 1);
    }
    const std::string haystack = MatchCase ? plain : UpperCase(plain);
    const std::string needle = MatchCase ? Fragment : UpperCase(Fragment);
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    for (std::size_t p = haystack.find(needle); p != std::string::npos; p = haystack.find(needle, p + needle.size()))
        spans.emplace_back(at[p].first, at[p + needle.size() - 1].second);
    std::string result = Text;
    for (auto it = spans.rbegin(); it != spans.rend(); ++it) {
        result.insert(it->second, Close);
        result.insert(it->first, Open);
    }
    return result;
}

std::string RIvuZuvuzoZuvuCheck::HiLight(const std::string& S, const std::string& HiS, const std::string& Tag,
                                         bool DoCase)
{
    return WrapOccurrences(S, HiS, "<" + Tag + ">", "</" + Tag + ">", DoCase, true);
}

std::string RIvuZuvuzoZuvuCheck::ReplaceOnce(const std::string& S, const std::string& OldPattern,
                                             const std::string& NewPattern)
{
    const auto p = OldPattern.empty() ? std::string::npos : S.find(OldPattern);
    if (p == std::string::npos)
        return S;
    std::string result = S;
    result.replace(p, OldPattern.size(), NewPattern);
    return result;
}

std::string TCapitalCheck::Correct(int, int, const std::string& S)
{
    std::string result = S;
    char before = '.', last = ' ';
    for (char& c : result) {
        const char was = c;
        if (last == ' ' && (before == '.' || before == '!' || before == '?') && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        before = last;
        last = was;
    }
    return result;
}

}  // namespace grid
