// Sorting of the list grid: cell comparison by sort style, row comparison with
// tie-breaking, the Hoare partition over a copied pivot, the single-column,
// indexed and per-group sorts, the header click, and the cross-reference
// between rows before and after a sort.
#include "grid/listgrid.h"

#include <QString>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace grid {

namespace {

int sign(int v) { return (v > 0) - (v < 0); }

template <typename T>
int compareValues(T a, T b) { return (a > b) - (a < b); }

int compareBytes(const std::string& a, const std::string& b) { return sign(a.compare(b)); }

// A numeric text as the numeric sort styles read it: the first prefix and then
// the first suffix taken out, thousands separators removed when asked, the
// locale's decimal separator turned into ".".
bool numericValue(std::string s, const std::string& prefix, const std::string& suffix, bool noThousands,
                  double& value)
{
    if (!prefix.empty())
        if (auto p = s.find(prefix); p != std::string::npos)
            s.erase(p, prefix.size());
    if (!suffix.empty())
        if (auto p = s.find(suffix); p != std::string::npos)
            s.erase(p, suffix.size());
    const FormatSettings& fs = formatSettings();
    if (noThousands)
        s.erase(std::remove(s.begin(), s.end(), fs.ThousandSeparator), s.end());
    if (fs.DecimalSeparator != '.')
        if (auto p = s.find(fs.DecimalSeparator); p != std::string::npos)
            s[p] = '.';
    return TextToFloat(s, value);
}

// The short date, optionally followed by a time "h:mm" or "h:mm:ss".
bool dateTimeValue(const std::string& s, TDateTime& value)
{
    try {
        const auto blank = s.find(' ');
        if (blank == std::string::npos)
            return ParseShortDate(s, value);
        TDateTime day;
        if (!ParseShortDate(s.substr(0, blank), day))
            return false;
        int h = 0, m = 0, sec = 0;
        std::string t = Trim(s.substr(blank + 1));
        const auto c1 = t.find(':');
        if (c1 == std::string::npos || !TextToInt(t.substr(0, c1), h))
            return false;
        const auto c2 = t.find(':', c1 + 1);
        if (!TextToInt(t.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1), m))
            return false;
        if (c2 != std::string::npos && !TextToInt(t.substr(c2 + 1), sec))
            return false;
        if (h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 || sec > 59)
            return false;
        value = day + (h * 3600 + m * 60 + sec) / 86400.0;
        return true;
    } catch (const EConvertError&) {
        return false;
    }
}

// What IsType calls a number: only digits, "-" and the two separators. A text
// whose first character is anything else is none, without reading it all.
bool looksNumeric(const std::string& s)
{
    if (s.empty())
        return false;
    const FormatSettings& fs = formatSettings();
    const char c = s[0];
    if (!(c >= '0' && c <= '9') && c != '-' && c != fs.ThousandSeparator && c != fs.DecimalSeparator)
        return false;
    const TAutoType t = IsType(s);
    return t == atNumeric || t == atFloat;
}

// A "/" with a digit on each side within the first three characters.
bool looksLikeDate(const std::string& s)
{
    const auto p = s.find('/');
    if (p == std::string::npos)
        return false;
    const auto pos = p + 1;  // 1-based
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return pos > 1 && pos < 4 && pos < s.size() && digit(s[p - 1]) && digit(s[p + 1]);
}

// A column's comparison rule: its sort style and what numeric styles strip.
struct SortRule {
    TSortStyle Style = ssAlphabetic;
    std::string Prefix, Suffix;
};

SortRule sortRule(RIvuZuvuzoZuvu& g, int ACol)
{
    SortRule rule;
    rule.Style = g.SortSettings->AutoFormat() ? ssAutomatic : ssAlphabetic;
    g.GetColFormat(ACol, rule.Style, rule.Prefix, rule.Suffix);
    return rule;
}

// The styles whose comparison reads nothing but the two texts and what they
// convert to, so that a cell's key serves every comparison of a sort.
bool preparable(TSortStyle style)
{
    switch (style) {
    case ssAutomatic:
    case ssNumeric:
    case ssFinancial:
    case ssDate:
    case ssShortDateEU:
    case ssShortDateUS:
    case ssAlphabetic:
    case ssAlphaCase:
    case ssCheckBox:
        return true;
    default:
        return false;
    }
}

// The first eight bytes of a text, big-endian and zero-padded: of two texts
// whose prefixes differ, the one with the smaller prefix sorts first by bytes.
std::uint64_t textPrefix(const std::string& s)
{
    std::uint64_t v = 0;
    for (size_t i = 0; i < 8; ++i)
        v = v << 8 | (i < s.size() ? static_cast<unsigned char>(s[i]) : 0u);
    return v;
}

void readText(SortKey& k, const std::string& s)
{
    k.Text = &s;
    k.Prefix = textPrefix(s);
}

int compareBytes(const SortKey& a, const SortKey& b)
{
    return a.Prefix != b.Prefix ? (a.Prefix < b.Prefix ? -1 : 1) : compareBytes(*a.Text, *b.Text);
}

int looksOf(SortKey& k)
{
    if (k.Looks < 0)
        k.Looks = looksNumeric(*k.Text) ? 1 : looksLikeDate(*k.Text) ? 2 : 0;
    return k.Looks;
}

// Whether the text reads as a number under the rule. Explicit numeric styles
// read an empty cell as 0 and take nothing else that fails.
bool numberOf(const SortRule& rule, SortKey& k)
{
    if (k.NumberOk < 0) {
        double v = 0;
        bool ok = numericValue(*k.Text, rule.Prefix, rule.Suffix, rule.Style != ssNumeric, v);
        if (!ok && rule.Style != ssAutomatic) {
            v = 0;
            ok = k.Text->empty();
        }
        k.Number = v;
        k.NumberOk = ok;
    }
    return k.NumberOk == 1;
}

// Whether the text reads as a date under the rule; one that does not counts
// as the zero date.
bool dateOf(const SortRule& rule, SortKey& k)
{
    if (k.DateOk < 0) {
        double v = 0;
        bool ok = false;
        if (rule.Style == ssShortDateEU || rule.Style == ssShortDateUS) {
            try {
                v = rule.Style == ssShortDateEU ? StrToShortDateEU(*k.Text) : StrToShortdateUS(*k.Text);
                ok = true;
            } catch (const EConvertError&) {
                v = 0;
            }
        } else if (!(ok = dateTimeValue(*k.Text, v))) {
            v = 0;
        }
        k.Date = v;
        k.DateOk = ok;
    }
    return k.DateOk == 1;
}

// The rule of a preparable style for two cells, blanks aside. Automatic
// detection is decided by the first cell; when the second does not read the
// same way (or either fails to convert), the pair compares as text, so that
// compareKeys(a, b) is always -compareKeys(b, a).
int compareKeys(const SortRule& rule, SortKey& a, SortKey& b)
{
    switch (rule.Style) {
    case ssAutomatic:
        switch (looksOf(a)) {
        case 1:
            return numberOf(rule, a) && numberOf(rule, b) ? compareValues(a.Number, b.Number) : compareBytes(a, b);
        case 2:
            return dateOf(rule, a) && dateOf(rule, b) ? compareValues(a.Date, b.Date) : compareBytes(a, b);
        default:
            return compareBytes(a, b);
        }
    case ssNumeric:
    case ssFinancial: {
        const bool ok1 = numberOf(rule, a), ok2 = numberOf(rule, b);
        return ok1 && ok2 ? compareValues(a.Number, b.Number) : 0;
    }
    case ssDate:
    case ssShortDateEU:
    case ssShortDateUS:
        dateOf(rule, a);
        dateOf(rule, b);
        return compareValues(a.Date, b.Date);
    default:
        return compareBytes(a, b);
    }
}

// With IgnoreBlanks an empty cell against a filled one lands at BlankPos in
// either direction.
struct BlankRule {
    explicit BlankRule(TSortSettings& s)
        : Active(s.IgnoreBlanks()),
          FirstEmpty((s.BlankPos() == blLast ? 1 : -1) * (s.Direction() == sdDescending ? -1 : 1))
    {
    }
    int operator()(bool empty1, bool empty2, int res) const
    {
        return Active && empty1 != empty2 ? (empty1 ? FirstEmpty : -FirstEmpty) : res;
    }
    bool Active;
    int FirstEmpty;  // the result when the first cell is the empty one
};

}  // namespace

// ---------------------------------------------------------------- comparing cells

// The text a sort compares: the cell itself when nothing rewrites it, so that
// the common case copies no string.
const std::string& RIvuZuvuzoZuvu::sortText(int ACol, int ARow, std::string& Buffer) const
{
    if (!OnGetDisplText && !HasCellProperties(ACol, ARow))
        return Cells(ACol, ARow);
    Buffer = GetCellEx(ACol, ARow);
    return Buffer;
}

namespace {
// Whether a sort can leave the rows where they are until it knows their
// order: comparing two rows depends only on their cells and not on where
// they stand (no display texts, which may depend on the row; no raw
// comparison, whose handler gets row numbers; whole rows moving together).
bool sortsInPlace(RIvuZuvuzoZuvu& g)
{
    if (g.OnGetDisplText || g.SortSettings->SingleColumn())
        return false;
    for (int c = 0; c < g.ColCount(); ++c)
        if (sortRule(g, c).Style == ssRaw)
            return false;
    return true;
}
}  // namespace

SortKey* RIvuZuvuzoZuvu::sortKey(int ACol, int ARow)
{
    if (ACol != sortKeysCol_ || ARow < 0 || ARow >= static_cast<int>(sortKeys_.size()))
        return nullptr;
    return &sortKeys_[ARow];
}

// While a sort moves rows, what the sort column's cells convert to is kept
// per row: no cell changes but by row swaps (which swap the keys) and pivot
// copies (which copy them). The texts are read again at each comparison.
class RIvuZuvuzoZuvu::SortKeysScope {
public:
    SortKeysScope(RIvuZuvuzoZuvu& g, int ACol) : g_(g)
    {
        if (g_.OnGetDisplText || sortsInPlace(g_))
            return;  // display texts may depend on where a row stands; in place the sort keeps its own
        g_.sortKeys_.assign(g_.RowCount(), SortKey{});
        g_.sortKeysCol_ = ACol;
    }
    ~SortKeysScope()
    {
        g_.sortKeys_.clear();
        g_.sortKeysCol_ = -1;
    }

private:
    RIvuZuvuzoZuvu& g_;
};

int RIvuZuvuzoZuvu::firstIndexColumn() const
{
    return SortIndexes.Count() ? static_cast<int>(static_cast<std::uint32_t>(SortIndexes.Item(0)) &
                                                  ~TSortIndexList::DescendingBit)
                               : -1;
}

int RIvuZuvuzoZuvu::directionFactor() const { return SortSettings->Direction() == sdAscending ? 1 : -1; }

int RIvuZuvuzoZuvu::Compare(int ACol, int ARow1, int ARow2)
{
    const SortRule rule = sortRule(*this, ACol);
    std::string buf1, buf2;
    const std::string& s1 = sortText(ACol, ARow1, buf1);
    const std::string& s2 = sortText(ACol, ARow2, buf2);

    int res = 0;
    if (preparable(rule.Style)) {
        SortKey own1, own2;
        SortKey* k1 = sortKey(ACol, ARow1);
        SortKey* k2 = sortKey(ACol, ARow2);
        readText(k1 ? *k1 : own1, s1);
        readText(k2 ? *k2 : own2, s2);
        res = compareKeys(rule, k1 ? *k1 : own1, k2 ? *k2 : own2);
    } else {
        switch (rule.Style) {
        case ssAlphaNoCase:
            res = compareBytes(UpperCase(s1), UpperCase(s2));
            break;
        case ssCustom:
            if (OnCustomCompare)
                OnCustomCompare(this, s1, s2, res);
            res = sign(res);
            break;
        case ssAnsiAlphaCase:
            res = sign(QString::localeAwareCompare(QString::fromStdString(s1), QString::fromStdString(s2)));
            break;
        case ssAnsiAlphaNoCase:
            res = sign(QString::localeAwareCompare(QString::fromStdString(s1).toUpper(),
                                                   QString::fromStdString(s2).toUpper()));
            break;
        case ssRaw:
            if (OnRawCompare)
                OnRawCompare(this, ACol, ARow1, ARow2, res);
            res = sign(res);
            break;
        case ssHTML:
            res = compareBytes(GetStrippedCell(ACol, ARow1), GetStrippedCell(ACol, ARow2));
            break;
        case ssImages: {
            const long long i1 = GetCellImageIdx(ACol, ARow1), i2 = GetCellImageIdx(ACol, ARow2);
            res = i1 < i2 ? -1 : i1 > i2 ? 1 : 0;
            break;
        }
        default:  // ssUnsorted
            res = 0;
        }
    }
    return BlankRule(*SortSettings)(s1.empty(), s2.empty(), res);
}

int RIvuZuvuzoZuvu::CompareLine(int ACol, int ARow1, int ARow2)
{
    int res = Compare(ACol, ARow1, ARow2);
    while (res == 0 && SortSettings->Full() && ACol <= ColCount() - 2)
        res = Compare(++ACol, ARow1, ARow2);
    return res;
}

int RIvuZuvuzoZuvu::CompareLineIndexed(int AIdx, int ARow1, int ARow2)
{
    for (; AIdx < SortIndexes.Count(); ++AIdx) {
        const auto entry = static_cast<std::uint32_t>(SortIndexes.Item(AIdx));
        const int col = static_cast<int>(entry & ~TSortIndexList::DescendingBit);
        const int res = Compare(col, ARow1, ARow2);
        if (res != 0 || !SortSettings->Full())
            return (entry & TSortIndexList::DescendingBit) ? -res : res;
    }
    return 0;
}

// ---------------------------------------------------------------- the partition

void RIvuZuvuzoZuvu::copyPivot(int Source, int Target)
{
    if (Target < static_cast<int>(sortKeys_.size()))
        sortKeys_[Target] = Source < static_cast<int>(sortKeys_.size()) ? sortKeys_[Source] : SortKey{};
    if (OnGetDisplText) {
        for (int c = 0; c < ColCount(); ++c)
            SetCellEx(c, Target, GetCellEx(c, Source));
        return;
    }
    for (int c = 0; c < ColCount(); ++c) {
        SetCells(c, Target, Cells(c, Source));
        SetGridObject(c, Target, GetGridObject(c, Source));  // shared; the spare rows' clearing lets go
    }
}

namespace {
// Heap sort of [L, R], for a range the partitions fail to split: its
// comparisons stay within 2 n log n whatever the order. Its positions are
// worked out from the range alone, so that an order that is not strict keeps
// it inside the range too.
template <typename Cmp, typename Swap>
void heapSort(int L, int R, int d, bool swapEqual, Cmp cmp, Swap swap)
{
    const int n = R - L + 1;
    auto after = [&](int a, int b) { return cmp(L + a, L + b) == d; };
    auto siftDown = [&](int root, int end) {  // the heap of [0, end)
        for (;;) {
            int child = 2 * root + 1;
            if (child >= end)
                return;
            if (child + 1 < end && after(child + 1, child))
                ++child;
            if (!after(child, root))
                return;
            swap(L + root, L + child);
            root = child;
        }
    };
    for (int i = n / 2; i-- > 0;)
        siftDown(i, n);
    for (int end = n - 1; end > 0; --end) {
        // An equal last row is as good a greatest one as the root.
        if (swapEqual || cmp(L, L + end) != 0)
            swap(L, L + end);
        siftDown(0, end);
    }
}

// Hoare partition against a copy of the middle row in the spare row `pivot`.
// cmp(a, b) == d means row a belongs after row b. Both scans stay inside
// [L, R], so a comparison that is not a strict order (texts against numbers)
// can neither run off the range nor pull the header or the pivot copy into
// the data. The smaller part recurses, the larger one loops, so the depth
// stays logarithmic. A split that leaves less than an eighth on one side is
// a poor one; a range reached through more poor splits than twice the
// number of halvings its rows allow (an order that keeps the pivots at the
// ends) is heap-sorted, so that no order makes the sort quadratic.
template <typename Cmp, typename Swap, typename Copy>
void hoareSort(int L, int R, int pivot, int d, bool swapEqual, Cmp cmp, Swap swap, Copy copy, int splits = -1)
{
    if (splits < 0)
        splits = 2 * std::bit_width(static_cast<unsigned>(std::max(R - L + 1, 1)));
    while (L < R) {
        if (splits == 0) {
            heapSort(L, R, d, swapEqual, cmp, swap);
            return;
        }
        copy((L + R) / 2, pivot);
        int i = L, j = R;
        do {
            while (cmp(pivot, i) == d && i < R)
                ++i;
            while (cmp(j, pivot) == d && j > L)
                --j;
            if (i <= j) {
                if (i != j && (swapEqual || cmp(i, j) != 0))
                    swap(i, j);
                ++i;
                --j;
            }
        } while (i <= j);
        if (8 * (std::min(j - L, R - i) + 1) < R - L + 1)
            --splits;
        if (j - L < R - i) {
            if (L < j)
                hoareSort(L, j, pivot, d, swapEqual, cmp, swap, copy, splits);
            L = i;
        } else {
            if (i < R)
                hoareSort(i, R, pivot, d, swapEqual, cmp, swap, copy, splits);
            R = j;
        }
    }
}

}  // namespace

// Sorts rows that stay where they are while the partition runs: it works on
// a list of places, each holding a row number and, when one reading serves
// the whole first sort column, what the row's cell there reads as (a number,
// a date or its first bytes), and then moves each row once to its place, along
// the cycles of the order found, through SortSwapRows. That gives the order
// moving the rows would give, as comparing two rows does not depend on where
// they stand (sortsInPlace).
//
// Rows compare column by column as CompareLine and CompareLineIndexed walk
// them, each column with its direction. A cell of a preparable style is read
// and converted once, when a comparison first needs it; the other styles go
// to Compare. A row always equals itself, whatever its cells.
class RIvuZuvuzoZuvu::RowSorter {
public:
    explicit RowSorter(RIvuZuvuzoZuvu& g) : g_(g), blanks_(*g.SortSettings) {}
    void AddColumn(int ACol, int Sign) { columns_.push_back(Column{ACol, Sign, sortRule(g_, ACol), {}}); }

    // Rows L..R, with the spare row Pivot as the pivot's place.
    void Sort(int L, int R, int Pivot, int d, bool SwapEqual)
    {
        rows_ = static_cast<size_t>(R) + 1;
        Column& first = columns_.front();
        fast_ = fastReading(first, L, R);
        std::vector<Place> at(static_cast<size_t>(std::max(Pivot, R)) + 1);
        for (int p = L; p <= R; ++p) {
            Place& place = at[static_cast<size_t>(p)];
            place.Row = p;
            if (fast_ != None) {
                const SortKey& k = first.Keys[static_cast<size_t>(p)];
                place.Value = fast_ == Numbers ? k.Number : k.Date;
                place.Prefix = k.Prefix;
            }
        }
        hoareSort(
            L, R, Pivot, d, SwapEqual, [&](int a, int b) { return compare(at[size_t(a)], at[size_t(b)]); },
            [&](int a, int b) { std::swap(at[size_t(a)], at[size_t(b)]); },
            [&](int from, int to) { at[size_t(to)] = at[size_t(from)]; });

        std::vector<int> cur(at.size()), where(at.size());  // row now at a place, place of a row
        for (size_t i = 0; i < at.size(); ++i)
            cur[i] = where[i] = static_cast<int>(i);
        for (int p = L; p <= R; ++p) {
            const int q = where[size_t(at[size_t(p)].Row)];
            if (q == p)
                continue;
            g_.SortSwapRows(p, q);
            std::swap(cur[size_t(p)], cur[size_t(q)]);
            where[size_t(cur[size_t(p)])] = p;
            where[size_t(cur[size_t(q)])] = q;
        }
    }

private:
    struct Column {
        int Col, Sign;
        SortRule Rule;
        std::vector<SortKey> Keys;  // by row, made when first needed
    };
    // How every pair of the first column's cells compares, when one way
    // serves them all: as numbers, as dates, or by their bytes.
    enum Reading { None, Numbers, Dates, Bytes };
    struct Place {
        double Value = 0;         // the first column's number or date (Numbers, Dates)
        std::uint64_t Prefix = 0;  // its text's first bytes (Bytes)
        int Row = -1;
    };

    // Reads the column's cells of rows L..R and finds the one way they all
    // compare, if any. Blanks placed apart by IgnoreBlanks leave no such way.
    Reading fastReading(Column& c, int L, int R)
    {
        const TSortStyle style = c.Rule.Style;
        if (!preparable(style))
            return None;
        const bool automatic = style == ssAutomatic;
        bool numbers = automatic || style == ssNumeric || style == ssFinancial;
        bool dates = automatic || style == ssDate || style == ssShortDateEU || style == ssShortDateUS;
        bool bytes = automatic || style == ssAlphabetic || style == ssAlphaCase || style == ssCheckBox;
        for (int r = L; r <= R && (numbers || dates || bytes); ++r) {
            SortKey& k = key(c, r);
            if (blanks_.Active && k.Text->empty())
                return None;
            if (!automatic) {
                numbers = numbers && numberOf(c.Rule, k);
                if (dates)
                    dateOf(c.Rule, k);  // one that does not convert is the zero date
                continue;
            }
            const int looks = looksOf(k);
            const bool converts = looks == 1 ? numberOf(c.Rule, k) : looks == 2 && dateOf(c.Rule, k);
            numbers = numbers && looks == 1 && converts;
            dates = dates && looks == 2 && converts;
            bytes = bytes && !converts;
        }
        return numbers ? Numbers : dates ? Dates : bytes ? Bytes : None;
    }

    int compare(const Place& a, const Place& b)
    {
        if (a.Row == b.Row)
            return 0;
        Column& first = columns_.front();
        int res;
        switch (fast_) {
        case Numbers:
        case Dates:
            res = compareValues(a.Value, b.Value);
            break;
        case Bytes:
            res = a.Prefix != b.Prefix ? (a.Prefix < b.Prefix ? -1 : 1)
                                       : compareBytes(*first.Keys[size_t(a.Row)].Text, *first.Keys[size_t(b.Row)].Text);
            break;
        default:
            res = compareColumn(first, a.Row, b.Row);
        }
        if (res != 0)
            return res * first.Sign;
        for (size_t i = 1; i < columns_.size(); ++i)
            if ((res = compareColumn(columns_[i], a.Row, b.Row)) != 0)
                return res * columns_[i].Sign;
        return 0;
    }
    int compareColumn(Column& c, int a, int b)
    {
        if (!preparable(c.Rule.Style))
            return g_.Compare(c.Col, a, b);
        SortKey& ka = key(c, a);
        SortKey& kb = key(c, b);
        return blanks_(ka.Text->empty(), kb.Text->empty(), compareKeys(c.Rule, ka, kb));
    }
    SortKey& key(Column& c, int ARow)
    {
        if (c.Keys.empty())
            c.Keys.resize(rows_);
        SortKey& k = c.Keys[static_cast<size_t>(ARow)];
        if (!k.Text) {
            std::string buf;
            const std::string* s = &g_.sortText(c.Col, ARow, buf);
            if (s == &buf)
                s = &rewritten_.emplace_back(std::move(buf));
            readText(k, *s);
        }
        return k;
    }

    RIvuZuvuzoZuvu& g_;
    BlankRule blanks_;
    std::vector<Column> columns_;
    size_t rows_ = 0;
    Reading fast_ = None;
    std::deque<std::string> rewritten_;  // texts that are not the cell's own
};

// Equal rows are never swapped here.
void RIvuZuvuzoZuvu::quickSortRows(int ACol, int L, int R)
{
    const int d = directionFactor();
    if (sortsInPlace(*this)) {
        RowSorter sorter(*this);
        sorter.AddColumn(ACol, 1);
        for (int c = ACol + 1; SortSettings->Full() && c < ColCount(); ++c)
            sorter.AddColumn(c, 1);
        sorter.Sort(L, R, RowCount() - 2, d, false);
    } else {
        hoareSort(
            L, R, RowCount() - 2, d, false, [&](int a, int b) { return CompareLine(ACol, a, b); },
            [&](int a, int b) { SortSwapRows(a, b); }, [&](int from, int to) { copyPivot(from, to); });
    }
}

// Each index entry carries its own direction, so "after" is always +1.
void RIvuZuvuzoZuvu::quickSortRowsIndexed(int L, int R)
{
    if (sortsInPlace(*this)) {
        RowSorter sorter(*this);
        for (int i = 0; i < SortIndexes.Count() && (i == 0 || SortSettings->Full()); ++i) {
            const auto entry = static_cast<std::uint32_t>(SortIndexes.Item(i));
            sorter.AddColumn(static_cast<int>(entry & ~TSortIndexList::DescendingBit),
                             (entry & TSortIndexList::DescendingBit) ? -1 : 1);
        }
        sorter.Sort(L, R, RowCount() - 2, 1, true);
    } else {
        hoareSort(
            L, R, RowCount() - 2, 1, true, [&](int a, int b) { return CompareLineIndexed(0, a, b); },
            [&](int a, int b) { SortSwapRows(a, b); }, [&](int from, int to) { copyPivot(from, to); });
    }
}

// ---------------------------------------------------------------- sort runs

// The room a sort works in: three spare rows at the bottom and the hidden
// columns appended, so that hidden cells move with their rows. The last
// column's width survives the column-count changes. Undone on destruction.
class RIvuZuvuzoZuvu::SortSpace {
public:
    explicit SortSpace(RIvuZuvuzoZuvu& g) : g_(g), rows_(g.RowCount()), cols_(g.ColCount())
    {
        g_.SetRowCountEx(rows_ + 3);
        lastWidth_ = cols_ > 0 ? g_.ColWidths(cols_ - 1) : 0;
        if (g_.hiddenColCount_)
            g_.SetColCount(cols_ + g_.hiddenColCount_);
    }
    ~SortSpace()
    {
        if (g_.ColCount() != cols_)
            g_.SetColCount(cols_);
        if (cols_ > 0)
            g_.SetColWidths(cols_ - 1, lastWidth_);
        g_.SetRowCountEx(rows_);
    }
    int Rows() const { return rows_; }
    // Lets go of whatever the pivot copies left in the last two spare rows.
    void ClearSpare() { g_.ClearRows(g_.RowCount() - 2, 2); }

private:
    RIvuZuvuzoZuvu& g_;
    int rows_, cols_, lastWidth_ = 0;
};

void RIvuZuvuzoZuvu::QuickSort(int ACol, int AFrom, int ATo)
{
    SortSpace space(*this);
    SortKeysScope keys(*this, ACol);
    quickSortRows(ACol, AFrom, ATo);
    space.ClearSpare();
}

void RIvuZuvuzoZuvu::QuickSortIndexed(int AFrom, int ATo)
{
    SortSpace space(*this);
    SortKeysScope keys(*this, firstIndexColumn());
    quickSortRowsIndexed(AFrom, ATo);
    space.ClearSpare();
}

// QSort, QSortIndexed and QSortGroup: the whole grid under the update lock,
// column 0 kept in place with NormalCellsOnly, the current row either
// following its data (MoveRowOnSort) or staying at its number.
void RIvuZuvuzoZuvu::sortWhole(int Kind)
{
    const bool Indexed = Kind == 1, grouped = Kind == 2;
    if (Indexed && SortIndexes.Count() == 0)
        throw DIdiZedoRorid("No indexes specified for indexed sort");
    if (Kind == 0)
        SortIndexes.Clear();

    std::vector<std::string> column0;
    const bool keepColumn0 = !Indexed && SortSettings->NormalCellsOnly() && FixedCols() > 0;
    if (keepColumn0)
        for (int r = 0; r < RowCount(); ++r)
            column0.push_back(Cells(0, r));

    // Column 0 back and the update lock released also when a compare handler throws.
    struct Finish {
        RIvuZuvuzoZuvu& g;
        const std::vector<std::string>& column0;
        ~Finish()
        {
            for (int r = 0; r < g.RowCount() && r < static_cast<int>(column0.size()); ++r)
                g.SetCells(0, r, column0[r]);
            g.EndUpdate();
        }
    };
    BeginUpdate();
    const Finish finish{*this, column0};
    const int oldRow = Row();
    {
        SortSpace space(*this);
        SortKeysScope keys(*this, Indexed ? firstIndexColumn() : SortSettings->Column());
        const int rows = space.Rows();
        displayRowLimit_ = rows;
        sortRow_ = oldRow;
        const bool follow = Navigation->MoveRowOnSort();
        if (follow)
            SetRow(rows);
        const int last = rows - 1 - FixedFooters();

        if (Indexed) {
            quickSortRowsIndexed(FixedRows(), last);
        } else if (!grouped) {
            quickSortRows(SortSettings->Column(), FixedRows(), last);
        } else {
            // Each run of rows below a node row, up to the next node row, sorts
            // on its own; the footer rows stay where they are.
            // The walk expects a node row first; without one nothing is sorted.
            for (int r = FixedRows(); r <= last && IsNode(r);) {
                int next = r + 1;
                while (next <= last && !IsNode(next))
                    ++next;
                if (next - 1 > r + 1)
                    quickSortRows(SortSettings->Column(), r + 1, next - 1);
                r = next;
            }
        }
        space.ClearSpare();

        const bool shown = editorShown_[0];
        editorShown_[0] = false;
        const int target = follow || grouped ? sortRow_ : oldRow;
        if (target >= 0 && target < rows)
            SetRow(target);
        editorShown_[0] = shown;
    }
}

void RIvuZuvuzoZuvu::QSort() { sortWhole(0); }

void RIvuZuvuzoZuvu::QSortIndexed() { sortWhole(1); }

void RIvuZuvuzoZuvu::QSortGroup() { sortWhole(2); }

void RIvuZuvuzoZuvu::SortByColumn(int ACol)
{
    if (RowCount() < 2)
        return;
    const int d = directionFactor();
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (int r = FixedRows(); r <= RowCount() - 2 - FixedFooters(); ++r)
            if (Compare(ACol, r, r + 1) == d) {
                SortSwapRows(r, r + 1);
                swapped = true;
            }
    }
}

bool RIvuZuvuzoZuvu::SortLine(int ACol, int ARow1, int ARow2)
{
    const int d = directionFactor();
    for (;; ++ACol) {
        const int res = Compare(ACol, ARow1, ARow2);
        if (res == d) {
            SortSwapRows(ARow1, ARow2);
            return true;
        }
        if (res != 0 || ACol >= ColCount() - 1 + NumHiddenColumns())
            return false;
    }
}

// ---------------------------------------------------------------- header click

bool RIvuZuvuzoZuvu::HeaderClickSort(int ACol, int ARow, int ADownRow, platform::ShiftState Shift, int X)
{
    if (ACol < 0 || ARow < 0 || ACol >= ColCount() || ARow >= RowCount())
        return false;
    if (ACol < FixedCols() && !SortSettings->FixedCols())
        return false;
    if (ARow == 0 && HasOption(platform::goColSizing)) {
        const Rect r = GetCellRect(ACol, ARow);
        if (X - r.Left < 4 || r.Right - X < 4)
            return false;  // the column sizing zone
    }
    const int col = RemapCol(ACol);
    if (SortSettings->Row() != ARow || ARow != ADownRow || FixedRows() < 1 || !SortSettings->Show() ||
        RowCount() <= 2)
        return false;
    bool doSort = true;
    if (OnCanSort)
        OnCanSort(this, col, doSort);
    if (!doSort)
        return false;

    HideInplaceEdit();
    if (SortSettings->AutoColumnMerge())
        UndoColumnMerge();
    if (SortSettings->IndexShow()) {
        const bool listed = SortIndexes.FindIndex(col) >= 0;
        if (!(Shift & platform::ssShift)) {
            if (SortIndexes.Count() == 1 && listed) {
                SortIndexes.ToggleIndex(col);
            } else {
                SortIndexes.Clear();
                SortIndexes.AddIndex(col, true);
            }
        } else if (listed) {
            SortIndexes.ToggleIndex(col);
        } else {
            SortIndexes.AddIndex(col, true);
        }
        QSortIndexed();
    } else {
        if (col != SortSettings->Column()) {
            SortSettings->Direction = sdAscending;
            SortSettings->Column = col;
        } else {
            SortSettings->Direction = SortSettings->Direction() == sdAscending ? sdDescending : sdAscending;
        }
        if (HasNodes())
            QSortGroup();
        else
            QSort();
    }
    if (SortSettings->AutoColumnMerge())
        ApplyColumnMerge();
    if (OnClickSort)
        OnClickSort(this, SortSettings->Column());
    return true;
}

// ---------------------------------------------------------------- cross-reference

void RIvuZuvuzoZuvu::InitSortXRef()
{
    sortXRef_.resize(RowCount());
    for (int r = 0; r < RowCount(); ++r)
        sortXRef_[r] = r;
}

int RIvuZuvuzoZuvu::SortedRowIndex(int ARow) const
{
    return ARow >= 0 && ARow < static_cast<int>(sortXRef_.size()) ? sortXRef_[ARow] : ARow;
}

int RIvuZuvuzoZuvu::UnSortedRowIndex(int ARow) const
{
    if (sortXRef_.empty())
        return ARow;
    // A row the list does not hold is taken as one past its end.
    return static_cast<int>(std::find(sortXRef_.begin(), sortXRef_.end(), ARow) - sortXRef_.begin());
}

std::string RIvuZuvuzoZuvu::GetUnSortedCell(int ACol, int ARow) const
{
    const int r = static_cast<int>(sortXRef_.size()) >= ARow ? UnSortedRowIndex(ARow) : ARow;
    return r < RowCount() ? GetCellEx(ACol, r) : std::string();
}

void RIvuZuvuzoZuvu::SetUnSortedCell(int ACol, int ARow, const std::string& Value)
{
    const int r = static_cast<int>(sortXRef_.size()) >= ARow ? UnSortedRowIndex(ARow) : ARow;
    if (r < RowCount())
        SetCellEx(ACol, r, Value);
}

}  // namespace grid
