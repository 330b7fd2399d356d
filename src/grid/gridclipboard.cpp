// Clipboard exchange of the list grid: blocks of cells copied and cut as
// tab-separated text (and a cell's rich text), text and rich text pasted back,
// the smart fill of a selection after a paste, and the clipboard keys.
//
// The clipboard text: fields separated by a tab, rows ended by CR LF (a block
// of one row has no line end); with QuoteClipboardLines a field of more than
// one line is wrapped in double quotes with its CR LF reduced to LF. A paste
// cuts lines at CR LF, LF or CR and fields at tabs, and stops at a zero
// character; with QuoteClipboardLines the LFs of a field that begins with a
// quote and closes before the next tab or CR stay inside the field.
#include "grid/gridrtf.h"
#include "grid/htmldraw.h"
#include "grid/listgrid.h"
#include "platform/workbookfiles.h"

#include <QClipboard>
#include <QGuiApplication>

#include <algorithm>
#include <climits>

namespace grid {

namespace {

QClipboard* clipboard()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr;
}

// The update lock for the length of a scope (an event handler may throw).
struct UpdateLock {
    explicit UpdateLock(RIvuZuvuzoZuvu& Grid) : grid(Grid) { grid.BeginUpdate(); }
    ~UpdateLock() { grid.EndUpdate(); }
    RIvuZuvuzoZuvu& grid;
};

std::string_view beforeZero(std::string_view Text) { return Text.substr(0, Text.find('\0')); }

// The lines of a pasted text, as described above; a text that ends with a
// line end has no empty line after it.
class PasteLines {
public:
    PasteLines(std::string_view Text, bool Quoted) : text_(Text), quoted_(Quoted) {}

    // The next line; false after the last one.
    bool Next(std::string_view& Line)
    {
        if (pos_ >= text_.size())
            return false;
        const std::size_t end = lineEnd();
        Line = text_.substr(pos_, end - pos_);
        ended_ = end < text_.size();
        pos_ = end + (text_.substr(end, 2) == "\r\n" ? 2 : 1);
        return true;
    }
    // Whether the line given last ended with a line end.
    bool Ended() const { return ended_; }
    bool AtEnd() const { return pos_ >= text_.size(); }

private:
    std::size_t lineEnd()
    {
        bool fieldStart = true;
        for (std::size_t i = pos_; i < text_.size(); ++i) {
            const char c = text_[i];
            if (quoted_ && fieldStart && c == '"') {
                if (const std::size_t close = closingQuote(i); close != std::string_view::npos) {
                    i = close;
                    fieldStart = false;
                    continue;
                }
            }
            if (c == '\r' || c == '\n')
                return i;
            fieldStart = c == '\t';
        }
        return text_.size();
    }
    // The quote after Open that is followed by a tab, a line end or the end,
    // when no tab or CR comes first. A search that failed up to some place
    // fails from every quote before it as well, so none is made twice.
    std::size_t closingQuote(std::size_t Open)
    {
        if (Open < noCloseBefore_)
            return std::string_view::npos;
        for (std::size_t i = Open + 1; i < text_.size(); ++i) {
            const char c = text_[i];
            if (c == '\t' || c == '\r')
                break;
            if (c == '"' && (i + 1 == text_.size() || text_[i + 1] == '\t' || text_[i + 1] == '\r' ||
                             text_[i + 1] == '\n'))
                return i;
            noCloseBefore_ = i + 1;
        }
        noCloseBefore_ = std::max(noCloseBefore_, Open + 1);
        return std::string_view::npos;
    }

    std::string_view text_;
    bool quoted_;
    std::size_t pos_ = 0;
    std::size_t noCloseBefore_ = 0;
    bool ended_ = false;
};

// A date, a date and a time, or a time, as the smart fill reads them.
TDateTime readDateTime(const std::string& S)
{
    const FormatSettings& fs = formatSettings();
    const std::string text = Trim(S);
    TDateTime date = 0, time = 0;
    if (text.find(fs.DateSeparator) == std::string::npos) {
        if (!ParseTime(text, time))
            throw EConvertError("'" + S + "' is not a valid time");
        return time;
    }
    const auto space = text.find(' ');
    const std::string datePart = text.substr(0, space);
    const std::string timePart = space == std::string::npos ? std::string() : Trim(text.substr(space + 1));
    if (!ParseShortDate(datePart, date) || (!timePart.empty() && !ParseTime(timePart, time)))
        throw EConvertError("'" + S + "' is not a valid date");
    return date + time;
}

}  // namespace

// ---------------------------------------------------------------- copy

std::string RIvuZuvuzoZuvu::blockText(const TGridRect& R, bool ForClipboard)
{
    const bool flaggedOnly = MouseActions->DisjunctRowSelect();
    const bool stripTags = ForClipboard && !Navigation->CopyHTMLTagsToClipboard();
    const bool lineEnds = !ForClipboard || R.Top != R.Bottom;
    const int left = std::max(R.Left, 0), right = std::min(R.Right, ColCount() - 1);
    const int top = std::max(R.Top, 0), bottom = std::min(R.Bottom, RowCount() - 1);
    std::string out, field;
    for (int r = top; r <= bottom; ++r) {
        if (flaggedOnly && !(r < static_cast<int>(rowSelect_.size()) && rowSelect_[r]))
            continue;
        for (int c = left; c <= right; ++c) {
            const int real = RemapCol(c);
            field = ForClipboard ? SaveCell(real, r) : GetCellEx(real, r);
            if (stripTags && field.find("</") != std::string::npos)
                field = GetStrippedCell(real, r);
            else if (field.find("{\\") != std::string::npos)
                field = RTFPlainText(field);
            if (QuoteClipboardLines && LinesInText(field, Multilinecells) > 1)
                LineFeedsToCSV(field);
            out += field;
            if (c < right)
                out += '\t';
        }
        if (lineEnds)
            out += "\r\n";
    }
    return out;
}

std::string RIvuZuvuzoZuvu::SelectedText()
{
    TGridRect R = Selection();
    if (HasOption(platform::goRowSelect) && DragDropSettings->OleEntireRows()) {
        R.Left = 0;
        R.Right = ColCount() - 1;
    }
    if (MouseActions->DisjunctRowSelect()) {
        R.Top = FixedRows();
        R.Bottom = RowCount() - 1;
    }
    return blockText(R, false);
}

namespace {
// Adds the cell text as rich text when it is some; false when it is not.
bool addRichText(QMimeData& Data, const std::string& Text)
{
    if (Text.find("{\\") == std::string::npos)
        return false;
    Data.setData(kRTFFormat, QByteArray::fromStdString(Text));
    return true;
}
}  // namespace

bool RIvuZuvuzoZuvu::CopyFunc(const TGridRect& R)
{
    copiedOrigin_ = {R.Left, R.Top};
    QClipboard* clip = clipboard();
    if (!clip)
        return false;
    const QByteArray text = QByteArray::fromStdString(blockText(R, true));
    auto* data = new QMimeData;
    data->setData(kTextFormat, text);
    if (Navigation->AllowRTFClipboard() && R.Left >= 0 && R.Top >= 0 && R.Left < ColCount() && R.Top < RowCount())
        addRichText(*data, GetCellEx(RemapCol(R.Left), R.Top));
    clip->setMimeData(data);
    const QMimeData* now = clip->mimeData();
    return now && now->data(kTextFormat) == text;
}

void RIvuZuvuzoZuvu::CopyRTFFunc(int ACol, int ARow)
{
    QClipboard* clip = clipboard();
    if (!clip || ACol < 0 || ARow < 0 || ACol >= ColCount() || ARow >= RowCount())
        return;
    auto data = std::make_unique<QMimeData>();
    if (!addRichText(*data, GetCellEx(RemapCol(ACol), ARow)))
        return;
    // What the clipboard holds stays beside the rich text.
    if (const QMimeData* now = clip->mimeData())
        for (const QString& format : now->formats())
            if (format != kRTFFormat)
                data->setData(format, now->data(format));
    clip->setMimeData(data.release());
}

namespace {
TGridRect saveRange(const RIvuZuvuzoZuvu& Grid)
{
    return {Grid.GetSaveStartCol(), Grid.GetSaveStartRow(), Grid.GetSaveEndCol(), Grid.GetSaveEndRow()};
}
}  // namespace

void RIvuZuvuzoZuvu::CopyToClipBoard()
{
    clipOperation_ = coCopy;
    CopyFunc(saveRange(*this));
}

void RIvuZuvuzoZuvu::CopySelectionToClipboard()
{
    clipOperation_ = coCopy;
    CopyFunc(MouseActions->DisjunctRowSelect() ? saveRange(*this) : Selection());
}

// ---------------------------------------------------------------- cut

bool RIvuZuvuzoZuvu::mayPasteInto(int ACol, int ARow)
{
    return Navigation->AllowClipboardAlways() || IsEditable(ACol, ARow);
}

void RIvuZuvuzoZuvu::cutCells(const TGridRect& R)
{
    // Exactly what went to the clipboard goes: with DisjunctRowSelect only the flagged rows.
    const bool flaggedOnly = MouseActions->DisjunctRowSelect();
    const int left = std::max(R.Left, 0), right = std::min(R.Right, ColCount() - 1);
    const int top = std::max(R.Top, 0), bottom = std::min(R.Bottom, RowCount() - 1);
    UpdateLock lock(*this);
    for (int r = top; r <= bottom; ++r) {
        if (flaggedOnly && !(r < static_cast<int>(rowSelect_.size()) && rowSelect_[r]))
            continue;
        for (int c = left; c <= right; ++c)
            if (mayPasteInto(c, r))
                SetCellEx(RemapCol(c), r, std::string());
    }
}

void RIvuZuvuzoZuvu::CutToClipboard()
{
    clipOperation_ = coCut;
    const TGridRect R = saveRange(*this);
    if (CopyFunc(R))
        cutCells(R);
}

void RIvuZuvuzoZuvu::CutSelectionToClipboard()
{
    clipOperation_ = coCut;
    const TGridRect R = MouseActions->DisjunctRowSelect() ? saveRange(*this) : Selection();
    if (CopyFunc(R))
        cutCells(R);
}

// ---------------------------------------------------------------- paste

QPoint RIvuZuvuzoZuvu::PasteSize(std::string_view Text, bool QuotedLines)
{
    PasteLines lines(beforeZero(Text), QuotedLines);
    int rows = 0;
    std::ptrdiff_t columns = 0;
    for (std::string_view line; lines.Next(line); ++rows)
        columns = std::max<std::ptrdiff_t>(columns, std::count(line.begin(), line.end(), '\t') + 1);
    return {static_cast<int>(columns), rows};
}

int RIvuZuvuzoZuvu::PasteText(int ACol, int ARow, const std::string& Text)
{
    TGridRect reached;
    int stored = 0, skipped = 0;
    return pasteText(ACol, ARow, Text, reached, stored, skipped);
}

int RIvuZuvuzoZuvu::pasteText(int ACol, int ARow, std::string_view Text, TGridRect& Reached, int& Stored,
                              int& Skipped)
{
    Reached = {-1, -1, -1, -1};
    Stored = 0;
    Skipped = 0;
    Text = beforeZero(Text);
    // A block that would end past the last possible index is not pasted.
    const QPoint size = PasteSize(Text, QuoteClipboardLines);
    if (ACol < 0 || ARow < 0 || Text.empty() || ACol > INT_MAX - size.x() || ARow > INT_MAX - size.y())
        return 0;
    if (!HasOption(platform::goEditing) && !Navigation->AllowClipboardAlways())
        return 0;

    int fields = 0, row = ARow, lastCol = ACol;
    {
        UpdateLock lock(*this);
        // The grid grows once, to what the text needs.
        if (Navigation->AllowClipboardColGrow() && ACol + size.x() > ColCount())
            SetColCountEx(ACol + size.x());
        if (Navigation->AllowClipboardRowGrow() && ARow + size.y() > RowCount())
            SetRowCountEx(ARow + size.y());

        std::string cell;
        PasteLines lines(Text, QuoteClipboardLines);
        for (std::string_view line; lines.Next(line); ++row) {
            int col = ACol;
            for (std::size_t from = 0;; ++col) {
                const std::size_t tab = line.find('\t', from);
                const std::string_view field = line.substr(from, tab == std::string_view::npos ? tab : tab - from);
                ++fields;
                if (row < RowCount() && col < ColCount() && mayPasteInto(col, row)) {
                    cell.assign(field);
                    if (QuoteClipboardLines && cell.find('\n') != std::string::npos && cell.size() >= 2 &&
                        cell.front() == '"' && cell.back() == '"') {
                        cell = cell.substr(1, cell.size() - 2);
                        CSVToLineFeeds(cell);
                    }
                    SetCellEx(RemapCol(col), row, cell);
                    ++Stored;
                } else {
                    ++Skipped;
                }
                if (tab == std::string_view::npos)
                    break;
                from = tab + 1;
            }
            lastCol = std::max(lastCol, col);
            if (lines.AtEnd()) {
                if (lines.Ended())
                    ++fields;  // the empty field after the final line end, never stored
                break;
            }
        }
    }
    Reached = {ACol, ARow, std::min(lastCol, ColCount() - 1), std::min(row, RowCount() - 1)};
    PasteNotify(copiedOrigin_, Reached, clipOperation_);
    CellsChanged({Reached.Left, Reached.Top, Reached.Right, Reached.Bottom});
    return fields;
}

int RIvuZuvuzoZuvu::PasteFunc(int ACol, int ARow)
{
    QClipboard* clip = clipboard();
    const QMimeData* data = clip ? clip->mimeData() : nullptr;
    if (!data)
        return 0;
    const TEnumFormats formats(data);
    if (Navigation->AllowRTFClipboard() && formats.HasRTF()) {
        const std::string rtf(beforeZero(formats.RTF()));
        if (ACol >= 0 && ARow >= 0 && ACol < ColCount() && ARow < RowCount() && mayPasteInto(ACol, ARow))
            SetCellEx(RemapCol(ACol), ARow, rtf);
        return 0;
    }
    if (!formats.HasText())
        return 0;
    return PasteText(ACol, ARow, formats.Text());
}

void RIvuZuvuzoZuvu::PasteFromClipboard() { PasteFunc(GetSaveStartCol(), GetSaveStartRow()); }

void RIvuZuvuzoZuvu::PasteSelectionFromClipboard()
{
    const TGridRect sel = Selection();
    const int fields = PasteFunc(sel.Left, sel.Top);
    if (Navigation->AllowSmartClipboard())
        smartFill(fields);
}

// ---------------------------------------------------------------- smart fill

void RIvuZuvuzoZuvu::smartFill(int Fields)
{
    const TGridRect sel = Selection();
    const int n = Fields - 1;  // a value copied with its line end counts once
    const bool oneCol = sel.Left == sel.Right, oneRow = sel.Top == sel.Bottom;
    const long long count = static_cast<long long>(sel.Right - sel.Left + 1) * (sel.Bottom - sel.Top + 1);
    // A selection past the largest block of cells the grid fills at once is left as it is.
    if (sel.Left < 0 || sel.Top < 0 || sel.Right >= ColCount() || sel.Bottom >= RowCount() ||
        count > workbookfiles::kMaxCells)
        return;
    // Every cell of the selection, columns outer, rows inner.
    auto forEachCell = [&](auto Work) {
        int k = 0;
        for (int c = sel.Left; c <= sel.Right; ++c)
            for (int r = sel.Top; r <= sel.Bottom; ++r)
                Work(c, r, k++);
    };
    const std::string first = GetCellEx(RemapCol(sel.Left), sel.Top);

    std::vector<std::string> texts;
    if (n == 1 && count > 1) {
        texts.assign(static_cast<std::size_t>(count), first);
    } else if (n == 2 && (oneCol || oneRow)) {
        const int c2 = oneCol ? sel.Left : sel.Left + 1, r2 = oneCol ? sel.Top + 1 : sel.Top;
        if (c2 >= ColCount() || r2 >= RowCount())
            return;
        const std::string second = GetCellEx(RemapCol(c2), r2);
        const FormatSettings& fs = formatSettings();
        auto has = [](const std::string& S, char Ch) { return S.find(Ch) != std::string::npos; };
        auto dateOrTime = [&](const std::string& S) { return has(S, fs.DateSeparator) || has(S, fs.TimeSeparator); };
        texts.reserve(static_cast<std::size_t>(count));
        // The whole series is worked out before a cell is written: a value
        // that cannot be read or a date out of range leaves the cells as the
        // paste left them.
        if (dateOrTime(first) && dateOrTime(second)) {
            const TDateTime a = readDateTime(first), b = readDateTime(second);
            int y1, m1, d1, y2, m2, d2;
            DecodeDate(a, y1, m1, d1);
            DecodeDate(b, y2, m2, d2);
            const bool asDate = has(first, fs.DateSeparator);
            // k steps of a calendar field; a count no date can take is out of range
            auto steps = [](long long k, int Step) {
                const long long total = k * Step;
                if (total < INT_MIN || total > INT_MAX)
                    throw EConvertError("Invalid argument to date encode");
                return static_cast<int>(total);
            };
            for (long long k = 0; k < count; ++k) {
                // Each value from the first, so a clamped day does not carry on.
                const TDateTime v = GetNextDate(a, steps(k, y2 - y1), steps(k, m2 - m1), steps(k, d2 - d1),
                                                static_cast<double>(k) * (b - a));
                if (v < EncodeDate(1, 1, 1) || v >= EncodeDate(9999, 12, 31) + 1)
                    throw EConvertError("Invalid argument to date encode");
                texts.push_back(asDate ? DateToShortText(v) : TimeToLongText(v));
            }
        } else if (!has(first, fs.DecimalSeparator) && !has(second, fs.DecimalSeparator)) {
            int a = 0, b = 0;
            if (!TextToInt(first, a) || !TextToInt(second, b))
                return;
            for (long long k = 0; k < count; ++k)
                texts.push_back(std::to_string(a + k * (static_cast<long long>(b) - a)));
        } else {
            double a = 0, b = 0;
            for (const std::string* s : {&first, &second})
                if (!TextToFloat(*s, s == &first ? a : b))
                    throw EConvertError("'" + *s + "' is not a valid floating point value");
            for (long long k = 0; k < count; ++k)
                texts.push_back(FloatText(a + static_cast<double>(k) * (b - a)));
        }
    } else {
        return;
    }
    UpdateLock lock(*this);
    forEachCell([&](int c, int r, int k) {
        if (mayPasteInto(c, r))
            SetCellEx(RemapCol(c), r, texts[static_cast<std::size_t>(k)]);
    });
}

// ---------------------------------------------------------------- keys

bool RIvuZuvuzoZuvu::clipboardKey(int Key, platform::ShiftState Shift)
{
    const bool ctrl = Shift & platform::ssCtrl, shift = Shift & platform::ssShift;
    decltype(OnClipboardCut)* event = nullptr;
    void (RIvuZuvuzoZuvu::*operation)() = nullptr;
    if ((ctrl && Key == 'X') || (shift && Key == platform::VK_DELETE)) {
        event = &OnClipboardCut;
        operation = &RIvuZuvuzoZuvu::CutSelectionToClipboard;
    } else if ((ctrl && Key == 'V') || (shift && Key == platform::VK_INSERT)) {
        event = &OnClipboardPaste;
        operation = &RIvuZuvuzoZuvu::PasteSelectionFromClipboard;
    } else if (ctrl && (Key == 'C' || Key == platform::VK_INSERT)) {
        event = &OnClipboardCopy;
        operation = &RIvuZuvuzoZuvu::CopySelectionToClipboard;
    } else {
        return false;
    }
    bool allow = true;
    if (*event)
        (*event)(this, allow);
    if (allow)
        (this->*operation)();
    return true;
}

}  // namespace grid
