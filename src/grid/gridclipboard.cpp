// Clipboard exchange of the list grid: blocks of cells copied and cut as
// tab-separated text (and a cell's rich text), text and rich text pasted back,
// the smart fill of a selection after a paste, and the clipboard keys.
//
// The clipboard text itself is described and made in
// grid/exchange/clipboardtext.h; here the grid picks the cells, places and
// reads the clipboard, and tells PasteNotify and CellsChanged.
#include "grid/exchange/clipboardtext.h"
#include "grid/gridcells.h"
#include "grid/exchange/rtf.h"
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

using exchange::BeforeZero;

// The cells of a copied block as its text takes them: the saved text for
// the clipboard (the stored one for a drag), without HTML tags unless the
// clipboard keeps them, rich text as its plain text.
class BlockCells : public GridCells {
public:
    BlockCells(RIvuZuvuzoZuvu& Grid, bool ForClipboard, bool StripTags)
        : GridCells(Grid), forClipboard_(ForClipboard), stripTags_(StripTags)
    {
    }
    std::string SaveText(int Col, int Row) const override
    {
        std::string field = forClipboard_ ? g_.SaveCell(Col, Row) : g_.GetCellEx(Col, Row);
        if (stripTags_ && field.find("</") != std::string::npos)
            return g_.GetStrippedCell(Col, Row);
        if (field.find("{\\") != std::string::npos)
            return RTFPlainText(field);
        return field;
    }

private:
    bool forClipboard_, stripTags_;
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
    const BlockCells cells(*this, ForClipboard, ForClipboard && !Navigation->CopyHTMLTagsToClipboard());
    std::function<bool(int)> flagged;
    if (flaggedOnly)
        flagged = [this](int r) { return r < static_cast<int>(rowSelect_.size()) && rowSelect_[r]; };
    return exchange::ClipboardText(cells, std::max(R.Left, 0), std::min(R.Right, ColCount() - 1), std::max(R.Top, 0),
                                   std::min(R.Bottom, RowCount() - 1), flagged, !ForClipboard || R.Top != R.Bottom,
                                   QuoteClipboardLines, Multilinecells);
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
    int cols = 0, rows = 0;
    exchange::ClipboardTextSize(Text, QuotedLines, cols, rows);
    return {cols, rows};
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
    Text = BeforeZero(Text);
    // A block that would end past the last possible index is not pasted.
    const QPoint size = PasteSize(Text, QuoteClipboardLines);
    if (ACol < 0 || ARow < 0 || Text.empty() || ACol > INT_MAX - size.x() || ARow > INT_MAX - size.y())
        return 0;
    if (!HasOption(platform::goEditing) && !Navigation->AllowClipboardAlways())
        return 0;

    int fields = 0, lastCol = 0, lastRow = 0;
    {
        UpdateLock lock(*this);
        // The grid grows once, to what the text needs.
        if (Navigation->AllowClipboardColGrow() && ACol + size.x() > ColCount())
            SetColCountEx(ACol + size.x());
        if (Navigation->AllowClipboardRowGrow() && ARow + size.y() > RowCount())
            SetRowCountEx(ARow + size.y());

        std::string cell;
        fields = exchange::SplitClipboardText(
            Text, QuoteClipboardLines,
            [&](int Col, int Row, std::string_view Field) {
                const int col = ACol + Col, row = ARow + Row;
                if (row < RowCount() && col < ColCount() && mayPasteInto(col, row)) {
                    exchange::PastedField(Field, QuoteClipboardLines, cell);
                    SetCellEx(RemapCol(col), row, cell);
                    ++Stored;
                } else {
                    ++Skipped;
                }
            },
            lastCol, lastRow);
    }
    lastCol += ACol;
    const int row = ARow + lastRow;
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
        const std::string rtf(BeforeZero(formats.RTF()));
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
